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

TEST(FingerBoxes, NothingFoundWritesNothingAndFoundIsBounded) {
  const auto none = Build(vtl::BuildFingerBoxes, 5, {2, 20, 43}, 0);
  for (const auto& r : none) EXPECT_EQ(r.width, 0);
  // Found beyond the five fingers the records can describe: five boxes.
  const auto many = Build(vtl::BuildFingerBoxes, 0, {0, 5, 10, 15, 20, 25}, 9);
  EXPECT_EQ(many[4].width, 5);
  EXPECT_EQ(many[5].width, 0);
}

}  // namespace
