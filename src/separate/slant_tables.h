// Fast slant profiles. Every line of one slant is the reference line moved
// sideways, so the family's foreground counts are sums of whole table rows
// shifted by the reference line's points: rows of column prefix sums, one
// per run of points, or rows of the mask itself (one per row or pair of
// rows of the line), whichever is fewer: one vector pass per row instead of
// one test per line point. The tables are built once per mask; the results
// equal BuildSlantProfiles' bit for bit.
#ifndef VANTREL_SEPARATE_SLANT_TABLES_H
#define VANTREL_SEPARATE_SLANT_TABLES_H

#include <cstdint>

namespace vtl {

// A table row holds the image columns -1 .. columns (index column + 1) and
// 0 around them; its nonzero values lie in its span [low, high).
// One table row of 16-bit counts added to (or subtracted from) the profile,
// at column offset x.
struct SlantTerm {
  const uint16_t* data;
  int32_t x;
  int32_t row;  // table row, which orders the terms
  int32_t low;  // span of the row's nonzero values, table indices
  int32_t high;
  bool subtract;
};

// One row of the byte tables (mask, pair or two-row table) added to the
// profile at column offset x: its value for position 0 is byteRows[offset].
struct MaskTerm {
  int32_t offset;
  int32_t x;
  int32_t row;
};

// The span of a table row's nonzero values, in table indices.
struct TableSpan {
  int32_t low;
  int32_t high;
};

// Slants whose profiles are built together: magnitudes kSlantBatch * b ..
// kSlantBatch * b + kSlantBatch - 1 of one sign.
constexpr int kSlantBatch = 8;

struct SlantTables {
  int32_t columns;
  int32_t rows;
  int32_t radius;    // running-sum radius of the profiles
  int32_t maxSlant;  // largest |slant| the tables serve
  int64_t stride;    // table row length, with zero padding on both sides
  // Counts modulo 2^16 (exact: no profile value reaches 2^15).
  uint16_t* columnPrefix;  // (rows + 1) rows: hits above row y in column x; 0 outside
  uint16_t* columnStep;    // columnPrefix[y][x] - columnPrefix[y][x + 1]; 0 right
  int64_t byteStride;      // byte table row length, with the zero gap after it
  // Mask rows (1 for a hit), pair rows (hits in x and x + 1) and the two-row
  // tables, which count a line's points in two neighbouring rows at once.
  uint8_t* byteRows;
  TableSpan* stepSpans;      // spans of the columnStep rows
  TableSpan countSpan;       // span of the last columnPrefix row, the only one summed
  TableSpan* bandSpans;      // byte rows' spans joined per band of 32 rows
  SlantTerm* terms;          // count rows of each slant of a batch
  MaskTerm* maskTerms;       // or its byte rows
  uint16_t* sum;             // their sums over the positions, per slant
  int32_t* histogram;        // steep lines: rows above the end of each run, per slant
  int32_t* cumulative;       // steep lines: points per column range, for the in-image counts
  int32_t* scratch;          // raw in-image counts
  int32_t* scratch2;         // smoothing copy
  uint8_t* flags;            // gap analysis: peak marks
  int32_t* lineCoordinates;  // reference lines of one batch, lanes interleaved
  // Per sign (leaning right, leaning left) and slant of the cached batch:
  // dark, total and background profiles, columns + maxSlant values each.
  int32_t* profiles;
  int64_t cachedBatch[2];  // -1: none
};

// Masks larger than this (rows or columns, or table cells) use the plain
// count, which needs no memory that grows with the image.
constexpr int32_t kMaxSlantTableSide = 8192;
constexpr int64_t kMaxSlantTableCells = int64_t{1} << 23;

// True when tables for this mask size and slant range stay within the limits.
bool SlantTablesFit(int32_t columns, int32_t rows, int32_t maxSlant);

// Builds the tables of the pixels of `mask` equal to `value`, for slants of
// magnitude up to maxSlant. Returns 0, or 19 with nothing held (also when
// they would not fit).
int32_t BuildSlantTables(const uint8_t* mask, int32_t columns, int32_t rows, uint8_t value,
                         int32_t maxSlant, SlantTables* tables);

void ReleaseSlantTables(SlantTables* tables);

// Test and benchmark hook: makes the separator count point by point, the
// reference against which the fast path is measured.
void SetPlainSlantCounting(bool plain);
bool PlainSlantCounting();

}  // namespace vtl

#endif
