#include "analysis/finger_gaps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "../support/alloc_failure.h"
#include "../support/vector_levels.h"

namespace {

struct Analysis {
  vtl::ProfilePeaks fingers{};
  vtl::ProfilePeaks gaps{};
  float score = -5.0f;
  int32_t status = -1;
};

Analysis Analyse(const std::vector<int32_t>& dark, const std::vector<int32_t>& total, int32_t rows,
                 int32_t expected, float bar, int32_t tail) {
  Analysis a;
  a.fingers.expected = expected;
  a.fingers.mean = bar;
  a.gaps.expected = expected + 1;
  a.status =
      vtl::FindFingersAndGaps(tail, dark.data(), total.data(), static_cast<int32_t>(dark.size()),
                              rows, &a.score, &a.fingers, &a.gaps);
  return a;
}

const std::vector<int32_t> kDark = {0, 2, 25, 28, 25, 1, 0, 1, 26, 29, 24, 1, 0, 1};

TEST(FingerGaps, WeakOrUnseparatedPeaksAreNoFingers) {
  const std::vector<int32_t> total(9, 30);
  struct Case {
    const char* what;
    std::vector<int32_t> dark;
    int32_t found;
    int32_t position;  // of finger 0 when found
  };
  // Each profile ends in a dip, so that a clear gap can follow a finger.
  const Case cases[] = {
      // rows / 15 = 2: a peak of 2 is not above the threshold, 3 is.
      {"at threshold", {0, 0, 1, 2, 1, 0, 0, 0, 5}, 0, 0},
      {"above threshold", {0, 0, 1, 3, 1, 0, 0, 0, 5}, 1, 3},
      // After a peak of 24 the threshold is 3: a later peak of 3 is weak.
      {"below an eighth", {0, 24, 0, 0, 3, 0, 0, 0, 5}, 1, 1},
      // Two equal peaks without a clear gap between: the later one wins.
      {"equal peaks", {0, 0, 20, 10, 20, 0, 0, 0, 5}, 1, 4},
      // The left gap is not clear (background 27 of 30 = 90 %).
      {"dim left gap", {3, 3, 20, 0, 0, 0, 0, 0, 5}, 0, 0},
  };
  for (const Case& c : cases) {
    const Analysis a = Analyse(c.dark, total, 30, 2, 0.0f, 2);
    ASSERT_EQ(a.status, 0) << c.what;
    EXPECT_EQ(a.fingers.found, c.found) << c.what;
    if (c.found > 0) {
      EXPECT_EQ(a.fingers.place[0].position, c.position) << c.what;
    } else {
      EXPECT_EQ(a.score, 0.0f) << c.what;
    }
  }
}

TEST(FingerGaps, ShortOrEmptyProfilesFindNothingAndReadNothing) {
  for (int n : {0, 1, 2}) {
    // Exactly n values: the sanitizer build reports any read past them.
    std::vector<int32_t> dark(n, 5), total(n, 30);
    Analysis a;
    a.fingers.expected = 2;
    a.status = vtl::FindFingersAndGaps(3, n ? dark.data() : nullptr, n ? total.data() : nullptr, n,
                                       30, &a.score, &a.fingers, &a.gaps);
    ASSERT_EQ(a.status, 0);
    EXPECT_EQ(a.fingers.found, 0);
    EXPECT_EQ(a.gaps.found, 0);
    EXPECT_EQ(a.score, 0.0f);
  }
}

TEST(FingerGaps, MoreThanFiveSoughtStopsAtFive) {
  // Six clean fingers; the records hold six gaps, so five fingers at most.
  std::vector<int32_t> dark;
  for (int f = 0; f < 6; ++f) dark.insert(dark.end(), {0, 0, 20, 0});
  dark.insert(dark.end(), {0, 0});
  const Analysis a = Analyse(dark, std::vector<int32_t>(dark.size(), 30), 30, 6, 0.0f, 1);
  ASSERT_EQ(a.status, 0);
  EXPECT_EQ(a.fingers.found, 5);
  EXPECT_EQ(a.gaps.found, 6);
  for (int f = 0; f < 5; ++f) EXPECT_EQ(a.fingers.place[f].position, 4 * f + 2);
  const Analysis none = Analyse(dark, std::vector<int32_t>(dark.size(), 30), 30, 0, 0.0f, 1);
  EXPECT_EQ(none.fingers.found, 0);
  EXPECT_EQ(none.score, 0.0f);
}

TEST(FingerGaps, AllocationFailureReturns19WithZeroScores) {
  const std::vector<int32_t> total(14, 30);
  Analysis a;
  const int64_t points = vtl::testing::ForEachAllocationFailure(
      [&] {
        a = Analysis{};
        a.fingers.expected = 2;
        a.fingers.score = 7.0f;
        a.gaps.score = 7.0f;
        a.status = vtl::FindFingersAndGaps(3, kDark.data(), total.data(), 14, 30, &a.score,
                                           &a.fingers, &a.gaps);
      },
      [&](int64_t) {
        EXPECT_EQ(a.status, 19);
        EXPECT_EQ(a.score, 0.0f);
        EXPECT_EQ(a.fingers.score, 0.0f);
        EXPECT_EQ(a.gaps.score, 0.0f);
        EXPECT_EQ(a.fingers.found, 0);
      });
  EXPECT_EQ(points, 1);
}

// Profiles shaped like a slant's: fingers as broad dark humps with noise and
// plateaus, a total that ramps in at the ends, sometimes bare stretches.
void RandomProfiles(std::mt19937& rng, int32_t n, std::vector<int32_t>* dark,
                    std::vector<int32_t>* total) {
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  dark->assign(n, 0);
  total->assign(n, 0);
  const int height = uniform(0, 1) == 0 ? uniform(1, 200) : 20 * uniform(1, 10);
  const int ramp = uniform(0, n / 2 + 1);
  const int humps = uniform(0, 7);
  const int width = uniform(2, 40);
  const int noise = uniform(0, 6);
  const int quantum = uniform(1, 4);  // coarse values give long plateaus
  // Sometimes the darkness never drops below a twentieth of the total, so
  // that gaps sit exactly on the clear-gap fraction.
  const bool floored = uniform(0, 2) == 0;
  for (int32_t i = 0; i < n; ++i) {
    const int edge = std::min(i, n - 1 - i);
    (*total)[i] = ramp > 0 && edge < ramp ? height * (edge + 1) / (ramp + 1) : height;
    double d = 0;
    for (int h = 0; h < humps; ++h) {
      const double centre = (h + 0.5) * n / humps;
      d += std::exp(-((i - centre) * (i - centre)) / (2.0 * width * width));
    }
    int v = static_cast<int>(d * (*total)[i]) + uniform(-noise, noise);
    v = v / quantum * quantum;
    (*dark)[i] = std::clamp(v, floored ? (*total)[i] / 20 : 0, (*total)[i]);
  }
  if (n > 0 && uniform(0, 4) == 0) {  // a stretch outside the image
    const int from = uniform(0, n - 1);
    for (int32_t i = from; i < std::min(n, from + uniform(1, 30)); ++i)
      (*dark)[i] = (*total)[i] = 0;
  }
}

// The peak marks have an AVX2 variant and a baseline one.
using FingerGapsAtLevel = vtl::testing::AtVectorLevel;

TEST_P(FingerGapsAtLevel, PeakScanMatchesThePositionByPositionScan) {
  std::mt19937 rng(11);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  int withFingers = 0;
  for (int trial = 0; trial < 4000; ++trial) {
    const int32_t n = trial < 20 ? trial : uniform(0, 600);
    std::vector<int32_t> dark, total;
    RandomProfiles(rng, n, &dark, &total);
    const int32_t rows = uniform(1, 400);
    const int32_t tail = uniform(-50, 200);
    // Records as a search leaves them: stale entries, a carried darkness bar.
    Analysis plain;
    for (auto* r : {&plain.fingers, &plain.gaps}) {
      for (int j = 0; j < vtl::kMaxPeaks; ++j) {
        r->value[j] = uniform(-5, 300);
        r->place[j] = {uniform(0, 600), uniform(0, 300)};
        r->hits[j] = uniform(0, 3);
      }
      r->found = uniform(0, 6);
    }
    plain.fingers.expected = uniform(0, 7);
    plain.gaps.expected = plain.fingers.expected + 1;
    plain.fingers.mean = uniform(0, 3) == 0 ? -1.0f : static_cast<float>(uniform(0, 150));
    Analysis fast = plain;
    plain.status = vtl::FindFingersAndGaps(tail, dark.data(), total.data(), n, rows, &plain.score,
                                           &plain.fingers, &plain.gaps);
    std::vector<int32_t> background(n + 1);
    for (int32_t i = 0; i < n; ++i) background[i] = total[i] - dark[i];
    std::vector<uint8_t> flags(n + vtl::kPeakFlagPadding, 0xA5);  // stale marks must not matter
    fast.status =
        vtl::FindFingersAndGapsInto(tail, dark.data(), total.data(), background.data(), n, rows,
                                    &fast.score, &fast.fingers, &fast.gaps, flags.data());
    ASSERT_EQ(fast.status, plain.status) << trial;
    ASSERT_EQ(std::memcmp(&fast.score, &plain.score, sizeof(float)), 0) << trial;
    ASSERT_EQ(std::memcmp(&fast.fingers, &plain.fingers, sizeof(vtl::ProfilePeaks)), 0) << trial;
    ASSERT_EQ(std::memcmp(&fast.gaps, &plain.gaps, sizeof(vtl::ProfilePeaks)), 0) << trial;
    withFingers += plain.fingers.found >= 2;
  }
  EXPECT_GT(withFingers, 400);  // the comparison reached the interesting paths
}

INSTANTIATE_TEST_SUITE_P(Levels, FingerGapsAtLevel, vtl::testing::AllVectorLevels(),
                         vtl::testing::LevelParamName);

}  // namespace
