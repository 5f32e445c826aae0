#include "prepare/resample.h"

#include <gtest/gtest.h>

#include <vector>

#include "interface/memory.h"

namespace {

// Sampling and scaling on ordinary images, equal or unequal resolutions, are
// pinned by the golden test through both segmenters that resample; here the
// edge the generated slaps never reach.
const float k500 = 500.0f / 62.0f;

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
