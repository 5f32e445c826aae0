// Scalar quantisation of the WSQ subbands: bin widths from the subband
// variances and the target bit rate, quantising and dequantising.
#include <algorithm>
#include <cmath>

#include "wsq_codec.h"

namespace vio::wsq {
namespace {

// Variance below this marks a subband as empty: it is not coded.
constexpr double kEmptyVariance = 1.01;
// Sum of the variances of the four coarsest subbands below which the whole
// subband is measured rather than its central part.
constexpr double kSmallCoarseVariance = 20000.0;
// Subbands from this one on are the three of the first decomposition level.
constexpr int kFinestFirst = 52;
// Relative weights of the first-level subbands' bin widths.
constexpr double kFinestWeight[kCodedSubbands - kFinestFirst] = {1.32, 1.08, 1.42, 1.08,
                                                                 1.32, 1.42, 1.08, 1.08};
// Share of the pixels each subband stands for, by decomposition level.
double PixelShare(int subband) {
  if (subband < 4) return 1.0 / 1024;
  if (subband < 51) return 1.0 / 256;
  return 1.0 / 16;
}

double Variance(const float* image, int32_t width, const Rect& r, bool central) {
  Rect area = r;
  if (central) {
    area = Rect{r.x + r.width / 8, r.y + 9 * r.height / 32, 3 * r.width / 4, 7 * r.height / 16};
  }
  const int64_t n = area.Area();
  if (n < 2) return 0;
  double sum = 0, squares = 0;
  for (int32_t y = 0; y < area.height; ++y) {
    const float* row = image + static_cast<ptrdiff_t>(area.y + y) * width + area.x;
    for (int32_t x = 0; x < area.width; ++x) {
      sum += row[x];
      squares += static_cast<double>(row[x]) * row[x];
    }
  }
  return (squares - sum * sum / n) / (n - 1.0);
}

}  // namespace

int64_t CodedCoefficients(const Layout& layout, const QuantTable& table) {
  int64_t count = 0;
  for (int s = 0; s < kCodedSubbands; ++s) {
    if (table.bin[s] != 0) count += layout.subbands[s].Area();
  }
  return count;
}

void Dequantise(const int16_t* q, const Layout& layout, const QuantTable& table, float* image,
                int32_t width) {
  const float centre = table.binCenter;
  for (int s = 0; s < kCodedSubbands; ++s) {
    const float bin = table.bin[s];
    if (bin == 0) continue;
    const double halfZero = table.zeroBin[s] / 2.0;
    const Rect& r = layout.subbands[s];
    for (int32_t y = 0; y < r.height; ++y) {
      float* row = image + static_cast<ptrdiff_t>(r.y + y) * width + r.x;
      for (int32_t x = 0; x < r.width; ++x, ++q) {
        // Single-precision product, double-precision sum: the reference's
        // rounding.
        if (*q > 0) {
          row[x] = static_cast<float>(bin * (static_cast<float>(*q) - centre) + halfZero);
        } else if (*q < 0) {
          row[x] = static_cast<float>(bin * (static_cast<float>(*q) + centre) - halfZero);
        } else {
          row[x] = 0;
        }
      }
    }
  }
}

std::array<double, kCodedSubbands> SubbandVariances(const float* image, int32_t width,
                                                    const Layout& layout) {
  std::array<double, kCodedSubbands> v{};
  double coarse = 0;
  for (int s = 0; s < 4; ++s) coarse += v[s] = Variance(image, width, layout.subbands[s], true);
  const bool whole = coarse < kSmallCoarseVariance;
  for (int s = whole ? 0 : 4; s < kCodedSubbands; ++s) {
    v[s] = Variance(image, width, layout.subbands[s], !whole);
  }
  return v;
}

std::array<double, kCodedSubbands> SubbandPeaks(const float* image, int32_t width,
                                                const Layout& layout) {
  std::array<double, kCodedSubbands> peak{};
  for (int s = 0; s < kCodedSubbands; ++s) {
    const Rect& r = layout.subbands[s];
    for (int32_t y = 0; y < r.height; ++y) {
      const float* row = image + static_cast<ptrdiff_t>(r.y + y) * width + r.x;
      for (int32_t x = 0; x < r.width; ++x) peak[s] = std::max<double>(peak[s], std::fabs(row[x]));
    }
  }
  return peak;
}

std::array<double, kCodedSubbands> BinWidthsForRate(
    const std::array<double, kCodedSubbands>& variance, double bitsPerPixel) {
  std::array<double, kCodedSubbands> relative{}, sigma{}, width{};
  std::vector<int> kept;
  for (int s = 0; s < kCodedSubbands; ++s) {
    if (variance[s] < kEmptyVariance) continue;
    const double weight = s >= kFinestFirst ? kFinestWeight[s - kFinestFirst] : 1.0;
    relative[s] = s < 4 ? 1.0 : 10.0 / (weight * std::log(variance[s]));
    sigma[s] = std::sqrt(variance[s]);
    kept.push_back(s);
  }
  const std::vector<int> coded = kept;
  // Scale factor q for the subbands still in the allocation; a subband whose
  // bin would exceed five standard deviations leaves it and q is redone.
  double q = 1;
  while (!kept.empty()) {
    double shares = 0, logProduct = 0;
    for (int s : kept) {
      shares += PixelShare(s);
      logProduct += PixelShare(s) * std::log(sigma[s] / relative[s]);
    }
    q = std::pow(2.0, bitsPerPixel / shares - 1.0) / 2.5 / std::exp(logProduct / shares);
    std::vector<int> next;
    for (int s : kept) {
      if (relative[s] / q < 5.0 * sigma[s]) next.push_back(s);
    }
    if (next.size() == kept.size()) break;
    kept = next;
  }
  for (int s : coded) width[s] = relative[s] / q;
  return width;
}

void Quantise(const float* image, int32_t width, const Layout& layout, const QuantTable& table,
              std::vector<int16_t>* out) {
  out->resize(static_cast<size_t>(CodedCoefficients(layout, table)));
  int16_t* q = out->data();
  constexpr float kLargest = kLargestLevel;
  for (int s = 0; s < kCodedSubbands; ++s) {
    const float bin = table.bin[s];
    if (bin == 0) continue;
    const float halfZero = table.zeroBin[s] / 2, inverse = 1 / bin;
    // Levels change midway between the decoder's reconstruction points,
    // which sit binCenter below the top of each bin.
    const float offset = 0.5f + table.binCenter;
    const Rect& r = layout.subbands[s];
    for (int32_t y = 0; y < r.height; ++y) {
      const float* row = image + static_cast<ptrdiff_t>(r.y + y) * width + r.x;
      for (int32_t x = 0; x < r.width; ++x) {
        const float v = row[x];
        const float beyond = std::fabs(v) - halfZero;
        const int32_t level = static_cast<int32_t>(std::min(kLargest, beyond * inverse + offset));
        const int32_t magnitude = beyond > 0 ? level : 0;
        q[x] = static_cast<int16_t>(v < 0 ? -magnitude : magnitude);
      }
      q += r.width;
    }
  }
}

}  // namespace vio::wsq
