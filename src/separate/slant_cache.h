// The profiles of the slants, built from the slant tables a batch of
// slants at a time and kept per sign until another batch is asked for.
#ifndef VANTREL_SEPARATE_SLANT_CACHE_H
#define VANTREL_SEPARATE_SLANT_CACHE_H

#include <cstdint>

#include "analysis/finger_gaps.h"
#include "separate/slant_tables.h"

namespace vtl {

// The profiles of slant s (|s| <= maxSlant), exactly as BuildSlantProfiles
// computes them: same positions, counts and smoothing. They are built a batch
// at a time and kept until another batch of the same sign is asked for.
// Returns 0, or 19 when memory runs out.
int32_t BuildSlantProfilesFromTables(SlantTables* tables, int32_t* dark, int32_t* total, int32_t* n,
                                     int32_t s);

// The profiles of slant s and their gap analysis (FindFingersAndGapsInto),
// as the separator runs them per slant.
int32_t AnalyseSlantFromTables(SlantTables* tables, int32_t tailDistance, int32_t s, float* score,
                               ProfilePeaks* fingers, ProfilePeaks* gaps);

}  // namespace vtl

#endif
