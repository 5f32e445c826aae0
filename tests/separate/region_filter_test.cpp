#include "separate/region_filter.h"

#include <gtest/gtest.h>

#include "interface/finger_region.h"

namespace {

constexpr float kFactor500 = 500.0f / 62.0f;  // 8.064516067504883

vtl::FingerRegion Region(int32_t cx, int32_t cy, int32_t width, int32_t height,
                         int32_t rejection = 0) {
  vtl::FingerRegion r{};
  r.centerX = cx;
  r.centerY = cy;
  r.width = width;
  r.height = height;
  r.rejection = rejection;
  r.angle = 0.25f;
  r.top = 3;
  return r;
}

TEST(RejectSmallRegions, LimitsAndEarlierRejections) {
  struct Case {
    vtl::FingerRegion in;
    bool kept;
    bool centreKept;  // false: rejected earlier, which keeps its own code
  };
  const Case cases[] = {
      {Region(40, 50, 18, 37), true, true},       // both limits met exactly
      {Region(40, 50, 17, 60), false, true},      // one column too narrow
      {Region(40, 50, 30, 36), false, true},      // one row too short
      {Region(40, 50, 0, 0), false, true},        //
      {Region(40, 50, 90, 90, 4), false, false},  // rejected by the refinement
  };
  for (const Case& c : cases) {
    // Height limit first, width second.
    vtl::FingerRegion r = c.in;
    vtl::RejectSmallRegions(37, 18, &r, 1);
    if (c.kept) {
      EXPECT_EQ(r.rejection, 0);
      EXPECT_EQ(r.width, c.in.width);
      EXPECT_EQ(r.height, c.in.height);
    } else {
      EXPECT_NE(r.rejection, 0);
      if (!c.centreKept) {
        EXPECT_EQ(r.rejection, c.in.rejection);
      }
      EXPECT_EQ(r.width, 0);
      EXPECT_EQ(r.height, 0);
    }
    EXPECT_EQ(r.centerX, c.centreKept ? 40 : 0);
    EXPECT_EQ(r.centerY, c.centreKept ? 50 : 0);
    EXPECT_EQ(r.angle, 0.25f);
    EXPECT_EQ(r.top, 3);
  }
}

TEST(RejectSmallRegions, WalksExactlyCountRegions) {
  vtl::FingerRegion r[3] = {Region(1, 1, 5, 5), Region(2, 2, 50, 50), Region(3, 3, 5, 5)};
  vtl::RejectSmallRegions(37, 18, r, 2);
  EXPECT_EQ(r[0].width, 0);
  EXPECT_EQ(r[1].width, 50);
  EXPECT_EQ(r[2].width, 5);
  vtl::RejectSmallRegions(37, 18, r + 2, 0);
  EXPECT_EQ(r[2].width, 5);
}

TEST(ScaleSeparatedRegions, WorkingToCallerPixels) {
  vtl::FingerRegion r[4] = {Region(49, 62, 18, 37), Region(10, 10, 2, 40),
                            Region(10, 10, 18, 37, 2), Region(0, 0, 30, 3)};
  // Width limit first here.
  vtl::ScaleSeparatedRegions(18, 37, r, 4, kFactor500, kFactor500);
  EXPECT_EQ(r[0].centerX, 395);
  EXPECT_EQ(r[0].centerY, 500);
  EXPECT_EQ(r[0].width, 141);
  EXPECT_EQ(r[0].height, 294);
  EXPECT_EQ(r[0].angle, 0.25f);
  EXPECT_EQ(r[0].top, 3);
  // 2 wide -> 12, below the limit 18.
  EXPECT_EQ(r[1].width, 0);
  EXPECT_EQ(r[1].height, 318);
  EXPECT_EQ(r[1].centerX, 80);
  // A rejected region only loses its size.
  EXPECT_EQ(r[2].width, 0);
  EXPECT_EQ(r[2].height, 0);
  EXPECT_EQ(r[2].centerX, 10);
  EXPECT_EQ(r[3].width, 237);
  EXPECT_EQ(r[3].height, 0);  // 3 rows -> 20, below 37
}

TEST(ScaleSeparatedRegions, AxesScaleIndependently) {
  // 1000 ppi across (16.129032), 500 down.
  vtl::FingerRegion r = Region(10, 10, 20, 40);
  vtl::ScaleSeparatedRegions(18, 37, &r, 1, 1000.0f / 62.0f, kFactor500);
  EXPECT_EQ(r.centerX, 161);
  EXPECT_EQ(r.centerY, 80);
  EXPECT_EQ(r.width, 318);
  EXPECT_EQ(r.height, 318);
}

}  // namespace
