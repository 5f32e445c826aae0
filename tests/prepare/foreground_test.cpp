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

int CountValue(const Mask& m, size_t n, uint8_t v) {
  int k = 0;
  for (size_t i = 0; i < n; ++i) k += m.pixels[i] == v;
  return k;
}

TEST(Foreground, UniformImages) {
  struct Case {
    uint8_t grey;
    bool allForeground;
  };
  // 100 -> threshold 110, 0 -> 10, 250 -> 254: all foreground; 255 -> 254:
  // all background.
  const Case cases[] = {{100, true}, {0, true}, {250, true}, {255, false}};
  for (const Case& c : cases) {
    const std::vector<uint8_t> work(40 * 40, c.grey);
    Mask m;
    RunMask(work, 40, 40, m);
    ASSERT_EQ(m.status, 0);
    const int zeros = CountValue(m, work.size(), 0);
    EXPECT_EQ(zeros, c.allForeground ? 1600 : 0) << int(c.grey);
    EXPECT_EQ(m.background, 1600 - zeros);
  }
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

TEST(Foreground, NinetyFivePercentRule) {
  // 19 dark pixels and one bright one: 95 % lie below the mean (12.75), so
  // the threshold drops by 10 to 2; the dark pixels (1) stay foreground.
  std::vector<uint8_t> px(20, 1);
  px[19] = 236;
  int32_t count = 0;
  ASSERT_EQ(vtl::ThresholdAtMeanGrey(1, 20, px.data(), &count), 0);
  EXPECT_EQ(count, 1);
  // Darker still: mean - 10 falls below 1 and is clamped to 1, so value 0
  // stays foreground and value 1 becomes background.
  std::vector<uint8_t> q(20, 0);
  q[0] = 1;
  q[19] = 100;
  ASSERT_EQ(vtl::ThresholdAtMeanGrey(1, 20, q.data(), &count), 0);
  EXPECT_EQ(q[0], 255);
  EXPECT_EQ(q[1], 0);
  EXPECT_EQ(count, 2);
}

TEST(Foreground, WorkImageUnchangedAndMaskTwoValued) {
  std::vector<uint8_t> work(50 * 60, 220);
  for (int y = 10; y < 40; ++y)
    for (int x = 15; x < 35; ++x) work[y * 60 + x] = 30;
  const auto before = work;
  Mask m;
  RunMask(work, 50, 60, m);
  ASSERT_EQ(m.status, 0);
  EXPECT_EQ(work, before);
  EXPECT_EQ(m.pixels[25 * 60 + 25], 0);
  EXPECT_EQ(m.pixels[2 * 60 + 2], 255);
  EXPECT_EQ(CountValue(m, work.size(), 0) + CountValue(m, work.size(), 255), 3000);
  EXPECT_EQ(m.background, CountValue(m, work.size(), 255));
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
