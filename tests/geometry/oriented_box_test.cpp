#include "geometry/oriented_box.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "../support/vector_levels.h"

namespace {

// Every pixel distinct enough to tell rows and columns apart.
std::vector<uint8_t> Ramp(int columns, int rows) {
  std::vector<uint8_t> px(static_cast<size_t>(columns) * rows);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) px[r * columns + c] = static_cast<uint8_t>(r * 16 + c);
  return px;
}

using Sampler = void (*)(const uint8_t*, int32_t, int32_t, uint8_t*, int32_t, int32_t, int32_t,
                         int32_t, float, uint8_t);

TEST(OrientedBox, NonPositiveSizesWriteNothing) {
  const auto src = Ramp(16, 16);
  for (Sampler sample :
       {Sampler{vtl::SampleOrientedBox}, Sampler{vtl::SampleOrientedBoxTruncated}}) {
    std::vector<uint8_t> box(4, 3);
    sample(src.data(), 16, 16, box.data(), -2, 2, 8, 8, 0.0f, 200);
    sample(src.data(), 16, 16, box.data(), 2, 0, 8, 8, 0.0f, 200);
    EXPECT_EQ(box, std::vector<uint8_t>(4, 3));
  }
}

// The sampler as first written: one pixel at a time, bounds tested per
// pixel. The library walks several rows at once; it must agree bit for bit.
template <bool kTruncated>
void ReferenceSample(const uint8_t* source, int32_t columns, int32_t rows, uint8_t* destination,
                     int32_t boxWidth, int32_t boxHeight, int32_t centreColumn, int32_t centreRow,
                     float angle, uint8_t fill) {
  if (destination == nullptr || boxWidth < 1 || boxHeight < 1) return;
  std::memset(destination, fill, static_cast<size_t>(boxWidth) * boxHeight);
  if (source == nullptr || columns < 1 || rows < 1) return;
  const double c = std::cos(static_cast<double>(angle));
  const double s = std::sin(static_cast<double>(angle));
  const double xLimit = kTruncated ? columns - 1.5 : columns - 0.5;
  const double yLimit = kTruncated ? rows - 1.5 : rows - 0.5;
  double rowX = centreColumn - c * (boxWidth * 0.5) - s * (boxHeight * 0.5);
  double rowY = centreRow + s * (boxWidth * 0.5) - c * (boxHeight * 0.5);
  for (int32_t i = 0; i < boxHeight; ++i) {
    uint8_t* out = destination + static_cast<size_t>(i) * boxWidth;
    double x = rowX;
    double y = rowY;
    for (int32_t j = 0; j < boxWidth; ++j) {
      if (kTruncated) {
        if (x >= 0.0 && x <= xLimit && y >= 0.0 && y <= yLimit)
          out[j] = source[static_cast<int64_t>(y) * columns + static_cast<int64_t>(x)];
      } else if (x >= 0.0 && x < xLimit && y >= 0.0 && y < yLimit) {
        out[j] = source[static_cast<int64_t>(y + 0.5) * columns + static_cast<int64_t>(x + 0.5)];
      }
      x = x + c;
      y = y - s;
    }
    rowX = rowX + s;
    rowY = rowY + c;
  }
}

// Sixteen or eight rows at once (AVX-512), four (AVX2, truncating sampler) or
// one, with the rows left over walked one at a time: every level against the
// walk.
using OrientedBoxAtLevel = vtl::testing::AtVectorLevel;

// Two families of boxes: 3000 over small sources, so that boxes hang over
// every edge and corner (each source is its own allocation, so a read past
// its end is caught by the address sanitizer); then 1500 inside the source
// or reaching its edges exactly (axis-aligned boxes as wide or tall as the
// source), where the samplers may skip the bounds tests.
TEST_P(OrientedBoxAtLevel, BoxesMatchThePixelByPixelWalk) {
  std::mt19937 rng(7);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto anyAngle = [&rng](float limit) {
    return std::uniform_real_distribution<float>(-limit, limit)(rng);
  };
  for (int trial = 0; trial < 4500; ++trial) {
    const bool inside = trial >= 3000;
    const bool onEdges = inside && trial % 3 == 0;
    const int columns = inside ? uniform(40, 140) : uniform(1, 60);
    const int rows = inside ? uniform(40, 140) : uniform(1, 60);
    std::vector<uint8_t> src(static_cast<size_t>(columns) * rows);
    for (auto& p : src) p = static_cast<uint8_t>(uniform(0, 254));
    int width = uniform(1, 45), height = uniform(1, 45);
    int cx = uniform(-20, columns + 20), cy = uniform(-20, rows + 20);
    // Whole turns and near-axis angles too, where positions land on edges.
    float angle = trial % 5 == 0 ? static_cast<float>(uniform(-4, 4)) * 1.5707964f : anyAngle(3.2f);
    if (onEdges) {
      width = columns - uniform(0, 2);
      height = rows - uniform(0, 2);
      cx = columns / 2 + uniform(-1, 1);
      cy = rows / 2 + uniform(-1, 1);
      angle = static_cast<float>(uniform(-2, 2)) * 1.5707964f;
    } else if (inside) {
      width = uniform(16, 40);
      height = uniform(16, 40);
      cx = uniform(20, columns - 20);
      cy = uniform(20, rows - 20);
      angle = anyAngle(0.4f);
    }
    const auto fill = static_cast<uint8_t>(255 - trial % 2);
    std::vector<uint8_t> got(static_cast<size_t>(width) * height, 0);
    std::vector<uint8_t> want(got.size(), 1);
    vtl::SampleOrientedBoxTruncated(src.data(), columns, rows, got.data(), width, height, cx, cy,
                                    angle, fill);
    ReferenceSample<true>(src.data(), columns, rows, want.data(), width, height, cx, cy, angle,
                          fill);
    ASSERT_EQ(got, want) << "truncated, trial " << trial;
    vtl::SampleOrientedBox(src.data(), columns, rows, got.data(), width, height, cx, cy, angle,
                           fill);
    ReferenceSample<false>(src.data(), columns, rows, want.data(), width, height, cx, cy, angle,
                           fill);
    ASSERT_EQ(got, want) << "nearest, trial " << trial;
  }
}

TEST_P(OrientedBoxAtLevel, NotANumberAngleGivesAllFill) {
  const auto src = Ramp(16, 16);
  for (Sampler sample :
       {Sampler{vtl::SampleOrientedBox}, Sampler{vtl::SampleOrientedBoxTruncated}}) {
    std::vector<uint8_t> box(13 * 11, 0);
    sample(src.data(), 16, 16, box.data(), 13, 11, 8, 8, std::nanf(""), 77);
    EXPECT_EQ(box, std::vector<uint8_t>(box.size(), 77));
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, OrientedBoxAtLevel, vtl::testing::AllVectorLevels(),
                         vtl::testing::LevelParamName);

}  // namespace
