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

TEST(RefineFingers, SlantedFingerTurnsTowardsItsAxis) {
  // A bar leaning down to the right by 10 degrees, the rough box at 3.
  Mask m(80, 100);
  const double lean = 10.0 * 3.14159265358979 / 180.0;
  for (int32_t row = 15; row <= 85; ++row) {
    const int32_t c = static_cast<int32_t>(40 + (row - 50) * std::tan(lean));
    m.Paint(c - 5, row, c + 5, row);
  }
  std::vector<vtl::FingerRegion> r = {Box(40, 50, 20, 80, 0.0523599f)};
  ASSERT_EQ(Refine(14, m, r), 0);
  EXPECT_EQ(r[0].rejection, 0);
  EXPECT_NEAR(r[0].angle, lean, 0.05);
  EXPECT_NEAR(r[0].centerX, 40, 2);
  EXPECT_NEAR(r[0].centerY, 50, 3);
  EXPECT_LT(r[0].width, r[0].height);
}

TEST(RefineFingers, LongSidesInForegroundGiveCode4) {
  // All foreground: attempt 0 touches both long sides and stops unstored.
  Mask m(40, 60, 0);
  std::vector<vtl::FingerRegion> r = {Box(20, 30, 14, 50)};
  ASSERT_EQ(Refine(13, m, r), 0);
  EXPECT_EQ(r[0].rejection, 4);
  EXPECT_EQ(r[0].top + r[0].left + r[0].bottom + r[0].right, 0);
  EXPECT_EQ(r[0].width, 16);  // code 4 clears only the edges
  EXPECT_EQ(r[0].height, 50);
  EXPECT_EQ(r[0].leftContact, 1);
  EXPECT_EQ(r[0].rightContact, 1);

  // A box wider than tall costs nothing and is kept; only its end flags
  // record the foreground, and it is not widened for them.
  std::vector<vtl::FingerRegion> wide = {Box(20, 30, 40, 20)};
  ASSERT_EQ(Refine(13, m, wide), 0);
  EXPECT_EQ(wide[0].rejection, 0);
  EXPECT_EQ(wide[0].topContact, 1);
  EXPECT_EQ(wide[0].bottomContact, 1);
  EXPECT_LE(wide[0].width, 42);
  EXPECT_GT(wide[0].width, wide[0].height);
}

TEST(RefineFingers, PrePassAndEntryCodes) {
  Mask m(40, 60);
  m.Paint(12, 10, 19, 49);
  struct Case {
    vtl::FingerRegion in;
    int32_t code;
  };
  vtl::FingerRegion rejected = Box(20, 30, 14, 50);
  rejected.rejection = 9;
  const Case cases[] = {
      {Box(20, 30, 0, 50), 2}, {Box(20, 30, -4, 50), 2},
      {Box(20, 30, 14, 0), 3}, {Box(20, 30, 14, -1), 3},
      {rejected, 9},
  };
  for (const Case& c : cases) {
    std::vector<vtl::FingerRegion> r = {c.in};
    vtl::FailAllocationAt(0);
    ASSERT_EQ(Refine(13, m, r), 0);
    // Nothing left to refine: no scratch box is even allocated.
    EXPECT_EQ(vtl::AllocationCount(), 0);
    EXPECT_EQ(r[0].rejection, c.code);
    EXPECT_EQ(r[0].width, 0);
    EXPECT_EQ(r[0].height, 0);
    EXPECT_EQ(r[0].centerX, 20);
  }

  // No mask, or a mask of no size: code 5 with everything cleared.
  std::vector<vtl::FingerRegion> r = {Box(20, 30, 14, 50), Box(20, 30, 14, 50)};
  ASSERT_EQ(vtl::RefineFingerRegions(13, 93, nullptr, 40, 60, r.data(), 1), 0);
  ASSERT_EQ(vtl::RefineFingerRegions(13, 93, m.px.data(), 0, 60, r.data() + 1, 1), 0);
  for (const auto& x : r) {
    EXPECT_EQ(x.rejection, 5);
    EXPECT_EQ(x.width + x.height + x.bottom + x.right, 0);
  }
}

// A thumb lying across its box: a bar 50 wide and 10 tall.
Mask LyingThumb() {
  Mask m(80, 70);
  m.Paint(15, 30, 64, 39);
  return m;
}

TEST(RefineThumbs, ThumbAcrossItsBoxIsTurnedByAQuarter) {
  const Mask m = LyingThumb();
  std::vector<uint8_t> scratch(4000);
  for (int32_t index : {0, 1}) {
    vtl::FingerRegion r = Box(40, 35, 50, 40);
    int32_t turned = -1;
    ASSERT_EQ(vtl::RefineThumbBox(index, m.columns, m.rows, m.px.data(), scratch.data(), 4000, 5, 5,
                                  &r, &turned),
              0);
    EXPECT_EQ(turned, 1) << index;
    // Its columns now run down the image, so the bar lies along its height.
    EXPECT_NEAR(std::cos(r.angle), 0.0, 0.35) << index;
    EXPECT_NEAR(std::sin(r.angle), index == 0 ? -1.0 : 1.0, 0.1) << index;
    EXPECT_GE(r.height, 45) << index;
    EXPECT_LT(r.width, 20) << index;
    EXPECT_EQ(r.rejection, 0);
  }

  // An upright thumb is not turned.
  Mask up(80, 70);
  up.Paint(35, 10, 44, 59);
  vtl::FingerRegion r = Box(40, 35, 20, 56);
  int32_t turned = -1;
  ASSERT_EQ(vtl::RefineThumbBox(0, up.columns, up.rows, up.px.data(), scratch.data(), 4000, 5, 5,
                                &r, &turned),
            0);
  EXPECT_EQ(turned, 0);
  EXPECT_NEAR(r.angle, 0.0, 0.2);
  EXPECT_GT(r.height, r.width);
}

TEST(RefineThumbs, PairingTurnsTheOtherThumbInItsOwnDirection) {
  // One thumb lies across its box, the other is a blob a little taller than
  // wide (20 x 24): refined alone it keeps its direction, in the pair it
  // follows the turned one.
  Mask m(160, 70);
  m.Paint(15, 30, 64, 39);    // lying thumb, centre (40, 35)
  m.Paint(110, 23, 129, 46);  // blob, centre (120, 35)
  const vtl::FingerRegion lying = Box(40, 35, 50, 40);
  const vtl::FingerRegion blob = Box(120, 35, 28, 30);
  std::vector<uint8_t> scratch(4000);

  struct Case {
    int32_t blobIndex;
    float turn;
  };
  for (const Case c : {Case{1, 1.5707964f}, Case{0, -1.5707964f}}) {
    vtl::FingerRegion solo = blob;
    int32_t turned = -1;
    vtl::RefineThumbBox(c.blobIndex, m.columns, m.rows, m.px.data(), scratch.data(), 4000, 5, 5,
                        &solo, &turned);
    ASSERT_EQ(turned, 0);
    ASSERT_LT(solo.height - solo.width, 5);

    std::vector<vtl::FingerRegion> pair = c.blobIndex == 1
                                              ? std::vector<vtl::FingerRegion>{lying, blob}
                                              : std::vector<vtl::FingerRegion>{blob, lying};
    ASSERT_EQ(Refine(15, m, pair), 0);
    const vtl::FingerRegion& b = pair[c.blobIndex];
    EXPECT_EQ(b.angle, solo.angle + c.turn);
    EXPECT_EQ(b.width, solo.height);
    EXPECT_EQ(b.height, solo.width);
    EXPECT_EQ(b.top, solo.left);
    EXPECT_EQ(b.left, solo.top);
    EXPECT_EQ(b.bottom, solo.right);
    EXPECT_EQ(b.right, solo.bottom);
    EXPECT_EQ(b.centerX, solo.centerX);
  }
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
