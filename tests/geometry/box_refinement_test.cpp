#include "geometry/box_refinement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "interface/memory.h"

namespace {

// A background mask (255) with foreground (0) painted in.
struct Mask {
  int32_t columns, rows;
  std::vector<uint8_t> px;
  Mask(int32_t c, int32_t r, uint8_t value = 255) : columns(c), rows(r), px(size_t(c) * r, value) {}
  void Paint(int32_t c0, int32_t r0, int32_t c1, int32_t r1) {
    for (int32_t r = r0; r <= r1; ++r)
      for (int32_t c = c0; c <= c1; ++c) px[size_t(r) * columns + c] = 0;
  }
};

vtl::FingerRegion Box(int32_t cx, int32_t cy, int32_t width, int32_t height, float angle = 0.0f) {
  vtl::FingerRegion r{};
  r.centerX = cx;
  r.centerY = cy;
  r.width = width;
  r.height = height;
  r.angle = angle;
  return r;
}

int32_t Refine(int32_t handCode, const Mask& m, std::vector<vtl::FingerRegion>& regions) {
  return vtl::RefineFingerRegions(handCode, 93, m.px.data(), m.columns, m.rows, regions.data(),
                                  static_cast<int32_t>(regions.size()));
}

TEST(SmoothProfile, WindowAveragesAndFirstMaximumWins) {
  std::vector<int32_t> p = {0, 0, 10, 0, 0};
  int32_t peak = -1;
  ASSERT_EQ(vtl::SmoothProfileAndFindPeak(p.data(), 5, 5, &peak), 0);
  EXPECT_EQ(p, (std::vector<int32_t>{3, 2, 2, 2, 3}));
  EXPECT_EQ(peak, 0);

  // A window of 1 or a negative one leaves the values; the peak still counts.
  std::vector<int32_t> q = {1, 4, 4, 2};
  ASSERT_EQ(vtl::SmoothProfileAndFindPeak(q.data(), 4, -3, &peak), 0);
  EXPECT_EQ(q, (std::vector<int32_t>{1, 4, 4, 2}));
  EXPECT_EQ(peak, 1);

  peak = -1;
  ASSERT_EQ(vtl::SmoothProfileAndFindPeak(nullptr, 0, 5, &peak), 0);
  EXPECT_EQ(peak, 0);
}

// A thumb lying across its box: a bar 50 wide and 10 tall.
Mask LyingThumb() {
  Mask m(80, 70);
  m.Paint(15, 30, 64, 39);
  return m;
}

TEST(RefineThumbs, UnrefinedThumbIsNeverPaired) {
  // Thumb 1 was rejected before: its flag is unset, so neither thumb is
  // turned by the pairing rule. A single thumb has no partner to read.
  const Mask m = LyingThumb();
  vtl::FingerRegion gone = Box(40, 35, 20, 20);
  gone.rejection = 7;
  std::vector<vtl::FingerRegion> pair = {Box(40, 35, 50, 40), gone};
  ASSERT_EQ(Refine(15, m, pair), 0);
  EXPECT_EQ(pair[1].angle, 0.0f);
  EXPECT_EQ(pair[1].rejection, 7);

  std::vector<vtl::FingerRegion> one = {Box(40, 35, 50, 40)};
  ASSERT_EQ(Refine(15, m, one), 0);
  EXPECT_NEAR(std::sin(one[0].angle), -1.0, 0.1);

  // A third region under the thumbs' code has no thumb flag: it is refined
  // as a finger, which never turns it.
  std::vector<vtl::FingerRegion> three = {Box(40, 35, 50, 40), Box(40, 35, 50, 40),
                                          Box(40, 35, 50, 40)};
  ASSERT_EQ(Refine(15, m, three), 0);
  EXPECT_EQ(three[2].angle, 0.0f);
  EXPECT_GT(three[2].width, three[2].height);
}

}  // namespace
