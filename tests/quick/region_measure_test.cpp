// Region measurement at the working resolution: a box one pixel wider than
// the component on each side, clamped to the image.
#include "quick/region_measure.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using vtl::PointXY;

TEST(MeasureFingerRegion, PaddedBoxClampedToTheImage) {
  struct Case {
    std::vector<PointXY> points;
    int32_t top, left, bottom, right, centerX, centerY, width, height;
  };
  const Case cases[] = {
      {{{7, 4}}, 3, 6, 5, 8, 7, 4, 1, 1},
      {{{0, 0}, {1, 0}, {0, 1}}, 0, 0, 2, 2, 0, 0, 2, 2},
      {{{29, 18}, {28, 19}, {29, 19}}, 17, 27, 19, 29, 28, 18, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    vtl::FingerRegion r{};
    ASSERT_EQ(vtl::MeasureFingerRegion(20, 30, int32_t(c.points.size()), c.points.data(), &r), 0);
    EXPECT_EQ(std::vector<int32_t>(
                  {r.top, r.left, r.bottom, r.right, r.centerX, r.centerY, r.width, r.height}),
              std::vector<int32_t>(
                  {c.top, c.left, c.bottom, c.right, c.centerX, c.centerY, c.width, c.height}));
  }
}

}  // namespace
