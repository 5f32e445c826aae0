#include "analysis/finger_extraction.h"

#include <gtest/gtest.h>

#include <vector>

#include "interface/memory.h"

namespace {

vtl::FingerRegion Region(int32_t cx, int32_t cy, int32_t width, int32_t height) {
  vtl::FingerRegion r{};
  r.centerX = cx;
  r.centerY = cy;
  r.width = width;
  r.height = height;
  return r;
}

struct Fingers {
  std::vector<SegmentedFinger> records;
  explicit Fingers(size_t n) : records(n, SegmentedFinger{}) {}
  ~Fingers() {
    for (auto& f : records) vtl::ReleaseAndClear(f.image);
  }
};

std::vector<uint8_t> Image(int columns, int rows) {
  std::vector<uint8_t> px(static_cast<size_t>(columns) * rows);
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i % 250);
  return px;
}

TEST(FingerExtraction, NoFingersTouchesNothing) {
  const auto px = Image(20, 20);
  Fingers f(1);
  uint8_t marker = 0;
  f.records[0].image = &marker;
  const vtl::FingerRegion r = Region(10, 10, 4, 4);
  EXPECT_EQ(vtl::ExtractFingerImages(px.data(), 20, 20, &r, 0, f.records.data()), 0);
  EXPECT_EQ(f.records[0].image, &marker);
  f.records[0].image = nullptr;
}

TEST(FingerExtraction, AtMostFiveFingersAndNoAbsurdSizes) {
  const auto px = Image(20, 20);
  const std::vector<vtl::FingerRegion> regions(7, Region(10, 10, 3, 3));
  Fingers f(7);
  ASSERT_EQ(vtl::ExtractFingerImages(px.data(), 20, 20, regions.data(), 7, f.records.data()), 0);
  for (int i = 0; i < 5; ++i) EXPECT_NE(f.records[i].image, nullptr) << i;
  EXPECT_EQ(f.records[5].image, nullptr);
  EXPECT_EQ(f.records[6].image, nullptr);

  // 100000 x 100000 does not fit 32 bits: refused before any allocation,
  // and the picture made before it is released.
  const std::vector<vtl::FingerRegion> huge = {Region(10, 10, 3, 3),
                                               Region(10, 10, 100000, 100000)};
  Fingers g(2);
  vtl::FailAllocationAt(0);
  EXPECT_EQ(vtl::ExtractFingerImages(px.data(), 20, 20, huge.data(), 2, g.records.data()), 19);
  EXPECT_EQ(vtl::AllocationCount(), 1);
  EXPECT_EQ(g.records[0].image, nullptr);
  EXPECT_EQ(g.records[1].image, nullptr);
}

}  // namespace
