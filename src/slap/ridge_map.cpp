// Working image and block-level ridge evidence.
#include <algorithm>
#include <cmath>

#include "interface/limits.h"
#include "slap/slap_internal.h"

namespace vtl {
namespace slap {
namespace {

// Widest coarse blur window: its sums over a window of grey levels must fit
// 16 bits.
constexpr int32_t kMaxCoarseSize = 15;

// Integer decimation factor that brings a resolution to about 220..440 ppi,
// where the ridge period (0.45..0.6 mm) spans four to ten pixels.
int32_t FactorFor(int32_t ppi) {
  const int32_t f = static_cast<int32_t>(ppi / kWorkingPpi + 0.25);
  return f < 1 ? 1 : f;
}

// out[x] = p[x] + ... + p[x + K - 1], the K terms held in registers.
template <int32_t K>
void AddRuns(const uint16_t* p, int32_t columns, uint16_t* out) {
  for (int32_t x = 0; x < columns; ++x) {
    uint16_t sum = p[x];
    for (int32_t d = 1; d < K; ++d) sum = static_cast<uint16_t>(sum + p[x + d]);
    out[x] = sum;
  }
}

// Sums of `column` over odd windows of k values centred on each entry, ends
// replicated; `padded` is scratch of columns + k - 1. Integer sums come out
// the same in any order, so many entries are summed at once.
void WindowSums(const uint16_t* column, int32_t columns, int32_t k, uint16_t* padded,
                uint16_t* out) {
  const int32_t r = k / 2;
  for (int32_t i = 0; i < r; ++i) padded[i] = column[0];
  for (int32_t x = 0; x < columns; ++x) padded[r + x] = column[x];
  for (int32_t i = 0; i < r; ++i) padded[r + columns + i] = column[columns - 1];
  switch (k) {
    case 1: return AddRuns<1>(padded, columns, out);
    case 3: return AddRuns<3>(padded, columns, out);
    case 5: return AddRuns<5>(padded, columns, out);
    case 7: return AddRuns<7>(padded, columns, out);
    case 9: return AddRuns<9>(padded, columns, out);
    case 11: return AddRuns<11>(padded, columns, out);
    case 13: return AddRuns<13>(padded, columns, out);
    default: break;
  }
  static_assert(kMaxCoarseSize == 15, "one case per odd window");
  AddRuns<15>(padded, columns, out);
}

// Scratch of BandPass: per column, the two window sums down the rows and
// across them, and a padded row.
struct BandPassScratch {
  Buffer<uint16_t> down1, down2, across1, across2, padded;
  bool Reset(int32_t columns, int32_t k2) {
    return down1.Reset(columns) && down2.Reset(columns) && across1.Reset(columns) &&
           across2.Reset(columns) && padded.Reset(static_cast<std::size_t>(columns) + k2);
  }
};

// Band-pass of `grey`: mean over a fine k1 x k1 window minus mean over a
// coarse k2 x k2 window (both odd, k2 > k1, k2 * k2 * 255 < 65536), borders
// replicated. The window sums run down the columns, then across each row.
void BandPass(const uint8_t* grey, int32_t rows, int32_t columns, int32_t k1, int32_t k2,
              BandPassScratch* s, float* out) {
  const int32_t r1 = k1 / 2, r2 = k2 / 2;
  auto rowOf = [&](int32_t y) {
    return grey + static_cast<std::size_t>(std::clamp(y, 0, rows - 1)) * columns;
  };
  uint16_t* down1 = s->down1.get();
  uint16_t* down2 = s->down2.get();
  for (int32_t x = 0; x < columns; ++x) down1[x] = down2[x] = 0;
  for (int32_t d = -r1; d <= r1; ++d) {
    const uint8_t* src = rowOf(d);
    for (int32_t x = 0; x < columns; ++x) down1[x] = static_cast<uint16_t>(down1[x] + src[x]);
  }
  for (int32_t d = -r2; d <= r2; ++d) {
    const uint8_t* src = rowOf(d);
    for (int32_t x = 0; x < columns; ++x) down2[x] = static_cast<uint16_t>(down2[x] + src[x]);
  }
  const float s1 = 1.0f / static_cast<float>(k1 * k1), s2 = 1.0f / static_cast<float>(k2 * k2);
  const uint16_t* across1 = s->across1.get();
  const uint16_t* across2 = s->across2.get();
  for (int32_t y = 0; y < rows; ++y) {
    WindowSums(down1, columns, k1, s->padded.get(), s->across1.get());
    WindowSums(down2, columns, k2, s->padded.get(), s->across2.get());
    float* dst = out + static_cast<std::size_t>(y) * columns;
    for (int32_t x = 0; x < columns; ++x) {
      dst[x] = static_cast<float>(across1[x]) * s1 - static_cast<float>(across2[x]) * s2;
    }
    const uint8_t* add1 = rowOf(y + r1 + 1);
    const uint8_t* sub1 = rowOf(y - r1);
    const uint8_t* add2 = rowOf(y + r2 + 1);
    const uint8_t* sub2 = rowOf(y - r2);
    for (int32_t x = 0; x < columns; ++x) {
      down1[x] = static_cast<uint16_t>(down1[x] + add1[x] - sub1[x]);
      down2[x] = static_cast<uint16_t>(down2[x] + add2[x] - sub2[x]);
    }
  }
}

// Area weights of one axis resampled by `scale` (> = 1) input pixels per
// output pixel: output i covers input [i * scale, (i + 1) * scale).
struct AxisWeights {
  int32_t span = 0;       // weights per output pixel
  Buffer<int32_t> first;  // first input pixel per output pixel
  Buffer<float> weight;   // span per output pixel, 0 past the end
};

bool BuildAxisWeights(int32_t inputs, int32_t outputs, double scale, AxisWeights* w) {
  w->span = static_cast<int32_t>(std::ceil(scale)) + 1;
  if (!w->first.Reset(outputs) || !w->weight.Reset(static_cast<std::size_t>(outputs) * w->span)) {
    return false;
  }
  for (int32_t i = 0; i < outputs; ++i) {
    const double lo = i * scale, hi = (i + 1) * scale;
    const int32_t k0 = static_cast<int32_t>(lo);
    w->first[i] = k0;
    for (int32_t j = 0; j < w->span; ++j) {
      const int32_t k = k0 + j;
      const double overlap = std::min<double>(k + 1, hi) - std::max<double>(k, lo);
      w->weight[static_cast<std::size_t>(i) * w->span + j] =
          k < inputs && overlap > 0 ? static_cast<float>(overlap / scale) : 0.0f;
    }
  }
  return true;
}

// Area-weighted resampling to a grid of scaleX x scaleY caller pixels per
// working pixel, for resolutions that differ across and down.
int32_t ResampleByArea(const uint8_t* image, int32_t rows, int32_t columns, double scaleX,
                       double scaleY, WorkingImage* work) {
  AxisWeights across, down;
  Buffer<float> line;  // zero past the image for the last weights
  if (!BuildAxisWeights(columns, work->columns, scaleX, &across) ||
      !BuildAxisWeights(rows, work->rows, scaleY, &down) ||
      !line.Reset(static_cast<std::size_t>(columns) + across.span)) {
    return VANTREL_OUT_OF_MEMORY;
  }
  const int32_t wc = work->columns;
  for (int32_t y = 0; y < work->rows; ++y) {
    float* acc = line.get();
    for (int32_t x = 0; x < columns; ++x) acc[x] = 0.0f;
    for (int32_t j = 0; j < down.span; ++j) {
      const float wy = down.weight[static_cast<std::size_t>(y) * down.span + j];
      if (wy <= 0.0f) continue;
      const uint8_t* src = image + static_cast<std::size_t>(down.first[y] + j) * columns;
      for (int32_t x = 0; x < columns; ++x) acc[x] += wy * src[x];
    }
    uint8_t* dst = work->grey.get() + static_cast<std::size_t>(y) * wc;
    for (int32_t x = 0; x < wc; ++x) {
      const float* wx = &across.weight[static_cast<std::size_t>(x) * across.span];
      const float* a = acc + across.first[x];
      float v = 0.5f;
      for (int32_t j = 0; j < across.span; ++j) v += wx[j] * a[j];
      dst[x] = static_cast<uint8_t>(std::min(v, 255.0f));
    }
  }
  return VANTREL_OK;
}

// Integer factors where they bring both axes to one resolution (true);
// otherwise a fractional area average to a square grid, so that blocks,
// lengths and angles measured in working pixels mean the same across and
// down.
bool ChooseScale(int32_t xres, int32_t yres, WorkingImage* work) {
  const int32_t fx = FactorFor(xres), fy = FactorFor(yres);
  const bool square = static_cast<int64_t>(xres) * fy == static_cast<int64_t>(yres) * fx;
  if (square) {
    work->factorX = fx;
    work->factorY = fy;
    work->ppi = static_cast<double>(xres) / fx;
  } else {
    const double mean = std::sqrt(static_cast<double>(xres) * yres);
    work->ppi = std::min(mean / FactorFor(static_cast<int32_t>(mean + 0.5)),
                         static_cast<double>(std::min(xres, yres)));
    work->factorX = xres / work->ppi;
    work->factorY = yres / work->ppi;
  }
  return square;
}

// Largest box area averaged through the reciprocal in BoxAverage.
constexpr int32_t kMaxReciprocalArea = 4096;

// BoxAverage of 2 x 2 pixels (500 ppi), in lanes narrow enough for its sums.
void HalveBoth(const uint8_t* image, int32_t columns, WorkingImage* work) {
  const int32_t wc = work->columns;
  for (int32_t y = 0; y < work->rows; ++y) {
    const uint8_t* a = image + static_cast<std::size_t>(y) * 2 * columns;
    const uint8_t* b = a + columns;
    uint8_t* dst = work->grey.get() + static_cast<std::size_t>(y) * wc;
    for (int32_t x = 0; x < wc; ++x) {
      const int32_t sum = a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1];
      dst[x] = static_cast<uint8_t>((sum + 2) >> 2);
    }
  }
}

// Box average: each working pixel is the mean of fx x fy pixels. acc:
// scratch of the working image's columns.
void BoxAverage(const uint8_t* image, int32_t columns, int32_t fx, int32_t fy, int32_t* acc,
                WorkingImage* work) {
  if (fx == 2 && fy == 2) return HalveBoth(image, columns, work);
  const int32_t wc = work->columns;
  const int32_t area = fx * fy;
  // A division per pixel costs more than the averaging; the sums stay below
  // 256 * area, under 2^32 / area while area <= kMaxReciprocalArea.
  const uint64_t reciprocal = DivisionReciprocal(static_cast<uint32_t>(area));
  // Areas of 1, 4, 16 (250, 500, 1000 ppi) divide by a shift.
  int32_t shift = -1;
  for (int32_t bit = 0; bit < 31; ++bit) shift = area == (1 << bit) ? bit : shift;
  for (int32_t y = 0; y < work->rows; ++y) {
    for (int32_t x = 0; x < wc; ++x) acc[x] = 0;
    for (int32_t dy = 0; dy < fy; ++dy) {
      const uint8_t* src = image + (static_cast<std::size_t>(y) * fy + dy) * columns;
      if (fx == 1) {
        for (int32_t x = 0; x < wc; ++x) acc[x] += src[x];
      } else if (fx == 2) {
        for (int32_t x = 0; x < wc; ++x) acc[x] += src[2 * x] + src[2 * x + 1];
      } else {
        for (int32_t x = 0; x < wc; ++x) {
          const uint8_t* p = src + static_cast<std::size_t>(x) * fx;
          int32_t s = 0;
          for (int32_t dx = 0; dx < fx; ++dx) s += p[dx];
          acc[x] += s;
        }
      }
    }
    uint8_t* dst = work->grey.get() + static_cast<std::size_t>(y) * wc;
    if (shift >= 0) {
      for (int32_t x = 0; x < wc; ++x) dst[x] = static_cast<uint8_t>((acc[x] + area / 2) >> shift);
      continue;
    }
    if (area > kMaxReciprocalArea) {
      for (int32_t x = 0; x < wc; ++x) dst[x] = static_cast<uint8_t>((acc[x] + area / 2) / area);
      continue;
    }
    for (int32_t x = 0; x < wc; ++x) {
      const uint64_t rounded = static_cast<uint32_t>(acc[x] + area / 2);
      dst[x] = static_cast<uint8_t>(DivideByReciprocal(rounded, reciprocal));
    }
  }
}

float Clamp01(float v) {
  return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

}  // namespace

int32_t PrepareWorkingImage(const uint8_t* image, int32_t rows, int32_t columns, int32_t xres,
                            int32_t yres, WorkingImage* work) {
  const bool square = ChooseScale(xres, yres, work);
  const int32_t fx = FactorFor(xres), fy = FactorFor(yres);
  work->rows = static_cast<int32_t>(rows / work->factorY);
  work->columns = static_cast<int32_t>(columns / work->factorX);
  // Less than about 6 mm either way cannot hold a fingertip.
  const double minSide = kMinSideMm / kMmPerInch * work->ppi;
  if (work->rows < minSide || work->columns < minSide) return VANTREL_NO_FINGER;
  if (WorkingImageTooLarge(work->rows, work->columns)) return VANTREL_IMAGE_TOO_LARGE;

  const std::size_t n = static_cast<std::size_t>(work->rows) * work->columns;
  if (!work->grey.ResetUncleared(n) || !work->bandPass.ResetUncleared(n)) {
    return VANTREL_OUT_OF_MEMORY;
  }
  Buffer<int32_t> columnSums;
  BandPassScratch scratch;
  if (!columnSums.Reset(work->columns) || !scratch.Reset(work->columns, kMaxCoarseSize)) {
    return VANTREL_OUT_OF_MEMORY;
  }
  const int32_t wc = work->columns;
  if (!square) {
    const int32_t status = ResampleByArea(image, rows, columns, work->factorX, work->factorY, work);
    if (status != VANTREL_OK) return status;
  } else {
    BoxAverage(image, columns, fx, fy, columnSums.get(), work);
  }

  // Band-pass: a fine blur (noise off, ridges kept) minus a coarse one of
  // about two ridge periods (ridges off, ink density and paper kept).
  const double period = kRidgePeriodMm / kMmPerInch * work->ppi;
  const int32_t fine = work->ppi >= 230 ? 3 : 1;
  int32_t coarseSize = static_cast<int32_t>(kCoarseBlurPeriods * period + 0.5) | 1;
  if (coarseSize < fine + 4) coarseSize = (fine + 4) | 1;
  coarseSize = std::min<int32_t>(coarseSize, kMaxCoarseSize);
  BandPass(work->grey.get(), work->rows, wc, fine, coarseSize, &scratch, work->bandPass.get());
  return VANTREL_OK;
}

namespace {

// Raw per-block sums of the band-pass's gradient moments, power and
// magnitude, the grey level and the pixel count. Grey sums and counts are
// whole numbers below 2^24 (blocks are far smaller than 256 pixels a side),
// exact as floats in any order, so they are summed as integers.
struct BlockSums {
  Buffer<float> sxx, syy, sxy, se, sa;
  Buffer<int32_t> sg, cnt;
  bool Reset(std::size_t n) {
    return sxx.Reset(n) && syy.Reset(n) && sxy.Reset(n) && se.Reset(n) && sa.Reset(n) &&
           sg.Reset(n) && cnt.Reset(n);
  }
};

// The per-pixel terms of one band-pass row: gradient moments xx, yy, xy,
// power and magnitude, each in a run of `columns` of `terms`. Computed
// across the row at once (the runs do not overlap the rows: restrict lets
// the compiler vectorise); the sums over each block keep their order.
void RowTerms(const float* __restrict row, const float* __restrict up, const float* __restrict down,
              int32_t columns, float* __restrict terms) {
  float* __restrict txx = terms;
  float* __restrict tyy = terms + columns;
  float* __restrict txy = terms + 2 * columns;
  float* __restrict te = terms + 3 * columns;
  float* __restrict ta = terms + 4 * columns;
  auto across = [&](int32_t x) {
    return row[std::min(x + 1, columns - 1)] - row[std::max(x - 1, 0)];
  };
  const float first = across(0), last = across(columns - 1);
  for (int32_t x = 1; x < columns - 1; ++x) {
    const float gx = row[x + 1] - row[x - 1];
    const float gy = down[x] - up[x];
    txx[x] = gx * gx;
    tyy[x] = gy * gy;
    txy[x] = gx * gy;
  }
  for (const int32_t x : {0, columns - 1}) {
    const float gx = x == 0 ? first : last;
    const float gy = down[x] - up[x];
    txx[x] = gx * gx;
    tyy[x] = gy * gy;
    txy[x] = gx * gy;
  }
  for (int32_t x = 0; x < columns; ++x) {
    te[x] = row[x] * row[x];
    ta[x] = std::fabs(row[x]);
  }
}

// Adds the grey levels and pixel counts of a row of blocks: `columnGrey`
// holds the sums down each column over its `height` rows, and is cleared.
void AddBlockGrey(int32_t columns, int32_t b, int32_t bc, int32_t height, int32_t* columnGrey,
                  int32_t* sg, int32_t* cnt) {
  for (int32_t bx = 0; bx < bc; ++bx) {
    const int32_t x0 = bx * b, x1 = std::min(x0 + b, columns);
    for (int32_t x = x0; x < x1; ++x) sg[bx] += columnGrey[x];
    cnt[bx] += (x1 - x0) * height;
  }
  for (int32_t x = 0; x < columns; ++x) columnGrey[x] = 0;
}

// `terms`: scratch of 5 x columns; `columnGrey`: of columns, zeroed.
void SumBlocks(const WorkingImage& work, int32_t b, int32_t bc, float* terms, int32_t* columnGrey,
               BlockSums* sums) {
  const int32_t rows = work.rows, columns = work.columns;
  const float* bp = work.bandPass.get();
  const uint8_t* grey = work.grey.get();
  const float* txx = terms;
  const float* tyy = txx + columns;
  const float* txy = tyy + columns;
  const float* te = txy + columns;
  const float* ta = te + columns;
  for (int32_t y = 0; y < rows; ++y) {
    const float* row = bp + static_cast<std::size_t>(y) * columns;
    const float* up = y > 0 ? row - columns : row;
    const float* down = y + 1 < rows ? row + columns : row;
    RowTerms(row, up, down, columns, terms);
    const std::size_t blockRow = static_cast<std::size_t>(y / b) * bc;
    for (int32_t bx = 0; bx < bc; ++bx) {
      const int32_t x0 = bx * b, x1 = std::min(x0 + b, columns);
      float xx = 0, yy = 0, xy = 0, e = 0, a = 0;
      for (int32_t x = x0; x < x1; ++x) {
        xx += txx[x];
        yy += tyy[x];
        xy += txy[x];
        e += te[x];
        a += ta[x];
      }
      const std::size_t k = blockRow + bx;
      sums->sxx[k] += xx;
      sums->syy[k] += yy;
      sums->sxy[k] += xy;
      sums->se[k] += e;
      sums->sa[k] += a;
    }
    const uint8_t* g = grey + static_cast<std::size_t>(y) * columns;
    for (int32_t x = 0; x < columns; ++x) columnGrey[x] += g[x];
    if ((y + 1) % b == 0 || y + 1 == rows) {
      AddBlockGrey(columns, b, bc, y % b + 1, columnGrey, &sums->sg[blockRow],
                   &sums->cnt[blockRow]);
    }
  }
}

// Features of the 3 x 3 block window about (bx, by); the ridge score holds
// the two shape ratios for ScoreBlocks.
void WindowFeatures(const BlockSums& s, const float* mean, double ppi, int32_t bx, int32_t by,
                    BlockMap* map) {
  const int32_t br = map->rows, bc = map->columns;
  float xx = 0, yy = 0, xy = 0, e = 0, a = 0, n = 0, m = 0, m2 = 0, nm = 0;
  for (int32_t dy = -1; dy <= 1; ++dy) {
    const int32_t yy0 = by + dy;
    if (yy0 < 0 || yy0 >= br) continue;
    for (int32_t dx = -1; dx <= 1; ++dx) {
      const int32_t xx0 = bx + dx;
      if (xx0 < 0 || xx0 >= bc) continue;
      const std::size_t k = static_cast<std::size_t>(yy0) * bc + xx0;
      xx += s.sxx[k];
      yy += s.syy[k];
      xy += s.sxy[k];
      e += s.se[k];
      a += s.sa[k];
      n += static_cast<float>(s.cnt[k]);
      m += mean[k];
      m2 += mean[k] * mean[k];
      nm += 1;
    }
  }
  const std::size_t k = static_cast<std::size_t>(by) * bc + bx;
  const float energy = n > 0 ? e / n : 0;
  const float absMean = n > 0 ? a / n : 0;
  const float trace = xx + yy;
  const float diff = xx - yy;
  const float aniso = std::sqrt(diff * diff + 4 * xy * xy);
  const float coh = trace > 1e-6f ? aniso / trace : 0;
  const float mm = m / nm;
  const float lowVar = std::max(0.0f, m2 / nm - mm * mm);
  map->energy[k] = energy;
  map->coherence[k] = coh;
  // Central differences see twice the derivative; a sinusoid of period P
  // has mean squared derivative (2 pi / P)^2 times its power.
  const float slope = n > 0 ? trace / (4 * n) : 0;
  map->period[k] = slope > 1e-6f && energy > 1e-6f
                       ? static_cast<float>(2 * 3.14159265 * std::sqrt(energy / slope) * 25.4 / ppi)
                       : 0.0f;
  map->orientCos[k] = trace > 1e-6f ? diff / trace : 0;
  map->orientSin[k] = trace > 1e-6f ? 2 * xy / trace : 0;
  const float lowRatio = energy / (energy + kShadingWeight * lowVar + 1e-6f);
  const float fill = energy > 1e-6f ? absMean * absMean / energy : 0;
  map->fill[k] = fill;
  map->score[k] = Clamp01((lowRatio - 0.3f) / 0.3f);
}

// How well each block's ridge direction agrees with its neighbours' within
// kAgreeRadius blocks: the length of the mean of their unit direction
// vectors (doubled angles). Broken, speckled ridges of a dry print lose
// coherence block by block but keep one direction over a wider patch; paper
// grain and noise point anywhere.
// Agreement of one block from the sums of its window's unit vectors.
float Agreement(float c, float s, float n) {
  return n > 0 ? std::sqrt(c * c + s * s) / n : 0;
}

// unitCos, unitSin: scratch of a block each, for each block's unit vector
// (0 where there is no direction: sums that start at +0 stay as they are
// when 0 is added); sums: scratch of two rows of blocks.
void DirectionAgreement(const BlockMap& map, float* unitCos, float* unitSin, float* sums,
                        float* agree) {
  const int32_t br = map.rows, bc = map.columns, r = kAgreeRadius;
  const std::size_t nb = static_cast<std::size_t>(br) * bc;
  for (std::size_t k = 0; k < nb; ++k) {
    const float m = map.coherence[k];
    unitCos[k] = m > 1e-6f ? map.orientCos[k] / m : 0.0f;
    unitSin[k] = m > 1e-6f ? map.orientSin[k] / m : 0.0f;
  }
  float* c = sums;
  float* s = sums + bc;
  for (int32_t by = 0; by < br; ++by) {
    const int32_t y0 = std::max(0, by - r), y1 = std::min(br - 1, by + r);
    float* out = agree + static_cast<std::size_t>(by) * bc;
    // Blocks whose window lies inside across: a window row at a time over
    // all of them; each block's sums keep the window's order.
    const int32_t inLo = std::min(r, bc), inHi = std::max(inLo, bc - r);
    for (int32_t bx = inLo; bx < inHi; ++bx) c[bx] = s[bx] = 0;
    for (int32_t y = y0; y <= y1; ++y) {
      const float* uc = unitCos + static_cast<std::size_t>(y) * bc;
      const float* us = unitSin + static_cast<std::size_t>(y) * bc;
      for (int32_t dx = -r; dx <= r; ++dx) {
        for (int32_t bx = inLo; bx < inHi; ++bx) {
          c[bx] += uc[bx + dx];
          s[bx] += us[bx + dx];
        }
      }
    }
    const float inside = static_cast<float>((y1 - y0 + 1) * (2 * r + 1));
    for (int32_t bx = inLo; bx < inHi; ++bx) out[bx] = Agreement(c[bx], s[bx], inside);
    // The blocks near the sides, their windows cut short.
    const auto edgeBlock = [&](int32_t bx) {
      float cs = 0, ss = 0, n = 0;
      for (int32_t y = y0; y <= y1; ++y) {
        for (int32_t x = std::max(0, bx - r); x <= std::min(bc - 1, bx + r); ++x) {
          const std::size_t k = static_cast<std::size_t>(y) * bc + x;
          n += 1;
          cs += unitCos[k];
          ss += unitSin[k];
        }
      }
      out[bx] = Agreement(cs, ss, n);
    };
    for (int32_t bx = 0; bx < inLo; ++bx) edgeBlock(bx);
    for (int32_t bx = inHi; bx < bc; ++bx) edgeBlock(bx);
  }
}

// Ridge score and mask: energy relative to the strong ridge areas of this
// image, coherence, a floor of power and a ridge-like period.
int32_t ScoreBlocks(BlockMap* map) {
  const std::size_t nb = static_cast<std::size_t>(map->rows) * map->columns;
  Buffer<float> sorted, agree, unitCos, unitSin, sums;
  if (!sorted.Reset(nb) || !agree.Reset(nb) || !unitCos.Reset(nb) || !unitSin.Reset(nb) ||
      !sums.Reset(2 * static_cast<std::size_t>(map->columns))) {
    return VANTREL_OUT_OF_MEMORY;
  }
  DirectionAgreement(*map, unitCos.get(), unitSin.get(), sums.get(), agree.get());
  for (std::size_t k = 0; k < nb; ++k) sorted[k] = map->energy[k];
  const std::size_t q = nb * 9 / 10;
  std::nth_element(sorted.get(), sorted.get() + q, sorted.get() + nb);
  const float reference = std::max(sorted[q], 1.0f);
  const float logLow = std::log(0.015f), logHigh = std::log(0.12f);
  for (std::size_t k = 0; k < nb; ++k) {
    const float e = map->energy[k];
    const float eTerm =
        e > 0 ? Clamp01((std::log(e / reference) - logLow) / (logHigh - logLow)) : 0.0f;
    // Unordered texture (paper grain, sensor noise) stays below 0.2 over a
    // window; ridges reach 0.4 and more except around cores and deltas.
    const float agreeTerm = Clamp01((agree[k] - kAgreeLow) / kAgreeRamp);
    const float cTerm = std::max(Clamp01((map->coherence[k] - 0.2f) / 0.15f), agreeTerm);
    // Sparse ridge fragments (a faint or dry finger) fill the band-pass
    // unevenly; one direction over the patch still marks them, on the faint
    // map only: there the valleys of touching fingers pass too.
    const float fillTerm = Clamp01((map->fill[k] - 0.35f) / 0.2f);
    const float lowTerm = map->score[k];
    map->faint[k] = lowTerm * std::max(fillTerm, agreeTerm);
    map->score[k] = lowTerm * fillTerm;
    const float floorTerm = Clamp01((e - 8.0f) / 12.0f);
    // Ridges sit at 0.45..0.6 mm; the estimate reads them as 0.55..0.75.
    // Pen strokes, print and blots read 0.85 and more.
    const float p = map->period[k];
    const float pTerm = Clamp01((p - 0.32f) / 0.08f) * Clamp01((0.90f - p) / 0.12f);
    const float rest = eTerm * floorTerm * cTerm * pTerm;
    map->score[k] *= rest;
    map->faint[k] *= rest;
    map->mask[k] = map->score[k] > kMaskScore ? 1 : 0;
  }
  return VANTREL_OK;
}

// Median darkness of the blocks off the mask, by whole grey levels; 0 when
// the mask covers the image.
float PaperDarkness(const BlockMap& map) {
  int32_t histogram[256] = {};
  int32_t off = 0;
  const std::size_t nb = static_cast<std::size_t>(map.rows) * map.columns;
  for (std::size_t k = 0; k < nb; ++k) {
    if (map.mask[k]) continue;
    ++histogram[std::clamp(static_cast<int32_t>(map.darkness[k]), 0, 255)];
    ++off;
  }
  int32_t seen = 0;
  for (int32_t level = 0; level < 256; ++level) {
    seen += histogram[level];
    if (2 * seen > off) return static_cast<float>(level);
  }
  return 0;
}

}  // namespace

int32_t BuildBlockMap(const WorkingImage& work, BlockMap* map) {
  const int32_t b =
      std::max<int32_t>(4, static_cast<int32_t>(kBlockMm / kMmPerInch * work.ppi + 0.5));
  map->blockSize = b;
  map->rows = (work.rows + b - 1) / b;
  map->columns = (work.columns + b - 1) / b;
  const int32_t br = map->rows, bc = map->columns;
  const std::size_t nb = static_cast<std::size_t>(br) * bc;
  BlockSums sums;
  if (!sums.Reset(nb) || !map->score.Reset(nb) || !map->energy.Reset(nb) ||
      !map->coherence.Reset(nb) || !map->darkness.Reset(nb) || !map->period.Reset(nb) ||
      !map->fill.Reset(nb) || !map->orientCos.Reset(nb) || !map->orientSin.Reset(nb) ||
      !map->mask.Reset(nb) || !map->faint.Reset(nb)) {
    return VANTREL_OUT_OF_MEMORY;
  }
  Buffer<float> terms;
  Buffer<int32_t> columnGrey;
  if (!terms.Reset(static_cast<std::size_t>(work.columns) * 5) || !columnGrey.Reset(work.columns)) {
    return VANTREL_OUT_OF_MEMORY;
  }
  SumBlocks(work, b, bc, terms.get(), columnGrey.get(), &sums);
  Buffer<float> mean;
  if (!mean.Reset(nb)) return VANTREL_OUT_OF_MEMORY;
  for (std::size_t k = 0; k < nb; ++k) {
    mean[k] =
        sums.cnt[k] > 0 ? static_cast<float>(sums.sg[k]) / static_cast<float>(sums.cnt[k]) : 255.0f;
    map->darkness[k] = 255.0f - mean[k];
  }
  for (int32_t by = 0; by < br; ++by) {
    for (int32_t bx = 0; bx < bc; ++bx) WindowFeatures(sums, mean.get(), work.ppi, bx, by, map);
  }
  const int32_t status = ScoreBlocks(map);
  if (status != VANTREL_OK) return status;
  map->paper = PaperDarkness(*map);
  return VANTREL_OK;
}

}  // namespace slap
}  // namespace vtl
