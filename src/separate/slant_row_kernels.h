// The vector kernels of the slant profiles (row sums of a batch, its
// reference lines, in-image counts, smoothing), compiled once per vector
// level and chosen by the active one.
#ifndef VANTREL_SEPARATE_SLANT_ROW_KERNELS_H
#define VANTREL_SEPARATE_SLANT_ROW_KERNELS_H

#include <cstdint>

#include "separate/slant_layout.h"
#include "separate/slant_tables.h"

namespace vtl {

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

// The integer and single-precision results are the same for every level.
// A plain table of pointers rather than ifunc clones, which pick by
// processor model and which the thread sanitizer's runtime cannot run.
struct RowKernels {
  void (*addBatch)(const BatchLanes& b);
  void (*drawLines)(SlantTables* tables, bool left, int64_t batch);
  void (*steepTotals)(int32_t* inside, const int32_t* G, int64_t positions, int64_t C, bool rising);
  void (*shallowTotals)(int32_t* inside, int64_t positions, int64_t C, int64_t xMin, int64_t xMax);
  void (*smoothThree)(const uint16_t* raw, const int32_t* inside, int32_t* dark, int32_t* total,
                      int32_t* background, int64_t n);
};

// The kernels of the active vector level.
const RowKernels& ActiveRowKernels();

}  // namespace vtl

#endif
