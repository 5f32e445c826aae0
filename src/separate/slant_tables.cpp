#include "separate/slant_tables.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "analysis/finger_gaps.h"
#include "interface/memory.h"
#include "interface/parameter.h"
#include "separate/slant_layout.h"
#include "vantrel.h"

namespace vtl {
namespace {

std::atomic<bool> g_plainCounting{false};

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
      static_cast<size_t>(std::max(R, static_cast<int64_t>(maxSlant) + 1)) * kBatchLanes);
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

}  // namespace vtl
