#include "analysis/finger_gaps.h"

#include <algorithm>

#include "interface/memory.h"

namespace vtl {
namespace {

constexpr float kGapFraction = 0.95f;

float Fraction(int32_t part, int32_t whole) {
  return static_cast<float>(part) / static_cast<float>(whole);
}

// A position whose total is 0 gives 0/0, which fails every comparison, so it
// never passes as a gap.
bool IsClearGap(const int32_t* background, const int32_t* total, int32_t i) {
  return Fraction(background[i], total[i]) > kGapFraction;
}

void Move(ProfilePeaks* record, int32_t entry, int32_t value, int32_t position) {
  record->value[entry] = value;
  record->place[entry].position = position;
  record->hits[entry] += 1;
}

}  // namespace

int32_t FindFingersAndGaps(int32_t tailDistance, const int32_t* dark, const int32_t* total,
                           int32_t n, int32_t rows, float* score, ProfilePeaks* fingers,
                           ProfilePeaks* gaps) {
  *score = 0.0f;
  fingers->score = 0.0f;
  gaps->score = 0.0f;
  int32_t t = rows / 15;

  // The records hold six gaps, so at most five fingers can be looked for; a
  // larger request is served as five, and nothing below one finds nothing.
  const int32_t sought = std::min<int32_t>(fingers->expected, kMaxPeaks - 1);
  const int32_t length = std::max<int32_t>(n, 0);
  int32_t* background = AllocateZeroed<int32_t>(static_cast<std::size_t>(length));
  if (background == nullptr) return 19;
  for (int32_t i = 0; i < length; ++i) background[i] = total[i] - dark[i];

  for (int32_t j = 0; j < std::max<int32_t>(sought, 0); ++j) {
    for (ProfilePeaks* r : {fingers, gaps}) {
      r->value[j] = 0;
      r->place[j].position = 0;
      r->place[j].level = 0;
      r->hits[j] = 0;
    }
  }
  const int32_t closing = std::max<int32_t>(sought, 0);
  gaps->value[closing] = 0;
  gaps->place[closing].position = 0;
  gaps->hits[closing] = 0;

  // Empty profiles have no first position to seed from.
  gaps->value[0] = length > 0 ? background[0] : 0;
  gaps->place[0].position = 0;
  gaps->hits[0] = 1;
  int32_t k = 0;

  for (int32_t i = 1; sought > 0 && i < n - 1; ++i) {
    // A background peak: on a flat top the last position counts.
    if (background[i - 1] <= background[i] && background[i] > background[i + 1]) {
      if (fingers->hits[k] == 0 && background[i] > gaps->value[k]) {
        Move(gaps, k, background[i], i);
      } else if (fingers->hits[k] > 0 && background[i] >= gaps->value[k + 1] &&
                 IsClearGap(background, total, i)) {
        Move(gaps, k + 1, background[i], i);
      }
    }
    t = std::max(t, dark[i] / 8);
    // A dark peak: on a flat top the first position counts.
    if (dark[i - 1] < dark[i] && dark[i] >= dark[i + 1] && gaps->hits[k] > 0 && dark[i] > t &&
        IsClearGap(background, total, gaps->place[k].position) && dark[i] >= fingers->value[k]) {
      Move(fingers, k, dark[i], i);
      gaps->value[k + 1] = 0;
      gaps->place[k + 1].position = 0;
      gaps->hits[k + 1] = 0;
    }
    if (gaps->hits[k + 1] > 0 && fingers->hits[k] > 0) {
      ++k;
      if (k == sought) break;
    }
  }

  fingers->found = k;
  if (k == 0) {
    gaps->found = 0;
    Release(background);
    *score = fingers->score + gaps->score;
    return 0;
  }

  // The gap right of the last finger: the strongest background from a
  // finger's width beyond it (kept inside the profiles for any tail).
  const int64_t from = static_cast<int64_t>(fingers->place[k - 1].position) + tailDistance;
  const int32_t start = static_cast<int32_t>(std::clamp<int64_t>(from, 0, n - 1));
  PeakPlace& last = gaps->place[k];
  last.position = start;
  last.level = background[start];
  for (int32_t p = start; p < n - 1; ++p) {
    if (background[p] > last.level) {
      last.position = p;
      last.level = background[p];
    }
  }
  gaps->found = k + 1;

  float sum = 0.0f;
  for (int32_t j = 0; j < k; ++j) sum = sum + static_cast<float>(dark[fingers->place[j].position]);
  const float mean = sum / static_cast<float>(k);
  if (mean < fingers->mean) {
    fingers->mean = -1.0f;
    gaps->found = 0;
    Release(background);
    *score = fingers->score + gaps->score;
    return 0;
  }
  fingers->mean = mean;

  float fingerScore = 0.0f;
  for (int32_t j = 0; j < k; ++j) {
    const int32_t at = fingers->place[j].position;
    fingerScore = fingerScore + Fraction(dark[at], total[at]);
  }
  float gapScore = 0.0f;
  for (int32_t j = 0; j <= k; ++j) {
    const int32_t at = gaps->place[j].position;
    if (background[at] == 0) continue;  // only the last gap can be bare
    gapScore = gapScore + Fraction(background[at], total[at]);
  }
  fingers->score = fingerScore;
  gaps->score = gapScore;
  Release(background);
  *score = fingers->score + gaps->score;
  return 0;
}

}  // namespace vtl
