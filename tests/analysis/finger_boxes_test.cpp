#include "analysis/finger_boxes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using Builder = int32_t (*)(double, int32_t, vtl::ProfilePeaks, vtl::ProfilePeaks, int32_t, int32_t,
                            vtl::FingerRegion**);

struct Box {
  int32_t centerX, centerY, width, height;
};

std::vector<vtl::FingerRegion> Build(Builder build, int32_t slant, std::vector<int32_t> gapAt,
                                     int32_t found, int32_t columns = 40, int32_t rows = 30) {
  vtl::ProfilePeaks fingers{}, gaps{};
  fingers.found = found;
  for (size_t j = 0; j < gapAt.size(); ++j) gaps.place[j].position = gapAt[j];
  std::vector<vtl::FingerRegion> regions(6);
  for (auto& r : regions) r.rejection = 77;  // untouched by the builders
  vtl::FingerRegion* array = regions.data();
  const double angle = static_cast<float>(std::atan2(double(slant), double(rows - 1)));
  EXPECT_EQ(build(angle, slant, fingers, gaps, columns, rows, &array), 0);
  return regions;
}

void ExpectBoxes(const std::vector<vtl::FingerRegion>& regions, const std::vector<Box>& want,
                 float angle) {
  for (size_t j = 0; j < want.size(); ++j) {
    EXPECT_EQ(regions[j].centerX, want[j].centerX) << j;
    EXPECT_EQ(regions[j].centerY, want[j].centerY) << j;
    EXPECT_EQ(regions[j].width, want[j].width) << j;
    EXPECT_EQ(regions[j].height, want[j].height) << j;
    EXPECT_EQ(regions[j].angle, angle) << j;
    EXPECT_EQ(regions[j].rejection, 77) << j;
  }
}

TEST(FingerBoxes, SlantFiveHandBoxesAreCutAtTheBorders) {
  const auto r = Build(vtl::BuildFingerBoxes, 5, {2, 20, 43}, 2);
  EXPECT_EQ(r[0].angle, 0.17073521f);
  // Finger 0's left line enters at row 17; finger 1's right line leaves the
  // right border at row 4 (4.9999995 in single precision).
  ExpectBoxes(r, {{9, 18, 17, 20}, {28, 8, 22, 16}}, 0.17073521f);
  EXPECT_EQ(r[2].width, 0);  // only found boxes are written

  // A line at position 0 touches the image only at its bottom end: both its
  // ends are (0, 29), which pulls the centre down.
  const auto edge = Build(vtl::BuildFingerBoxes, 5, {0, 20}, 1);
  EXPECT_EQ(edge[0].centerY, (29 + 29 + 0 + 29) / 4);
  EXPECT_EQ(edge[0].centerX, (0 + 0 + 15 + 20) / 4);
}

TEST(FingerBoxes, SlantFiveThumbBoxesKeepTheOuterLinesWhole) {
  const auto r = Build(vtl::BuildThumbBoxes, 5, {2, 20, 43}, 2);
  ExpectBoxes(r, {{9, 14, 17, 29}, {28, 14, 22, 29}}, 0.17073521f);
}

TEST(FingerBoxes, UprightSlantGivesFullHeightBoxes) {
  for (Builder build : {Builder{vtl::BuildFingerBoxes}, Builder{vtl::BuildThumbBoxes}}) {
    const auto r = Build(build, 0, {3, 17, 33}, 2);
    ExpectBoxes(r, {{10, 14, 14, 29}, {25, 14, 16, 29}}, 0.0f);
  }
}

TEST(FingerBoxes, MiddleThumbLineIsCutLikeTheHands) {
  // Middle gap beyond the right border under a positive slant: thumb 0's
  // right line and thumb 1's left line both end at row 4 there.
  const auto hand = Build(vtl::BuildFingerBoxes, 5, {20, 43, 44}, 2);
  const auto thumb = Build(vtl::BuildThumbBoxes, 5, {20, 43, 44}, 2);
  EXPECT_EQ(thumb[0].centerY, hand[0].centerY);  // (0 + 29 + 0 + 4) / 4
  EXPECT_EQ(thumb[0].centerY, 8);
  // Thumb 1: left line rows 0..4, outer right line rows 0..29.
  EXPECT_EQ(thumb[1].centerY, (0 + 4 + 0 + 29) / 4);
  // The hand's right line at 44 is cut too: (1 - 5/5) * 30 - 1 -> row 0.
  EXPECT_EQ(hand[1].centerY, (0 + 4 + 0 + 0) / 4);
}

TEST(FingerBoxes, NegativeSlantCutsBothBorders) {
  // The mirror image of the slant-5 example: gap 42 starts right of the
  // image and enters at row 17; gap 1 ends left of it and leaves at row 5
  // (0.2 * 30 - 1 rounds up in single precision, where 0.8 rounded down).
  const auto r = Build(vtl::BuildFingerBoxes, -5, {1, 24, 42}, 2);
  // Corners (1, 0), (0, 5), (24, 0), (19, 29).
  EXPECT_EQ(r[0].centerX, 11);
  EXPECT_EQ(r[0].centerY, 8);
  EXPECT_EQ(r[0].width, 22);
  EXPECT_EQ(r[0].height, 17);
  // Corners (24, 0), (19, 29), (39, 17), (37, 29).
  EXPECT_EQ(r[1].centerX, 29);
  EXPECT_EQ(r[1].centerY, 18);
  EXPECT_EQ(r[1].width, 17);
  EXPECT_EQ(r[1].height, 20);
  EXPECT_EQ(r[1].angle, -0.17073521f);
}

TEST(FingerBoxes, NothingFoundWritesNothingAndFoundIsBounded) {
  const auto none = Build(vtl::BuildFingerBoxes, 5, {2, 20, 43}, 0);
  for (const auto& r : none) EXPECT_EQ(r.width, 0);
  // Found beyond the five fingers the records can describe: five boxes.
  const auto many = Build(vtl::BuildFingerBoxes, 0, {0, 5, 10, 15, 20, 25}, 9);
  EXPECT_EQ(many[4].width, 5);
  EXPECT_EQ(many[5].width, 0);
}

}  // namespace
