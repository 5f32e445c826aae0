// Small hand-drawn test images: dark capsules (rounded bars) and blocks on a
// white page, and the checks the quick segmenters' results must pass on them.
#ifndef VANTREL_TESTS_QUICK_DRAWN_IMAGES_H
#define VANTREL_TESTS_QUICK_DRAWN_IMAGES_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "quick/labelling.h"
#include "vantrel.h"

namespace quicktest {

constexpr uint8_t kInk = 30;
constexpr uint8_t kPaper = 255;

struct Canvas {
  int32_t rows;
  int32_t columns;
  std::vector<uint8_t> pixels;

  Canvas(int32_t r, int32_t c) : rows(r), columns(c), pixels(size_t(r) * c, kPaper) {}
  uint8_t& at(int32_t y, int32_t x) { return pixels[size_t(y) * columns + x]; }
  uint8_t at(int32_t y, int32_t x) const { return pixels[size_t(y) * columns + x]; }

  // Axis-parallel block, corners included.
  void Block(int32_t top, int32_t left, int32_t bottom, int32_t right, uint8_t value = kInk) {
    for (int32_t y = std::max(top, 0); y <= std::min(bottom, rows - 1); ++y)
      for (int32_t x = std::max(left, 0); x <= std::min(right, columns - 1); ++x) at(y, x) = value;
  }

  // All pixels within `radius` of the segment (x0, y0)-(x1, y1).
  void Capsule(double x0, double y0, double x1, double y1, double radius, uint8_t value = kInk) {
    const double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    for (int32_t y = 0; y < rows; ++y) {
      for (int32_t x = 0; x < columns; ++x) {
        double t = len2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / len2 : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        const double ex = x0 + t * dx - x, ey = y0 + t * dy - y;
        if (ex * ex + ey * ey <= radius * radius) at(y, x) = value;
      }
    }
  }
};

// A finger drawn as a capsule, with its tip at the top.
struct DrawnFinger {
  double tipX, tipY, baseX, baseY, radius;
};

inline Canvas DrawFingers(int32_t rows, int32_t columns, const std::vector<DrawnFinger>& fingers) {
  Canvas canvas(rows, columns);
  for (const DrawnFinger& f : fingers) canvas.Capsule(f.tipX, f.tipY, f.baseX, f.baseY, f.radius);
  return canvas;
}

// Four fingertips of a right hand (index .. little from the left) at 500 ppi:
// the middle finger reaches highest, the tips fall from it to the little one.
inline std::vector<DrawnFinger> RightHand() {
  return {{190, 260, 220, 900, 75},
          {460, 160, 460, 900, 75},
          {730, 210, 700, 900, 75},
          {990, 330, 940, 900, 70}};
}

// True when (x, y) lies on the drawn finger.
inline bool OnFinger(const DrawnFinger& f, int32_t x, int32_t y) {
  const double dx = f.baseX - f.tipX, dy = f.baseY - f.tipY;
  double t = ((x - f.tipX) * dx + (y - f.tipY) * dy) / (dx * dx + dy * dy);
  t = std::clamp(t, 0.0, 1.0);
  const double ex = f.tipX + t * dx - x, ey = f.tipY + t * dy - y;
  return ex * ex + ey * ey <= f.radius * f.radius;
}

// Checks each record's finger image against the caller's pixels: a copy of
// the box, except the pixels whose working cell carries the excluded
// neighbour's label (the right neighbour, for the last record the left one),
// which are 255. The neighbour's label is the one at its centre. The label
// image is the one the call left in the labelling state.
// *whitened receives the number of dark caller pixels that were cleaned away.
inline void ExpectFingerImages(const VantrelResultType& r, const uint8_t* image, int32_t rows,
                               int32_t columns, int32_t xres, int32_t yres,
                               int64_t* whitened = nullptr) {
  const vtl::LabellingState* state = vtl::GetLabellingState();
  ASSERT_NE(state, nullptr);
  ASSERT_NE(state->labels, nullptr);
  (void)rows;
  const float colFactor = float(xres) / 62.0f, rowFactor = float(yres) / 62.0f;
  const int32_t workColumns = int32_t(float(columns) / colFactor);
  const float colStep = 1.0f / colFactor, rowStep = 1.0f / rowFactor;
  auto labelAt = [&](int32_t y, int32_t x) {
    return state->labels[int64_t(float(y) * rowStep) * workColumns + int32_t(float(x) * colStep)];
  };
  int64_t cleanedDark = 0;
  for (int32_t i = 0; i < r.count; ++i) {
    const SegmentedFinger& f = r.fingers[i];
    SCOPED_TRACE(::testing::Message() << "finger image " << i);
    ASSERT_NE(f.image, nullptr);
    int32_t excluded = -1;
    if (i + 1 < r.count) {
      excluded = labelAt(r.fingers[i + 1].centerY, r.fingers[i + 1].centerX);
    } else if (i > 0) {
      excluded = labelAt(r.fingers[i - 1].centerY, r.fingers[i - 1].centerX);
    }
    if (r.count > 1) {
      ASSERT_GE(excluded, 256) << "the neighbour's centre lies on its component";
    }
    int64_t mismatches = 0;
    for (int32_t y = f.top; y <= f.bottom; ++y) {
      for (int32_t x = f.left; x <= f.right; ++x) {
        const uint8_t got = f.image[int64_t(y - f.top) * f.boxWidth + (x - f.left)];
        const bool cleaned = labelAt(y, x) == excluded;
        const uint8_t want = cleaned ? 255 : image[int64_t(y) * columns + x];
        if (cleaned && image[int64_t(y) * columns + x] != 255) ++cleanedDark;
        if (got != want) ++mismatches;
      }
    }
    EXPECT_EQ(mismatches, 0);
    // The buffer's spare row and column stay white.
    const int64_t bytes = int64_t(f.boxHeight + 1) * (f.boxWidth + 1);
    for (int64_t b = int64_t(f.boxHeight) * f.boxWidth; b < bytes; ++b) {
      ASSERT_EQ(f.image[b], 255);
    }
  }
  if (whitened != nullptr) *whitened = cleanedDark;
}

}  // namespace quicktest

#endif
