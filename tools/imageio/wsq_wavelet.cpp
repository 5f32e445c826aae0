// Wavelet transform of the WSQ decomposition with odd-length symmetric
// filters. Each line is filtered through a plan, a list of (input sample,
// tap) terms per output sample built by walking the bands with mirrored
// ends; the terms are summed in the reference decoder's order so that the
// reconstruction rounds exactly like it. Columns are filtered as whole rows
// at a time; rows are transposed in strips and filtered the same way.
#include <algorithm>

#include "wsq_codec.h"

namespace vio::wsq {
namespace {

// Position in a band of `size` samples, moving by `step`. At the first or the
// last sample it turns back, after repeating that sample once if the
// corresponding repeat flag is still set.
struct MirrorWalk {
  int32_t pos, step, size;
  bool repeatFirst, repeatLast;

  void Advance() {
    TurnAtFirst();
    if (pos == size - 1) {
      if (repeatLast) {
        step = 0;
        repeatLast = false;
      } else {
        step = -1;
      }
    }
    pos += step;
  }
  // The start of a filter window only ever meets the first sample.
  void AdvanceStart() {
    TurnAtFirst();
    pos += step;
  }
  void TurnAtFirst() {
    if (pos != 0) return;
    if (repeatFirst) {
      step = 0;
      repeatFirst = false;
    } else {
      step = 1;
    }
  }
};

struct PlanBuilder {
  LinePlan plan;
  std::vector<std::vector<std::pair<int32_t, float>>> terms;

  explicit PlanBuilder(int32_t length) : terms(length) {}

  // Taps first, first + 2, ... of `filter` over the band from `walk`.
  void Add(int32_t output, MirrorWalk walk, int32_t base, const std::vector<float>& filter,
           int first, int stride) {
    auto& t = terms[output];
    t.emplace_back(base + walk.pos, filter[first]);
    for (size_t i = first + stride; i < filter.size(); i += stride) {
      walk.Advance();
      t.emplace_back(base + walk.pos, filter[i]);
    }
  }

  LinePlan Finish() {
    plan.start.push_back(0);
    for (const auto& t : terms) {
      for (const auto& [index, tap] : t) {
        plan.index.push_back(index);
        plan.tap.push_back(tap);
      }
      plan.start.push_back(static_cast<int32_t>(plan.index.size()));
    }
    return std::move(plan);
  }
};

// Outputs of one band of a synthesis line: the first window covers
// `firstTap` + 1 outputs, every later one two, and the tail what is left.
void SynthesiseBand(PlanBuilder* b, int32_t length, const std::vector<float>& filter,
                    MirrorWalk start, int32_t base, int firstTap) {
  const int32_t pairs = length / 2;
  int32_t out = 0;
  for (int32_t pix = 0; pix < pairs; ++pix) {
    for (int tap = pix == 0 ? firstTap : 1; tap >= 0; --tap)
      b->Add(out++, start, base, filter, tap, 2);
    start.AdvanceStart();
  }
  for (int tap = 1; out < length; --tap) b->Add(out++, start, base, filter, tap, 2);
}

int LowCentre(const FilterPair& f) {
  return (static_cast<int>(f.low.size()) - 1) / 4;
}
int HighCentre(const FilterPair& f) {
  return (static_cast<int>(f.high.size()) + 1) / 4 - 1;
}
int LowFirstTap(const FilterPair& f) {
  return ((static_cast<int>(f.low.size()) - 1) / 2) % 2;
}
int HighFirstTap(const FilterPair& f) {
  return ((static_cast<int>(f.high.size()) + 1) / 2) % 2;
}

bool OddSymmetricPair(const FilterPair& f) {
  const size_t lo = f.low.size(), hi = f.high.size();
  return lo % 2 == 1 && hi % 2 == 1 && lo >= 3 && hi >= 3 && lo <= kMaxFilterTaps &&
         hi <= kMaxFilterTaps;
}

}  // namespace

bool SynthesisFits(int32_t length, const FilterPair& f) {
  if (!OddSymmetricPair(f) || LowCentre(f) < 1 || LowFirstTap(f) != HighFirstTap(f)) return false;
  const int32_t lowLength = (length + 1) / 2, highLength = length / 2;
  return highLength >= 2 && LowCentre(f) < lowLength && HighCentre(f) < highLength;
}

bool AnalysisFits(int32_t length, const FilterPair& f) {
  if (!OddSymmetricPair(f)) return false;
  const int32_t lowCentre = (static_cast<int32_t>(f.low.size()) - 1) / 2;
  const int32_t highCentre = (static_cast<int32_t>(f.high.size()) - 1) / 2 - 1;
  return length >= 4 && lowCentre < length && highCentre >= 0 && highCentre < length;
}

bool LayoutFits(const Layout& layout, const FilterPair& filters, bool analysis) {
  for (const Node& n : layout.nodes) {
    for (int32_t length : {n.rect.width, n.rect.height}) {
      if (!(analysis ? AnalysisFits(length, filters) : SynthesisFits(length, filters))) {
        return false;
      }
    }
  }
  return true;
}

LinePlan SynthesisPlan(int32_t length, bool highFirst, const FilterPair& f) {
  const int32_t lowLength = (length + 1) / 2, highLength = length / 2;
  const bool odd = length % 2 == 1;
  PlanBuilder b(length);
  // Low pass: whole-sample mirror at the start; at the end too for odd
  // lines, half-sample for even ones. High pass: the other way round.
  SynthesiseBand(&b, length, f.low, MirrorWalk{LowCentre(f), -1, lowLength, false, !odd},
                 highFirst ? highLength : 0, LowFirstTap(f));
  SynthesiseBand(&b, length, f.high, MirrorWalk{HighCentre(f), -1, highLength, true, odd},
                 highFirst ? 0 : lowLength, HighFirstTap(f));
  return b.Finish();
}

LinePlan AnalysisPlan(int32_t length, bool highFirst, const FilterPair& f) {
  const int32_t lowLength = (length + 1) / 2, highLength = length / 2;
  const int32_t lowOut = highFirst ? highLength : 0, highOut = highFirst ? 0 : lowLength;
  PlanBuilder b(length);
  MirrorWalk low{(static_cast<int32_t>(f.low.size()) - 1) / 2, -1, length, false, false};
  MirrorWalk high{(static_cast<int32_t>(f.high.size()) - 1) / 2 - 1, -1, length, false, false};
  for (int32_t pix = 0; pix < highLength; ++pix) {
    b.Add(lowOut + pix, low, 0, f.low, 0, 1);
    b.Add(highOut + pix, high, 0, f.high, 0, 1);
    for (int i = 0; i < 2; ++i) {
      low.AdvanceStart();
      high.AdvanceStart();
    }
  }
  if (lowLength > highLength) b.Add(lowOut + highLength, low, 0, f.low, 0, 1);
  return b.Finish();
}

namespace {

// Columns summed in registers at a time.
constexpr int32_t kChunk = 16;

// One output row: the plan's terms k0..k1 summed in order over `count`
// columns.
void SumTerms(const LinePlan& plan, int32_t k0, int32_t k1, const float* in, ptrdiff_t inStride,
              float* __restrict dst, int32_t count) {
  int32_t x = 0;
  for (; x + kChunk <= count; x += kChunk) {
    float acc[kChunk];
    const float* first = in + plan.index[k0] * inStride + x;
    for (int32_t i = 0; i < kChunk; ++i) acc[i] = first[i] * plan.tap[k0];
    for (int32_t k = k0 + 1; k < k1; ++k) {
      const float* src = in + plan.index[k] * inStride + x;
      const float tap = plan.tap[k];
      for (int32_t i = 0; i < kChunk; ++i) acc[i] += src[i] * tap;
    }
    for (int32_t i = 0; i < kChunk; ++i) dst[x + i] = acc[i];
  }
  for (; x < count; ++x) {
    float acc = in[plan.index[k0] * inStride + x] * plan.tap[k0];
    for (int32_t k = k0 + 1; k < k1; ++k) acc += in[plan.index[k] * inStride + x] * plan.tap[k];
    dst[x] = acc;
  }
}

// Rows of `count` floats: out row o = the plan's sum over in rows.
void ApplyPlan(const LinePlan& plan, const float* in, ptrdiff_t inStride, float* out,
               ptrdiff_t outStride, int32_t count) {
  const size_t outputs = plan.start.size() - 1;
  for (size_t o = 0; o < outputs; ++o) {
    SumTerms(plan, plan.start[o], plan.start[o + 1], in, inStride, out + o * outStride, count);
  }
}

void Transpose(const float* in, ptrdiff_t inStride, int32_t rows, int32_t columns, float* out,
               ptrdiff_t outStride) {
  constexpr int32_t kTile = 16;
  for (int32_t r0 = 0; r0 < rows; r0 += kTile) {
    for (int32_t c0 = 0; c0 < columns; c0 += kTile) {
      const int32_t r1 = std::min(rows, r0 + kTile), c1 = std::min(columns, c0 + kTile);
      for (int32_t r = r0; r < r1; ++r) {
        for (int32_t c = c0; c < c1; ++c) out[c * outStride + r] = in[r * inStride + c];
      }
    }
  }
}

// Columns and rows are processed in strips of this many lines, which bounds
// the scratch memory and keeps the rows being summed in cache.
constexpr int32_t kStrip = 64;

void FilterColumns(float* base, ptrdiff_t stride, const Rect& r, const LinePlan& plan,
                   std::vector<float>* scratch) {
  scratch->resize(static_cast<size_t>(r.height) * kStrip);
  for (int32_t c0 = 0; c0 < r.width; c0 += kStrip) {
    const int32_t n = std::min(kStrip, r.width - c0);
    float* strip = base + c0;
    ApplyPlan(plan, strip, stride, scratch->data(), n, n);
    for (int32_t y = 0; y < r.height; ++y) {
      std::copy_n(scratch->data() + y * n, n, strip + y * stride);
    }
  }
}

void FilterRows(float* base, ptrdiff_t stride, const Rect& r, const LinePlan& plan,
                std::vector<float>* scratch) {
  scratch->resize(2 * static_cast<size_t>(r.width) * kStrip);
  float* across = scratch->data();
  float* filtered = across + static_cast<size_t>(r.width) * kStrip;
  for (int32_t r0 = 0; r0 < r.height; r0 += kStrip) {
    const int32_t n = std::min(kStrip, r.height - r0);
    float* strip = base + r0 * stride;
    Transpose(strip, stride, n, r.width, across, n);
    ApplyPlan(plan, across, n, filtered, n, n);
    Transpose(filtered, n, r.width, n, strip, stride);
  }
}

}  // namespace

void Decompose(float* image, int32_t width, const Layout& layout, const FilterPair& analysis) {
  std::vector<float> scratch;
  for (const Node& n : layout.nodes) {
    float* base = image + static_cast<ptrdiff_t>(n.rect.y) * width + n.rect.x;
    FilterRows(base, width, n.rect, AnalysisPlan(n.rect.width, n.highFirstX, analysis), &scratch);
    FilterColumns(base, width, n.rect, AnalysisPlan(n.rect.height, n.highFirstY, analysis),
                  &scratch);
  }
}

void Reconstruct(float* image, int32_t width, const Layout& layout, const FilterPair& synthesis) {
  std::vector<float> scratch;
  for (int i = kNodeCount - 1; i >= 0; --i) {
    const Node& n = layout.nodes[i];
    float* base = image + static_cast<ptrdiff_t>(n.rect.y) * width + n.rect.x;
    FilterColumns(base, width, n.rect, SynthesisPlan(n.rect.height, n.highFirstY, synthesis),
                  &scratch);
    FilterRows(base, width, n.rect, SynthesisPlan(n.rect.width, n.highFirstX, synthesis), &scratch);
  }
}

FilterPair StandardAnalysisFilters() {
  return FilterPair{
      {0.03782845550699546f, -0.02384946501938000f, -0.11062440441842342f, 0.37740285561265380f,
       0.85269867900940344f, 0.37740285561265380f, -0.11062440441842342f, -0.02384946501938000f,
       0.03782845550699546f},
      {0.06453888262893845f, -0.04068941760955844f, -0.41809227322221221f, 0.78848561640566439f,
       -0.41809227322221221f, -0.04068941760955844f, 0.06453888262893845f}};
}

}  // namespace vio::wsq
