#include "separate/kept_regions.h"

#include <gtest/gtest.h>

#include "interface/finger_region.h"

namespace {

vtl::FingerRegion Box(int32_t id, int32_t width, int32_t height) {
  vtl::FingerRegion r{};
  r.centerX = id;
  r.width = width;
  r.height = height;
  return r;
}

TEST(CollectKeptRegions, DropsEmptyBoxesKeepingOrder) {
  vtl::FingerRegion r[5] = {Box(0, 0, 40), Box(1, 20, 40), Box(2, 20, 0), Box(3, 25, 45),
                            Box(4, 30, 30)};
  EXPECT_EQ(vtl::CollectKeptRegions(r, 4), 2);
  EXPECT_EQ(r[0].centerX, 1);
  EXPECT_EQ(r[1].centerX, 3);
  EXPECT_EQ(r[4].centerX, 4);  // beyond `found`: untouched
  vtl::FingerRegion none[2] = {Box(0, -1, 5), Box(1, 5, -1)};
  EXPECT_EQ(vtl::CollectKeptRegions(none, 2), 0);
}

}  // namespace
