#include "prepare/resample.h"

#include <gtest/gtest.h>

#include <vector>

#include "interface/memory.h"

namespace {

// Pixel value encodes its position so a sample tells where it came from.
std::vector<uint8_t> Ramp(int rows, int columns) {
  std::vector<uint8_t> v(static_cast<size_t>(rows) * columns);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < columns; ++x) v[static_cast<size_t>(y) * columns + x] = (y * 7 + x) & 255;
  return v;
}

const float k500 = 500.0f / 62.0f;

TEST(Resample, PicksTopLeftSampleOfEachCell) {
  const auto in = Ramp(1000, 800);
  uint8_t* out = nullptr;
  int32_t r = 0, c = 0;
  ASSERT_EQ(vtl::ResampleToWorkingResolution(in.data(), 1000, 800, k500, k500, &out, &r, &c), 0);
  EXPECT_EQ(r, 124);
  EXPECT_EQ(c, 99);
  auto at = [&](int y, int x) { return in[static_cast<size_t>(y) * 800 + x]; };
  EXPECT_EQ(out[1 * c + 1], at(8, 8));
  EXPECT_EQ(out[123 * c + 98], at(991, 790));
  EXPECT_EQ(out[0], at(0, 0));
  EXPECT_EQ(out[31 * c + 62], at(250, 500));  // the float products land on 250 and 500
  vtl::Release(out);
}

TEST(Resample, AxesScaleIndependently) {
  const std::vector<uint8_t> in(1000 * 1000, 9);
  uint8_t* out = nullptr;
  int32_t r = 0, c = 0;
  ASSERT_EQ(
      vtl::ResampleToWorkingResolution(in.data(), 1000, 1000, 1000.0f / 62.0f, k500, &out, &r, &c),
      0);
  EXPECT_EQ(r, 124);
  EXPECT_EQ(c, 62);
  vtl::Release(out);
}

TEST(Resample, SmallerThanOneStepGivesNoPixelsAndAllocatesNothing) {
  const std::vector<uint8_t> in(7 * 100, 1);
  uint8_t* out = reinterpret_cast<uint8_t*>(&out);  // must be overwritten
  int32_t r = -1, c = -1;
  vtl::ResetAllocationCount();
  EXPECT_EQ(vtl::ResampleToWorkingResolution(in.data(), 7, 100, k500, k500, &out, &r, &c), 0);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(c, 12);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(vtl::AllocationCount(), 0);
}

}  // namespace
