// Region measurement at the working resolution and scaling to caller pixels.
#include "quick/region_measure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using vtl::FingerRegion;
using vtl::PointXY;

FingerRegion Measure(int32_t rows, int32_t columns, const std::vector<PointXY>& points) {
  FingerRegion r{};
  r.componentIndex = 77;
  EXPECT_EQ(vtl::MeasureFingerRegion(rows, columns, int32_t(points.size()), points.data(), &r), 0);
  return r;
}

TEST(MeasureFingerRegion, OnePixelComponent) {
  const FingerRegion r = Measure(20, 30, {{7, 4}});
  EXPECT_EQ(r.top, 3);
  EXPECT_EQ(r.left, 6);
  EXPECT_EQ(r.bottom, 5);
  EXPECT_EQ(r.right, 8);
  EXPECT_EQ(r.centerX, 7);
  EXPECT_EQ(r.centerY, 4);
  EXPECT_EQ(r.width, 1);
  EXPECT_EQ(r.height, 1);
  EXPECT_EQ(r.secondWidth, 1);
  EXPECT_EQ(r.secondHeight, 1);
  EXPECT_EQ(r.angle, 0.0f);
  EXPECT_EQ(r.componentIndex, 77) << "left to the driver";
  EXPECT_EQ(r.rejection, 0);
}

TEST(MeasureFingerRegion, BoxIsClampedToTheImage) {
  FingerRegion r = Measure(20, 30, {{0, 0}, {1, 0}, {0, 1}});
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.bottom, 2);
  EXPECT_EQ(r.right, 2);
  r = Measure(20, 30, {{29, 18}, {28, 19}, {29, 19}});
  EXPECT_EQ(r.top, 17);
  EXPECT_EQ(r.left, 27);
  EXPECT_EQ(r.bottom, 19);
  EXPECT_EQ(r.right, 29);
  EXPECT_EQ(r.width, 2);
  EXPECT_EQ(r.height, 2);
}

}  // namespace
