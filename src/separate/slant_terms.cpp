#include "separate/slant_terms.h"

#include "separate/slant_layout.h"

namespace vtl {

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

}  // namespace vtl
