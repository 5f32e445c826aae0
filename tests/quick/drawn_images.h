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

}  // namespace quicktest

#endif
