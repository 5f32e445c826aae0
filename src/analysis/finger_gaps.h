// Finds alternating gaps and fingers in one slant's line profiles and scores
// how cleanly that slant separates them.
#ifndef VANTREL_ANALYSIS_FINGER_GAPS_H
#define VANTREL_ANALYSIS_FINGER_GAPS_H

#include <cstdint>

namespace vtl {

constexpr int kMaxPeaks = 6;  // so at most five fingers can be sought

// Bytes past n that FindFingersAndGapsInto's `flags` must hold.
constexpr int32_t kPeakFlagPadding = 16;

struct PeakPlace {
  int32_t position;  // index into the profiles
  int32_t level;     // running background maximum of the last-gap search
};

struct ProfilePeaks {
  float score;
  float mean;        // fingers: least mean darkness on entry, result on return
  int32_t expected;  // fingers: number sought
  int32_t found;
  int32_t value[kMaxPeaks];
  PeakPlace place[kMaxPeaks];
  int32_t hits[kMaxPeaks];
};

static_assert(sizeof(ProfilePeaks) == 28 * 4, "ProfilePeaks is 28 32-bit fields");

// Returns 0, or 19 when the background profile cannot be allocated (scores
// then 0.0). At most kMaxPeaks - 1 fingers are looked for, whatever
// fingers->expected says; profiles of fewer than 3 positions find nothing.
int32_t FindFingersAndGaps(int32_t tailDistance, const int32_t* dark, const int32_t* total,
                           int32_t n, int32_t rows, float* score, ProfilePeaks* fingers,
                           ProfilePeaks* gaps);

// The same analysis, for profiles whose values are counts (0 .. 2^30), with
// the background profile total - dark given; `flags` (room for n + kPeakFlagPadding bytes)
// marks the peaks and clear gaps, so that only peaks are visited. Results,
// records and scores equal FindFingersAndGaps' bit for bit; nothing is
// allocated, so it always returns 0.
int32_t FindFingersAndGapsInto(int32_t tailDistance, const int32_t* dark, const int32_t* total,
                               const int32_t* background, int32_t n, int32_t rows, float* score,
                               ProfilePeaks* fingers, ProfilePeaks* gaps, uint8_t* flags);

}  // namespace vtl

#endif
