// Fingertips on the block grid, then measured along each finger's own axis.
#include <algorithm>
#include <cmath>

#include "slap/search_context.h"

namespace vtl {
namespace slap {
namespace {

// How far the fingers' axes bend away from the direction they were searched
// in: the mean absolute difference, radians.
double Bend(const TipBox* tips, int32_t count, double phi) {
  if (count < 1) return 0;
  double sum = 0;
  for (int32_t i = 0; i < count; ++i) sum += std::fabs(tips[i].tilt - phi);
  return sum / count;
}

// What every slant's search shares.
struct Search {
  const WorkingImage& work;
  const BlockMap& map;
  const Pieces& pieces;
  Geometry g;
  int32_t maxFingers;
  double weakShare;
  Scratch* scratch;
};

// Size and ridge quality of the top part of a candidate's band.
void MeasureCandidate(const Context& ctx, Candidate* c) {
  const int32_t rows = ctx.map.rows, columns = ctx.map.columns;
  const double reach = kTopReachMm * ctx.g.blocksPerMm;
  double sum = 0;
  int32_t area = 0;
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < columns; ++x) {
      const std::size_t k = static_cast<std::size_t>(y) * columns + x;
      if (ctx.labels[k] != c->label) continue;
      const double a = ctx.frame.Across(x, y);
      if (a < c->acrossLow || a >= c->acrossHigh) continue;
      if (ctx.frame.Height(x, y) < c->tipHeight - reach) continue;
      ++area;
      sum += ctx.map.score[k];
    }
  }
  c->area = area;
  c->meanScore = area > 0 ? sum / area : 0;
  const double minArea = kPieceAreaMm2 * ctx.g.blocksPerMm * ctx.g.blocksPerMm;
  c->weight = area >= minArea ? area * c->meanScore : 0;
}

// One piece's skyline seen in `frame`: the highest outline block per bin
// across the hand, empty bins bridged, smoothed over three into `smooth`;
// [*lo, *hi] the bins it covers, [*spanLo, *spanHi] those the whole piece
// covers.
void Skyline(const Context& ctx, int32_t label, int32_t bins, double origin, double* sky,
             double* smooth, int32_t* lo, int32_t* hi, int32_t* spanLo, int32_t* spanHi) {
  const int32_t rows = ctx.map.rows, columns = ctx.map.columns;
  for (int32_t i = 0; i < bins; ++i) sky[i] = -1e300;
  *lo = *spanLo = bins;
  *hi = *spanHi = -1;
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < columns; ++x) {
      const std::size_t k = static_cast<std::size_t>(y) * columns + x;
      if (ctx.labels[k] != label) continue;
      const double a = ctx.frame.Across(x, y) - origin;
      const int32_t bin = std::clamp(static_cast<int32_t>(a), 0, bins - 1);
      *spanLo = std::min(*spanLo, bin);
      *spanHi = std::max(*spanHi, bin);
      if (!ctx.outline[k]) continue;
      sky[bin] = std::max(sky[bin], ctx.frame.Height(x, y));
      *lo = std::min(*lo, bin);
      *hi = std::max(*hi, bin);
    }
  }
  double last = -1e300;
  for (int32_t i = *lo; i <= *hi; ++i) {
    if (sky[i] < -1e299) sky[i] = last;
    last = sky[i];
  }
  for (int32_t i = *lo; i <= *hi; ++i) {
    const double a = sky[std::max(*lo, i - 1)], b = sky[i], c = sky[std::min(*hi, i + 1)];
    smooth[i] = (a + 2 * b + c) * 0.25;
  }
}

// Peaks of a skyline, highest first; a lower peak counts only when the
// skyline dips by `notch` between it and every peak already taken. Returns
// how many, sorted left to right.
int32_t SkylinePeaks(const double* smooth, int32_t lo, int32_t hi, double notch, int32_t* peaks) {
  int32_t peakCount = 0;
  for (int32_t guard = 0; guard < kMaxCandidates; ++guard) {
    int32_t best = -1;
    for (int32_t i = lo; i <= hi; ++i) {
      const bool isMax =
          (i == lo || smooth[i - 1] < smooth[i]) && (i == hi || smooth[i + 1] <= smooth[i]);
      if (!isMax) continue;
      bool taken = false, separated = true;
      for (int32_t p = 0; p < peakCount; ++p) {
        if (peaks[p] == i) taken = true;
        const int32_t a = std::min(i, peaks[p]), b = std::max(i, peaks[p]);
        double lowest = smooth[a];
        for (int32_t j = a; j <= b; ++j) lowest = std::min(lowest, smooth[j]);
        if (smooth[i] - lowest < notch) separated = false;
      }
      if (taken || !separated) continue;
      if (best < 0 || smooth[i] > smooth[best]) best = i;
    }
    if (best < 0) break;
    peaks[peakCount++] = best;
  }
  std::sort(peaks, peaks + peakCount);
  return peakCount;
}

// A candidate per skyline peak, its band reaching to the lowest points
// towards its neighbours, and to the piece's ends [lo, hi] beyond the outer
// peaks.
void AddPeakCandidates(int32_t label, const double* smooth, int32_t lo, int32_t hi,
                       const int32_t* peaks, int32_t peakCount, double origin, Candidate* cands,
                       int32_t* candCount) {
  for (int32_t p = 0; p < peakCount && *candCount < kMaxCandidates; ++p) {
    int32_t bandLo = lo, bandHi = hi;
    if (p > 0) {
      bandLo = peaks[p - 1];
      for (int32_t j = peaks[p - 1]; j <= peaks[p]; ++j) {
        if (smooth[j] < smooth[bandLo]) bandLo = j;
      }
    }
    if (p + 1 < peakCount) {
      bandHi = peaks[p];
      for (int32_t j = peaks[p]; j <= peaks[p + 1]; ++j) {
        if (smooth[j] < smooth[bandHi]) bandHi = j;
      }
    }
    Candidate& c = cands[(*candCount)++];
    c.label = label;
    c.tipHeight = smooth[peaks[p]];
    c.acrossLow = bandLo + origin;
    c.acrossHigh = bandHi + 1 + origin;
    c.acrossPeak = peaks[p] + 0.5 + origin;
    c.area = 0;
    c.meanScore = 0;
    c.weight = 0;
    c.dropped = false;
  }
}

// Candidates of every piece seen in the context's frame. Returns 0 or 19.
int32_t FindCandidates(const Context& ctx, const Pieces& pieces, Candidate* cands,
                       int32_t* candCount) {
  *candCount = 0;
  const double diag = std::hypot(ctx.map.rows, ctx.map.columns);
  const int32_t bins = std::min(kMaxBins, static_cast<int32_t>(2 * diag) + 4);
  const double origin = -diag - 1;
  Buffer<double> sky, smooth;
  if (!sky.Reset(bins) || !smooth.Reset(bins)) return VANTREL_OUT_OF_MEMORY;
  const double notch = kNotchMm * ctx.g.blocksPerMm;
  for (int32_t ci = 0; ci < pieces.count && *candCount < kMaxCandidates; ++ci) {
    const int32_t label = pieces.comps[ci].label;
    int32_t lo = 0, hi = 0, spanLo = 0, spanHi = 0;
    Skyline(ctx, label, bins, origin, sky.get(), smooth.get(), &lo, &hi, &spanLo, &spanHi);
    int32_t peaks[kMaxCandidates];
    const int32_t peakCount = SkylinePeaks(smooth.get(), lo, hi, notch, peaks);
    AddPeakCandidates(label, smooth.get(), spanLo, spanHi, peaks, peakCount, origin, cands,
                      candCount);
  }
  return VANTREL_OK;
}

// A piece standing below a higher fingertip in the same band is a lower
// segment (or the palm) of that finger; weightless pieces go too.
void DropLowerSegments(const Geometry& g, Candidate* cands, int32_t candCount) {
  const double segmentDrop = kSegmentDropMm * g.blocksPerMm;
  const double peakMargin = kPeakMarginMm * g.blocksPerMm;
  for (int32_t i = 0; i < candCount; ++i) {
    Candidate& x = cands[i];
    if (x.weight <= 0) x.dropped = true;
    for (int32_t j = 0; j < candCount && !x.dropped; ++j) {
      const Candidate& y = cands[j];
      if (i == j || y.weight <= 0) continue;
      const double overlap =
          std::min(x.acrossHigh, y.acrossHigh) - std::max(x.acrossLow, y.acrossLow);
      const double narrower = std::min(x.acrossHigh - x.acrossLow, y.acrossHigh - y.acrossLow);
      // The higher tip stands over the piece and the piece's own top under
      // the higher finger: a band spanning two fingers does not make the
      // neighbour's separate top segment a lower one, either way round.
      const bool over =
          y.acrossPeak >= x.acrossLow - peakMargin && y.acrossPeak <= x.acrossHigh + peakMargin &&
          x.acrossPeak >= y.acrossLow - peakMargin && x.acrossPeak <= y.acrossHigh + peakMargin;
      if (overlap > 0.5 * narrower && over && x.tipHeight < y.tipHeight - segmentDrop) {
        x.dropped = true;
      }
    }
  }
}

// The strongest remaining pieces, as many as sought, measured; pieces far
// weaker than the typical finger (a scrap of print, a neighbouring card box)
// go. source[] receives each tip's candidate; returns how many were taken.
int32_t RefineStrongest(const Context& ctx, const Candidate* cands, int32_t candCount,
                        int32_t maxFingers, double weakShare, TipBox* tips, int32_t* source,
                        double* strength) {
  int32_t order[kMaxCandidates];
  int32_t kept = 0;
  for (int32_t i = 0; i < candCount; ++i) {
    if (!cands[i].dropped) order[kept++] = i;
  }
  std::stable_sort(order, order + kept,
                   [&](int32_t a, int32_t b) { return cands[a].weight > cands[b].weight; });
  kept = std::min(kept, maxFingers);
  if (kept == 0) return 0;
  const double typical = cands[order[(kept - 1) / 2]].weight;
  int32_t taken = 0;
  for (int32_t i = 0; i < kept; ++i) {
    if (cands[order[i]].weight < weakShare * typical) continue;
    TipBox box;
    if (RefineCandidate(ctx, cands[order[i]], Radians(kMaxBendDeg), LengthPrior(), &box)) {
      source[taken] = order[i];
      tips[taken++] = box;
      *strength += cands[order[i]].weight;
    }
  }
  return taken;
}

// Fingers of one hand lean within a few degrees of each other; one that
// turned far from the others was led off by damage at its edge (a punched
// hole, a blot) and is traced again held near the search direction.
void HoldOddLeans(const Context& ctx, const Candidate* cands, const int32_t* source, int32_t taken,
                  TipBox* tips, bool* held) {
  if (taken < 3) return;
  const double median = MedianTilt(tips, taken);
  for (int32_t i = 0; i < taken; ++i) {
    if (std::fabs(tips[i].tilt - median) <= Radians(kOddLeanDeg)) continue;
    TipBox box;
    if (RefineCandidate(ctx, cands[source[i]], Radians(kHeldBendDeg), LengthPrior(), &box)) {
      tips[i] = box;
      held[i] = true;
    }
  }
}

// Median of tips[].*field over `taken` tips.
double MedianOf(const TipBox* tips, int32_t taken, double TipBox::*field) {
  double values[kMaxSlapFingers];
  for (int32_t i = 0; i < taken; ++i) values[i] = tips[i].*field;
  std::nth_element(values, values + taken / 2, values + taken);
  return values[taken / 2];
}

// The shortest centre to centre step between two of the tips.
double NearestStep(const TipBox* tips, int32_t n) {
  double step = 1e300;
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t j = i + 1; j < n; ++j) {
      step = std::min(step, std::hypot(tips[i].cx - tips[j].cx, tips[i].cy - tips[j].cy));
    }
  }
  return step;
}

// Moves t's lower end down so that it is `length` long, its tip kept.
void LengthenDown(TipBox* t, double length) {
  const BoxAxes box(*t);
  const double down = -0.5 * (length - t->height);
  t->cx = box.X(0, down);
  t->cy = box.Y(0, down);
  t->height = length;
}

// A width far below the others' was eaten into at an edge (a hole, a blot,
// a faint side) and takes theirs; none is narrower or shorter than a
// fingertip can be, and one on a patch of a dry print takes its size from
// the hand's pitch.
void HoldToTipSize(const Context& ctx, double typicalWidth, TipBox* tips, int32_t n) {
  const auto px = [&ctx](double mm) { return mm * ctx.work.ppi / kMmPerInch; };
  const double leastWidth = px(kLeastTipWidthMm), leastLength = px(kLeastTipLengthMm);
  const double step = NearestStep(tips, n);
  for (int32_t i = 0; i < n; ++i) {
    if (tips[i].width < kNarrow * typicalWidth) tips[i].width = kNarrowed * typicalWidth;
    const bool patch = tips[i].width < leastWidth && tips[i].height < leastLength;
    tips[i].width = std::max(tips[i].width, leastWidth);
    if (tips[i].height < leastLength) LengthenDown(&tips[i], leastLength);
    if (!patch || n < kPatchHandTips) continue;
    const double width =
        std::min(std::max(step / kPatchPitchWidths, leastWidth), px(kPatchWidestMm));
    tips[i].width = width;
    if (kPatchLengthWidths * width > tips[i].height) {
      LengthenDown(&tips[i], kPatchLengthWidths * width);
    }
  }
}

// With two fingers or more, each is held to the others (for thumbs the larger
// of the two stands as the reference). The top segments of one hand differ
// little in length: a crease taken far from the others' (a dip at a core or a
// blot above it, a faint one passed over), or on a finger far narrower than
// the others, whose crease window was too short, is looked for again near
// their median length. A tip cut by the image's edge with less than kCutOff
// of the typical width, or of its top segment (its box, grown down to
// kCutTipLength of the typical length: a tip cut by the bottom edge is boxed
// short), inside goes: most of it lies off the image. The tips kept are held
// to a fingertip's size (HoldToTipSize).
// Returns the tips kept.
int32_t HoldToHand(const Context& ctx, const Candidate* cands, const int32_t* source,
                   const bool* held, int32_t taken, TipBox* tips) {
  if (taken < 2) return taken;
  const double typicalLength = MedianOf(tips, taken, &TipBox::height);
  const double typicalWidth = MedianOf(tips, taken, &TipBox::width);
  for (int32_t i = 0; i < taken; ++i) {
    if (std::fabs(std::log(tips[i].height / typicalLength)) <= kOddLength &&
        tips[i].width >= kNarrow * typicalWidth) {
      continue;
    }
    LengthPrior prior;
    prior.length = typicalLength;
    prior.weight = 2.0;
    TipBox box;
    const double bend = held[i] ? Radians(kHeldBendDeg) : Radians(kMaxBendDeg);
    if (RefineCandidate(ctx, cands[source[i]], bend, prior, &box)) tips[i] = box;
  }
  int32_t inside = 0;
  for (int32_t i = 0; i < taken; ++i) {
    if (tips[i].width < kCutOff * typicalWidth && AtBorder(ctx, tips[i])) continue;
    TipBox whole = tips[i];
    if (whole.height < kCutTipLength * typicalLength) {
      LengthenDown(&whole, kCutTipLength * typicalLength);
    }
    if (InsideShare(ctx, whole) < kCutOff) continue;
    tips[inside++] = tips[i];
  }
  HoldToTipSize(ctx, typicalWidth, tips, inside);
  return inside;
}

// Fingers of one hand do not overlap, nor stand one under another: of two
// boxes sharing much (pieces of one finger cut up by voids, or a thumb taken
// as two fingers) the smaller goes, and a box under another is its lower
// segment or the palm. Returns the tips kept.
int32_t DropOverlaps(TipBox* tips, int32_t taken) {
  bool gone[kMaxSlapFingers] = {false, false, false, false, false};
  for (int32_t i = 0; i < taken; ++i) {
    for (int32_t j = 0; j < taken; ++j) {
      if (i == j || gone[i] || gone[j]) continue;
      const Stance stance = StanceOf(tips[i], tips[j]);
      // Of two the same size (one piece found twice), the later goes.
      const double areaI = tips[i].width * tips[i].height, areaJ = tips[j].width * tips[j].height;
      const bool smaller = areaJ < areaI || (areaJ == areaI && j > i);
      if (stance.under || (stance.shared > kSharedShare && smaller)) gone[j] = true;
    }
  }
  int32_t kept = 0;
  for (int32_t i = 0; i < taken; ++i) {
    if (!gone[i]) tips[kept++] = tips[i];
  }
  return kept;
}

struct Found {
  TipBox tips[kMaxSlapFingers];
  int32_t count = 0;
  double strength = 0;  // sum of the kept candidates' weights
  double bend = 0;      // how far their axes, traced freely, turned from phi (see Bend)
};

// Candidates seen in the hand's direction phi: peaks of each piece's outline,
// lower segments under a higher tip dropped, the strongest kept and measured,
// left to right across the hand.
int32_t SearchAtAngle(const Search& s, double phi, Found* out) {
  *out = Found();
  const Context ctx{s.work,     s.map,    s.pieces.labels.get(), s.pieces.outline.get(), s.g,
                    Frame(phi), s.scratch};
  Candidate cands[kMaxCandidates];
  int32_t candCount = 0;
  const int32_t status = FindCandidates(ctx, s.pieces, cands, &candCount);
  if (status != VANTREL_OK || candCount == 0) return status;
  for (int32_t i = 0; i < candCount; ++i) MeasureCandidate(ctx, &cands[i]);
  DropLowerSegments(s.g, cands, candCount);
  int32_t source[kMaxSlapFingers];
  bool held[kMaxSlapFingers] = {false, false, false, false, false};
  int32_t taken = RefineStrongest(ctx, cands, candCount, s.maxFingers, s.weakShare, out->tips,
                                  source, &out->strength);
  out->bend = Bend(out->tips, taken, phi);
  HoldOddLeans(ctx, cands, source, taken, out->tips, held);
  taken = HoldToHand(ctx, cands, source, held, taken, out->tips);
  taken = DropOverlaps(out->tips, taken);
  std::stable_sort(out->tips, out->tips + taken,
                   [](const TipBox& a, const TipBox& b) { return a.across < b.across; });
  for (int32_t i = 0; i < taken; ++i) out->tips[i].slot = i;
  out->count = taken;
  return VANTREL_OK;
}

// The slants searched so far and the best result.
struct SlantSearch {
  const Search& s;
  Found best;
  double phi = 0;
  double tried[6] = {};
  int32_t triedCount = 0;

  // Searches along phiTry unless a slant that close was searched; keeps the
  // result when it holds more fingers, or as many bending less, or (follow)
  // as many bending about as little, stronger, and closer to their search
  // direction than the best to its own: following axes that turn further
  // each time (bent dry fingers) would drift off the hand.
  int32_t Attempt(double phiTry, bool follow) {
    for (int32_t i = 0; i < triedCount; ++i) {
      if (std::fabs(tried[i] - phiTry) < Radians(kSameSlantDeg)) return VANTREL_OK;
    }
    if (triedCount >= 6) return VANTREL_OK;
    tried[triedCount++] = phiTry;
    Found other;
    const int32_t status = SearchAtAngle(s, phiTry, &other);
    if (status != VANTREL_OK) return status;
    const double same = Radians(kSameSlantDeg);
    const auto converges = [&] {
      return best.count == 0 || std::fabs(MedianTilt(other.tips, other.count) - phiTry) <
                                    std::fabs(MedianTilt(best.tips, best.count) - phi);
    };
    const bool better =
        other.count > best.count ||
        (other.count == best.count &&
         (other.bend < best.bend - same || (follow && other.bend <= best.bend + same &&
                                            other.strength >= best.strength && converges())));
    if (better) {
      best = other;
      phi = phiTry;
    }
    return VANTREL_OK;
  }
};

}  // namespace

Stance StanceOf(const TipBox& a, const TipBox& b) {
  const AxisOffset o = OffsetFrom(a, b.cx, b.cy);
  const double across = o.across, up = o.up;
  const double commonAcross = std::min(0.5 * a.width, across + 0.5 * b.width) -
                              std::max(-0.5 * a.width, across - 0.5 * b.width);
  const double commonUp = std::min(0.5 * a.height, up + 0.5 * b.height) -
                          std::max(-0.5 * a.height, up - 0.5 * b.height);
  Stance stance;
  if (commonAcross <= 0) return stance;
  const double smaller = std::min(a.width * a.height, b.width * b.height);
  if (commonUp > 0 && smaller > 0) stance.shared = commonAcross * commonUp / smaller;
  stance.under = up + 0.5 * b.height <= -kUnderTop * a.height &&
                 commonAcross >= kUnderShare * std::min(a.width, b.width);
  return stance;
}

double Clamp(double v, double lo, double hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

double MedianTilt(const TipBox* tips, int32_t count) {
  return Median(tips, count, &TipBox::tilt);
}

int32_t FindFingertips(const WorkingImage& work, const BlockMap& map, int32_t maxFingers,
                       TipBox* tips, int32_t* count, double* handAngle, Pieces* shared,
                       double weakShare) {
  *count = 0;
  *handAngle = 0;
  Geometry g;
  g.mmPerBlock = map.blockSize * kMmPerInch / work.ppi;
  g.blocksPerMm = 1.0 / g.mmPerBlock;
  Pieces own;
  Pieces& pieces = shared != nullptr ? *shared : own;
  int32_t status = pieces.found ? VANTREL_OK : FindPieces(map, g, &pieces);
  if (status != VANTREL_OK || pieces.count == 0) return status;
  double phi = 0, pieceAngle = 0;
  status = OutlineDirection(map, pieces, g, maxFingers, &phi, &pieceAngle);
  if (status != VANTREL_OK) return status;
  Buffer<Scratch> scratch;
  if (!scratch.Reset(1)) return VANTREL_OUT_OF_MEMORY;
  // The fingers' own axes correct the hand's direction when the outline
  // misjudged it (fingers of very different heights, or touching ones, make
  // peaks of their own at a slant): fingers traced at the right angle keep
  // about its direction, at a wrong one they bend away from it. The search
  // follows the fingers' median axis, then tries the pieces' direction and
  // upright, and keeps the most fingers, then the most self-consistent.
  const Search search{work, map, pieces, g, maxFingers, weakShare, scratch.get()};
  SlantSearch slants{search, Found(), phi};
  status = SearchAtAngle(search, phi, &slants.best);
  if (status != VANTREL_OK) return status;
  slants.tried[slants.triedCount++] = phi;
  for (int32_t round = 0; round < 2 && slants.best.count >= 1; ++round) {
    const double phi2 = MedianTilt(slants.best.tips, slants.best.count);
    const double follow = slants.best.count < maxFingers ? kFollowShortDeg : kFollowDeg;
    if (std::fabs(phi2 - slants.phi) <= Radians(follow)) break;
    status = slants.Attempt(phi2, true);
    if (status != VANTREL_OK) return status;
  }
  if (slants.best.count < maxFingers || slants.best.bend > Radians(kBentDeg)) {
    status = slants.Attempt(pieceAngle, false);
    if (status == VANTREL_OK) status = slants.Attempt(0.0, false);
    if (status != VANTREL_OK) return status;
    if (slants.best.count >= 1) {
      status = slants.Attempt(MedianTilt(slants.best.tips, slants.best.count), true);
      if (status != VANTREL_OK) return status;
    }
  }
  for (int32_t i = 0; i < slants.best.count; ++i) tips[i] = slants.best.tips[i];
  *count = slants.best.count;
  *handAngle = slants.phi;
  return VANTREL_OK;
}

}  // namespace slap
}  // namespace vtl
