// A fingertip's top segment measured along its traced axis: the tip where the
// ridge energy begins, the first crease at a dip of it.
#include <algorithm>
#include <cmath>

#include "slap/finger_axis.h"

namespace vtl {
namespace slap {
namespace {

// Block score at a working-image position; 0 outside. `reciprocal`: of the
// block size; positions below 2^32 / block size cover the working image (at
// most 2^16 pixels a side), and beyond, the block only comes out larger.
float ScoreAt(const Context& ctx, uint64_t reciprocal, double x, double y) {
  if (x < 0 || y < 0) return 0;
  const auto block = [&](double p) {
    return DivideByReciprocal(static_cast<uint64_t>(static_cast<int32_t>(p)), reciprocal);
  };
  const uint64_t bx = block(x), by = block(y);
  if (bx >= static_cast<uint64_t>(ctx.map.columns) || by >= static_cast<uint64_t>(ctx.map.rows)) {
    return 0;
  }
  return ctx.map.score[static_cast<std::size_t>(by) * ctx.map.columns + bx];
}

float BandPassAt(const Context& ctx, double x, double y) {
  const int32_t ix = static_cast<int32_t>(x + 0.5), iy = static_cast<int32_t>(y + 0.5);
  if (ix < 0 || iy < 0 || ix >= ctx.work.columns || iy >= ctx.work.rows) return 0;
  return ctx.work.bandPass[static_cast<std::size_t>(iy) * ctx.work.columns + ix];
}

// Moving average of `in` over 2r+1 samples (shorter at the ends).
void Smooth(const double* in, int32_t n, int32_t r, double* out) {
  for (int32_t i = 0; i < n; ++i) {
    double s = 0;
    int32_t c = 0;
    for (int32_t j = std::max(0, i - r); j <= std::min(n - 1, i + r); ++j) {
      s += in[j];
      ++c;
    }
    out[i] = s / c;
  }
}

// Working pixels along a finger: origin at the traced tip, v up the finger,
// n across to the right; sample i lies sHi - i up the axis.
struct AxisFrame {
  double ox, oy, vx, vy, nx, ny;
  double sHi;
  double X(double s) const { return ox + s * vx; }
  double Y(double s) const { return oy + s * vy; }
};

// Ridge energy along the axis over the middle of the finger, smoothed into
// scratch.smooth; scratch.tipProfile holds, per sample, the most of it in any
// of kTipStrips strips along the finger. A crease crosses every strip, but a
// rounded tip or a dry one's voids leave some strips bare where the print
// has begun.
void EnergyProfile(const Context& ctx, const AxisFrame& a, double width, int32_t len) {
  Scratch& sc = *ctx.scratch;
  const double half = kProfileHalfWidth * width;
  const int32_t lateral = std::max(3, static_cast<int32_t>(2 * half / 2));
  int32_t inStrip[kTipStrips] = {};
  for (int32_t j = 0; j <= lateral; ++j) ++inStrip[j * kTipStrips / (lateral + 1)];
  for (int32_t i = 0; i < len; ++i) {
    sc.energy[i] = 0;
    for (int32_t g = 0; g < kTipStrips; ++g) sc.strip[g][i] = 0;
  }
  // One line along the finger at a time: every sample's sums still run
  // across the finger in order.
  const uint64_t reciprocal = DivisionReciprocal(static_cast<uint32_t>(ctx.map.blockSize));
  for (int32_t j = 0; j <= lateral; ++j) {
    const double t = -half + 2 * half * j / lateral;
    double* strip = sc.strip[j * kTipStrips / (lateral + 1)];
    for (int32_t i = 0; i < len; ++i) {
      const double s = a.sHi - i;
      const double x = a.ox + s * a.vx + t * a.nx, y = a.oy + s * a.vy + t * a.ny;
      const float score = ScoreAt(ctx, reciprocal, x, y);
      const float v = BandPassAt(ctx, x, y);
      const double power = score > 0.25f ? v * v : 0;
      sc.energy[i] += power;
      strip[i] += power;
    }
  }
  for (int32_t i = 0; i < len; ++i) {
    sc.energy[i] = sc.energy[i] / (lateral + 1);
    // A finger a few pixels wide leaves a strip without samples.
    for (int32_t g = 0; g < kTipStrips; ++g) {
      sc.strip[g][i] = inStrip[g] > 0 ? sc.strip[g][i] / inStrip[g] : 0;
    }
  }
  const double pxPerMm = ctx.work.ppi / kMmPerInch;
  const int32_t r = std::max(1, static_cast<int32_t>(kProfileSmoothMm * pxPerMm));
  Smooth(sc.energy, len, r, sc.smooth);
  for (int32_t i = 0; i < len; ++i) sc.tipProfile[i] = 0;
  for (int32_t g = 0; g < kTipStrips; ++g) {
    Smooth(sc.strip[g], len, r, sc.stripSmooth);
    for (int32_t i = 0; i < len; ++i)
      sc.tipProfile[i] = std::max(sc.tipProfile[i], sc.stripSmooth[i]);
  }
}

// Reference level of `profile` over the upper part of the segment: the upper
// quartile.
double ReferenceLevel(const Context& ctx, const double* profile, int32_t len) {
  Scratch& sc = *ctx.scratch;
  const double pxPerMm = ctx.work.ppi / kMmPerInch;
  const int32_t i0 = static_cast<int32_t>(kReferenceFromMm * pxPerMm);
  const int32_t i1 = static_cast<int32_t>(kReferenceToMm * pxPerMm);
  int32_t m = 0;
  for (int32_t i = std::max(0, i0); i < std::min(len, i1); ++i) sc.sorted[m++] = profile[i];
  if (m == 0) return 0;
  std::nth_element(sc.sorted, sc.sorted + m * 3 / 4, sc.sorted + m);
  return sc.sorted[m * 3 / 4];
}

// Mean of the profile over [from, to] clipped to [floor, len); 0 when empty,
// *n the samples taken.
double MeanOver(const double* profile, int32_t from, int32_t to, int32_t floor, int32_t* n) {
  double sum = 0;
  *n = 0;
  for (int32_t j = std::max(from, floor); j <= to; ++j) {
    sum += profile[j];
    ++*n;
  }
  return *n > 0 ? sum / *n : 0;
}

// Samples the tip at sample `tip` is carried up across a dark blot over it
// (see kBlotDarkening), sampled on the axis and a quarter width to each side;
// 0 without one.
int32_t BlotAbove(const Context& ctx, const AxisFrame& a, int32_t tip, double width) {
  const double pxPerMm = ctx.work.ppi / kMmPerInch;
  const double step = 0.5 * ctx.map.blockSize;
  const double gap = kBlotGapMm * pxPerMm, reach = kBlotReachMm * pxPerMm;
  const double sTip = a.sHi - tip;
  double top = 0;
  for (double up = step; up <= reach; up += step) {
    double darkness = 0, energy = 0;
    for (int32_t k = -1; k <= 1; ++k) {
      const double t = 0.25 * k * width;
      const int64_t block =
          BlockIndexAt(ctx.map, a.X(sTip + up) + t * a.nx, a.Y(sTip + up) + t * a.ny);
      if (block < 0) continue;
      darkness += ctx.map.darkness[block] / 3.0;
      energy += ctx.map.energy[block] / 3.0;
    }
    const double shade = darkness - ctx.map.paper;
    if (shade >= kBlotDarkening && energy <= kBlotTexture * shade * shade) {
      top = up;
    } else if (top > 0 || up > gap) {
      break;
    }
  }
  return static_cast<int32_t>(top);
}

// First crease: a dip below the level just above it, near the expected
// segment length; the window follows the width, or the length expected from
// the other fingers where the width was misjudged; lengths count from `top`,
// the tip carried over a blot (before sample 0 where it was), the level above
// from `tip`, where the ridges begin. Returns the sample index.
int32_t FindCrease(const Context& ctx, const AxisFrame& a, int32_t len, int32_t tip, int32_t top,
                   double width, double ref, const LengthPrior& prior) {
  const double* es = ctx.scratch->smooth;
  const double pxPerMm = ctx.work.ppi / kMmPerInch;
  const double expected = prior.length > 0 ? prior.length : kExpectedLength * width;
  const int32_t above0 = static_cast<int32_t>(kCreaseAboveFromMm * pxPerMm);
  const int32_t above1 = static_cast<int32_t>(kCreaseAboveToMm * pxPerMm);
  const int32_t below1 = static_cast<int32_t>(kCreaseBelowToMm * pxPerMm);
  const double margin = kEdgeMarginMm * pxPerMm;
  double first = kCreaseFrom * width, last = kCreaseTo * width;
  if (prior.length > 0) {
    first = std::min(first, kPriorFrom * prior.length);
    last = std::max(last, kPriorTo * prior.length);
  }
  int32_t bestI = -1;
  double bestScore = -1e300;
  for (int32_t i = std::max(0, top + static_cast<int32_t>(first));
       i < std::min(len, top + static_cast<int32_t>(last)); ++i) {
    // Past the image border the print is unknown, not ended.
    const double x = a.X(a.sHi - i), y = a.Y(a.sHi - i);
    if (x < margin || y < margin || x > ctx.work.columns - margin || y > ctx.work.rows - margin) {
      continue;
    }
    int32_t m = 0, md = 0;
    const double up = MeanOver(es, i - above1, i - above0, tip, &m);
    const double down = MeanOver(es, i + above0, std::min(len - 1, i + below1), 0, &md);
    if (m == 0) continue;
    const double scale = std::max(up, 0.3 * ref);
    const double depth = (up - es[i]) / scale;
    // A crease has ridges again below it; the end of the print has not,
    // which makes it the weaker sign.
    const double twoSided = Clamp(down / scale, 0.0, 1.0);
    const double length = i - top;
    const double score =
        depth * (0.7 + 0.3 * twoSided) - prior.weight * std::fabs(std::log(length / expected));
    if (score > bestScore) {
      bestScore = score;
      bestI = i;
    }
  }
  return bestI >= 0 ? bestI : std::clamp(top + static_cast<int32_t>(expected), tip, len - 1);
}

}  // namespace

bool RefineCandidate(const Context& ctx, const Candidate& c, double maxBend,
                     const LengthPrior& prior, TipBox* box) {
  const double b = ctx.map.blockSize;
  const double pxPerMm = ctx.work.ppi / kMmPerInch;
  FingerAxis axis;
  // Where the lower segments are lost, the top one alone.
  if (!TraceFinger(ctx, c, kTraceDepth, maxBend, &axis) &&
      !TraceFinger(ctx, c, kShortTraceDepth, maxBend, &axis)) {
    return false;
  }
  const double tilt = axis.tilt;
  const double width = axis.width * b;
  AxisFrame a;
  a.ox = axis.tipX * b;
  a.oy = axis.tipY * b;
  a.vx = std::sin(tilt);
  a.vy = -std::cos(tilt);
  a.nx = std::cos(tilt);
  a.ny = std::sin(tilt);
  a.sHi = kProfileAboveMm * pxPerMm;
  const int32_t len = std::min(kMaxProfile, static_cast<int32_t>(kProfileMm * pxPerMm));
  EnergyProfile(ctx, a, width, len);
  const double ref = ReferenceLevel(ctx, ctx.scratch->smooth, len);
  if (ref <= 0) return false;
  const double tipRef = ReferenceLevel(ctx, ctx.scratch->tipProfile, len);
  int32_t tip = 0;
  while (tip < len && ctx.scratch->tipProfile[tip] < kTipLevel * tipRef) ++tip;
  if (tip >= len) return false;
  const int32_t top = tip - BlotAbove(ctx, a, tip, width);
  const int32_t crease = FindCrease(ctx, a, len, tip, top, width, ref, prior);
  const double sTip = a.sHi - top, sCrease = a.sHi - crease;
  const double sMid = 0.5 * (sTip + sCrease);
  box->cx = a.X(sMid);
  box->cy = a.Y(sMid);
  box->width = width;
  box->height = sTip - sCrease;
  box->tilt = tilt;
  box->across = ctx.frame.Across(box->cx, box->cy);
  box->height_along = ctx.frame.Height(a.X(sTip), a.Y(sTip));
  box->confidence = Clamp(c.meanScore, 0.0, 1.0);
  return true;
}

bool AtBorder(const Context& ctx, const TipBox& t) {
  const double margin = kBorderMm * ctx.work.ppi / kMmPerInch;
  const BoxAxes box(t);
  for (int32_t corner = 0; corner < 4; ++corner) {
    const double a = (corner & 1 ? 0.5 : -0.5) * t.width, u = (corner & 2 ? 0.5 : -0.5) * t.height;
    const double x = box.X(a, u), y = box.Y(a, u);
    if (x < margin || y < margin || x > ctx.work.columns - 1 - margin ||
        y > ctx.work.rows - 1 - margin) {
      return true;
    }
  }
  return false;
}

double InsideShare(const Context& ctx, const TipBox& t) {
  constexpr int32_t kSteps = 8;
  const BoxAxes box(t);
  int32_t in = 0, all = 0;
  for (int32_t i = 0; i <= kSteps; ++i) {
    for (int32_t j = 0; j <= kSteps; ++j) {
      const double a = (static_cast<double>(i) / kSteps - 0.5) * t.width;
      const double u = (static_cast<double>(j) / kSteps - 0.5) * t.height;
      const double x = box.X(a, u), y = box.Y(a, u);
      ++all;
      in += x >= 0 && y >= 0 && x < ctx.work.columns && y < ctx.work.rows ? 1 : 0;
    }
  }
  return static_cast<double>(in) / all;
}

}  // namespace slap
}  // namespace vtl
