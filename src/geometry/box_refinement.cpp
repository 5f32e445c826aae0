#include "geometry/box_refinement.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "geometry/oriented_box.h"
#include "interface/memory.h"
#include "vantrel.h"

namespace vtl {
namespace {

constexpr int32_t kWindow = 5;
constexpr int32_t kThumbCode = 15;
constexpr double kDegree = 0.017455064928217585;
constexpr double kThumbStep = 0.03491012985643517;
constexpr double kQuarterTurn = 1.5707963267948966;
constexpr float kQuarterTurnFloat = 1.5707964f;
constexpr int32_t kFingerAttempts = 5;
constexpr int32_t kThumbAttempts = 10;

// The finger's extent inside one attempt's box, as box row and column indices.
struct Extent {
  int32_t top;
  int32_t left;
  int32_t bottom;
  int32_t right;
};

void Reject(FingerRegion* region, int32_t code) {
  region->rejection = code;
  region->top = region->left = region->bottom = region->right = 0;
  region->width = region->height = 0;
}

// Both smoothing paths share this; `copy` holds n entries.
int32_t SmoothWithCopy(int32_t* profile, int32_t n, int32_t window, int32_t* copy) {
  std::memcpy(copy, profile, static_cast<std::size_t>(n) * sizeof(int32_t));
  // A negative window would leave an empty range to average over.
  const int32_t half = std::max(window / 2, 0);
  int32_t peak = 0;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t from = std::max(i - half, 0);
    const int32_t to = static_cast<int32_t>(std::min<int64_t>(int64_t{i} + half, n - 1));
    int64_t sum = 0;
    for (int32_t k = from; k <= to; ++k) sum += copy[k];
    profile[i] = static_cast<int32_t>(sum / (to - from + 1));
    if (profile[i] > profile[peak]) peak = i;
  }
  return peak;
}

int32_t CountForegroundInRow(const uint8_t* box, int32_t width, int32_t row, int32_t from,
                             int32_t to) {
  const uint8_t* line = box + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
  int32_t n = 0;
  for (int32_t j = from; j <= to; ++j) n += line[j] == 0;
  return n;
}

int32_t CountForegroundInColumn(const uint8_t* box, int32_t width, int32_t column, int32_t from,
                                int32_t to) {
  int32_t n = 0;
  for (int32_t i = from; i <= to; ++i) {
    n += box[static_cast<std::size_t>(i) * static_cast<std::size_t>(width) + column] == 0;
  }
  return n;
}

// One refinement's profile memory: `capacity` counters for the profile and as
// many for the smoothing copy, so that smoothing inside the search cannot
// fail and never leaves a peak undefined.
struct Profiles {
  int32_t* values = nullptr;
  int32_t capacity = 0;
  ~Profiles() { ReleaseAndClear(values); }
  bool Allocate(int32_t n) {
    capacity = n;
    values = AllocateZeroed<int32_t>(2 * static_cast<std::size_t>(n));
    return values != nullptr;
  }
  int32_t* copy() const { return values + capacity; }
};

// Measures the finger in the box just cut. With `limitLength` (fingers) the
// top also ends at a thin row far above the peak and the bottom at most
// maxLength below the top; thumbs end only at empty or thin rows.
Extent MeasureExtent(const uint8_t* box, int32_t width, int32_t height, const Profiles& p,
                     int32_t columnWindow, int32_t rowWindow, bool limitLength, int32_t maxLength) {
  int32_t* profile = p.values;
  Extent e{};

  std::fill(profile, profile + p.capacity, 0);
  for (int32_t k = 0; k < height; ++k) {
    profile[k] = CountForegroundInRow(box, width, k, 0, width - 1);
  }
  const int32_t peakRow = SmoothWithCopy(profile, height, rowWindow, p.copy());
  e.top = 0;
  for (int32_t k = peakRow; k >= 1; --k) {
    if (profile[k] < 1 ||
        (limitLength && profile[k] < 2 && static_cast<double>(peakRow - k) > maxLength * 0.5)) {
      e.top = k;
      break;
    }
  }
  e.bottom = height - 1;
  for (int32_t k = peakRow; k < height; ++k) {
    if (profile[k] < 2 || (limitLength && int64_t{k} - e.top > maxLength)) {
      e.bottom = k;
      break;
    }
  }

  std::fill(profile, profile + p.capacity, 0);
  for (int32_t j = 0; j < width; ++j) {
    profile[j] = CountForegroundInColumn(box, width, j, 0, height - 1);
  }
  const int32_t peakColumn = SmoothWithCopy(profile, width, columnWindow, p.copy());
  e.left = 0;
  for (int32_t j = peakColumn; j >= 1; --j) {
    if (profile[j] < 1) {
      e.left = j;
      break;
    }
  }
  e.right = width - 1;
  for (int32_t j = peakColumn; j < width; ++j) {
    if (profile[j] < 1) {
      e.right = j;
      break;
    }
  }
  return e;
}

// Common entry checks; false when the region was rejected here.
bool CanRefine(int32_t columns, int32_t rows, const uint8_t* mask, const uint8_t* scratch,
               FingerRegion* region) {
  if (columns < 1 || rows < 1 || mask == nullptr) {
    Reject(region, kRejectNoMask);
    return false;
  }
  // The width grows by 2 below; a side that leaves no room for that is as
  // unusable as no side at all.
  if (region->height < 1 || region->width < 1 || region->width > INT32_MAX - 2 ||
      scratch == nullptr) {
    Reject(region, kRejectEmptyBox);
    return false;
  }
  return true;
}

// Whether the region's current box can be cut and profiled.
bool BoxFits(const FingerRegion& r, int32_t capacity, int64_t scratchSize) {
  return r.width >= 1 && r.height >= 1 && r.width <= capacity && r.height <= capacity &&
         int64_t{r.width} * r.height <= scratchSize;
}

// The centre moved by (dx, dy) box pixels along the box axes at angle a.
void ShiftedCentre(const FingerRegion& r, int32_t dx, int32_t dy, double a, int32_t* x,
                   int32_t* y) {
  const double c = std::cos(a);
  const double s = std::sin(a);
  *x = r.centerX + static_cast<int32_t>(dx * c + dy * s);
  *y = r.centerY + static_cast<int32_t>(dy * c - dx * s);
}

void Store(FingerRegion* r, const Extent& e, double a, int32_t x, int32_t y) {
  r->width = e.right - e.left;
  r->height = e.bottom - e.top;
  r->angle = static_cast<float>(a);
  r->centerX = x;
  r->centerY = y;
  r->top = e.top;
  r->left = e.left;
  r->bottom = e.bottom;
  r->right = e.right;
}

// A quarter turn of the stored box: the same rectangle described with its
// axes exchanged.
void TurnQuarter(FingerRegion* r, float by) {
  r->angle = r->angle + by;
  std::swap(r->width, r->height);
  std::swap(r->top, r->left);
  std::swap(r->bottom, r->right);
}

}  // namespace

int32_t SmoothProfileAndFindPeak(int32_t* profile, int32_t n, int32_t window, int32_t* peak) {
  // Defined on every path, so that a caller ignoring the status reads index 0.
  *peak = 0;
  if (profile == nullptr || n < 1) return VANTREL_OK;
  int32_t* copy = AllocateZeroed<int32_t>(static_cast<std::size_t>(n));
  if (copy == nullptr) return VANTREL_OUT_OF_MEMORY;
  *peak = SmoothWithCopy(profile, n, window, copy);
  Release(copy);
  return VANTREL_OK;
}

int32_t RefineFingerBox(int32_t columns, int32_t rows, const uint8_t* mask, uint8_t* scratch,
                        int64_t scratchSize, int32_t columnWindow, int32_t rowWindow,
                        int32_t maxLength, FingerRegion* region) {
  if (!CanRefine(columns, rows, mask, scratch, region)) return VANTREL_OK;

  // An upright finger (angle exactly 0) is only re-centred.
  const int32_t sign = region->angle > 0.0f ? 1 : (region->angle < 0.0f ? -1 : 0);
  const double fingerStep = sign * kDegree * 5.0;
  double step = fingerStep;
  double a = region->angle;
  region->width = region->width + 2;
  const int32_t capacity = std::max(region->height, region->width);
  const int64_t penalty = std::max(columns, rows);
  int64_t bestCost = penalty;
  int64_t bestShape = -penalty;
  Profiles profiles;
  if (!profiles.Allocate(capacity)) return VANTREL_OUT_OF_MEMORY;

  // The box is never widened when both ends touch: it keeps the size of the
  // best attempt, which always fits the scratch box and the profiles.
  for (int32_t t = 0; t < kFingerAttempts; ++t) {
    if (!BoxFits(*region, capacity, scratchSize)) break;
    const int32_t width = region->width;
    const int32_t height = region->height;
    SampleOrientedBox(mask, columns, rows, scratch, width, height, region->centerX, region->centerY,
                      static_cast<float>(a), 1);
    const Extent e =
        MeasureExtent(scratch, width, height, profiles, columnWindow, rowWindow, true, maxLength);
    const int64_t shape = (e.bottom - e.top) - (e.right - e.left);

    int64_t cost = 0;
    if (shape > 0) {
      // Along the box: foreground on a long side means a neighbour or a
      // box too narrow.
      const int32_t nL = CountForegroundInColumn(scratch, width, e.left, e.top, e.bottom);
      int64_t leftCost = nL;
      region->leftContact = nL > 20;
      if (nL > 20) {
        leftCost = penalty;
        if (t >= 2) break;
      }
      const int32_t nR = CountForegroundInColumn(scratch, width, e.right, e.top, e.bottom);
      region->rightContact = nR > 20;
      if (nR > 20) {
        cost = leftCost + penalty;
        if (t >= 2) break;
      } else {
        cost = leftCost + nR;
      }
    } else {
      if (CountForegroundInRow(scratch, width, e.top, e.left, e.right) > 20) {
        region->topContact = 1;
      }
      if (CountForegroundInRow(scratch, width, e.bottom, e.left, e.right) > 20) {
        region->bottomContact = 1;
      }
    }

    int32_t dx = (e.right + e.left) / 2 - width / 2;
    int32_t dy = (e.bottom + e.top) / 2 - height / 2;
    if (shape > 0) {
      if (region->rightContact == 1 && region->leftContact == 0) {
        dx += 1;
      } else if (region->rightContact == 0 && region->leftContact == 1) {
        dx -= 1;
      } else if (region->rightContact == 1 && region->leftContact == 1) {
        break;
      }
    } else if (region->bottomContact == 1 && region->topContact == 0) {
      dy += 1;
    } else if (region->bottomContact == 0 && region->topContact == 1) {
      dy -= 1;
    }
    int32_t x = 0, y = 0;
    ShiftedCentre(*region, dx, dy, a, &x, &y);

    if (t == 0 || cost < bestCost || (cost == bestCost && shape > bestShape)) {
      Store(region, e, a, x, y);
      bestCost = cost;
      bestShape = shape;
    }
    if (t == 1 && shape < bestShape) {
      step = -fingerStep;
      a = region->angle;
    }
    a = a + step;
  }

  if (bestCost >= penalty) {
    region->rejection = kRejectSidesTouch;
    region->top = region->left = region->bottom = region->right = 0;
  }
  return VANTREL_OK;
}

int32_t RefineThumbBox(int32_t thumbIndex, int32_t columns, int32_t rows, const uint8_t* mask,
                       uint8_t* scratch, int64_t scratchSize, int32_t columnWindow,
                       int32_t rowWindow, FingerRegion* region, int32_t* turned) {
  *turned = 0;
  if (!CanRefine(columns, rows, mask, scratch, region)) return VANTREL_OK;

  double step = kThumbStep;
  double a = region->angle;
  region->width = region->width + 2;
  const int32_t capacity = std::max(region->height, region->width);
  int64_t bestShape = 0;
  Profiles profiles;
  if (!profiles.Allocate(capacity)) return VANTREL_OUT_OF_MEMORY;

  for (int32_t t = 0; t < kThumbAttempts; ++t) {
    if (!BoxFits(*region, capacity, scratchSize)) break;
    const int32_t width = region->width;
    const int32_t height = region->height;
    SampleOrientedBox(mask, columns, rows, scratch, width, height, region->centerX, region->centerY,
                      static_cast<float>(a), 1);
    Extent e = MeasureExtent(scratch, width, height, profiles, columnWindow, rowWindow, false, 0);
    int64_t shape = (e.bottom - e.top) - (e.right - e.left);

    if (shape >= 0 || t == 0) {
      const int32_t nL = CountForegroundInColumn(scratch, width, e.left, e.top, e.bottom);
      region->leftContact = nL > 5;
      if (t >= 2 && nL > 10) break;
      const int32_t nR = CountForegroundInColumn(scratch, width, e.right, e.top, e.bottom);
      region->rightContact = nR > 5;
      if (t >= 2 && nR > 10) break;
    }
    if (shape <= 0 && t == 0) {
      region->topContact = CountForegroundInRow(scratch, width, e.top, e.left, e.right) > 5;
      region->bottomContact = CountForegroundInRow(scratch, width, e.bottom, e.left, e.right) > 5;
      // A thumb reaching out of the outer side of its box, free at both
      // ends, lies across it.
      const bool freeEnds = region->topContact == 0 && region->bottomContact == 0;
      if (thumbIndex == 0 && region->leftContact == 1 && freeEnds && e.left == 0) *turned = 1;
      if (thumbIndex == 1 && region->rightContact == 1 && freeEnds && e.right == width - 1) {
        *turned = 1;
      }
    }

    int32_t dx = (e.right + e.left) / 2 - width / 2;
    int32_t dy = (e.bottom + e.top) / 2 - height / 2;
    if (shape > 0) {
      if (region->rightContact == 1 && region->leftContact == 0) {
        dx += 1;
      } else if (region->rightContact == 0 && region->leftContact == 1) {
        dx -= 1;
      } else if (region->rightContact == 1 && region->leftContact == 1 && t >= 2) {
        break;
      }
    } else if (region->bottomContact == 1 && region->topContact == 0) {
      dy += 1;
    } else if (region->bottomContact == 0 && region->topContact == 1) {
      dy -= 1;
    } else if (region->bottomContact == region->topContact && t >= 2) {
      break;
    }
    int32_t x = 0, y = 0;
    ShiftedCentre(*region, dx, dy, a, &x, &y);

    // Once turned, every attempt is read with exchanged axes, and the turned
    // angle is where the next step starts.
    if ((shape < 0 && t == 0) || *turned == 1) {
      *turned = 1;
      if (thumbIndex == 0) a = a - kQuarterTurn;
      if (thumbIndex == 1) a = a + kQuarterTurn;
      e = Extent{e.left, e.top, e.right, e.bottom};
      shape = -shape;
    }

    const bool stored = shape > bestShape;
    if (stored) {
      Store(region, e, a, x, y);
      bestShape = shape;
    }
    if (t == 1 && !stored && shape < bestShape) {
      step = -kThumbStep;
      a = region->angle;
    }
    a = a + step;
  }
  return VANTREL_OK;
}

int32_t RefineFingerRegions(int32_t handCode, int32_t maxLength, const uint8_t* mask,
                            int32_t columns, int32_t rows, FingerRegion* regions, int32_t count) {
  if (regions == nullptr || count < 1) return VANTREL_OK;

  int64_t largest = 0;
  for (int32_t i = 0; i < count; ++i) {
    FingerRegion& r = regions[i];
    if (r.rejection != 0) {
      r.width = r.height = 0;
    } else if (r.width <= 0) {
      r.width = r.height = 0;
      r.rejection = kRejectNoWidth;
    } else if (r.height <= 0) {
      r.width = r.height = 0;
      r.rejection = kRejectNoHeight;
    } else {
      largest = std::max(largest, (int64_t{r.width} + 2) * r.height);
    }
  }
  const int64_t scratchSize = static_cast<int64_t>(static_cast<double>(largest) * 1.5);
  if (scratchSize < 1) return VANTREL_OK;
  uint8_t* scratch = static_cast<uint8_t*>(Allocate(static_cast<std::size_t>(scratchSize)));
  if (scratch == nullptr) return VANTREL_OUT_OF_MEMORY;

  // -1: not refined as a thumb, so neither turned (1) nor kept (0).
  int32_t turned[2] = {-1, -1};
  const bool thumbs = handCode == kThumbCode;
  for (int32_t i = 0; i < count; ++i) {
    FingerRegion* r = &regions[i];
    if (r->rejection != 0) continue;
    // A box left unrefined for want of memory is a failed call, not a
    // result.
    const int32_t status = thumbs && i < 2
                               ? RefineThumbBox(i, columns, rows, mask, scratch, scratchSize,
                                                kWindow, kWindow, r, &turned[i])
                               : RefineFingerBox(columns, rows, mask, scratch, scratchSize, kWindow,
                                                 kWindow, maxLength, r);
    if (status != VANTREL_OK) {
      Release(scratch);
      return status;
    }
  }

  // Two thumbs lie alike: when one was turned and the other's box is not
  // clearly taller than wide, the other is turned too, in its own direction.
  if (thumbs && count >= 2) {
    if (turned[0] == 1 && turned[1] == 0 && regions[1].height - regions[1].width < 5) {
      TurnQuarter(&regions[1], kQuarterTurnFloat);
    } else if (turned[0] == 0 && turned[1] == 1 && regions[0].height - regions[0].width < 5) {
      TurnQuarter(&regions[0], -kQuarterTurnFloat);
    }
  }

  Release(scratch);
  return VANTREL_OK;
}

}  // namespace vtl
