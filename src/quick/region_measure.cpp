#include "quick/region_measure.h"

#include <cmath>

#include "vantrel.h"

namespace vtl {
namespace {

// Rows between the band limits below which the bands become fractions of the
// component's height instead of three rows each.
constexpr int32_t kMinBandGap = 6;
constexpr int32_t kBandRows = 3;
constexpr float kBandFraction = 0.3f;

int32_t Scale(int32_t value, float factor, int32_t size) {
  const auto scaled = static_cast<int32_t>(static_cast<float>(value) * factor);
  return scaled >= size ? size - 1 : scaled;
}

}  // namespace

int32_t MeasureFingerRegion(int32_t rows, int32_t columns, int32_t count, const PointXY* points,
                            FingerRegion* region) {
  const int32_t yTop = points[0].y;
  const int32_t yBottom = points[count - 1].y;
  int32_t tipLimit = yTop + kBandRows;
  int32_t baseLimit = yBottom - kBandRows;
  if (baseLimit - tipLimit < kMinBandGap) {
    const float d = static_cast<float>(yBottom - yTop) * kBandFraction;
    tipLimit = static_cast<int32_t>(static_cast<float>(yTop) + d);
    baseLimit = static_cast<int32_t>(static_cast<float>(yBottom) - d);
  }

  // 64-bit sums: a large component's coordinate sums outgrow 32 bits.
  int32_t minX = columns;
  int32_t maxX = 0;
  int64_t sumX = 0, sumY = 0;
  int64_t tipCount = 0, tipSumX = 0, tipSumY = 0;
  int64_t baseCount = 0, baseSumX = 0, baseSumY = 0;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t x = points[i].x;
    const int32_t y = points[i].y;
    if (x < minX) minX = x;
    if (x > maxX) maxX = x;
    sumX += x;
    sumY += y;
    if (y <= tipLimit) {
      ++tipCount;
      tipSumX += x;
      tipSumY += y;
    }
    if (y >= baseLimit) {
      ++baseCount;
      baseSumX += x;
      baseSumY += y;
    }
  }
  const auto tipX = static_cast<int32_t>(tipSumX / tipCount);
  const auto tipY = static_cast<int32_t>(tipSumY / tipCount);
  const auto baseX = static_cast<int32_t>(baseSumX / baseCount);
  const auto baseY = static_cast<int32_t>(baseSumY / baseCount);

  region->left = minX - 1 < 0 ? 0 : minX - 1;
  region->top = yTop - 1 < 0 ? 0 : yTop - 1;
  region->right = maxX + 1 >= columns ? columns - 1 : maxX + 1;
  region->bottom = yBottom + 1 >= rows ? rows - 1 : yBottom + 1;
  region->centerX = static_cast<int32_t>(sumX / count);
  region->centerY = static_cast<int32_t>(sumY / count);
  // Rows grow downwards: a finger pointing straight up has the angle pi/2.
  region->angle = static_cast<float>(
      std::atan2(static_cast<double>(baseY - tipY), static_cast<double>(baseX - tipX)));
  region->width = maxX - minX + 1;
  region->secondWidth = region->width;
  region->height = yBottom - yTop + 1;
  region->secondHeight = region->height;
  return VANTREL_OK;
}

void ScaleRegionsToImage(int32_t columns, int32_t rows, FingerRegion* regions, int32_t n,
                         float colFactor, float rowFactor) {
  for (int32_t i = 0; i < n; ++i) {
    FingerRegion& r = regions[i];
    r.centerX = Scale(r.centerX, colFactor, columns);
    r.left = Scale(r.left, colFactor, columns);
    r.right = Scale(r.right, colFactor, columns);
    r.centerY = Scale(r.centerY, rowFactor, rows);
    r.top = Scale(r.top, rowFactor, rows);
    r.bottom = Scale(r.bottom, rowFactor, rows);
    r.width = r.right - r.left + 1;
    r.secondWidth = r.width;
    r.height = r.bottom - r.top + 1;
    r.secondHeight = r.height;
  }
}

}  // namespace vtl
