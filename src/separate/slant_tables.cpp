#include "separate/slant_tables.h"

#include <atomic>
#include <cstring>

#include "geometry/vector_level.h"
#include "interface/memory.h"
#include "interface/parameter.h"
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
// kSumLanes positions can be read past a row's data; a block group spans
// at most kMergeSpan columns, which keeps every read inside the padding.
constexpr int64_t kPad = 48;
constexpr int64_t kSumLanes = 32;
constexpr int32_t kMergeSpan = 16;
constexpr int kMaxGroup = 8;       // terms summed in one pass
constexpr int64_t kBandRows = 16;  // table rows per band of a batch
constexpr int kBatchLanes = kSlantBatch;
static_assert(kMergeSpan + kSumLanes - 1 <= kPad, "block reads stay inside the row padding");

typedef uint16_t Lanes8 __attribute__((vector_size(16)));
typedef uint16_t Lanes16 __attribute__((vector_size(32)));
typedef uint16_t Lanes32 __attribute__((vector_size(64)));

// One block of kSumLanes positions per step, in vectors of V; blocks are
// copied in and out (any alignment), which compiles to unaligned moves.
template <typename V, int kGroup>
__attribute__((always_inline)) inline void AddGroup(uint16_t* sum, const uint16_t* const* rows,
                                                    int64_t from, int64_t to, bool subtract) {
  constexpr int64_t kPer = sizeof(V) / sizeof(uint16_t);
  for (int64_t k = from; k < to; k += kSumLanes) {
    for (int64_t h = k; h < k + kSumLanes; h += kPer) {
      V add;
      std::memcpy(&add, rows[0] + h, sizeof add);
      for (int i = 1; i < kGroup; ++i) {
        V more;
        std::memcpy(&more, rows[i] + h, sizeof more);
        add += more;
      }
      V now;
      std::memcpy(&now, sum + h, sizeof now);
      now = subtract ? now - add : now + add;
      std::memcpy(sum + h, &now, sizeof now);
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
  int lanes;
};

// sum[k] (+/-)= the terms' table rows, read at column x + k, where the rows
// hold data. Up to kMaxGroup terms of one sign and close columns share one
// pass over the sums (outside its data a row reads its zero padding). The
// batch's slants are interleaved by bands of table rows, so that a band read
// for one slant is still in the first-level cache for the next. Integer sums
// are the same for every vector width.
template <typename V>
__attribute__((always_inline)) inline void AddBatchWith(const BatchLanes& b, int64_t C) {
  int64_t next[kBatchLanes] = {};
  for (int64_t rowEnd = kBandRows;; rowEnd += kBandRows) {
    bool open = false;
    for (int lane = 0; lane < b.lanes; ++lane) {
      const SlantTerm* terms = b.terms[lane];
      const int64_t count = b.count[lane];
      uint16_t* sum = b.sum[lane];
      const int64_t positions = b.positions[lane];
      int64_t t = next[lane];
      while (t < count && terms[t].row < rowEnd) {
        const bool subtract = terms[t].subtract;
        int32_t lo = terms[t].x;
        int32_t hi = lo;
        int g = 1;
        while (g < kMaxGroup && t + g < count && terms[t + g].subtract == subtract) {
          const int32_t x = terms[t + g].x;
          const int32_t nextLo = x < lo ? x : lo;
          const int32_t nextHi = x > hi ? x : hi;
          if (nextHi - nextLo > kMergeSpan) break;
          lo = nextLo;
          hi = nextHi;
          ++g;
        }
        // Positions where some row of the group has data (columns -1 .. C).
        const int64_t from = Max64(0, -1 - static_cast<int64_t>(hi)) & ~(kSumLanes - 1);
        const int64_t to = Min64(positions, C + 1 - static_cast<int64_t>(lo));
        const uint16_t* rows[kMaxGroup];
        for (int i = 0; i < g; ++i) rows[i] = terms[t + i].data + terms[t + i].x + 1;
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
        t += g;
      }
      next[lane] = t;
      open |= t < count;
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
  void (*addBatch)(const BatchLanes& b, int64_t C);
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

void AddBatchBaseline(const BatchLanes& b, int64_t C) {
  AddBatchWith<Lanes8>(b, C);
}

constexpr RowKernels kBaselineKernels = {AddBatchBaseline, DrawLineBatchBaseline,
                                         SteepTotalsBaseline, ShallowTotalsBaseline,
                                         SmoothThreeBaseline};

#if defined(__x86_64__) || defined(__i386__)
VANTREL_LINE_KERNELS(Avx2, __attribute__((target("avx2"))))

__attribute__((target("avx2"))) void AddBatchAvx2(const BatchLanes& b, int64_t C) {
  AddBatchWith<Lanes16>(b, C);
}

__attribute__((target("avx512f,avx512bw"))) void AddBatchAvx512(const BatchLanes& b, int64_t C) {
  AddBatchWith<Lanes32>(b, C);
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
  tables->columnPrefix = AllocateZeroed<uint16_t>(cells);
  tables->columnStep = AllocateZeroed<uint16_t>(cells);
  tables->rowPrefix = AllocateZeroed<uint16_t>(cells);
  tables->rowStep = AllocateZeroed<uint16_t>(cells);
  tables->rowTotal = AllocateZeroed<uint16_t>(static_cast<size_t>(R));
  const auto batchRows = static_cast<size_t>(R + 2) * kBatchLanes;
  const auto sumRoom = static_cast<size_t>((positions + kSumLanes - 1) / kSumLanes * kSumLanes);
  tables->terms = AllocateZeroed<SlantTerm>(batchRows);
  tables->sum = AllocateZeroed<uint16_t>(sumRoom * kBatchLanes);
  tables->steps = AllocateZeroed<int32_t>(room + 1);
  tables->histogram = AllocateZeroed<int32_t>(batchRows);
  tables->cumulative = AllocateZeroed<int32_t>(room + static_cast<size_t>(C));
  tables->scratch = AllocateZeroed<int32_t>(room);
  tables->scratch2 = AllocateZeroed<int32_t>(room);
  tables->flags = AllocateZeroed<uint8_t>(room + 8);
  tables->lineCoordinates = AllocateZeroed<int32_t>(
      static_cast<size_t>(Max64(R, static_cast<int64_t>(maxSlant) + 1)) * kBatchLanes);
  tables->profiles = AllocateZeroed<int32_t>(room * 3 * 2 * kBatchLanes);
  tables->cachedBatch[0] = -1;
  tables->cachedBatch[1] = -1;
  if (tables->columnPrefix == nullptr || tables->columnStep == nullptr ||
      tables->rowPrefix == nullptr || tables->rowStep == nullptr || tables->rowTotal == nullptr ||
      tables->terms == nullptr || tables->sum == nullptr || tables->steps == nullptr ||
      tables->histogram == nullptr || tables->cumulative == nullptr || tables->scratch == nullptr ||
      tables->scratch2 == nullptr || tables->flags == nullptr ||
      tables->lineCoordinates == nullptr || tables->profiles == nullptr) {
    ReleaseSlantTables(tables);
    return VANTREL_OUT_OF_MEMORY;
  }
  // Table index i holds image column i - 1, at offset kPad + i of its row.
  for (int64_t y = 0; y < R; ++y) {
    const uint8_t* row = mask + y * C;
    const uint16_t* above = tables->columnPrefix + y * stride + kPad;
    uint16_t* below = tables->columnPrefix + (y + 1) * stride + kPad;
    uint16_t* prefix = tables->rowPrefix + y * stride + kPad;
    uint16_t running = 0;
    for (int64_t x = 0; x < C; ++x) {
      const uint16_t hit = row[x] == value ? 1 : 0;
      below[x + 1] = static_cast<uint16_t>(above[x + 1] + hit);
      prefix[x + 1] = running;
      running = static_cast<uint16_t>(running + hit);
    }
    prefix[C + 1] = running;
    tables->rowTotal[y] = running;
  }
  for (int64_t y = 0; y <= R; ++y) {
    const uint16_t* p = tables->columnPrefix + y * stride + kPad;
    uint16_t* step = tables->columnStep + y * stride + kPad;
    for (int64_t i = 0; i <= C; ++i) step[i] = static_cast<uint16_t>(p[i] - p[i + 1]);
    step[C + 1] = p[C + 1];  // column C: nothing right of it
  }
  for (int64_t y = 1; y < R; ++y) {
    const uint16_t* up = tables->rowPrefix + (y - 1) * stride + kPad;
    const uint16_t* here = tables->rowPrefix + y * stride + kPad;
    uint16_t* step = tables->rowStep + y * stride + kPad;
    for (int64_t i = 0; i <= C + 1; ++i) step[i] = static_cast<uint16_t>(up[i] - here[i]);
  }
  return VANTREL_OK;
}

void ReleaseSlantTables(SlantTables* tables) {
  ReleaseAndClear(tables->columnPrefix);
  ReleaseAndClear(tables->columnStep);
  ReleaseAndClear(tables->rowPrefix);
  ReleaseAndClear(tables->rowStep);
  ReleaseAndClear(tables->rowTotal);
  ReleaseAndClear(tables->terms);
  ReleaseAndClear(tables->sum);
  ReleaseAndClear(tables->steps);
  ReleaseAndClear(tables->histogram);
  ReleaseAndClear(tables->cumulative);
  ReleaseAndClear(tables->scratch);
  ReleaseAndClear(tables->scratch2);
  ReleaseAndClear(tables->flags);
  ReleaseAndClear(tables->lineCoordinates);
  ReleaseAndClear(tables->profiles);
}

namespace {

// The reference line's runs of points as table rows (the line from
// DrawLineBatch, every kBatchLanes-th value). The reference line is
// monotone, so a point lies in the image for position k exactly when its
// column X + k does; outside the image the tables count nothing. Consecutive
// runs share a row boundary (steep lines) or a column boundary (shallow
// lines), which leaves one table row per run. A steep line also leaves the
// rows above each run's end in runEnds. Returns whether the line is steep.
bool EmitTerms(const SlantTables* tables, int32_t s, const int32_t* line, SlantTerm* terms,
               int32_t* runEnds, int64_t* termCount, int64_t* firstColumn, int64_t* lastColumn) {
  const int64_t R = tables->rows;
  const int64_t width = s < 0 ? -static_cast<int64_t>(s) : s;
  const int64_t stride = tables->stride;
  const int64_t last = R - 1;
  int64_t count = 0;
  const bool steep = width <= last;
  if (steep) {
    int32_t x = line[0];
    *firstColumn = x;
    // Lines leaning right step right (add the step row at the old column),
    // lines leaning left step left (subtract it one column further left).
    const uint16_t* step = tables->columnStep;
    const int32_t shift = s > 0 ? 0 : -1;
    const bool subtract = s < 0;
    for (int64_t y = 0; y < last; ++y) {
      const int32_t next = line[(y + 1) * kBatchLanes];
      terms[count] = SlantTerm{step + (y + 1) * stride + kPad, 0, x + shift,
                               static_cast<int32_t>(y + 1), subtract};
      runEnds[count] = static_cast<int32_t>(y + 1);
      count += next != x;
      x = next;
    }
    runEnds[count] = static_cast<int32_t>(R);
    terms[count++] =
        SlantTerm{tables->columnPrefix + R * stride + kPad, 0, x, static_cast<int32_t>(R), false};
    *lastColumn = x;
  } else {
    const uint16_t* totals = tables->rowTotal;
    const uint16_t* step = tables->rowStep;
    const uint16_t* prefix = tables->rowPrefix;
    int32_t y = 0;
    *firstColumn = s > 0 ? -static_cast<int64_t>(s) : 0;
    *lastColumn = s > 0 ? 0 : s;
    if (s > 0) {
      // Rightwards from column -s: each new row starts a run at its column.
      const auto x0 = static_cast<int32_t>(-s);
      terms[count++] = SlantTerm{prefix + kPad, totals[0], x0, 0, true};
      for (int64_t i = 1; i <= width; ++i) {
        const int32_t next = line[i * kBatchLanes];
        const auto right = static_cast<uint16_t>(totals[next - (next > 0)] - totals[next]);
        terms[count] = SlantTerm{step + next * stride + kPad, right, static_cast<int32_t>(x0 + i),
                                 next, false};
        count += next != y;
        y = next;
      }
      terms[count++] = SlantTerm{prefix + y * stride + kPad, totals[y], 1, y, false};
    } else {
      // Leftwards from column 0: each run ends, before the next row, at its
      // last column.
      terms[count++] = SlantTerm{prefix + kPad, totals[0], 1, 0, false};
      for (int64_t i = 1; i <= width; ++i) {
        const int32_t next = line[i * kBatchLanes];
        const auto right = static_cast<uint16_t>(totals[next - (next > 0)] - totals[next]);
        terms[count] = SlantTerm{step + next * stride + kPad, right, static_cast<int32_t>(-(i - 1)),
                                 next, true};
        count += next != y;
        y = next;
      }
      terms[count++] =
          SlantTerm{prefix + y * stride + kPad, totals[y], static_cast<int32_t>(-width), y, true};
    }
  }
  *termCount = count;
  return steep;
}

// The rows' right-hand constants, the in-image counts and the smoothing of
// one slant whose row sums are in `sum`.
int32_t FinishSlant(const RowKernels& kernels, SlantTables* tables, int32_t s, bool steep,
                    const SlantTerm* terms, int64_t count, const int32_t* runEnds, int64_t xFirst,
                    int64_t xLast, uint16_t* sum, int32_t* dark, int32_t* total,
                    int32_t* background) {
  const int64_t C = tables->columns;
  const int64_t R = tables->rows;
  const int64_t width = s < 0 ? -static_cast<int64_t>(s) : s;
  const int64_t positions = C + width;
  uint16_t* raw = sum;
  if (!steep) {
    int32_t* steps = tables->steps;
    std::memset(steps, 0, static_cast<size_t>(positions + 1) * sizeof *steps);
    for (int64_t t = 0; t < count; ++t) {
      const SlantTerm& tr = terms[t];
      const int64_t to = Min64(positions, C + 1 - static_cast<int64_t>(tr.x));
      if (tr.right != 0 && to < positions) {
        const int32_t right = tr.right;
        steps[Max64(to, 0)] += tr.subtract ? -right : right;
      }
    }
    int32_t running = 0;
    for (int64_t k = 0; k < positions; ++k) {
      running += steps[k];
      sum[k] = static_cast<uint16_t>(sum[k] + static_cast<uint16_t>(running));
    }
  }

  // In-image counts from geometry. A shallow line has one point per column
  // from xFirst to xLast; a steep one has a run per column, and the rows
  // above each run's end count the points up to that column.
  int32_t* inside = tables->scratch;
  if (steep) {
    // For lines leaning right (columns rising), G[u] counts the points in
    // columns <= C - 1 - u; for lines leaning left, those in columns >= C - u.
    int32_t* G = tables->cumulative;
    const int64_t span = positions + C;
    const int64_t runs = count;  // run r lies in column xFirst + r (rising) or xFirst - r
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
  const int64_t sumRoom = (room + kSumLanes - 1) / kSumLanes * kSumLanes;
  const RowKernels& kernels = ActiveRowKernels();
  kernels.drawLines(tables, left, batch);
  BatchLanes b{};
  bool steep[kBatchLanes] = {};
  int64_t xFirst[kBatchLanes] = {};
  int64_t xLast[kBatchLanes] = {};
  for (int lane = 0; lane < kBatchLanes; ++lane) {
    const int64_t m = batch * kBatchLanes + lane;
    if (m > tables->maxSlant) break;
    const auto s = static_cast<int32_t>(left ? -m : m);
    SlantTerm* terms = tables->terms + lane * (R + 2);
    steep[lane] =
        EmitTerms(tables, s, tables->lineCoordinates + lane, terms,
                  tables->histogram + lane * (R + 2), &b.count[lane], &xFirst[lane], &xLast[lane]);
    b.terms[lane] = terms;
    b.positions[lane] = C + m;
    b.sum[lane] = tables->sum + lane * sumRoom;
    std::memset(b.sum[lane], 0, static_cast<size_t>(sumRoom) * sizeof(uint16_t));
    b.lanes = lane + 1;
  }
  kernels.addBatch(b, C);
  const int sign = left ? 1 : 0;
  for (int lane = 0; lane < b.lanes; ++lane) {
    const int64_t m = batch * kBatchLanes + lane;
    int32_t* profiles = tables->profiles + ((sign * kBatchLanes + lane) * 3) * room;
    const int32_t status =
        FinishSlant(kernels, tables, static_cast<int32_t>(left ? -m : m), steep[lane],
                    b.terms[lane], b.count[lane], tables->histogram + lane * (R + 2), xFirst[lane],
                    xLast[lane], b.sum[lane], profiles, profiles + room, profiles + 2 * room);
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
