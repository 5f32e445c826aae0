// Layout of the slant tables, shared by their builder, the term emitter and
// the row kernels: row padding, block sizes, bands of rows, and where each
// byte table row lies.
#ifndef VANTREL_SEPARATE_SLANT_LAYOUT_H
#define VANTREL_SEPARATE_SLANT_LAYOUT_H

#include <cstdint>

#include "separate/slant_tables.h"

namespace vtl {

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

inline int64_t ByteTableRow(int table, int64_t row, int64_t R) {
  return table < kDown ? table * R + row : 2 * R + (table - kDown) * (R / 2) + row / 2;
}

inline int64_t ByteTableRows(int64_t R, bool shallow) {
  return 2 * R + ((shallow ? kByteTables : kRight11) - kDown) * (R / 2);
}

}  // namespace vtl

#endif
