// The search over slants: which slants are tried, in which order, and which
// one is kept.
#ifndef VANTREL_SEPARATE_SLANT_SEARCH_H
#define VANTREL_SEPARATE_SLANT_SEARCH_H

#include <cstdint>

#include "analysis/finger_gaps.h"

namespace vtl {

// The slants tried are 0 .. positive - 1 and 0 .. -(negative - 1).
struct SlantLimits {
  int32_t positive;
  int32_t negative;
};

// From the finger-position code and the working image's rows R:
// 13 (right hand) leans right only: 0 .. R - 1; 14 (left hand) left only:
// 0 .. -(R - 1); 15 (thumbs) stays within 10 degrees: |s| < -t with
// t = trunc(-R tan 10deg), nothing at all for R <= 5; any other code
// -(2R - 1) .. 2R - 1.
SlantLimits ComputeSlantLimits(int32_t handCode, int32_t rows);

// Analysis of one slant: fills the working pair and *score, returns a status.
using SlantAnalysis = int32_t (*)(void* context, int32_t slant, float* score, ProfilePeaks* fingers,
                                  ProfilePeaks* gaps);

struct SlantSearch {
  // Working pair, reused from slant to slant: fingers.mean carries the
  // darkness bar of one analysis into the next.
  ProfilePeaks fingers;
  ProfilePeaks gaps;
  ProfilePeaks bestFingers;
  ProfilePeaks bestGaps;
  float bestScore;
  int32_t bestSlant;
  int32_t slantsTried;
};

// Clears the search and sets the working pair up for `sought` fingers.
void StartSlantSearch(int32_t sought, SlantSearch* search);

// Tries, pass by pass from 0 outwards, slant +i then -i while each side is
// within its limit. Only a strictly higher score replaces the best, so among
// equal scores the smaller |s| wins, and +s before -s. An improvement whose
// gap lines are all pure background (gaps.score == sought + 1) ends the
// search. Returns 0 or the first failing analysis' status.
int32_t SearchSlants(SlantLimits limits, SlantAnalysis analyse, void* context, SlantSearch* search);

}  // namespace vtl

#endif
