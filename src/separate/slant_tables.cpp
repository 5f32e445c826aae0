#include "separate/slant_tables.h"

#include <atomic>
#include <cstring>

#include "interface/memory.h"
#include "interface/parameter.h"
#include "platform/vector_level.h"
#include "separate/slant_profiles.h"
#include "vantrel.h"

namespace vtl {
namespace {

std::atomic<bool> g_plainCounting{false};

int64_t Max64(int64_t a, int64_t b) {
  return a > b ? a : b;
}
int64_t Min64(int64_t a, int64_t b) {
  return a < b ? a : b;
}

// Table rows carry kPad zeros on each side, so that whole blocks of
// kSumLanes positions can be read past a row's span; a block group spans
// at most kMergeSpan columns, which keeps every read inside the padding.
// Mask rows (bytes) are read in blocks of kByteLanes, with their own limits.
constexpr int64_t kPad = 48;
constexpr int64_t kSumLanes = 32;
constexpr int32_t kMergeSpan = 16;
constexpr int kMaxGroup = 8;  // terms summed in one pass
constexpr int64_t kBytePad = 192;
constexpr int64_t kByteLanes = 64;
constexpr int32_t kByteMergeSpan = 64;
constexpr int kMaxByteGroup = 16;
constexpr int kTermPoints = 4;      // line points one mask term counts, at most
constexpr int64_t kTableReach = 4;  // two-row table values reach this far left of column -1
constexpr int64_t kBandRows = 32;   // table rows per band of a batch
constexpr int kBatchLanes = kSlantBatch;
static_assert(kMergeSpan + kSumLanes - 1 <= kPad, "block reads stay inside the row padding");
static_assert(kTermPoints * kMaxByteGroup < 256, "byte sums do not wrap");
// A group of mask terms covers consecutive points.
static_assert(kTermPoints * kMaxByteGroup <= kByteMergeSpan, "mask groups stay inside the padding");
static_assert(kBandRows % 2 == 0, "row pairs never straddle two bands");
// Block reads reach kByteMergeSpan + kByteLanes - 1 past a row's data (and
// kTableReach further left of a two-row table's span); they stay inside the
// zero gap and never meet the next row's writes, kTableReach before its data.
static_assert(kByteMergeSpan + kByteLanes + 2 * kTableReach <= kBytePad,
              "byte table reads stay inside the zero gaps");
static_assert(kByteLanes % kSumLanes == 0, "sum rooms fit both block sizes");

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

// One batch of slants: their table rows (in rising table-row order), sums
// and positions.
struct BatchLanes {
  const SlantTerm* terms[kBatchLanes];
  int64_t count[kBatchLanes];
  uint16_t* sum[kBatchLanes];
  int64_t positions[kBatchLanes];
  const MaskTerm* maskTerms[kBatchLanes];
  bool bytes[kBatchLanes];  // the slant's terms are mask terms
  const uint8_t* byteRows;
  const TableSpan* bands;  // mask and pair rows' span, per band of rows
  int lanes;
};

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

// The kernels above, compiled once per vector level (the integer and
// single-precision results are the same for each) and chosen per batch by
// the active level: a plain table of pointers rather than ifunc clones,
// which pick by processor model and which the thread sanitizer's runtime
// cannot run.
struct RowKernels {
  void (*addBatch)(const BatchLanes& b);
  void (*drawLines)(SlantTables* tables, bool left, int64_t batch);
  void (*steepTotals)(int32_t* inside, const int32_t* G, int64_t positions, int64_t C, bool rising);
  void (*shallowTotals)(int32_t* inside, int64_t positions, int64_t C, int64_t xMin, int64_t xMax);
  void (*smoothThree)(const uint16_t* raw, const int32_t* inside, int32_t* dark, int32_t* total,
                      int32_t* background, int64_t n);
};

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

// Smoothed profiles and the background profile from the raw counts.
int32_t FinishProfiles(const RowKernels& kernels, const uint16_t* raw, const int32_t* inside,
                       int32_t* dark, int32_t* total, int32_t* background, int64_t n,
                       int32_t radius, int32_t* scratch) {
  if (radius == 1) {
    kernels.smoothThree(raw, inside, dark, total, background, n);
    return VANTREL_OK;
  }
  for (int64_t k = 0; k < n; ++k) {
    dark[k] = raw[k];
    total[k] = inside[k];
  }
  const auto count = static_cast<int32_t>(n);
  int32_t smoothed = SmoothRunningSum(dark, count, radius, scratch);
  if (smoothed == VANTREL_OK) smoothed = SmoothRunningSum(total, count, radius, scratch);
  for (int64_t k = 0; k < n; ++k) background[k] = total[k] - dark[k];
  return smoothed;
}

// The byte tables, in this order in byteRows: mask rows and pair rows (R
// rows each), then two-row tables with one row per row pair (y, y + 1), y
// even (R / 2 rows each); the shallow lines' tables (kRight11 on) only when
// there are shallow slants. Index i of a mask row is column i - 1. Rows lie
// kBytePad zeros apart, with as many before the first and after the last:
// reads reach less than kBytePad - kTableReach past a row's data on either
// side, writes kTableReach before it.
enum ByteTable {
  kMask,  // hit at i
  kPair,  // hits at i and i + 1
  // One point in row y at i and one in row y + 1 at i + d.
  kDown,       // d = 0
  kDownRight,  // d = 1
  kDownLeft,   // d = -1
  // A points in row y from i rightwards, then B in row y + 1 (AB = 11, 12,
  // 21, 22).
  kRight11,
  kRight12,
  kRight21,
  kRight22,
  // B points in row y + 1 from i rightwards, then A in row y.
  kLeft11,
  kLeft12,
  kLeft21,
  kLeft22,
  kByteTables
};

int64_t ByteTableRow(int table, int64_t row, int64_t R) {
  return table < kDown ? table * R + row : 2 * R + (table - kDown) * (R / 2) + row / 2;
}

int64_t ByteTableRows(int64_t R, bool shallow) {
  return 2 * R + ((shallow ? kByteTables : kRight11) - kDown) * (R / 2);
}

// The two-row tables of rows y and y + 1, from index -kTableReach on.
void BuildRowPairTables(uint8_t* base, int64_t byteStride, int64_t R, int64_t C, int64_t y,
                        bool shallow) {
  auto row = [&](int table, int64_t at) { return base + ByteTableRow(table, at, R) * byteStride; };
  const uint8_t* up = row(kMask, y);
  const uint8_t* dn = row(kMask, y + 1);
  const int64_t from = -kTableReach;
  const int64_t to = C + 2;
  uint8_t* out = row(kDown, y);
  for (int64_t i = from; i < to; ++i) out[i] = static_cast<uint8_t>(up[i] + dn[i]);
  out = row(kDownRight, y);
  for (int64_t i = from; i < to; ++i) out[i] = static_cast<uint8_t>(up[i] + dn[i + 1]);
  out = row(kDownLeft, y);
  for (int64_t i = from; i < to; ++i) out[i] = static_cast<uint8_t>(up[i] + dn[i - 1]);
  for (int a = 1; shallow && a <= 2; ++a) {
    for (int b = 1; b <= 2; ++b) {
      const int shape = (a - 1) * 2 + (b - 1);
      uint8_t* right = row(kRight11 + shape, y);
      uint8_t* left = row(kLeft11 + shape, y);
      const uint8_t* upPairs = a == 2 ? row(kPair, y) : up;
      const uint8_t* dnPairs = b == 2 ? row(kPair, y + 1) : dn;
      for (int64_t i = from; i < to; ++i) {
        right[i] = static_cast<uint8_t>(upPairs[i] + dnPairs[i + a]);
      }
      for (int64_t i = from; i < to; ++i) {
        left[i] = static_cast<uint8_t>(dnPairs[i] + upPairs[i + b]);
      }
    }
  }
}

// The span of a table row's nonzero values (indices 0 .. C + 1), a word of
// eight bytes at a time.
template <typename T>
TableSpan SpanOfRow(const T* data, int64_t C) {
  constexpr int64_t kPer = 8 / sizeof(T);
  const int64_t size = C + 2;
  auto zeroWord = [data](int64_t at) {
    uint64_t word;
    std::memcpy(&word, data + at, sizeof word);
    return word == 0;
  };
  int64_t low = 0;
  while (low + kPer <= size && zeroWord(low)) low += kPer;
  while (low < size && data[low] == 0) ++low;
  if (low == size) return {0, 0};
  int64_t high = size;
  while (high - kPer >= low && zeroWord(high - kPer)) high -= kPer;
  while (data[high - 1] == 0) --high;
  return {static_cast<int32_t>(low), static_cast<int32_t>(high)};
}

}  // namespace

void SetPlainSlantCounting(bool plain) {
  g_plainCounting.store(plain);
}
bool PlainSlantCounting() {
  return g_plainCounting.load();
}

bool SlantTablesFit(int32_t columns, int32_t rows, int32_t maxSlant) {
  if (columns < 1 || rows < 1 || maxSlant < 0) return false;
  if (columns > kMaxSlantTableSide || rows > kMaxSlantTableSide) return false;
  if (maxSlant > 2 * static_cast<int64_t>(kMaxSlantTableSide)) return false;
  return (static_cast<int64_t>(rows) + 1) * (static_cast<int64_t>(columns) + 2) <=
         kMaxSlantTableCells;
}

int32_t BuildSlantTables(const uint8_t* mask, int32_t columns, int32_t rows, uint8_t value,
                         int32_t maxSlant, SlantTables* tables) {
  std::memset(tables, 0, sizeof *tables);
  const VantrelParameter* block = GetVantrelParameter();
  if (block == nullptr || !SlantTablesFit(columns, rows, maxSlant)) return VANTREL_OUT_OF_MEMORY;
  const int64_t C = columns;
  const int64_t R = rows;
  const int64_t stride = C + 2 + 2 * kPad;
  const int64_t positions = C + maxSlant;
  const auto cells = static_cast<size_t>((R + 1) * stride);
  const auto room = static_cast<size_t>(positions);
  tables->columns = columns;
  tables->rows = rows;
  tables->radius = block->RunningSumRadius;
  tables->maxSlant = maxSlant;
  tables->stride = stride;
  const int64_t byteStride = C + 2 + kBytePad;
  tables->byteStride = byteStride;
  tables->columnPrefix = AllocateZeroed<uint16_t>(cells);
  tables->columnStep = AllocateZeroed<uint16_t>(cells);
  const bool shallow = maxSlant >= R;
  const int64_t byteRowCount = ByteTableRows(R, shallow);
  tables->byteRows = static_cast<uint8_t*>(
      AllocateUnclearedArray(static_cast<size_t>(byteRowCount * byteStride + kBytePad), 1));
  tables->stepSpans = AllocateZeroed<TableSpan>(static_cast<size_t>(R + 1));
  tables->bandSpans = AllocateZeroed<TableSpan>(static_cast<size_t>(R / kBandRows + 1));
  // Shallow lines take up to a term per run and one per two points.
  const auto termRoom = static_cast<size_t>(R + 2 + maxSlant) * kBatchLanes;
  const auto runRoom = static_cast<size_t>(R + 2) * kBatchLanes;
  const auto sumRoom = static_cast<size_t>((positions + kByteLanes - 1) / kByteLanes * kByteLanes);
  tables->terms = AllocateZeroed<SlantTerm>(runRoom);
  tables->maskTerms = AllocateZeroed<MaskTerm>(termRoom);
  tables->sum = AllocateZeroed<uint16_t>(sumRoom * kBatchLanes);
  tables->histogram = AllocateZeroed<int32_t>(runRoom);
  tables->cumulative = AllocateZeroed<int32_t>(room + static_cast<size_t>(C));
  tables->scratch = AllocateZeroed<int32_t>(room);
  tables->scratch2 = AllocateZeroed<int32_t>(room);
  tables->flags = AllocateZeroed<uint8_t>(room + kPeakFlagPadding);
  tables->lineCoordinates = AllocateZeroed<int32_t>(
      static_cast<size_t>(Max64(R, static_cast<int64_t>(maxSlant) + 1)) * kBatchLanes);
  tables->profiles = AllocateZeroed<int32_t>(room * 3 * 2 * kBatchLanes);
  tables->cachedBatch[0] = -1;
  tables->cachedBatch[1] = -1;
  if (tables->columnPrefix == nullptr || tables->columnStep == nullptr ||
      tables->byteRows == nullptr || tables->stepSpans == nullptr || tables->bandSpans == nullptr ||
      tables->terms == nullptr || tables->maskTerms == nullptr || tables->sum == nullptr ||
      tables->histogram == nullptr || tables->cumulative == nullptr || tables->scratch == nullptr ||
      tables->scratch2 == nullptr || tables->flags == nullptr ||
      tables->lineCoordinates == nullptr || tables->profiles == nullptr) {
    ReleaseSlantTables(tables);
    return VANTREL_OUT_OF_MEMORY;
  }
  // Table index i holds image column i - 1, at offset kPad + i of its row
  // (of its data for the byte tables, whose gaps are cleared first).
  std::memset(tables->byteRows, 0, static_cast<size_t>(kBytePad));
  for (int64_t r = 0; r < byteRowCount; ++r) {
    std::memset(tables->byteRows + kBytePad + r * byteStride + C + 2, 0,
                static_cast<size_t>(kBytePad));
  }
  for (int64_t y = 0; y < R; ++y) {
    const uint8_t* row = mask + y * C;
    const uint16_t* above = tables->columnPrefix + y * stride + kPad;
    uint16_t* below = tables->columnPrefix + (y + 1) * stride + kPad;
    uint8_t* hits = tables->byteRows + ByteTableRow(kMask, y, R) * byteStride + kBytePad;
    uint8_t* pairs = tables->byteRows + ByteTableRow(kPair, y, R) * byteStride + kBytePad;
    for (int64_t x = 0; x < C; ++x) {
      const uint8_t hit = row[x] == value ? 1 : 0;
      below[x + 1] = static_cast<uint16_t>(above[x + 1] + hit);
      hits[x + 1] = hit;
    }
    hits[0] = 0;
    hits[C + 1] = 0;
    for (int64_t i = 0; i <= C + 1; ++i) pairs[i] = static_cast<uint8_t>(hits[i] + hits[i + 1]);
    // A pair row's span holds its mask row's; a two-row table row's lies
    // within its two pair rows' spans widened by kTableReach on the left
    // and one on the right.
    const TableSpan pairSpan = SpanOfRow(pairs, C);
    TableSpan& band = tables->bandSpans[y / kBandRows];
    if (pairSpan.low < pairSpan.high) {
      const auto low = static_cast<int32_t>(pairSpan.low - kTableReach);
      const int32_t high = pairSpan.high + 1;
      const bool empty = band.low >= band.high;
      band.low = empty || low < band.low ? low : band.low;
      band.high = empty || high > band.high ? high : band.high;
    }
  }
  for (int64_t y = 0; y + 1 < R; y += 2) {
    BuildRowPairTables(tables->byteRows + kBytePad, byteStride, R, C, y, shallow);
  }
  for (int64_t y = 0; y <= R; ++y) {
    const uint16_t* p = tables->columnPrefix + y * stride + kPad;
    uint16_t* step = tables->columnStep + y * stride + kPad;
    for (int64_t i = 0; i <= C; ++i) step[i] = static_cast<uint16_t>(p[i] - p[i + 1]);
    step[C + 1] = p[C + 1];  // column C: nothing right of it
    tables->stepSpans[y] = SpanOfRow(step, C);
  }
  tables->countSpan = SpanOfRow(tables->columnPrefix + R * stride + kPad, C);
  return VANTREL_OK;
}

void ReleaseSlantTables(SlantTables* tables) {
  ReleaseAndClear(tables->columnPrefix);
  ReleaseAndClear(tables->columnStep);
  ReleaseAndClear(tables->byteRows);
  ReleaseAndClear(tables->maskTerms);
  ReleaseAndClear(tables->stepSpans);
  ReleaseAndClear(tables->bandSpans);
  ReleaseAndClear(tables->terms);
  ReleaseAndClear(tables->sum);
  ReleaseAndClear(tables->histogram);
  ReleaseAndClear(tables->cumulative);
  ReleaseAndClear(tables->scratch);
  ReleaseAndClear(tables->scratch2);
  ReleaseAndClear(tables->flags);
  ReleaseAndClear(tables->lineCoordinates);
  ReleaseAndClear(tables->profiles);
}

namespace {

// The reference line as table rows (the line from DrawLineBatch, every
// kBatchLanes-th value). The reference line is monotone, so a point lies in
// the image for position k exactly when its column X + k does; outside the
// image the tables count nothing. A steep line has a run of points per
// column; consecutive runs share a row boundary, which leaves one column
// table row per run, or, when that is cheaper, one two-row table row per
// pair of rows. A shallow line takes, per pair of rows, its runs of one or
// two points as one two-row table row (mask and pair rows where a run is
// longer). A steep line also leaves the rows above each run's end in
// runEnds and their number in *runs. Returns whether the line is steep.
bool EmitTerms(const SlantTables* tables, int32_t s, const int32_t* line, SlantTerm* terms,
               MaskTerm* maskTerms, int32_t* runEnds, int64_t* termCount, int64_t* runs,
               int64_t* firstColumn, int64_t* lastColumn, bool* bytes) {
  const int64_t R = tables->rows;
  const int64_t width = s < 0 ? -static_cast<int64_t>(s) : s;
  const int64_t last = R - 1;
  int64_t count = 0;
  const bool steep = width <= last;
  auto words = [tables](TableSpan span, const uint16_t* table, int64_t row, int32_t x,
                        bool subtract) {
    return SlantTerm{table + row * tables->stride + kPad,
                     x,
                     static_cast<int32_t>(row),
                     span.low,
                     span.high,
                     subtract};
  };
  // Mask terms are read over their band's span.
  const int64_t byteStride = tables->byteStride;
  auto maskRow = [byteStride, R](int table, int64_t row, int64_t x) {
    return MaskTerm{
        static_cast<int32_t>(ByteTableRow(table, row, R) * byteStride + kBytePad + x + 1),
        static_cast<int32_t>(x), static_cast<int32_t>(row)};
  };

  if (steep) {
    int32_t x = line[0];
    *firstColumn = x;
    // The column moves by at most one per row: a run per column passed.
    const int64_t columnsPassed = line[last * kBatchLanes] - x;
    // R / 2 two-row mask terms cost about as much as R / 6 column rows
    // (measured: a byte pass covers twice the positions of a count pass).
    *bytes = 6 * ((columnsPassed < 0 ? -columnsPassed : columnsPassed) + 1) > R;
    // Run r lies in column x0 + r (leaning right) or x0 - r.
    const int32_t x0 = x;
    for (int64_t y = 0; y < last; ++y) {
      const int32_t next = line[(y + 1) * kBatchLanes];
      runEnds[count] = static_cast<int32_t>(y + 1);
      count += next != x;
      x = next;
    }
    runEnds[count++] = static_cast<int32_t>(R);
    if (*bytes) {
      int64_t t = 0;
      for (int64_t y = 0; y + 1 < R; y += 2) {
        const int32_t here = line[y * kBatchLanes];
        const int32_t below = line[(y + 1) * kBatchLanes];
        const int table = below == here ? kDown : below > here ? kDownRight : kDownLeft;
        maskTerms[t++] = maskRow(table, y, here);
      }
      if (R % 2 != 0) maskTerms[t++] = maskRow(kMask, last, x);
      *termCount = t;
    } else {
      // Lines leaning right step right (add the step row at the old column),
      // lines leaning left step left (subtract it one column further left).
      const uint16_t* step = tables->columnStep;
      const int32_t shift = s > 0 ? 0 : -1;
      const bool subtract = s < 0;
      const int32_t direction = s > 0 ? 1 : -1;
      for (int64_t r = 0; r + 1 < count; ++r) {
        terms[r] = words(tables->stepSpans[runEnds[r]], step, runEnds[r],
                         x0 + direction * static_cast<int32_t>(r) + shift, subtract);
      }
      terms[count - 1] = words(tables->countSpan, tables->columnPrefix, R, x, false);
      *termCount = count;
    }
    *runs = count;
    *lastColumn = x;
    return true;
  }
  // Point i lies in column first + i (leaning right, from -s) or first - i
  // (leaning left, from 0), in row line[i]; the rows rise by at most one per
  // point, so each row from 0 to the last has a run of points. The first
  // point of each row goes to runEnds.
  *bytes = true;
  const int64_t first = s > 0 ? -width : 0;
  *firstColumn = first;
  *lastColumn = s > 0 ? 0 : -width;
  int32_t* starts = runEnds;
  for (int64_t i = width; i >= 0; --i) starts[line[i * kBatchLanes]] = static_cast<int32_t>(i);
  const int64_t lastRow = line[width * kBatchLanes];
  starts[lastRow + 1] = static_cast<int32_t>(width + 1);
  // Each run in its points' order, so that the terms' columns are monotone:
  // rows y and y + 1 (y even) as one two-row term when both runs have one or
  // two points; otherwise pairs (c, c + 1) from each run's first column
  // rightwards, or leftwards, and a single point.
  auto oneRow = [&](int64_t y) {
    const int64_t p = starts[y];
    int64_t n = starts[y + 1] - p;
    const int64_t step = s > 0 ? 2 : -2;
    int64_t c = s > 0 ? first + p : first - p - 1;
    for (; n >= 2; n -= 2, c += step) maskTerms[count++] = maskRow(kPair, y, c);
    if (n == 1) maskTerms[count++] = maskRow(kMask, y, s > 0 ? c : c + 1);
  };
  const int rowPairs = s > 0 ? kRight11 : kLeft11;
  for (int64_t y = 0; y <= lastRow; y += 2) {
    const int64_t p = starts[y];
    if (y + 1 <= lastRow) {
      const int64_t a = starts[y + 1] - p;
      const int64_t b = starts[y + 2] - starts[y + 1];
      if (a <= 2 && b <= 2) {
        const auto table = static_cast<int>(rowPairs + (a - 1) * 2 + (b - 1));
        maskTerms[count++] = maskRow(table, y, s > 0 ? first + p : first - (p + a + b - 1));
        continue;
      }
      oneRow(y);
      oneRow(y + 1);
      continue;
    }
    oneRow(y);
  }
  *termCount = count;
  *runs = 0;
  return false;
}

// The in-image counts and the smoothing of one slant whose row sums are in
// `sum`.
int32_t FinishSlant(const RowKernels& kernels, SlantTables* tables, int32_t s, bool steep,
                    int64_t runs, const int32_t* runEnds, int64_t xFirst, int64_t xLast,
                    const uint16_t* raw, int32_t* dark, int32_t* total, int32_t* background) {
  const int64_t C = tables->columns;
  const int64_t R = tables->rows;
  const int64_t width = s < 0 ? -static_cast<int64_t>(s) : s;
  const int64_t positions = C + width;

  // In-image counts from geometry. A shallow line has one point per column
  // from xFirst to xLast; a steep one has a run per column, and the rows
  // above each run's end count the points up to that column.
  int32_t* inside = tables->scratch;
  if (steep) {
    // For lines leaning right (columns rising), G[u] counts the points in
    // columns <= C - 1 - u; for lines leaning left, those in columns >= C - u.
    int32_t* G = tables->cumulative;
    const int64_t span = positions + C;
    // Run r lies in column xFirst + r (rising) or xFirst - r.
    const auto all = static_cast<int32_t>(R);
    auto clampSpan = [span](int64_t u) { return u < 0 ? 0 : (u > span ? span : u); };
    if (s > 0) {
      // Column C - 1 - u holds run C - 1 - u - xFirst.
      const int64_t a = clampSpan(C - xFirst - runs);
      const int64_t b = clampSpan(C - xFirst);
      for (int64_t u = 0; u < a; ++u) G[u] = all;
      for (int64_t u = a; u < b; ++u) G[u] = runEnds[C - 1 - u - xFirst];
      for (int64_t u = b; u < span; ++u) G[u] = 0;
    } else {
      // Column C - u holds run u - C + xFirst.
      const int64_t a = clampSpan(C - xFirst);
      const int64_t b = clampSpan(C - xFirst + runs);
      for (int64_t u = 0; u < a; ++u) G[u] = 0;
      for (int64_t u = a; u < b; ++u) G[u] = runEnds[u - C + xFirst];
      for (int64_t u = b; u < span; ++u) G[u] = all;
    }
    kernels.steepTotals(inside, G, positions, C, s > 0);
  } else {
    kernels.shallowTotals(inside, positions, C, xFirst < xLast ? xFirst : xLast,
                          xFirst < xLast ? xLast : xFirst);
  }
  return FinishProfiles(kernels, raw, inside, dark, total, background, positions, tables->radius,
                        tables->scratch2);
}

// Profiles of the slants of one sign with magnitudes kBatchLanes * batch ..,
// into the sign's cache.
int32_t BuildBatch(SlantTables* tables, bool left, int64_t batch) {
  const int64_t C = tables->columns;
  const int64_t R = tables->rows;
  const int64_t room = C + tables->maxSlant;
  const int64_t sumRoom = (room + kByteLanes - 1) / kByteLanes * kByteLanes;
  const int64_t termRoom = R + 2 + tables->maxSlant;
  const RowKernels& kernels = ActiveRowKernels();
  kernels.drawLines(tables, left, batch);
  BatchLanes b{};
  bool steep[kBatchLanes] = {};
  int64_t runs[kBatchLanes] = {};
  int64_t xFirst[kBatchLanes] = {};
  int64_t xLast[kBatchLanes] = {};
  for (int lane = 0; lane < kBatchLanes; ++lane) {
    const int64_t m = batch * kBatchLanes + lane;
    if (m > tables->maxSlant) break;
    const auto s = static_cast<int32_t>(left ? -m : m);
    SlantTerm* terms = tables->terms + lane * (R + 2);
    MaskTerm* maskTerms = tables->maskTerms + lane * termRoom;
    steep[lane] = EmitTerms(tables, s, tables->lineCoordinates + lane, terms, maskTerms,
                            tables->histogram + lane * (R + 2), &b.count[lane], &runs[lane],
                            &xFirst[lane], &xLast[lane], &b.bytes[lane]);
    b.terms[lane] = terms;
    b.maskTerms[lane] = maskTerms;
    b.positions[lane] = C + m;
    b.sum[lane] = tables->sum + lane * sumRoom;
    // Passes read and write whole blocks up to the positions rounded up.
    const int64_t used = (C + m + kByteLanes - 1) / kByteLanes * kByteLanes;
    std::memset(b.sum[lane], 0, static_cast<size_t>(used) * sizeof(uint16_t));
    b.lanes = lane + 1;
  }
  b.bands = tables->bandSpans;
  b.byteRows = tables->byteRows;
  kernels.addBatch(b);
  const int sign = left ? 1 : 0;
  for (int lane = 0; lane < b.lanes; ++lane) {
    const int64_t m = batch * kBatchLanes + lane;
    int32_t* profiles = tables->profiles + ((sign * kBatchLanes + lane) * 3) * room;
    const int32_t status =
        FinishSlant(kernels, tables, static_cast<int32_t>(left ? -m : m), steep[lane], runs[lane],
                    tables->histogram + lane * (R + 2), xFirst[lane], xLast[lane], b.sum[lane],
                    profiles, profiles + room, profiles + 2 * room);
    if (status != VANTREL_OK) {
      tables->cachedBatch[sign] = -1;
      return status;
    }
  }
  tables->cachedBatch[sign] = batch;
  return VANTREL_OK;
}

// The cached profiles of slant s (dark, total, background, `room` apart),
// built with their batch when not cached.
int32_t CachedProfiles(SlantTables* tables, int32_t s, int32_t** profiles) {
  const int64_t width = s < 0 ? -static_cast<int64_t>(s) : s;
  if (width > tables->maxSlant) return VANTREL_OUT_OF_MEMORY;
  const bool left = s < 0;
  const int64_t batch = width / kBatchLanes;
  if (tables->cachedBatch[left ? 1 : 0] != batch) {
    const int32_t status = BuildBatch(tables, left, batch);
    if (status != VANTREL_OK) return status;
  }
  const int64_t room = static_cast<int64_t>(tables->columns) + tables->maxSlant;
  const int64_t lane = width - batch * kBatchLanes;
  *profiles = tables->profiles + (((left ? 1 : 0) * kBatchLanes + lane) * 3) * room;
  return VANTREL_OK;
}

}  // namespace

int32_t AnalyseSlantFromTables(SlantTables* tables, int32_t tailDistance, int32_t s, float* score,
                               ProfilePeaks* fingers, ProfilePeaks* gaps) {
  int32_t* profiles = nullptr;
  const int32_t status = CachedProfiles(tables, s, &profiles);
  if (status != VANTREL_OK) return status;
  const int64_t room = static_cast<int64_t>(tables->columns) + tables->maxSlant;
  const int64_t width = s < 0 ? -static_cast<int64_t>(s) : s;
  const auto n = static_cast<int32_t>(tables->columns + width);
  return FindFingersAndGapsInto(tailDistance, profiles, profiles + room, profiles + 2 * room, n,
                                tables->rows, score, fingers, gaps, tables->flags);
}

int32_t BuildSlantProfilesFromTables(SlantTables* tables, int32_t* dark, int32_t* total, int32_t* n,
                                     int32_t s) {
  int32_t* profiles = nullptr;
  const int32_t status = CachedProfiles(tables, s, &profiles);
  if (status != VANTREL_OK) return status;
  const int64_t room = static_cast<int64_t>(tables->columns) + tables->maxSlant;
  const int64_t width = s < 0 ? -static_cast<int64_t>(s) : s;
  *n = static_cast<int32_t>(tables->columns + width);
  std::memcpy(dark, profiles, static_cast<size_t>(*n) * sizeof(int32_t));
  std::memcpy(total, profiles + room, static_cast<size_t>(*n) * sizeof(int32_t));
  return VANTREL_OK;
}

}  // namespace vtl
