#include "separate/slant_profiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "interface/memory.h"
#include "interface/parameter.h"
#include "separate/line_pixels.h"

namespace {

// Runs with a chosen smoothing radius and puts the default back afterwards.
class SlantProfiles : public ::testing::Test {
 protected:
  void SetRadius(int32_t r) { vtl::GetVantrelParameter()->RunningSumRadius = r; }
  void TearDown() override { SetRadius(1); }

  struct Profiles {
    std::vector<int32_t> dark, total;
    int32_t n = -1;
    int32_t status = -1;
  };

  static Profiles Build(const std::vector<uint8_t>& mask, int32_t columns, int32_t rows,
                        int32_t s) {
    Profiles p;
    const size_t room = static_cast<size_t>(columns + std::abs(s));
    p.dark.assign(room + 1, -7);  // one guard entry past the room
    p.total.assign(room + 1, -7);
    p.status = vtl::BuildSlantProfiles(mask.data(), columns, rows, p.dark.data(), p.total.data(),
                                       &p.n, s, 0);
    EXPECT_EQ(p.dark[room], -7);
    EXPECT_EQ(p.total[room], -7);
    p.dark.resize(room);
    p.total.resize(room);
    return p;
  }
};

TEST_F(SlantProfiles, SlantZeroCountsColumns) {
  SetRadius(0);
  // 3 rows x 4 columns; 0 = foreground.
  const std::vector<uint8_t> mask = {0,   255, 0, 255,  //
                                     0,   255, 0, 0,    //
                                     255, 255, 0, 0};
  const Profiles p = Build(mask, 4, 3, 0);
  ASSERT_EQ(p.status, 0);
  EXPECT_EQ(p.n, 4);
  EXPECT_EQ(p.total, (std::vector<int32_t>{3, 3, 3, 3}));
  EXPECT_EQ(p.dark, (std::vector<int32_t>{2, 0, 3, 2}));
}

TEST_F(SlantProfiles, SlantTwoOnThreeRows) {
  SetRadius(0);
  // Reference line (-2,0), (-1,1), (0,2): line 0 meets only (0,2), line 1
  // (0,1) and (1,2), line 5 only (3,0).
  std::vector<uint8_t> mask(3 * 4, 255);
  mask[2 * 4 + 0] = 0;  // (0,2): line 0
  mask[1 * 4 + 0] = 0;  // (0,1): line 1
  mask[0 * 4 + 3] = 0;  // (3,0): line 5
  mask[1 * 4 + 2] = 0;  // (2,1): line 3
  const Profiles p = Build(mask, 4, 3, 2);
  ASSERT_EQ(p.status, 0);
  EXPECT_EQ(p.n, 6);
  EXPECT_EQ(p.total, (std::vector<int32_t>{1, 2, 3, 3, 2, 1}));
  EXPECT_EQ(p.dark, (std::vector<int32_t>{1, 1, 0, 1, 0, 1}));

  // Mirrored slant: line 0 starts in the top-left pixel, line 5 ends in the
  // bottom-right one.
  std::vector<uint8_t> mirrored(3 * 4, 255);
  mirrored[0 * 4 + 0] = 0;  // (0,0): line 0
  mirrored[2 * 4 + 3] = 0;  // (3,2): line 5
  const Profiles q = Build(mirrored, 4, 3, -2);
  ASSERT_EQ(q.status, 0);
  EXPECT_EQ(q.total, (std::vector<int32_t>{1, 2, 3, 3, 2, 1}));
  EXPECT_EQ(q.dark, (std::vector<int32_t>{1, 0, 0, 0, 0, 1}));
}

TEST_F(SlantProfiles, EveryLinePixelCountedOnce) {
  // Each point of the reference line sweeps all columns once as the line moves
  // across, so the raw totals add up to L x C and the dark counts to the
  // foreground of the rows the points fall on - for slants steeper and
  // flatter than 45 degrees, and for lines that leave the image early.
  SetRadius(0);
  const int32_t rows = 20;
  const int32_t columns = 30;
  std::mt19937 random(7);
  std::vector<uint8_t> mask(rows * columns);
  for (auto& v : mask) v = random() % 3 == 0 ? 0 : 255;
  std::vector<int32_t> rowForeground(rows, 0);
  for (int32_t y = 0; y < rows; ++y)
    for (int32_t x = 0; x < columns; ++x) rowForeground[y] += mask[y * columns + x] == 0;

  for (const int32_t s : {-70, -20, -19, -5, -1, 0, 1, 19, 20, 70}) {
    const Profiles p = Build(mask, columns, rows, s);
    ASSERT_EQ(p.status, 0);
    ASSERT_EQ(p.n, columns + std::abs(s));
    int32_t* xs = nullptr;
    int32_t* ys = nullptr;
    int32_t L = 0;
    ASSERT_EQ(s > 0 ? vtl::GetLinePixelBetweenTwoPoints(-s, 0, 0, rows - 1, &xs, &ys, &L)
                    : vtl::GetLinePixelBetweenTwoPoints(0, 0, s, rows - 1, &xs, &ys, &L),
              0);
    int64_t expectedDark = 0;
    for (int32_t j = 0; j < L; ++j) expectedDark += rowForeground[ys[j]];
    vtl::Release(xs);
    vtl::Release(ys);
    int64_t sumTotal = 0;
    int64_t sumDark = 0;
    for (int32_t k = 0; k < p.n; ++k) {
      EXPECT_LE(p.dark[k], p.total[k]);
      // The accumulated end of a leftward reference line can fall short of
      // column s (-0.9999999 truncates to 0 for s = -1), so the last line
      // of some negative slants misses the image; no other line does.
      if (p.total[k] == 0) {
        EXPECT_TRUE(s < 0 && k == p.n - 1) << s << " " << k;
      }
      sumTotal += p.total[k];
      sumDark += p.dark[k];
    }
    EXPECT_EQ(sumTotal, static_cast<int64_t>(L) * columns) << s;
    EXPECT_EQ(sumDark, expectedDark) << s;
    if (s == -1 || s == -5) {
      EXPECT_EQ(p.total[p.n - 1], 0) << s;
    }
  }
}

TEST_F(SlantProfiles, ProfilesSmoothedWithParameterRadius) {
  // A 2-column mask gives 2 + |s| positions: with radius 3 the profile is
  // shorter than the window, with the default 1 it is not.
  const std::vector<uint8_t> mask = {0, 255, 0, 0, 255, 0, 0, 0, 0, 255};
  for (const int32_t r : {1, 3}) {
    for (const int32_t s : {-3, 0, 2}) {
      SetRadius(0);
      const Profiles raw = Build(mask, 2, 5, s);
      SetRadius(r);
      const Profiles smoothed = Build(mask, 2, 5, s);
      ASSERT_EQ(smoothed.status, 0);
      std::vector<int32_t> dark = raw.dark, total = raw.total;
      ASSERT_EQ(vtl::SmoothRunningSum(dark.data(), raw.n, r), 0);
      ASSERT_EQ(vtl::SmoothRunningSum(total.data(), raw.n, r), 0);
      EXPECT_EQ(smoothed.dark, dark) << r << " " << s;
      EXPECT_EQ(smoothed.total, total) << r << " " << s;
    }
  }
}

}  // namespace
