// The fast slant profiles must equal the plain point-by-point count exactly.
#include "separate/slant_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "../support/vector_levels.h"
#include "interface/parameter.h"
#include "separate/slant_cache.h"
#include "separate/slant_profiles.h"
#include "separate/slant_search.h"

namespace {

std::vector<uint8_t> RandomMask(std::mt19937& rng, int rows, int columns, int density) {
  std::vector<uint8_t> mask(static_cast<size_t>(rows) * columns, 255);
  std::uniform_int_distribution<int> percent(0, 99);
  for (auto& m : mask) m = percent(rng) < density ? 0 : 255;
  return mask;
}

// Finger-like slanted bars, so the profiles have real peaks and gaps.
std::vector<uint8_t> BarMask(int rows, int columns, int lean) {
  std::vector<uint8_t> mask(static_cast<size_t>(rows) * columns, 255);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < columns; ++x) {
      const int u = x - lean * y / (rows > 1 ? rows - 1 : 1);
      if (((u % 17) + 17) % 17 < 11) mask[static_cast<size_t>(y) * columns + x] = 0;
    }
  return mask;
}

// Both counts for each slant of `slants`, in that order, from tables built
// for slants up to maxSlant.
void ExpectSameProfiles(const std::vector<uint8_t>& mask, int rows, int columns,
                        const std::vector<int32_t>& slants, int32_t maxSlant,
                        vtl::SlantTables* tables) {
  ASSERT_EQ(vtl::BuildSlantTables(mask.data(), columns, rows, 0, maxSlant, tables), 0);
  std::vector<int32_t> darkA(columns + maxSlant), totalA(darkA.size());
  std::vector<int32_t> darkB(darkA.size()), totalB(darkA.size());
  for (int32_t s : slants) {
    int32_t nA = 0, nB = 0;
    ASSERT_EQ(
        vtl::BuildSlantProfiles(mask.data(), columns, rows, darkA.data(), totalA.data(), &nA, s, 0),
        0);
    ASSERT_EQ(vtl::BuildSlantProfilesFromTables(tables, darkB.data(), totalB.data(), &nB, s), 0);
    ASSERT_EQ(nA, nB);
    for (int32_t k = 0; k < nA; ++k) {
      ASSERT_EQ(darkA[k], darkB[k]) << rows << "x" << columns << " slant " << s << " k " << k;
      ASSERT_EQ(totalA[k], totalB[k]) << rows << "x" << columns << " slant " << s << " k " << k;
    }
  }
}

// Every slant the searches use, in order.
void ExpectSameProfiles(const std::vector<uint8_t>& mask, int rows, int columns) {
  const int32_t maxSlant = 2 * rows;
  std::vector<int32_t> slants;
  for (int32_t s = -(maxSlant - 1); s <= maxSlant - 1; ++s) slants.push_back(s);
  vtl::SlantTables tables{};
  ExpectSameProfiles(mask, rows, columns, slants, maxSlant, &tables);
  vtl::ReleaseSlantTables(&tables);
}

// Smoothing radius and the vector level of the row sums, line batches and
// peak marks.
class SlantTables : public ::testing::TestWithParam<std::tuple<int32_t, vtl::VectorLevel>> {
 protected:
  void SetUp() override {
    if (!vtl::ForceVectorLevel(Level())) {
      GTEST_SKIP() << "this processor lacks " << vtl::testing::VectorLevelName(Level());
    }
    vtl::GetVantrelParameter()->RunningSumRadius = Radius();
  }
  void TearDown() override {
    vtl::ResetVectorLevel();
    DestroyVantrelParameter();
  }
  static int32_t Radius() { return std::get<0>(GetParam()); }
  static vtl::VectorLevel Level() { return std::get<1>(GetParam()); }
};

TEST_P(SlantTables, MatchPlainCountOnRandomMasks) {
  std::mt19937 rng(12345 + Radius());
  const int sizes[][2] = {{1, 1},  {1, 9},  {9, 1},   {2, 3},   {3, 2},
                          {7, 40}, {40, 7}, {31, 33}, {60, 45}, {124, 99}};
  for (const auto& sz : sizes)
    for (int density : {0, 3, 50, 97, 100})
      ExpectSameProfiles(RandomMask(rng, sz[0], sz[1], density), sz[0], sz[1]);
}

// The whole search, whose analyses carry the darkness bar from slant to
// slant, ends with the same records whichever way the profiles are made.
struct PlainSearch {
  const std::vector<uint8_t>* mask;
  int32_t rows, columns;
  std::vector<int32_t> dark, total;
};

int32_t AnalysePlain(void* context, int32_t slant, float* score, vtl::ProfilePeaks* fingers,
                     vtl::ProfilePeaks* gaps) {
  auto* c = static_cast<PlainSearch*>(context);
  int32_t n = 0;
  const int32_t status = vtl::BuildSlantProfiles(c->mask->data(), c->columns, c->rows,
                                                 c->dark.data(), c->total.data(), &n, slant, 0);
  if (status != 0) return status;
  return vtl::FindFingersAndGaps(5, c->dark.data(), c->total.data(), n, c->rows, score, fingers,
                                 gaps);
}

int32_t AnalyseFast(void* context, int32_t slant, float* score, vtl::ProfilePeaks* fingers,
                    vtl::ProfilePeaks* gaps) {
  return vtl::AnalyseSlantFromTables(static_cast<vtl::SlantTables*>(context), 5, slant, score,
                                     fingers, gaps);
}

TEST_P(SlantTables, SearchEndsWithTheSameRecords) {
  std::mt19937 rng(5 + Radius());
  int searches = 0;
  for (int lean : {-60, -13, 0, 9, 47}) {
    for (int noise : {0, 1}) {
      const int rows = 47, columns = 88;
      auto mask = BarMask(rows, columns, lean);
      if (noise) {
        for (auto& m : mask)
          if (rng() % 9 == 0) m = static_cast<uint8_t>(255 - m);
      }
      for (int32_t code : {0, 13, 14, 15}) {
        for (int32_t sought : {2, 4}) {
          const vtl::SlantLimits limits = vtl::ComputeSlantLimits(code, rows);
          const int32_t widest = std::max(limits.positive, limits.negative);
          PlainSearch plain{&mask, rows, columns, std::vector<int32_t>(columns + widest),
                            std::vector<int32_t>(columns + widest)};
          vtl::SlantSearch a, b;
          vtl::StartSlantSearch(sought, &a);
          vtl::StartSlantSearch(sought, &b);
          ASSERT_EQ(vtl::SearchSlants(limits, AnalysePlain, &plain, &a), 0);
          vtl::SlantTables tables{};
          ASSERT_EQ(vtl::BuildSlantTables(mask.data(), columns, rows, 0, widest, &tables), 0);
          ASSERT_EQ(vtl::SearchSlants(limits, AnalyseFast, &tables, &b), 0);
          vtl::ReleaseSlantTables(&tables);
          EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0)
              << "lean " << lean << " code " << code << " sought " << sought;
          searches += a.bestFingers.found >= 2;
        }
      }
    }
  }
  // Most searches found fingers to compare (a window of seven blurs the
  // bars' six-pixel gaps below a clear gap).
  if (Radius() <= 1) {
    EXPECT_GT(searches, 20);
  }
}

INSTANTIATE_TEST_SUITE_P(RadiusAndLevel, SlantTables,
                         ::testing::Combine(::testing::Values(0, 1, 3),
                                            vtl::testing::AllVectorLevels()),
                         [](const auto& info) {
                           return "Radius" + std::to_string(std::get<0>(info.param)) +
                                  vtl::testing::VectorLevelName(std::get<1>(info.param));
                         });

TEST(SlantTablesMemory, RefusesMasksBeyondTheTableLimit) {
  vtl::SlantTables tables{};
  const uint8_t pixel = 0;
  EXPECT_EQ(vtl::BuildSlantTables(&pixel, 1 << 13, 1 << 13, 0, 10, &tables), 19);
  EXPECT_EQ(tables.columnPrefix, nullptr);
  DestroyVantrelParameter();
}

}  // namespace

namespace {}  // namespace
