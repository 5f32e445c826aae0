#include "analysis/finger_boxes.h"

#include <algorithm>
#include <cmath>

#include "vantrel.h"

namespace vtl {
namespace {

struct LineEnds {
  int32_t topColumn;
  int32_t topRow;
  int32_t bottomColumn;
  int32_t bottomRow;
};

// The gap line at profile position g of slant s, its columns clipped to the
// image. With `cutAtBorder`, an end outside the image is moved along the line
// to where it crosses the image side (single precision, as the profiles were
// laid out); otherwise the line keeps the top and bottom rows.
LineEnds GapLine(int32_t g, int32_t s, int32_t columns, int32_t rows, bool cutAtBorder) {
  LineEnds e;
  if (s >= 0) {
    e.topColumn = std::max(g - s, 0);
    e.bottomColumn = std::min(g, columns - 1);
  } else {
    e.topColumn = std::min(g, columns - 1);
    e.bottomColumn = std::max(g + s, 0);
  }
  e.topRow = 0;
  e.bottomRow = rows - 1;
  if (!cutAtBorder) return e;

  const float fRows = static_cast<float>(rows);
  const float fSlant = static_cast<float>(s);
  if (s > 0) {
    if (g >= columns) {
      const float row = (1.0f - static_cast<float>(g - columns + 1) / fSlant) * fRows - 1.0f;
      e.bottomRow = row > 0.0f ? static_cast<int32_t>(row) : 0;
    }
    if (g < s) {
      e.topRow = static_cast<int32_t>((1.0f - static_cast<float>(g) / fSlant) * fRows - 1.0f);
    }
  } else if (s < 0) {
    if (g >= columns) {
      const float row = static_cast<float>(g - columns + 1) / static_cast<float>(-s) * fRows - 1.0f;
      e.topRow = static_cast<int32_t>(std::min(fRows, row));
    }
    if (g < -s) {
      e.bottomRow = static_cast<int32_t>(-(static_cast<float>(g) / fSlant) * fRows - 1.0f);
    }
  }
  return e;
}

// The thumb variant cuts only the middle gap line at the border.
int32_t BuildBoxes(double angle, int32_t slant, const ProfilePeaks& fingers,
                   const ProfilePeaks& gaps, int32_t columns, int32_t rows, FingerRegion** regions,
                   bool thumbs) {
  if (regions == nullptr || *regions == nullptr) return VANTREL_OK;
  // Finger j needs gap j + 1, and the records hold six gaps.
  const int32_t found = std::min<int32_t>(fingers.found, kMaxPeaks - 1);
  const float boxAngle = static_cast<float>(angle);
  const double across = std::cos(angle);
  for (int32_t j = 0; j < found; ++j) {
    const int32_t gl = gaps.place[j].position;
    const int32_t gr = gaps.place[j + 1].position;
    const LineEnds l = GapLine(gl, slant, columns, rows, !thumbs || j == 1);
    const LineEnds r = GapLine(gr, slant, columns, rows, !thumbs || j + 1 == 1);

    FingerRegion& region = (*regions)[j];
    const int64_t columnSum = int64_t{l.topColumn} + l.bottomColumn + r.topColumn + r.bottomColumn;
    const int64_t rowSum = int64_t{l.topRow} + l.bottomRow + r.topRow + r.bottomRow;
    region.centerX = static_cast<int32_t>(columnSum / 4);
    region.centerY = static_cast<int32_t>(rowSum / 4);
    region.width = static_cast<int32_t>(static_cast<double>(gr - gl) * across);
    const int64_t dx = (int64_t{l.topColumn} + r.topColumn - l.bottomColumn - r.bottomColumn) / 2;
    const int64_t dy = (int64_t{l.topRow} + r.topRow - l.bottomRow - r.bottomRow) / 2;
    region.height = static_cast<int32_t>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
    region.angle = boxAngle;
  }
  return VANTREL_OK;
}

}  // namespace

int32_t BuildFingerBoxes(double angle, int32_t slant, ProfilePeaks fingers, ProfilePeaks gaps,
                         int32_t columns, int32_t rows, FingerRegion** regions) {
  return BuildBoxes(angle, slant, fingers, gaps, columns, rows, regions, false);
}

int32_t BuildThumbBoxes(double angle, int32_t slant, ProfilePeaks fingers, ProfilePeaks gaps,
                        int32_t columns, int32_t rows, FingerRegion** regions) {
  return BuildBoxes(angle, slant, fingers, gaps, columns, rows, regions, true);
}

}  // namespace vtl
