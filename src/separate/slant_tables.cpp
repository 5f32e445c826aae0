#include "separate/slant_tables.h"

#include <atomic>
#include <cstring>

#include "interface/memory.h"
#include "interface/parameter.h"
#include "separate/line_pixels.h"
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

// The clones are chosen by an ifunc resolver, which runs before the thread
// sanitizer's runtime exists and crashes it: that build keeps one version.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VANTREL_NO_CLONES 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(VANTREL_NO_CLONES)
#define VANTREL_ROW_CLONES
#else
#define VANTREL_ROW_CLONES __attribute__((target_clones("avx2", "default")))
#endif

// sum[k] (+/-)= data[k + offset] for k in [from, to). Integer sums are the
// same on every clone.
VANTREL_ROW_CLONES void AddRow(uint16_t* __restrict sum, const uint16_t* __restrict data,
                               int64_t offset, int64_t from, int64_t to, bool subtract) {
  if (subtract) {
    for (int64_t k = from; k < to; ++k) sum[k] = static_cast<uint16_t>(sum[k] - data[offset + k]);
  } else {
    for (int64_t k = from; k < to; ++k) sum[k] = static_cast<uint16_t>(sum[k] + data[offset + k]);
  }
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
  const int64_t stride = C + 2;
  const int64_t positions = C + maxSlant;
  const auto cells = static_cast<size_t>((R + 1) * stride);
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
  tables->terms = AllocateZeroed<SlantTerm>(static_cast<size_t>(R) + 2);
  tables->sum = AllocateZeroed<uint16_t>(static_cast<size_t>(positions));
  tables->steps = AllocateZeroed<int32_t>(static_cast<size_t>(positions) + 1);
  tables->histogram = AllocateZeroed<int32_t>(static_cast<size_t>(maxSlant) + 2);
  tables->scratch = AllocateZeroed<int32_t>(static_cast<size_t>(positions));
  tables->background = AllocateZeroed<int32_t>(static_cast<size_t>(positions));
  tables->flags = AllocateZeroed<uint8_t>(static_cast<size_t>(positions) + 8);
  if (tables->columnPrefix == nullptr || tables->columnStep == nullptr ||
      tables->rowPrefix == nullptr || tables->rowStep == nullptr || tables->rowTotal == nullptr ||
      tables->terms == nullptr || tables->sum == nullptr || tables->steps == nullptr ||
      tables->histogram == nullptr || tables->scratch == nullptr || tables->background == nullptr ||
      tables->flags == nullptr) {
    ReleaseSlantTables(tables);
    return VANTREL_OUT_OF_MEMORY;
  }
  // Table index i holds image column i - 1.
  for (int64_t y = 0; y < R; ++y) {
    const uint8_t* row = mask + y * C;
    const uint16_t* above = tables->columnPrefix + y * stride;
    uint16_t* below = tables->columnPrefix + (y + 1) * stride;
    uint16_t* prefix = tables->rowPrefix + y * stride;
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
    const uint16_t* p = tables->columnPrefix + y * stride;
    uint16_t* step = tables->columnStep + y * stride;
    for (int64_t i = 0; i + 1 < stride; ++i) step[i] = static_cast<uint16_t>(p[i] - p[i + 1]);
    step[stride - 1] = p[stride - 1];  // column C: nothing right of it
  }
  for (int64_t y = 1; y < R; ++y) {
    const uint16_t* up = tables->rowPrefix + (y - 1) * stride;
    const uint16_t* here = tables->rowPrefix + y * stride;
    uint16_t* step = tables->rowStep + y * stride;
    for (int64_t i = 0; i < stride; ++i) step[i] = static_cast<uint16_t>(up[i] - here[i]);
  }
  return VANTREL_OK;
}

void ReleaseSlantTables(SlantTables* tables) {
  ReleaseAndClear(tables->columnPrefix);
  ReleaseAndClear(tables->columnStep);
  ReleaseAndClear(tables->rowPrefix);
  ReleaseAndClear(tables->rowStep);
  ReleaseAndClear(tables->rowTotal);
  ReleaseAndClear(tables->pointX);
  ReleaseAndClear(tables->pointY);
  ReleaseAndClear(tables->terms);
  ReleaseAndClear(tables->sum);
  ReleaseAndClear(tables->steps);
  ReleaseAndClear(tables->histogram);
  ReleaseAndClear(tables->scratch);
  ReleaseAndClear(tables->background);
  ReleaseAndClear(tables->flags);
}

int32_t AnalyseSlantFromTables(SlantTables* tables, int32_t* dark, int32_t* total,
                               int32_t tailDistance, int32_t s, float* score, ProfilePeaks* fingers,
                               ProfilePeaks* gaps) {
  int32_t n = 0;
  const int32_t status = BuildSlantProfilesFromTables(tables, dark, total, &n, s);
  if (status != VANTREL_OK) return status;
  return FindFingersAndGapsInto(tailDistance, dark, total, n, tables->rows, score, fingers, gaps,
                                tables->background, tables->flags);
}

int32_t BuildSlantProfilesFromTables(SlantTables* tables, int32_t* dark, int32_t* total, int32_t* n,
                                     int32_t s) {
  const int64_t C = tables->columns;
  const int64_t width = s < 0 ? -static_cast<int64_t>(s) : s;
  if (width > tables->maxSlant) return VANTREL_OUT_OF_MEMORY;
  const int64_t positions = C + width;
  *n = static_cast<int32_t>(positions);

  // The same reference line as the plain count, so the same points.
  int32_t L = 0;
  const int32_t last = tables->rows - 1;
  const int32_t status =
      s > 0 ? GetLinePixelBetweenTwoPoints(-s, 0, 0, last, &tables->pointX, &tables->pointY, &L)
            : GetLinePixelBetweenTwoPoints(0, 0, s, last, &tables->pointX, &tables->pointY, &L);
  if (status != VANTREL_OK) return status;
  const int32_t* X = tables->pointX;
  const int32_t* Y = tables->pointY;
  const int64_t stride = tables->stride;

  // The reference line is monotone, so a point lies in the image for
  // position k exactly when its column X + k does; outside the image the
  // tables count nothing. Runs of points then telescope: consecutive runs
  // share a row boundary (steep lines) or a column boundary (shallow lines),
  // leaving one table row per run.
  SlantTerm* terms = tables->terms;
  int64_t count = 0;
  auto term = [&](const uint16_t* table, int64_t y, int64_t x, uint16_t right, bool subtract) {
    terms[count++] = SlantTerm{table + y * stride, right, static_cast<int32_t>(x), subtract};
  };
  if (width <= last) {
    // Steep: runs down one column; the column moves by one between runs.
    int64_t j = 0;
    while (j < L) {
      int64_t e = j + 1;
      while (e < L && X[e] == X[j]) ++e;
      const int64_t rowsAbove = static_cast<int64_t>(Y[e - 1]) + 1;
      if (e == L) {
        term(tables->columnPrefix, rowsAbove, X[j], 0, false);
      } else if (X[e] > X[j]) {
        term(tables->columnStep, rowsAbove, X[j], 0, false);
      } else {
        term(tables->columnStep, rowsAbove, X[j] - 1, 0, true);
      }
      j = e;
    }
  } else {
    // Shallow: runs along one row; the row moves down by one between runs.
    const bool rightwards = X[L - 1] > X[0];
    const uint16_t* totals = tables->rowTotal;
    int64_t j = 0;
    while (j < L) {
      int64_t e = j + 1;
      while (e < L && Y[e] == Y[j]) ++e;
      const int64_t y = Y[j];
      if (rightwards) {
        if (j == 0)
          term(tables->rowPrefix, y, X[j], totals[y], true);
        else
          term(tables->rowStep, y, X[j], static_cast<uint16_t>(totals[y - 1] - totals[y]), false);
        if (e == L) term(tables->rowPrefix, y, X[e - 1] + 1, totals[y], false);
      } else {
        if (j == 0) term(tables->rowPrefix, y, X[j] + 1, totals[y], false);
        if (e == L) {
          term(tables->rowPrefix, y, X[e - 1], totals[y], true);
        } else {
          const int64_t next = Y[e];
          term(tables->rowStep, next, X[e - 1],
               static_cast<uint16_t>(totals[next - 1] - totals[next]), true);
        }
      }
      j = e;
    }
  }

  // Each term reads its table row where the row has data (columns -1 .. C)
  // and adds the row's right-hand constant beyond it as a step.
  uint16_t* sum = tables->sum;
  int32_t* steps = tables->steps;
  std::memset(sum, 0, static_cast<size_t>(positions) * sizeof *sum);
  std::memset(steps, 0, static_cast<size_t>(positions + 1) * sizeof *steps);
  for (int64_t t = 0; t < count; ++t) {
    const SlantTerm& tr = terms[t];
    // Column x + k has table index x + k + 1, data while in [0, C + 1].
    const int64_t from = Max64(0, -1 - static_cast<int64_t>(tr.x));
    const int64_t to = Min64(positions, C + 1 - static_cast<int64_t>(tr.x));
    if (from < to) AddRow(sum, tr.data, tr.x + 1, from, to, tr.subtract);
    if (tr.right != 0 && to < positions) {
      const int32_t right = tr.right;
      steps[Max64(to, 0)] += tr.subtract ? -right : right;
    }
  }
  int32_t step = 0;
  for (int64_t k = 0; k < positions; ++k) {
    step += steps[k];
    dark[k] = static_cast<uint16_t>(sum[k] + static_cast<uint16_t>(step));
  }

  // In-image counts from geometry: line k has the points whose offset X lies
  // in [-k, C - 1 - k].
  const int64_t xMin = X[0] < X[L - 1] ? X[0] : X[L - 1];
  const int64_t span = (X[0] < X[L - 1] ? X[L - 1] : X[0]) - xMin + 1;
  int32_t* cumulative = tables->histogram;  // cumulative[i] = points with X < xMin + i
  std::memset(cumulative, 0, static_cast<size_t>(span + 1) * sizeof(int32_t));
  for (int64_t i = 0; i < L; ++i) ++cumulative[X[i] - xMin + 1];
  for (int64_t i = 1; i <= span; ++i) cumulative[i] += cumulative[i - 1];
  auto below = [&](int64_t x) {  // points with X < x
    const int64_t i = x - xMin;
    return i <= 0 ? 0 : cumulative[i > span ? span : i];
  };
  for (int64_t k = 0; k < positions; ++k) total[k] = below(C - k) - below(-k);

  int32_t smoothed = SmoothRunningSum(dark, *n, tables->radius, tables->scratch);
  if (smoothed == VANTREL_OK) {
    smoothed = SmoothRunningSum(total, *n, tables->radius, tables->scratch);
  }
  return smoothed;
}

}  // namespace vtl
