#include "analysis/finger_gaps.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstring>

#include "interface/memory.h"
#include "platform/vector_level.h"
#include "vantrel.h"

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

// A dark peak taken as finger k: the gap after it must be found anew.
void TakeFinger(ProfilePeaks* fingers, ProfilePeaks* gaps, int32_t k, int32_t value,
                int32_t position) {
  Move(fingers, k, value, position);
  gaps->value[k + 1] = 0;
  gaps->place[k + 1].position = 0;
  gaps->hits[k + 1] = 0;
}

// Clears the entries the search fills and seeds the first gap.
void ResetRecords(int32_t sought, int32_t length, const int32_t* background, ProfilePeaks* fingers,
                  ProfilePeaks* gaps) {
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
}

// Where the search for the last gap starts: a finger's width beyond the last
// finger, kept inside the profiles for any tail.
int32_t LastGapStart(int32_t tailDistance, int32_t n, int32_t lastFinger) {
  const int64_t from = static_cast<int64_t>(lastFinger) + tailDistance;
  return static_cast<int32_t>(std::clamp<int64_t>(from, 0, n - 1));
}

// The darkness bar and the scores of k fingers whose last gap is placed.
void Score(int32_t k, const int32_t* dark, const int32_t* total, const int32_t* background,
           float* score, ProfilePeaks* fingers, ProfilePeaks* gaps) {
  gaps->found = k + 1;
  float sum = 0.0f;
  for (int32_t j = 0; j < k; ++j) sum = sum + static_cast<float>(dark[fingers->place[j].position]);
  const float mean = sum / static_cast<float>(k);
  if (mean < fingers->mean) {
    fingers->mean = -1.0f;
    gaps->found = 0;
    *score = fingers->score + gaps->score;
    return;
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
  *score = fingers->score + gaps->score;
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
  if (background == nullptr) return VANTREL_OUT_OF_MEMORY;
  for (int32_t i = 0; i < length; ++i) background[i] = total[i] - dark[i];

  ResetRecords(sought, length, background, fingers, gaps);
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
      TakeFinger(fingers, gaps, k, dark[i], i);
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
    return VANTREL_OK;
  }

  // The gap right of the last finger: the strongest background from a
  // finger's width beyond it (kept inside the profiles for any tail).
  const int32_t start = LastGapStart(tailDistance, n, fingers->place[k - 1].position);
  PeakPlace& last = gaps->place[k];
  last.position = start;
  last.level = background[start];
  for (int32_t p = start; p < n - 1; ++p) {
    if (background[p] > last.level) {
      last.position = p;
      last.level = background[p];
    }
  }
  Score(k, dark, total, background, score, fingers, gaps);
  Release(background);
  return VANTREL_OK;
}

namespace {

// peaks[i] (1 .. end - 1): 1 for a background peak, 2 for a dark peak, 4
// for a background peak that is a clear gap (IsClearGap, the same
// single-precision quotient), in one pass; it vectorises at the level of
// the scan it is inlined into.
inline __attribute__((always_inline)) void MarkPeaksWith(const int32_t* dark, const int32_t* total,
                                                         const int32_t* background, int32_t n,
                                                         uint8_t* peaks) {
  const int32_t end = n - 1;
  for (int32_t i = 1; i < end; ++i) {
    const bool backgroundPeak =
        (background[i - 1] <= background[i]) & (background[i] > background[i + 1]);
    const bool darkPeak = (dark[i - 1] < dark[i]) & (dark[i] >= dark[i + 1]);
    const bool clear =
        static_cast<float>(background[i]) / static_cast<float>(total[i]) > kGapFraction;
    peaks[i] =
        static_cast<uint8_t>(backgroundPeak | (darkPeak << 1) | ((backgroundPeak & clear) << 2));
  }
}

// What a marked peak must pass to change the records, from the records as
// they stand: a background peak (gap k before finger k is found, gap k + 1
// after it) must exceed gapLevel (before) or reach it (after); a dark peak
// must exceed t (which only grows) and reach fingerLevel.
struct PeakBars {
  int kinds;  // the marks wanted, as in the scan
  bool afterFinger;
  int32_t gapLevel;
  int32_t fingerLevel;
  int32_t t;
};

#if defined(__x86_64__) || defined(__i386__)
// The first position from `at` (at least 1) on, below end = n - 1, that is
// a wanted peak passing its bar; end when there is none. The peaks are found
// here, sixteen positions per step with mask compares, as MarkPeaksWith marks
// them (clear gaps by the same single-precision quotient), so no marking
// pass is needed and peaks that cannot change the records are not visited.
__attribute__((target("avx512f,avx512bw,avx512vl"))) int32_t NextPeakAvx512(
    const int32_t* dark, const int32_t* total, const int32_t* background, int32_t at, int32_t end,
    const PeakBars& bars) {
  const __m512i gapLevel = _mm512_set1_epi32(bars.gapLevel);
  const __m512i fingerLevel = _mm512_set1_epi32(bars.fingerLevel);
  const __m512i t = _mm512_set1_epi32(bars.t);
  const __m512 fraction = _mm512_set1_ps(kGapFraction);
  const bool darkWanted = (bars.kinds & 2) != 0;
  for (; at < end; at += 16) {
    // Positions at .. at + 15 below end, each with both neighbours.
    const auto valid = static_cast<__mmask16>(end - at >= 16 ? 0xFFFF : (1u << (end - at)) - 1);
    const __m512i b = _mm512_maskz_loadu_epi32(valid, background + at);
    const __m512i bLeft = _mm512_maskz_loadu_epi32(valid, background + at - 1);
    const __m512i bRight = _mm512_maskz_loadu_epi32(valid, background + at + 1);
    __mmask16 found = _mm512_mask_cmple_epi32_mask(valid, bLeft, b);
    found = _mm512_mask_cmpgt_epi32_mask(found, b, bRight);
    if (bars.afterFinger) {
      found = _mm512_mask_cmpge_epi32_mask(found, b, gapLevel);
      const __m512 quotient = _mm512_maskz_div_ps(
          found, _mm512_maskz_cvtepi32_ps(found, b),
          _mm512_maskz_cvtepi32_ps(found, _mm512_maskz_loadu_epi32(found, total + at)));
      found = _mm512_mask_cmp_ps_mask(found, quotient, fraction, _CMP_GT_OQ);
    } else {
      found = _mm512_mask_cmpgt_epi32_mask(found, b, gapLevel);
    }
    if (darkWanted) {
      const __m512i d = _mm512_maskz_loadu_epi32(valid, dark + at);
      const __m512i dLeft = _mm512_maskz_loadu_epi32(valid, dark + at - 1);
      const __m512i dRight = _mm512_maskz_loadu_epi32(valid, dark + at + 1);
      __mmask16 darkPeaks = _mm512_mask_cmplt_epi32_mask(valid, dLeft, d);
      darkPeaks = _mm512_mask_cmpge_epi32_mask(darkPeaks, d, dRight);
      darkPeaks = _mm512_mask_cmpgt_epi32_mask(darkPeaks, d, t);
      darkPeaks = _mm512_mask_cmpge_epi32_mask(darkPeaks, d, fingerLevel);
      found |= darkPeaks;
    }
    if (found != 0) return at + __builtin_ctz(found);
  }
  return end;
}
#endif

#if defined(__SSE2__)
// Sixteen marks per step: one bit per position of the window at `at` with
// a wanted mark.
constexpr int32_t kMarkStep = 16;
inline __m128i WantedMarks(int kinds) {
  return _mm_set1_epi8(static_cast<char>(kinds));
}

inline int32_t FirstMark(uint32_t marks) {
  return __builtin_ctz(marks);
}

inline uint32_t WindowMarks(const uint8_t* peaks, __m128i wanted, int32_t at) {
  const __m128i marks =
      _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(peaks + at)), wanted);
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(marks, _mm_setzero_si128()))) ^
         0xFFFFu;
}
#else
// Eight marks per step: one bit per marked byte.
constexpr int32_t kMarkStep = 8;
inline uint64_t WantedMarks(int kinds) {
  return static_cast<uint64_t>(kinds) * 0x0101010101010101u;
}

inline int32_t FirstMark(uint64_t marks) {
  return __builtin_ctzll(marks) >> 3;
}

inline uint64_t WindowMarks(const uint8_t* peaks, uint64_t wanted, int32_t at) {
  constexpr uint64_t kBytes = 0x0101010101010101u;
  uint64_t marks;
  std::memcpy(&marks, peaks + at, sizeof marks);
  marks &= wanted;
  return (marks | marks >> 1 | marks >> 2) & kBytes;
}
#endif

template <bool kBars>
__attribute__((always_inline)) inline int32_t FindFingersAndGapsWith(
    int32_t tailDistance, const int32_t* dark, const int32_t* total, const int32_t* background,
    int32_t n, int32_t rows, float* score, ProfilePeaks* fingers, ProfilePeaks* gaps,
    uint8_t* flags) {
  *score = 0.0f;
  fingers->score = 0.0f;
  gaps->score = 0.0f;
  int32_t t = rows / 15;
  const int32_t sought = std::min<int32_t>(fingers->expected, kMaxPeaks - 1);
  const int32_t length = std::max<int32_t>(n, 0);
  ResetRecords(sought, length, background, fingers, gaps);
  int32_t k = 0;

  // Only peaks change the records (and the finger count only right after a
  // change), so the scan visits the peaks alone. They are marked in one
  // pass that vectorises; t, the running maximum of dark / 8, is brought up
  // to date when a dark peak needs it (truncating division keeps the order,
  // so the maximum of the quotients is the quotient of the maximum).
  const int32_t end = n - 1;  // positions 1 .. end - 1 have two neighbours
  if (sought > 0 && end > 1) {
    uint8_t* peaks = flags;
    if (!kBars) {
      peaks[0] = 0;
      std::memset(peaks + end, 0, kPeakFlagPadding);
      MarkPeaksWith(dark, total, background, n, peaks);
    }
    // Gaps lie at background peaks, or at the first position before any
    // has moved.
    const bool firstClear = IsClearGap(background, total, 0);
    auto clearGap = [&](int32_t at) {
      if (at == 0) return firstClear;
      return kBars ? IsClearGap(background, total, at) : (peaks[at] & 4) != 0;
    };
    // The marks of position i, as MarkPeaksWith sets them.
    auto kindAt = [&](int32_t i) -> uint8_t {
      if (!kBars) return peaks[i];
      const bool backgroundPeak =
          background[i - 1] <= background[i] && background[i] > background[i + 1];
      const bool darkPeak = dark[i - 1] < dark[i] && dark[i] >= dark[i + 1];
      return static_cast<uint8_t>(backgroundPeak | (darkPeak << 1) |
                                  ((backgroundPeak && IsClearGap(background, total, i)) << 2));
    };
    int32_t folded = 0;  // dark[1 .. folded] are in t
    // Marks that can change the records: before finger k is found any
    // background peak may move gap k, and dark peaks count only while gap k
    // lies on a clear gap; after it only a clear gap can move gap k + 1, and
    // dark peaks count (gap k no longer moves, and was clear when the finger
    // was taken).
    int kinds = 0;
    auto wanted = WantedMarks(0);
    auto updateWanted = [&] {
      kinds = fingers->hits[k] != 0 ? 6 : clearGap(gaps->place[k].position) ? 3 : 1;
      wanted = WantedMarks(kinds);
    };
    updateWanted();
    int32_t next = 1;
    while (next < end) {
      int32_t i = end;
#if defined(__x86_64__) || defined(__i386__)
      if (kBars) {
        PeakBars bars;
        bars.kinds = kinds;
        bars.afterFinger = fingers->hits[k] != 0;
        bars.gapLevel = bars.afterFinger ? gaps->value[k + 1] : gaps->value[k];
        bars.fingerLevel = fingers->value[k];
        bars.t = gaps->hits[k] > 0 ? t : INT32_MAX;
        i = NextPeakAvx512(dark, total, background, next, end, bars);
      }
#endif
      if (!kBars) {
        int32_t word = next;
        auto marks = WindowMarks(peaks, wanted, word);
        while (marks == 0) {
          word += kMarkStep;
          if (word >= end) break;
          marks = WindowMarks(peaks, wanted, word);
        }
        if (marks != 0) i = word + FirstMark(marks);
      }
      if (i >= end) break;
      next = i + 1;
      const uint8_t kind = kindAt(i);
      if (kind & 1) {
        if (fingers->hits[k] == 0 && background[i] > gaps->value[k]) {
          Move(gaps, k, background[i], i);
        } else if (fingers->hits[k] > 0 && background[i] >= gaps->value[k + 1] && (kind & 4)) {
          Move(gaps, k + 1, background[i], i);
        }
      }
      // t is brought up to date only for peaks that pass the other tests.
      if ((kind & 2) && gaps->hits[k] > 0 && dark[i] >= fingers->value[k] &&
          clearGap(gaps->place[k].position)) {
        int32_t highest = dark[i];
        for (int32_t m = folded + 1; m < i; ++m) highest = std::max(highest, dark[m]);
        t = std::max(t, highest / 8);
        folded = i;
        if (dark[i] > t) {
          TakeFinger(fingers, gaps, k, dark[i], i);
        }
      }
      if (gaps->hits[k + 1] > 0 && fingers->hits[k] > 0) {
        ++k;
        if (k == sought) break;
      }
      updateWanted();
    }
  }

  fingers->found = k;
  if (k == 0) {
    gaps->found = 0;
    *score = fingers->score + gaps->score;
    return VANTREL_OK;
  }
  // The first strongest background from the start on, as the plain scan
  // keeps it.
  const int32_t start = LastGapStart(tailDistance, n, fingers->place[k - 1].position);
  int32_t position = start;
  if (start < n - 1) {
    int32_t highest = background[start];
    for (int32_t p = start + 1; p < n - 1; ++p) highest = std::max(highest, background[p]);
    while (background[position] != highest) ++position;
  }
  gaps->place[k].position = position;
  gaps->place[k].level = background[position];
  Score(k, dark, total, background, score, fingers, gaps);
  return VANTREL_OK;
}

int32_t FindFingersAndGapsBaseline(int32_t tailDistance, const int32_t* dark, const int32_t* total,
                                   const int32_t* background, int32_t n, int32_t rows, float* score,
                                   ProfilePeaks* fingers, ProfilePeaks* gaps, uint8_t* flags) {
  return FindFingersAndGapsWith<false>(tailDistance, dark, total, background, n, rows, score,
                                       fingers, gaps, flags);
}

#if defined(__x86_64__) || defined(__i386__)
// The scans for the running maxima vectorise with the wider integer
// maxima; testing the bars costs more than the visits it saves without
// AVX-512's mask compares.
__attribute__((target("avx2"))) int32_t FindFingersAndGapsAvx2(
    int32_t tailDistance, const int32_t* dark, const int32_t* total, const int32_t* background,
    int32_t n, int32_t rows, float* score, ProfilePeaks* fingers, ProfilePeaks* gaps,
    uint8_t* flags) {
  return FindFingersAndGapsWith<false>(tailDistance, dark, total, background, n, rows, score,
                                       fingers, gaps, flags);
}

__attribute__((target("avx512f,avx512bw,avx512vl"))) int32_t FindFingersAndGapsAvx512(
    int32_t tailDistance, const int32_t* dark, const int32_t* total, const int32_t* background,
    int32_t n, int32_t rows, float* score, ProfilePeaks* fingers, ProfilePeaks* gaps,
    uint8_t* flags) {
  return FindFingersAndGapsWith<true>(tailDistance, dark, total, background, n, rows, score,
                                      fingers, gaps, flags);
}
#endif

}  // namespace

int32_t FindFingersAndGapsInto(int32_t tailDistance, const int32_t* dark, const int32_t* total,
                               const int32_t* background, int32_t n, int32_t rows, float* score,
                               ProfilePeaks* fingers, ProfilePeaks* gaps, uint8_t* flags) {
#if defined(__x86_64__) || defined(__i386__)
  switch (ActiveVectorLevel()) {
    case VectorLevel::kAvx512:
      return FindFingersAndGapsAvx512(tailDistance, dark, total, background, n, rows, score,
                                      fingers, gaps, flags);
    case VectorLevel::kAvx2:
      return FindFingersAndGapsAvx2(tailDistance, dark, total, background, n, rows, score, fingers,
                                    gaps, flags);
    case VectorLevel::kBaseline: break;
  }
#endif
  return FindFingersAndGapsBaseline(tailDistance, dark, total, background, n, rows, score, fingers,
                                    gaps, flags);
}

}  // namespace vtl
