#include "prepare/foreground.h"

#include <gtest/gtest.h>

#include <vector>

#include "interface/memory.h"

namespace {

struct Mask {
  uint8_t* pixels = nullptr;
  int32_t background = -1;
  int32_t status = -1;
  ~Mask() { vtl::Release(pixels); }
};

void RunMask(const std::vector<uint8_t>& work, int rows, int columns, Mask& m) {
  m.status = vtl::FindForegroundMask(rows, columns, work.data(), &m.pixels, &m.background);
}

TEST(Foreground, MeanOfExactly120CountsBelowStrictly) {
  // Mean exactly 120: only values <= 119 count as below; threshold 120.
  std::vector<uint8_t> a = {119, 120, 121, 120};
  int32_t count = 0;
  ASSERT_EQ(vtl::ThresholdAtMeanGrey(1, 4, a.data(), &count), 0);
  EXPECT_EQ(a, (std::vector<uint8_t>{0, 255, 255, 255}));
  EXPECT_EQ(count, 3);
  // Mean 120.4: values <= 120 count; threshold still 120.
  std::vector<uint8_t> b = {120, 120, 120, 120, 122};
  ASSERT_EQ(vtl::ThresholdAtMeanGrey(1, 5, b.data(), &count), 0);
  EXPECT_EQ(b, (std::vector<uint8_t>{255, 255, 255, 255, 255}));
}

TEST(Foreground, ImagesSmallerThanTheWindow) {
  // Under 16 rows or columns a pass is skipped instead of reading outside.
  const int sizes[][2] = {{1, 1}, {3, 40}, {40, 3}, {15, 15}, {16, 16}, {16, 17}};
  for (const auto& sz : sizes) {
    std::vector<uint8_t> work(static_cast<size_t>(sz[0]) * sz[1]);
    for (size_t i = 0; i < work.size(); ++i) work[i] = static_cast<uint8_t>(i * 37);
    Mask m;
    RunMask(work, sz[0], sz[1], m);
    EXPECT_EQ(m.status, 0) << sz[0] << "x" << sz[1];
  }
  std::vector<uint8_t> src = {10, 20, 30, 40, 50, 60};
  std::vector<uint8_t> dst(6);
  ASSERT_EQ(vtl::SmoothImageBox16(2, 3, src.data(), dst.data()), 0);
  EXPECT_EQ(dst, src);
}

TEST(Foreground, Failures) {
  Mask m;
  m.pixels = vtl::AllocateZeroed<uint8_t>(4);  // released on entry
  EXPECT_EQ(vtl::FindForegroundMask(2, 2, nullptr, &m.pixels, &m.background), 8);
  EXPECT_EQ(m.pixels, nullptr);
  EXPECT_EQ(m.background, 0);

  uint8_t px[4] = {};
  int32_t count = 0;
  EXPECT_EQ(vtl::BinarizeImage(1, 4, nullptr, 5, &count), 7);
  EXPECT_EQ(vtl::BinarizeImage(1, 0, px, 5, &count), 8);
  EXPECT_EQ(vtl::BinarizeImage(0, 4, px, 5, &count), 9);
  EXPECT_EQ(vtl::BinarizeImage(1, 4, px, 256, &count), 10);
  EXPECT_EQ(vtl::BinarizeImage(1, 4, px, -1, &count), 10);
  EXPECT_EQ(vtl::ThresholdAtMeanGrey(0, 4, px, &count), 9);
}

}  // namespace
