#include "separate/line_pixels.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "interface/memory.h"

namespace {

using Points = std::vector<std::pair<int32_t, int32_t>>;

Points Rasterise(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  int32_t* xs = nullptr;
  int32_t* ys = nullptr;
  int32_t count = -1;
  EXPECT_EQ(vtl::GetLinePixelBetweenTwoPoints(x0, y0, x1, y1, &xs, &ys, &count), 0);
  Points points;
  for (int32_t i = 0; i < count; ++i) points.emplace_back(xs[i], ys[i]);
  vtl::Release(xs);
  vtl::Release(ys);
  return points;
}

TEST(LinePixels, Examples) {
  struct Case {
    int32_t x0, y0, x1, y1;
    Points expected;
  };
  const Case cases[] = {
      // Mostly horizontal: y advances by 0.5 per column.
      {0, 0, 4, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
      // Negative positions truncate toward zero: -1.5 -> -1, -0.5 -> 0.
      {-2, 0, 0, 4, {{-2, 0}, {-1, 1}, {-1, 2}, {0, 3}, {0, 4}}},
      {7, -3, 7, -3, {{7, -3}}},
      // Backwards in both axes.
      {4, 2, 0, 0, {{4, 2}, {3, 1}, {2, 1}, {1, 0}, {0, 0}}},
      {0, 0, -3, 0, {{0, 0}, {-1, 0}, {-2, 0}, {-3, 0}}},
      {0, 0, 0, -2, {{0, 0}, {0, -1}, {0, -2}}},
      // Diagonal: ax == ay takes the vertical branch, step 1 on both axes.
      {0, 0, -2, 2, {{0, 0}, {-1, 1}, {-2, 2}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Rasterise(c.x0, c.y0, c.x1, c.y1), c.expected)
        << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1;
  }
}

TEST(LinePixels, AccumulatedSinglePrecisionSteps) {
  // 1/3 accumulated in float reaches exactly 1 and 2 after three and six
  // steps but only 2.9999998 after nine: the last point stays on row 2, where
  // a recomputed 9 x 3 / 9 would give the end row 3.
  const Points p = Rasterise(0, 0, 9, 3);
  ASSERT_EQ(p.size(), 10u);
  const int32_t rows[] = {0, 0, 0, 1, 1, 1, 2, 2, 2, 2};
  for (size_t i = 0; i < p.size(); ++i) {
    EXPECT_EQ(p[i].first, static_cast<int32_t>(i));
    EXPECT_EQ(p[i].second, rows[i]) << i;
  }
}

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
