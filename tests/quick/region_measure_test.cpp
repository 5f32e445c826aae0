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

// One pixel per row from yTop to yBottom at column 5, except the given rows.
std::vector<PointXY> Column(int32_t yTop, int32_t yBottom, std::vector<PointXY> moved) {
  std::vector<PointXY> points;
  for (int32_t y = yTop; y <= yBottom; ++y) {
    int32_t x = 5;
    for (const PointXY& m : moved)
      if (m.y == y) x = m.x;
    points.push_back({x, y});
  }
  return points;
}

TEST(MeasureFingerRegion, TwelveRowsUseFractionBandsThirteenUseThreeRowBands) {
  // 12 rows (10..21): d = 3.3, bands y <= 13 and y >= 17. Only row 17 is off
  // the column, so only the fraction rule sees it in the base band.
  FingerRegion r = Measure(40, 40, Column(10, 21, {{14, 17}}));
  // tip (5, 46/4 = 11), base (34/5 = 6, 95/5 = 19)
  EXPECT_FLOAT_EQ(r.angle, float(std::atan2(8.0, 1.0)));
  EXPECT_EQ(r.height, 12);

  // 13 rows (10..22): bands y <= 13 and y >= 19. Row 18 is off the column but
  // lies outside both; the fraction rule (base >= 18) would have seen it.
  r = Measure(40, 40, Column(10, 22, {{14, 18}}));
  EXPECT_FLOAT_EQ(r.angle, float(M_PI / 2));
  EXPECT_EQ(r.height, 13);
  r = Measure(40, 40, Column(10, 22, {{14, 19}, {15, 20}}));
  // base (39/4 = 9, 82/4 = 20), tip (5, 11)
  EXPECT_FLOAT_EQ(r.angle, float(std::atan2(9.0, 4.0)));
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

TEST(ScaleRegionsToImage, SinglePrecisionProductsTruncatedAndClamped) {
  const float factor = 500.0f / 62.0f;  // 8.064516
  FingerRegion regions[2] = {};
  regions[0].left = 20;
  regions[0].right = 40;
  regions[0].centerX = 30;
  regions[0].top = 1;
  regions[0].bottom = 10;
  regions[0].centerY = 5;
  regions[1].left = 95;
  regions[1].right = 98;  // 790.3: stays
  regions[1].centerX = 97;
  regions[1].top = 120;
  regions[1].bottom = 123;   // 991.9 -> 991 of 1000 rows
  regions[1].centerY = 124;  // about 1000 -> clamped to 999
  vtl::ScaleRegionsToImage(795, 1000, regions, 2, factor, factor);
  EXPECT_EQ(regions[0].left, 161);  // 20 x 8.064516 = 161.29
  EXPECT_EQ(regions[0].right, 322);
  EXPECT_EQ(regions[0].centerX, 241);
  EXPECT_EQ(regions[0].top, 8);
  EXPECT_EQ(regions[0].bottom, 80);
  EXPECT_EQ(regions[0].centerY, 40);
  EXPECT_EQ(regions[0].width, 162);
  EXPECT_EQ(regions[0].secondWidth, 162);
  EXPECT_EQ(regions[0].height, 73);
  EXPECT_EQ(regions[0].secondHeight, 73);
  EXPECT_EQ(regions[1].left, 766);
  EXPECT_EQ(regions[1].right, 790);
  EXPECT_EQ(regions[1].centerX, 782);
  EXPECT_EQ(regions[1].bottom, 991);
  EXPECT_EQ(regions[1].centerY, 999);

  // Columns past the image end at its last column.
  FingerRegion edge{};
  edge.right = 99;
  edge.left = 99;
  vtl::ScaleRegionsToImage(800, 1000, &edge, 1, factor, factor);
  EXPECT_EQ(edge.right, 798);  // 798.39
  vtl::ScaleRegionsToImage(790, 1000, &edge, 1, 1.0f, 1.0f);
  EXPECT_EQ(edge.right, 789);
  EXPECT_EQ(edge.width, 789 - edge.left + 1);
}

}  // namespace
