#include "separate/slant_row_kernels.h"

#include <cstring>

#include "platform/vector_level.h"

namespace vtl {
namespace {

int64_t Max64(int64_t a, int64_t b) {
  return a > b ? a : b;
}
int64_t Min64(int64_t a, int64_t b) {
  return a < b ? a : b;
}

typedef uint16_t Lanes8 __attribute__((vector_size(16)));
typedef uint16_t Lanes16 __attribute__((vector_size(32)));
typedef uint16_t Lanes32 __attribute__((vector_size(64)));
typedef uint8_t Bytes16 __attribute__((vector_size(16)));
typedef uint8_t Bytes32 __attribute__((vector_size(32)));
typedef uint8_t Bytes64 __attribute__((vector_size(64)));
typedef uint8_t Bytes8 __attribute__((vector_size(8)));

// *add = the sum of the group's rows at h: kGroup rows of element type E
// read as V, copied in (any alignment), which compiles to unaligned moves.
template <int kGroup, typename V, typename E>
__attribute__((always_inline)) inline void SumOfRows(V* add, const E* const* rows, int64_t h) {
  std::memcpy(add, rows[0] + h, sizeof *add);
  for (int i = 1; i < kGroup; ++i) {
    V more;
    std::memcpy(&more, rows[i] + h, sizeof more);
    *add += more;
  }
}

// One block of kSumLanes positions per step, in vectors of V.
template <typename V, int kGroup>
__attribute__((always_inline)) inline void AddGroup(uint16_t* sum, const uint16_t* const* rows,
                                                    int64_t from, int64_t to, bool subtract) {
  constexpr int64_t kPer = sizeof(V) / sizeof(uint16_t);
  for (int64_t k = from; k < to; k += kSumLanes) {
    for (int64_t h = k; h < k + kSumLanes; h += kPer) {
      V add;
      SumOfRows<kGroup>(&add, rows, h);
      V now;
      std::memcpy(&now, sum + h, sizeof now);
      now = subtract ? now - add : now + add;
      std::memcpy(sum + h, &now, sizeof now);
    }
  }
}

// Mask rows: summed as bytes in vectors of B, whose halves H are widened
// into the sums as vectors of V.
template <typename V, typename B, typename H, int kGroup>
__attribute__((always_inline)) inline void AddByteGroup(uint16_t* sum, const uint8_t* const* rows,
                                                        int64_t from, int64_t to) {
  constexpr int64_t kPer = sizeof(B);
  constexpr int64_t kHalf = sizeof(H);
  static_assert(sizeof(V) == 2 * sizeof(H), "a half widens to one vector of sums");
  for (int64_t k = from; k < to; k += kByteLanes) {
    for (int64_t h = k; h < k + kByteLanes; h += kPer) {
      B add;
      SumOfRows<kGroup>(&add, rows, h);
      for (int half = 0; half < 2; ++half) {
        H part;
        std::memcpy(&part, reinterpret_cast<const uint8_t*>(&add) + half * kHalf, sizeof part);
        V now;
        std::memcpy(&now, sum + h + half * kHalf, sizeof now);
        now += __builtin_convertvector(part, V);
        std::memcpy(sum + h + half * kHalf, &now, sizeof now);
      }
    }
  }
}

// One pass of g word rows over the sums.
template <typename V>
__attribute__((always_inline)) inline void AddWords(uint16_t* sum, const uint16_t* const* rows,
                                                    int g, int64_t from, int64_t to,
                                                    bool subtract) {
  switch (g) {
    case 1: AddGroup<V, 1>(sum, rows, from, to, subtract); break;
    case 2: AddGroup<V, 2>(sum, rows, from, to, subtract); break;
    case 3: AddGroup<V, 3>(sum, rows, from, to, subtract); break;
    case 4: AddGroup<V, 4>(sum, rows, from, to, subtract); break;
    case 5: AddGroup<V, 5>(sum, rows, from, to, subtract); break;
    case 6: AddGroup<V, 6>(sum, rows, from, to, subtract); break;
    case 7: AddGroup<V, 7>(sum, rows, from, to, subtract); break;
    default: AddGroup<V, 8>(sum, rows, from, to, subtract); break;
  }
}

// One pass of g mask rows over the sums.
template <typename V, typename B, typename H>
__attribute__((always_inline)) inline void AddBytes(uint16_t* sum, const uint8_t* const* rows,
                                                    int g, int64_t from, int64_t to) {
  switch (g) {
    case 1: AddByteGroup<V, B, H, 1>(sum, rows, from, to); break;
    case 2: AddByteGroup<V, B, H, 2>(sum, rows, from, to); break;
    case 3: AddByteGroup<V, B, H, 3>(sum, rows, from, to); break;
    case 4: AddByteGroup<V, B, H, 4>(sum, rows, from, to); break;
    case 5: AddByteGroup<V, B, H, 5>(sum, rows, from, to); break;
    case 6: AddByteGroup<V, B, H, 6>(sum, rows, from, to); break;
    case 7: AddByteGroup<V, B, H, 7>(sum, rows, from, to); break;
    case 8: AddByteGroup<V, B, H, 8>(sum, rows, from, to); break;
    case 9: AddByteGroup<V, B, H, 9>(sum, rows, from, to); break;
    case 10: AddByteGroup<V, B, H, 10>(sum, rows, from, to); break;
    case 11: AddByteGroup<V, B, H, 11>(sum, rows, from, to); break;
    case 12: AddByteGroup<V, B, H, 12>(sum, rows, from, to); break;
    case 13: AddByteGroup<V, B, H, 13>(sum, rows, from, to); break;
    case 14: AddByteGroup<V, B, H, 14>(sum, rows, from, to); break;
    case 15: AddByteGroup<V, B, H, 15>(sum, rows, from, to); break;
    default: AddByteGroup<V, B, H, 16>(sum, rows, from, to); break;
  }
}

// The word terms of one band (table rows below rowEnd) from terms[t] on: up
// to kMaxGroup terms of one sign and close columns share one pass over the
// sums, which covers the positions where some of them is nonzero (outside
// its span a row reads 0). Returns the next term.
template <typename V>
__attribute__((always_inline)) inline int64_t AddWordBand(const SlantTerm* terms, int64_t count,
                                                          int64_t t, int64_t rowEnd,
                                                          int64_t positions, uint16_t* sum) {
  while (t < count && terms[t].row < rowEnd) {
    if (terms[t].low >= terms[t].high) {
      ++t;
      continue;
    }
    const bool subtract = terms[t].subtract;
    int32_t lo = terms[t].x;
    int32_t hi = lo;
    int64_t first = static_cast<int64_t>(terms[t].low) - terms[t].x - 1;
    int64_t end = static_cast<int64_t>(terms[t].high) - terms[t].x - 1;
    const uint16_t* rows[kMaxGroup];
    rows[0] = terms[t].data + terms[t].x + 1;
    int g = 1;
    int64_t u = t + 1;
    for (; g < kMaxGroup && u < count && terms[u].subtract == subtract; ++u) {
      const SlantTerm& term = terms[u];
      if (term.low >= term.high) continue;
      const int32_t x = term.x;
      const int32_t nextLo = x < lo ? x : lo;
      const int32_t nextHi = x > hi ? x : hi;
      if (nextHi - nextLo > kMergeSpan) break;
      lo = nextLo;
      hi = nextHi;
      first = Min64(first, static_cast<int64_t>(term.low) - x - 1);
      end = Max64(end, static_cast<int64_t>(term.high) - x - 1);
      rows[g++] = term.data + x + 1;
    }
    t = u;
    const int64_t from = Max64(0, first) & ~(kSumLanes - 1);
    const int64_t to = Min64(positions, end);
    if (to > from) AddWords<V>(sum, rows, g, from, to, subtract);
  }
  return t;
}

// The mask terms of one band (table rows below rowEnd) from terms[t] on,
// whose rows are nonzero only in `band`: kMaxByteGroup consecutive terms per
// pass. A slant's mask terms have monotone columns, so a group's first and
// last term bound its columns. Returns the next term.
template <typename V, typename B, typename H>
__attribute__((always_inline)) inline int64_t AddByteBand(const MaskTerm* terms, int64_t count,
                                                          int64_t t, int64_t rowEnd,
                                                          int64_t positions, uint16_t* sum,
                                                          const uint8_t* base, TableSpan band) {
  while (t < count && terms[t].row < rowEnd) {
    int64_t g = kMaxByteGroup;
    if (t + g > count || terms[t + g - 1].row >= rowEnd) {
      g = 1;
      while (g < kMaxByteGroup && t + g < count && terms[t + g].row < rowEnd) ++g;
    }
    const int32_t x0 = terms[t].x;
    const int32_t x1 = terms[t + g - 1].x;
    const int64_t lo = x0 < x1 ? x0 : x1;
    const int64_t hi = x0 < x1 ? x1 : x0;
    const int64_t from = Max64(0, band.low - hi - 1) & ~(kByteLanes - 1);
    const int64_t to = Min64(positions, band.high - lo - 1);
    if (to > from) {
      const uint8_t* rows[kMaxByteGroup];
      for (int64_t i = 0; i < g; ++i) {
        rows[i] = base + terms[t + i].offset;
      }
      AddBytes<V, B, H>(sum, rows, static_cast<int>(g), from, to);
    }
    t += g;
  }
  return t;
}

// sum[k] (+/-)= the terms' table rows, read at column x + k. The batch's
// slants are interleaved by bands of table rows, so that a band read for one
// slant is still in the first-level cache for the next. Integer sums are the
// same for every vector width.
template <typename V, typename B, typename H>
__attribute__((always_inline)) inline void AddBatchWith(const BatchLanes& b) {
  int64_t next[kBatchLanes] = {};
  for (int64_t rowEnd = kBandRows;; rowEnd += kBandRows) {
    bool open = false;
    for (int lane = 0; lane < b.lanes; ++lane) {
      if (b.bytes[lane]) {
        next[lane] = AddByteBand<V, B, H>(b.maskTerms[lane], b.count[lane], next[lane], rowEnd,
                                          b.positions[lane], b.sum[lane], b.byteRows,
                                          b.bands[rowEnd / kBandRows - 1]);
      } else {
        next[lane] = AddWordBand<V>(b.terms[lane], b.count[lane], next[lane], rowEnd,
                                    b.positions[lane], b.sum[lane]);
      }
      open |= next[lane] < b.count[lane];
    }
    if (!open) break;
  }
}

// The accumulated coordinate of the reference lines of a batch of slants of
// one sign, one per lane: magnitudes kBatchLanes * batch + lane. A steep
// line (|s| <= R - 1) accumulates its column from -s (leaning right) or 0
// (leaning left) by |s| / (R - 1), signed; a shallow one its row from 0 by
// (R - 1) / |s|; the other coordinate steps by exact whole units. These are
// the single-precision additions and truncations of
// GetLinePixelBetweenTwoPoints, the batch's chains side by side.
inline __attribute__((always_inline)) void DrawLineBatchWith(SlantTables* tables, bool left,
                                                             int64_t batch) {
  typedef float Floats __attribute__((vector_size(kBatchLanes * sizeof(float))));
  typedef int32_t Ints __attribute__((vector_size(kBatchLanes * sizeof(int32_t))));
  const int64_t last = tables->rows - 1;
  Floats f;
  Floats step;
  int64_t longest = 1;
  for (int lane = 0; lane < kBatchLanes; ++lane) {
    const int64_t m = batch * kBatchLanes + lane;
    f[lane] = 0.0f;
    step[lane] = 0.0f;
    if (m > tables->maxSlant) continue;
    if (m <= last) {
      if (last >= 1) {
        step[lane] = (left ? -1.0f : 1.0f) * (static_cast<float>(m) / static_cast<float>(last));
      }
      f[lane] = static_cast<float>(left ? 0 : -m);
      longest = Max64(longest, last + 1);
    } else {
      step[lane] = static_cast<float>(last) / static_cast<float>(m);
      longest = Max64(longest, m + 1);
    }
  }
  int32_t* out = tables->lineCoordinates;
  for (int64_t j = 0; j < longest; ++j) {
    const Ints truncated = __builtin_convertvector(f, Ints);
    std::memcpy(out + j * kBatchLanes, &truncated, sizeof truncated);
    f += step;
  }
}

// In-image counts of a steep line from its cumulative column counts G.
inline __attribute__((always_inline)) void SteepTotalsWith(int32_t* inside, const int32_t* G,
                                                           int64_t positions, int64_t C,
                                                           bool rising) {
  if (rising) {
    for (int64_t k = 0; k < positions; ++k) inside[k] = G[k] - G[k + C];
  } else {
    for (int64_t k = 0; k < positions; ++k) inside[k] = G[k + C] - G[k];
  }
}

// In-image counts of a shallow line, one point in each column xMin .. xMax.
inline __attribute__((always_inline)) void ShallowTotalsWith(int32_t* inside, int64_t positions,
                                                             int64_t C, int64_t xMin,
                                                             int64_t xMax) {
  const auto lastColumn = static_cast<int32_t>(C - 1);
  const auto low = static_cast<int32_t>(xMin);
  const auto high = static_cast<int32_t>(xMax);
  for (int64_t k = 0; k < positions; ++k) {
    const auto kk = static_cast<int32_t>(k);
    const int32_t right = high + kk < lastColumn ? high + kk : lastColumn;
    const int32_t left = low + kk > 0 ? low + kk : 0;
    inside[k] = right >= left ? right - left + 1 : 0;
  }
}

// Window of three over both raw profiles, as SmoothRunningSum computes it
// for counts, and the background profile.
inline __attribute__((always_inline)) void SmoothThreeWith(const uint16_t* raw,
                                                           const int32_t* inside, int32_t* dark,
                                                           int32_t* total, int32_t* background,
                                                           int64_t n) {
  const int64_t last = n - 1;
  dark[0] = (raw[0] + (last >= 1 ? raw[1] : 0)) / 3;
  total[0] = (inside[0] + (last >= 1 ? inside[1] : 0)) / 3;
  background[0] = total[0] - dark[0];
  for (int64_t k = 1; k < last; ++k) {
    const uint32_t d = static_cast<uint32_t>(raw[k - 1]) + raw[k] + raw[k + 1];
    const uint32_t a = static_cast<uint32_t>(inside[k - 1]) + static_cast<uint32_t>(inside[k]) +
                       static_cast<uint32_t>(inside[k + 1]);
    dark[k] = static_cast<int32_t>(d / 3u);
    total[k] = static_cast<int32_t>(a / 3u);
    background[k] = total[k] - dark[k];
  }
  if (last >= 1) {
    dark[last] = (raw[last - 1] + raw[last]) / 3;
    total[last] = (inside[last - 1] + inside[last]) / 3;
    background[last] = total[last] - dark[last];
  }
}

#define VANTREL_LINE_KERNELS(Name, Target)                                                       \
  Target void DrawLineBatch##Name(SlantTables* tables, bool left, int64_t batch) {               \
    DrawLineBatchWith(tables, left, batch);                                                      \
  }                                                                                              \
  Target void SteepTotals##Name(int32_t* inside, const int32_t* G, int64_t positions, int64_t C, \
                                bool rising) {                                                   \
    SteepTotalsWith(inside, G, positions, C, rising);                                            \
  }                                                                                              \
  Target void ShallowTotals##Name(int32_t* inside, int64_t positions, int64_t C, int64_t xMin,   \
                                  int64_t xMax) {                                                \
    ShallowTotalsWith(inside, positions, C, xMin, xMax);                                         \
  }                                                                                              \
  Target void SmoothThree##Name(const uint16_t* raw, const int32_t* inside, int32_t* dark,       \
                                int32_t* total, int32_t* background, int64_t n) {                \
    SmoothThreeWith(raw, inside, dark, total, background, n);                                    \
  }

VANTREL_LINE_KERNELS(Baseline, )

void AddBatchBaseline(const BatchLanes& b) {
  AddBatchWith<Lanes8, Bytes16, Bytes8>(b);
}

constexpr RowKernels kBaselineKernels = {AddBatchBaseline, DrawLineBatchBaseline,
                                         SteepTotalsBaseline, ShallowTotalsBaseline,
                                         SmoothThreeBaseline};

#if defined(__x86_64__) || defined(__i386__)
VANTREL_LINE_KERNELS(Avx2, __attribute__((target("avx2"))))

__attribute__((target("avx2"))) void AddBatchAvx2(const BatchLanes& b) {
  AddBatchWith<Lanes16, Bytes32, Bytes16>(b);
}

__attribute__((target("avx512f,avx512bw"))) void AddBatchAvx512(const BatchLanes& b) {
  AddBatchWith<Lanes32, Bytes64, Bytes32>(b);
}

constexpr RowKernels kAvx2Kernels = {AddBatchAvx2, DrawLineBatchAvx2, SteepTotalsAvx2,
                                     ShallowTotalsAvx2, SmoothThreeAvx2};

// Only the row sums gain from AVX-512: the other kernels' AVX-512 versions
// made a whole search slower (profiles of a few hundred values, eight lines
// of eight lanes), so that level keeps their AVX2 versions.
constexpr RowKernels kAvx512Kernels = {AddBatchAvx512, DrawLineBatchAvx2, SteepTotalsAvx2,
                                       ShallowTotalsAvx2, SmoothThreeAvx2};
#endif
#undef VANTREL_LINE_KERNELS

}  // namespace

const RowKernels& ActiveRowKernels() {
#if defined(__x86_64__) || defined(__i386__)
  switch (ActiveVectorLevel()) {
    case VectorLevel::kAvx512: return kAvx512Kernels;
    case VectorLevel::kAvx2: return kAvx2Kernels;
    case VectorLevel::kBaseline: break;
  }
#endif
  return kBaselineKernels;
}

}  // namespace vtl
