// The reference line of one slant as the table rows whose sums give its
// foreground counts.
#ifndef VANTREL_SEPARATE_SLANT_TERMS_H
#define VANTREL_SEPARATE_SLANT_TERMS_H

#include <cstdint>

#include "separate/slant_tables.h"

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
               int64_t* firstColumn, int64_t* lastColumn, bool* bytes);

}  // namespace vtl

#endif
