#include "geometry/oriented_box.h"

#include <cmath>
#include <cstring>

namespace vtl {
namespace {

// Shared walk of both samplers. Positions are accumulated step by step in
// double precision (never recomputed from the indices), so that a pixel's
// position does not depend on whether its neighbours fell inside.
template <bool kTruncated>
void SampleBox(const uint8_t* source, int32_t columns, int32_t rows, uint8_t* destination,
               int32_t boxWidth, int32_t boxHeight, int32_t centreColumn, int32_t centreRow,
               float angle, uint8_t fill) {
  // Negative sizes or a missing buffer: nothing may be written.
  if (destination == nullptr || boxWidth < 1 || boxHeight < 1) return;
  const std::size_t width = static_cast<std::size_t>(boxWidth);
  std::memset(destination, fill, width * static_cast<std::size_t>(boxHeight));
  if (source == nullptr || columns < 1 || rows < 1) return;

  const double c = std::cos(static_cast<double>(angle));
  const double s = std::sin(static_cast<double>(angle));
  const double hw = boxWidth * 0.5;
  const double hh = boxHeight * 0.5;
  const double xLimit = kTruncated ? columns - 1.5 : columns - 0.5;
  const double yLimit = kTruncated ? rows - 1.5 : rows - 0.5;
  const int64_t stride = columns;

  double rowX = centreColumn - c * hw - s * hh;
  double rowY = centreRow + s * hw - c * hh;
  for (int32_t i = 0; i < boxHeight; ++i) {
    uint8_t* out = destination + static_cast<std::size_t>(i) * width;
    double x = rowX;
    double y = rowY;
    for (int32_t j = 0; j < boxWidth; ++j) {
      if (kTruncated) {
        if (x >= 0.0 && x <= xLimit && y >= 0.0 && y <= yLimit) {
          // Signed conversions: the positions are not negative here, and
          // unsigned ones cost a branch per pixel.
          out[j] = source[static_cast<int64_t>(y) * stride + static_cast<int64_t>(x)];
        }
      } else if (x >= 0.0 && x < xLimit && y >= 0.0 && y < yLimit) {
        out[j] = source[static_cast<int64_t>(y + 0.5) * stride + static_cast<int64_t>(x + 0.5)];
      }
      x = x + c;
      y = y - s;
    }
    rowX = rowX + s;
    rowY = rowY + c;
  }
}

}  // namespace

void SampleOrientedBox(const uint8_t* sourcePixels, int32_t columns, int32_t rows,
                       uint8_t* destination, int32_t boxWidth, int32_t boxHeight,
                       int32_t centreColumn, int32_t centreRow, float angle, uint8_t fill) {
  SampleBox<false>(sourcePixels, columns, rows, destination, boxWidth, boxHeight, centreColumn,
                   centreRow, angle, fill);
}

void SampleOrientedBoxTruncated(const uint8_t* sourcePixels, int32_t columns, int32_t rows,
                                uint8_t* destination, int32_t boxWidth, int32_t boxHeight,
                                int32_t centreColumn, int32_t centreRow, float angle,
                                uint8_t fill) {
  SampleBox<true>(sourcePixels, columns, rows, destination, boxWidth, boxHeight, centreColumn,
                  centreRow, angle, fill);
}

}  // namespace vtl
