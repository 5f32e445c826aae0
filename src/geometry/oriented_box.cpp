#include "geometry/oriented_box.h"

#include <cmath>
#include <cstring>

#include "platform/vector_level.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VANTREL_X86_KERNELS 1
#endif

namespace vtl {
namespace {

// One box row, walked point by point. Positions are accumulated step by step
// in double precision (never recomputed from the indices), so that a pixel's
// position does not depend on whether its neighbours fell inside.
template <bool kTruncated>
void SampleRow(const uint8_t* source, int64_t stride, uint8_t* out, int32_t boxWidth, double x,
               double y, double c, double s, double xLimit, double yLimit, uint8_t fill) {
  for (int32_t j = 0; j < boxWidth; ++j) {
    if (kTruncated) {
      // Signed conversions: the positions are not negative here, and
      // unsigned ones cost a branch per pixel.
      out[j] = x >= 0.0 && x <= xLimit && y >= 0.0 && y <= yLimit
                   ? source[static_cast<int64_t>(y) * stride + static_cast<int64_t>(x)]
                   : fill;
    } else {
      out[j] = x >= 0.0 && x < xLimit && y >= 0.0 && y < yLimit
                   ? source[static_cast<int64_t>(y + 0.5) * stride + static_cast<int64_t>(x + 0.5)]
                   : fill;
    }
    x = x + c;
    y = y - s;
  }
}

#ifdef VANTREL_X86_KERNELS
#define VANTREL_AVX2 __attribute__((target("avx2")))

struct FourRowWalk {
  __m256d x;
  __m256d y;
  __m256d c;
  __m256d s;
  __m256d xLimit;
  __m256d yLimit;
  __m128i stride;
  __m128i fill;
  const int* base;
};

// Fetches the four lanes' pixels (fill outside) and steps one box column.
VANTREL_AVX2 inline __attribute__((always_inline)) __m128i Step(FourRowWalk& w) {
  const __m256d zero = _mm256_setzero_pd();
  const __m256d inside = _mm256_and_pd(
      _mm256_and_pd(_mm256_cmp_pd(w.x, zero, _CMP_GE_OQ), _mm256_cmp_pd(w.x, w.xLimit, _CMP_LE_OQ)),
      _mm256_and_pd(_mm256_cmp_pd(w.y, zero, _CMP_GE_OQ),
                    _mm256_cmp_pd(w.y, w.yLimit, _CMP_LE_OQ)));
  // The 64-bit lane masks narrowed to 32 bits.
  const __m128 halves =
      _mm_shuffle_ps(_mm256_castps256_ps128(_mm256_castpd_ps(inside)),
                     _mm256_extractf128_ps(_mm256_castpd_ps(inside), 1), _MM_SHUFFLE(2, 0, 2, 0));
  // Outside lanes may convert to anything; they are never fetched.
  const __m128i index =
      _mm_add_epi32(_mm_mullo_epi32(_mm256_cvttpd_epi32(w.y), w.stride), _mm256_cvttpd_epi32(w.x));
  const __m128i got = _mm_mask_i32gather_epi32(w.fill, w.base, index, _mm_castps_si128(halves), 1);
  w.x = _mm256_add_pd(w.x, w.c);
  w.y = _mm256_sub_pd(w.y, w.s);
  return got;
}

// Four box rows at once, one row per lane: the same additions in the same
// order per row, so the same positions, but four independent chains instead
// of one. Inside pixels are fetched with a masked gather of 32-bit words;
// the truncating sampler never reads the last row or column, so the three
// bytes past a pixel still lie in the source. Outside lanes keep `fill`.
VANTREL_AVX2 void SampleFourRowsTruncatedAvx2(const uint8_t* source, int32_t columns, uint8_t* out,
                                              std::size_t width, int32_t boxWidth,
                                              const double* startX, const double* startY, double c,
                                              double s, double xLimit, double yLimit,
                                              uint8_t fill) {
  FourRowWalk w;
  w.x = _mm256_loadu_pd(startX);
  w.y = _mm256_loadu_pd(startY);
  w.c = _mm256_set1_pd(c);
  w.s = _mm256_set1_pd(s);
  w.xLimit = _mm256_set1_pd(xLimit);
  w.yLimit = _mm256_set1_pd(yLimit);
  w.stride = _mm_set1_epi32(columns);
  w.fill = _mm_set1_epi32(fill);
  w.base = reinterpret_cast<const int*>(source);
  const __m128i low = _mm_set1_epi32(0xFF);

  int32_t j = 0;
  for (; j + 4 <= boxWidth; j += 4) {
    const __m128i g0 = _mm_and_si128(Step(w), low);
    const __m128i g1 = _mm_slli_epi32(_mm_and_si128(Step(w), low), 8);
    const __m128i g2 = _mm_slli_epi32(_mm_and_si128(Step(w), low), 16);
    const __m128i g3 = _mm_slli_epi32(Step(w), 24);
    // Lane r now holds row r's four pixels in memory order.
    const __m128i packed = _mm_or_si128(_mm_or_si128(g0, g1), _mm_or_si128(g2, g3));
    const int32_t r0 = _mm_cvtsi128_si32(packed);
    const int32_t r1 = _mm_extract_epi32(packed, 1);
    const int32_t r2 = _mm_extract_epi32(packed, 2);
    const int32_t r3 = _mm_extract_epi32(packed, 3);
    std::memcpy(out + j, &r0, 4);
    std::memcpy(out + width + j, &r1, 4);
    std::memcpy(out + 2 * width + j, &r2, 4);
    std::memcpy(out + 3 * width + j, &r3, 4);
  }
  for (; j < boxWidth; ++j) {
    const __m128i g = Step(w);
    out[j] = static_cast<uint8_t>(_mm_cvtsi128_si32(g));
    out[width + j] = static_cast<uint8_t>(_mm_extract_epi32(g, 1));
    out[2 * width + j] = static_cast<uint8_t>(_mm_extract_epi32(g, 2));
    out[3 * width + j] = static_cast<uint8_t>(_mm_extract_epi32(g, 3));
  }
}

#define VANTREL_AVX512 __attribute__((target("avx512f,avx512vl,avx512dq")))

struct EightRowWalk {
  __m512d x;
  __m512d y;
  __m512d c;
  __m512d s;
  __m512d xLimit;
  __m512d yLimit;
  __m256i stride;
  __m256i fill;
  const int* base;
};

// The truncating sampler reads the 32-bit word at its pixel: it never
// samples the last row or column, so the word lies in the source. The
// nearest-pixel sampler may sample the last pixel, so it reads the word that
// ends at its pixel (or the first word, for the first three pixels) and
// shifts its pixel down.
// kInside: every position of the box is known to lie inside, so none is
// tested.
template <bool kTruncated, bool kInside>
VANTREL_AVX512 inline __attribute__((always_inline)) __m256i Step(EightRowWalk& w) {
  __mmask8 inside = 0xFF;
  if (!kInside) {
    const __m512d zero = _mm512_setzero_pd();
    constexpr int kBelow = kTruncated ? _CMP_LE_OQ : _CMP_LT_OQ;
    inside = _mm512_cmp_pd_mask(w.x, zero, _CMP_GE_OQ);
    inside = _mm512_mask_cmp_pd_mask(inside, w.x, w.xLimit, kBelow);
    inside = _mm512_mask_cmp_pd_mask(inside, w.y, zero, _CMP_GE_OQ);
    inside = _mm512_mask_cmp_pd_mask(inside, w.y, w.yLimit, kBelow);
  }
  const __m512d half = _mm512_set1_pd(0.5);
  const __m512d x = kTruncated ? w.x : _mm512_add_pd(w.x, half);
  const __m512d y = kTruncated ? w.y : _mm512_add_pd(w.y, half);
  // Outside lanes may convert to anything; they are never fetched.
  const __m256i index =
      _mm256_add_epi32(_mm256_mullo_epi32(_mm512_maskz_cvttpd_epi32(0xFF, y), w.stride),
                       _mm512_maskz_cvttpd_epi32(0xFF, x));
  __m256i got;
  if (kTruncated) {
    got = _mm256_mmask_i32gather_epi32(w.fill, inside, index, w.base, 1);
  } else {
    const __m256i three = _mm256_set1_epi32(3);
    const __m256i end = _mm256_max_epi32(index, three);  // the word's last byte
    got = _mm256_mmask_i32gather_epi32(w.fill, inside, _mm256_sub_epi32(end, three), w.base, 1);
    const __m256i shift =
        _mm256_maskz_slli_epi32(inside, _mm256_add_epi32(_mm256_sub_epi32(index, end), three), 3);
    got = _mm256_srlv_epi32(got, shift);
  }
  w.x = _mm512_add_pd(w.x, w.c);
  w.y = _mm512_sub_pd(w.y, w.s);
  return got;
}

// The four-row walk widened to eight rows per walk; kWalks walks side by
// side (independent chains, so that one walk's additions and gathers overlap
// the other's).
template <bool kTruncated, bool kInside, int kWalks>
VANTREL_AVX512 void SampleRowsAvx512(const uint8_t* source, int32_t columns, uint8_t* out,
                                     std::size_t width, int32_t boxWidth, const double* startX,
                                     const double* startY, double c, double s, double xLimit,
                                     double yLimit, uint8_t fill) {
  EightRowWalk w[kWalks];
  for (int q = 0; q < kWalks; ++q) {
    w[q].x = _mm512_loadu_pd(startX + 8 * q);
    w[q].y = _mm512_loadu_pd(startY + 8 * q);
    w[q].c = _mm512_set1_pd(c);
    w[q].s = _mm512_set1_pd(s);
    w[q].xLimit = _mm512_set1_pd(xLimit);
    w[q].yLimit = _mm512_set1_pd(yLimit);
    w[q].stride = _mm256_set1_epi32(columns);
    w[q].fill = _mm256_set1_epi32(fill);
    w[q].base = reinterpret_cast<const int*>(source);
  }
  const __m256i low = _mm256_set1_epi32(0xFF);

  int32_t j = 0;
  for (; j + 4 <= boxWidth; j += 4) {
    __m256i g0[kWalks];
    __m256i g1[kWalks];
    __m256i g2[kWalks];
    __m256i g3[kWalks];
    for (int q = 0; q < kWalks; ++q) g0[q] = _mm256_and_si256(Step<kTruncated, kInside>(w[q]), low);
    for (int q = 0; q < kWalks; ++q) {
      g1[q] = _mm256_slli_epi32(_mm256_and_si256(Step<kTruncated, kInside>(w[q]), low), 8);
    }
    for (int q = 0; q < kWalks; ++q) {
      g2[q] = _mm256_slli_epi32(_mm256_and_si256(Step<kTruncated, kInside>(w[q]), low), 16);
    }
    for (int q = 0; q < kWalks; ++q) g3[q] = _mm256_slli_epi32(Step<kTruncated, kInside>(w[q]), 24);
    for (int q = 0; q < kWalks; ++q) {
      alignas(32) int32_t packed[8];
      _mm256_store_si256(
          reinterpret_cast<__m256i*>(packed),
          _mm256_or_si256(_mm256_or_si256(g0[q], g1[q]), _mm256_or_si256(g2[q], g3[q])));
      for (int r = 0; r < 8; ++r) std::memcpy(out + (8 * q + r) * width + j, &packed[r], 4);
    }
  }
  for (; j < boxWidth; ++j) {
    for (int q = 0; q < kWalks; ++q) {
      alignas(32) int32_t got[8];
      _mm256_store_si256(reinterpret_cast<__m256i*>(got), Step<kTruncated, kInside>(w[q]));
      for (int r = 0; r < 8; ++r) out[(8 * q + r) * width + j] = static_cast<uint8_t>(got[r]);
    }
  }
}

#endif

template <bool kTruncated>
void SampleBox(const uint8_t* source, int32_t columns, int32_t rows, uint8_t* destination,
               int32_t boxWidth, int32_t boxHeight, int32_t centreColumn, int32_t centreRow,
               float angle, uint8_t fill) {
  // Negative sizes or a missing buffer: nothing may be written.
  if (destination == nullptr || boxWidth < 1 || boxHeight < 1) return;
  const std::size_t width = static_cast<std::size_t>(boxWidth);
  if (source == nullptr || columns < 1 || rows < 1) {
    std::memset(destination, fill, width * static_cast<std::size_t>(boxHeight));
    return;
  }

  const double c = std::cos(static_cast<double>(angle));
  const double s = std::sin(static_cast<double>(angle));
  const double hw = boxWidth * 0.5;
  const double hh = boxHeight * 0.5;
  const double xLimit = kTruncated ? columns - 1.5 : columns - 0.5;
  const double yLimit = kTruncated ? rows - 1.5 : rows - 0.5;
  const int64_t stride = columns;

  double rowX = centreColumn - c * hw - s * hh;
  double rowY = centreRow + s * hw - c * hh;
  int32_t i = 0;
#ifdef VANTREL_X86_KERNELS
  // Gathered 32-bit indices: the whole source must be addressable by them,
  // and hold a whole word.
  const int64_t size = static_cast<int64_t>(rows) * columns;
  const VectorLevel level = ActiveVectorLevel();
  if (size <= INT32_MAX && size >= 4 && level == VectorLevel::kAvx512) {
    // Each walked position is at most boxWidth + boxHeight additions away from
    // the box's first, each rounding by half a unit in the last place of
    // values below `extent`: corners inside by `slack` put every position
    // inside, so the whole box skips the bounds tests.
    const double steps = static_cast<double>(boxWidth) + boxHeight + 4.0;
    const double extent = std::fabs(xLimit) + std::fabs(yLimit) + steps;
    const double slack = steps * extent * 0x1p-40;
    bool allInside = true;
    for (int corner = 0; corner < 4; ++corner) {
      const double di = (corner & 1) ? boxHeight - 1 : 0;
      const double dj = (corner & 2) ? boxWidth - 1 : 0;
      const double x = rowX + di * s + dj * c;
      const double y = rowY + di * c - dj * s;
      allInside =
          allInside && x >= slack && x <= xLimit - slack && y >= slack && y <= yLimit - slack;
    }
    double startX[16];
    double startY[16];
    auto starts = [&](int count) {
      for (int q = 0; q < count; ++q) {
        startX[q] = rowX;
        startY[q] = rowY;
        rowX = rowX + s;
        rowY = rowY + c;
      }
    };
    auto rows =
        allInside ? SampleRowsAvx512<kTruncated, true, 2> : SampleRowsAvx512<kTruncated, false, 2>;
    for (; i + 16 <= boxHeight; i += 16) {
      starts(16);
      rows(source, columns, destination + static_cast<std::size_t>(i) * width, width, boxWidth,
           startX, startY, c, s, xLimit, yLimit, fill);
    }
    for (; i + 8 <= boxHeight; i += 8) {
      starts(8);
      SampleRowsAvx512<kTruncated, false, 1>(
          source, columns, destination + static_cast<std::size_t>(i) * width, width, boxWidth,
          startX, startY, c, s, xLimit, yLimit, fill);
    }
  }
  if (kTruncated && size <= INT32_MAX && level != VectorLevel::kBaseline) {
    for (; i + 4 <= boxHeight; i += 4) {
      double startX[4];
      double startY[4];
      for (int q = 0; q < 4; ++q) {
        startX[q] = rowX;
        startY[q] = rowY;
        rowX = rowX + s;
        rowY = rowY + c;
      }
      SampleFourRowsTruncatedAvx2(source, columns,
                                  destination + static_cast<std::size_t>(i) * width, width,
                                  boxWidth, startX, startY, c, s, xLimit, yLimit, fill);
    }
  }
#endif
  for (; i < boxHeight; ++i) {
    SampleRow<kTruncated>(source, stride, destination + static_cast<std::size_t>(i) * width,
                          boxWidth, rowX, rowY, c, s, xLimit, yLimit, fill);
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
