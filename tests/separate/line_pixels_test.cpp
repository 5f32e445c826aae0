#include "separate/line_pixels.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "interface/memory.h"

namespace {

using Points = std::vector<std::pair<int32_t, int32_t>>;

TEST(LinePixels, ReusesAndGrowsExistingLists) {
  int32_t* xs = nullptr;
  int32_t* ys = nullptr;
  int32_t count = 0;
  ASSERT_EQ(vtl::GetLinePixelBetweenTwoPoints(0, 0, 0, 2, &xs, &ys, &count), 0);
  ASSERT_EQ(vtl::GetLinePixelBetweenTwoPoints(0, 0, 0, 200, &xs, &ys, &count), 0);
  ASSERT_EQ(count, 201);
  EXPECT_EQ(ys[200], 200);
  vtl::Release(xs);
  vtl::Release(ys);
}

TEST(LinePixels, TooLongToCountFails) {
  int32_t* xs = nullptr;
  int32_t* ys = nullptr;
  int32_t count = 0;
  EXPECT_EQ(vtl::GetLinePixelBetweenTwoPoints(INT32_MIN, 0, INT32_MAX, 0, &xs, &ys, &count), 19);
  EXPECT_EQ(xs, nullptr);
  EXPECT_EQ(ys, nullptr);
}

TEST(ReallocateIntArray, KeepsContentAndReportsFailure) {
  int32_t* a = nullptr;
  ASSERT_EQ(vtl::ReallocateIntArray(&a, 3, "a"), 0);
  a[0] = 5;
  a[2] = 7;
  ASSERT_EQ(vtl::ReallocateIntArray(&a, 1000, "a"), 0);
  EXPECT_EQ(a[0], 5);
  EXPECT_EQ(a[2], 7);

  // A failed resize releases the old block (the sanitizer build would report
  // it otherwise) and says which array on stderr.
  vtl::FailAllocationAt(1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(vtl::ReallocateIntArray(&a, 2000, "Test Array"), 19);
  const std::string err = testing::internal::GetCapturedStderr();
  vtl::FailAllocationAt(0);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(err, "ERROR: ReallocateIntArray: Test Array\n");

  testing::internal::CaptureStderr();
  EXPECT_EQ(vtl::ReallocateIntArray(&a, -1, "negative"), 19);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: ReallocateIntArray: negative\n");
  EXPECT_EQ(a, nullptr);
}

}  // namespace
