#include "separate/slant_profiles.h"

#include <cstring>

#include "interface/memory.h"
#include "interface/parameter.h"
#include "separate/line_pixels.h"
#include "vantrel.h"

namespace vtl {

namespace {

// The window sums of SmoothRunningSum; `divide` divides by the full window.
// Interior windows are summed directly (the same integers as a running sum,
// but independent of each other, so the loop vectorises); the clipped ends
// keep the running sum.
template <typename Divide>
void WindowSums(const int32_t* src, int32_t* profile, int64_t n, int64_t r, Divide divide) {
  const int64_t last = n - 1;
  const int64_t bodyFrom = r + 1;
  const int64_t bodyTo = n - r;  // windows k - r .. k + r inside the profile
  int64_t sum = 0;
  for (int64_t i = 0; i <= (r < last ? r : last); ++i) sum += src[i];
  profile[0] = static_cast<int32_t>(divide(sum));
  int64_t k = 1;
  for (; k <= last && k < bodyFrom; ++k) {
    if (k + r <= last) sum += src[k + r];
    if (k - r - 1 >= 0) sum -= src[k - r - 1];
    profile[k] = static_cast<int32_t>(divide(sum));
  }
  if (k < bodyTo) {
    for (int64_t b = k; b < bodyTo; ++b) {
      int64_t window = 0;
      for (int64_t i = b - r; i <= b + r; ++i) window += src[i];
      profile[b] = static_cast<int32_t>(divide(window));
    }
    sum = 0;
    for (int64_t i = bodyTo - 1 - r; i <= bodyTo - 1 + r; ++i) sum += src[i];
    k = bodyTo;
  }
  for (; k <= last; ++k) {
    if (k + r <= last) sum += src[k + r];
    if (k - r - 1 >= 0) sum -= src[k - r - 1];
    profile[k] = static_cast<int32_t>(divide(sum));
  }
}

// Window of three: sums of three profile values fit 32 bits, and unsigned
// division by a constant vectorises.
void WindowSumsOfThree(const int32_t* src, int32_t* profile, int64_t n) {
  const int64_t last = n - 1;
  profile[0] = (src[0] + (last >= 1 ? src[1] : 0)) / 3;
  for (int64_t k = 1; k < last; ++k) {
    const auto sum = static_cast<uint32_t>(src[k - 1]) + static_cast<uint32_t>(src[k]) +
                     static_cast<uint32_t>(src[k + 1]);
    profile[k] = static_cast<int32_t>(sum / 3u);
  }
  if (last >= 1) profile[last] = (src[last - 1] + src[last]) / 3;
}

}  // namespace

int32_t SmoothRunningSum(int32_t* profile, int32_t n, int32_t radius, int32_t* scratch) {
  if (n < 1) return VANTREL_OK;
  int32_t* src =
      scratch != nullptr ? scratch : AllocateZeroed<int32_t>(static_cast<std::size_t>(n));
  if (src == nullptr) return VANTREL_OUT_OF_MEMORY;
  std::memcpy(src, profile, static_cast<std::size_t>(n) * sizeof(int32_t));

  // 64-bit window arithmetic: neither the window nor its sum can overflow,
  // whatever the radius. Clipping each end separately keeps the window rule
  // for profiles shorter than the window as well.
  const int64_t r = radius < 0 ? 0 : radius;
  const int64_t window = 2 * r + 1;
  bool nonNegative = true;
  for (int32_t i = 0; i < n; ++i) nonNegative &= src[i] >= 0 && src[i] <= INT32_MAX / 3;
  if (window == 3 && nonNegative) {
    // The default radius on counts, the hot case.
    WindowSumsOfThree(src, profile, n);
  } else {
    WindowSums(src, profile, n, r, [window](int64_t v) { return v / window; });
  }
  if (src != scratch) Release(src);
  return VANTREL_OK;
}

int32_t BuildSlantProfiles(const uint8_t* mask, int32_t columns, int32_t rows, int32_t* dark,
                           int32_t* total, int32_t* n, int32_t s, uint8_t value) {
  const VantrelParameter* block = GetVantrelParameter();
  if (block == nullptr) return VANTREL_OUT_OF_MEMORY;
  const int32_t radius = block->RunningSumRadius;

  const int64_t width = s < 0 ? -static_cast<int64_t>(s) : s;
  const int64_t positions = width + columns;
  if (positions > INT32_MAX) return VANTREL_OUT_OF_MEMORY;
  *n = static_cast<int32_t>(positions);

  // The reference line ends in the bottom-left corner for s > 0 and starts in
  // the top-left corner otherwise; line k is it moved k columns right.
  int32_t* X = nullptr;
  int32_t* Y = nullptr;
  int32_t L = 0;
  const int32_t status = s > 0 ? GetLinePixelBetweenTwoPoints(-s, 0, 0, rows - 1, &X, &Y, &L)
                               : GetLinePixelBetweenTwoPoints(0, 0, s, rows - 1, &X, &Y, &L);
  if (status != VANTREL_OK) return status;

  // 64-bit row offsets: rows x columns of a large image passes 2^31.
  auto* rowOffset = AllocateZeroed<int64_t>(static_cast<std::size_t>(L));
  if (rowOffset == nullptr) {
    Release(X);
    Release(Y);
    return VANTREL_OUT_OF_MEMORY;
  }
  for (int32_t j = 0; j < L; ++j) rowOffset[j] = static_cast<int64_t>(Y[j]) * columns;

  // Plain point-by-point count: a line stops once it has left the image on
  // the side it moves towards.
  for (int64_t k = 0; k < positions; ++k) {
    int32_t d = 0;
    int32_t t = 0;
    for (int32_t j = 0; j < L; ++j) {
      const int64_t x = X[j] + k;
      if (x < 0) {
        if (s <= 0) break;
        continue;
      }
      if (x >= columns) {
        if (s >= 0) break;
        continue;
      }
      ++t;
      if (mask[rowOffset[j] + x] == value) ++d;
    }
    dark[k] = d;
    total[k] = t;
  }
  Release(X);
  Release(Y);
  Release(rowOffset);

  int32_t smoothed = SmoothRunningSum(dark, *n, radius);
  if (smoothed == VANTREL_OK) smoothed = SmoothRunningSum(total, *n, radius);
  return smoothed;
}

}  // namespace vtl
