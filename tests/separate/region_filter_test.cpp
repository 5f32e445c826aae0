#include "separate/region_filter.h"

#include <gtest/gtest.h>

#include "interface/finger_region.h"

namespace {

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

}  // namespace
