// A finger's axis and width traced on the block grid: from the tip down the
// midline of its piece, past touching neighbours.
#include "slap/finger_axis.h"

#include <algorithm>
#include <cmath>

namespace vtl {
namespace slap {
namespace {

constexpr double kStep = 0.5;  // blocks between levels and along runs

bool OnPiece(const Context& ctx, int32_t label, double x, double y) {
  if (x < 0 || y < 0) return false;
  const int32_t ix = static_cast<int32_t>(x), iy = static_cast<int32_t>(y);
  if (ix >= ctx.map.columns || iy >= ctx.map.rows) return false;
  return ctx.labels[static_cast<std::size_t>(iy) * ctx.map.columns + ix] == label;
}

// The candidate's outline peak, nudged inside its piece; false when the piece
// is not found below it.
bool StartInside(const Context& ctx, const Candidate& c, double* px, double* py) {
  const Frame& f = ctx.frame;
  *px = c.acrossPeak * f.rx + c.tipHeight * f.ux + 0.5;
  *py = c.acrossPeak * f.ry + c.tipHeight * f.uy + 0.5;
  *px -= 0.5 * f.ux;
  *py -= 0.5 * f.uy;
  if (OnPiece(ctx, c.label, *px, *py)) return true;
  for (double d = 0.5; d <= 2.0; d += 0.5) {
    if (OnPiece(ctx, c.label, *px - d * f.ux, *py - d * f.uy)) {
      *px -= d * f.ux;
      *py -= d * f.uy;
      return true;
    }
  }
  return false;
}

// Distance from (px, py) up (vx, vy) to the end of the piece.
double WalkToTip(const Context& ctx, int32_t label, double px, double py, double vx, double vy) {
  const double limit = kTipWalkMm * ctx.g.blocksPerMm;
  double t = 0;
  while (t < limit && (OnPiece(ctx, label, px + (t + 0.5) * vx, py + (t + 0.5) * vy) ||
                       OnPiece(ctx, label, px + (t + 1.0) * vx, py + (t + 1.0) * vy))) {
    t += 0.5;
  }
  return t;
}

// Distance from (ax, ay) along (dx, dy) to where the piece ends, gaps of up
// to kBridgeMm within it crossed (ink voids of a dry print, a blotch without
// ridges), or to the edge of the candidate's band, where a touching
// neighbour takes over (*clipped set). `from`: where the piece starts.
double RunTo(const Context& ctx, const Candidate& c, double ax, double ay, double dx, double dy,
             double from, bool* clipped) {
  const double maxHalf = kMaxHalfWidthMm * ctx.g.blocksPerMm;
  const double bridge = kBridgeMm * ctx.g.blocksPerMm;
  auto inBand = [&](double x, double y) {
    const double a = ctx.frame.Across(x - 0.5, y - 0.5);
    return a >= c.acrossLow - 1.5 && a <= c.acrossHigh + 1.5;
  };
  auto on = [&](double l) { return OnPiece(ctx, c.label, ax + l * dx, ay + l * dy); };
  double l = from;
  *clipped = false;
  for (;;) {
    while (l < maxHalf && (on(l + 0.5) || on(l + 1.0))) {
      if (!inBand(ax + (l + 0.5) * dx, ay + (l + 0.5) * dy)) {
        *clipped = true;
        return l;
      }
      l += 0.5;
    }
    double resume = l + 1.5;
    while (resume <= l + bridge && resume < maxHalf && !on(resume)) resume += 0.5;
    if (resume > l + bridge || resume >= maxHalf || !inBand(ax + resume * dx, ay + resume * dy)) {
      return l;
    }
    l = resume - 0.5;
  }
}

// Distance from (ax, ay) along (dx, dy) to the piece, within kBridgeMm; -1
// when it is not there.
double GapTo(const Context& ctx, const Candidate& c, double ax, double ay, double dx, double dy) {
  const double bridge = kBridgeMm * ctx.g.blocksPerMm;
  for (double l = 0.5; l <= bridge; l += 0.5) {
    if (OnPiece(ctx, c.label, ax + l * dx, ay + l * dy)) return l;
  }
  return -1;
}

// The piece's run across the axis at every level below the tip.
void MeasureLevels(const Context& ctx, const Candidate& c, double tipX, double tipY, double tilt,
                   int32_t levels) {
  Scratch& s = *ctx.scratch;
  const double vx = std::sin(tilt), vy = -std::cos(tilt);
  const double nx = std::cos(tilt), ny = std::sin(tilt);
  for (int32_t k = 0; k < levels; ++k) {
    const double ax = tipX - (k + 0.5) * kStep * vx, ay = tipY - (k + 0.5) * kStep * vy;
    // On a void, the piece on both sides within a bridge still makes a level.
    double fromLeft = 0, fromRight = 0;
    s.valid[k] = OnPiece(ctx, c.label, ax, ay);
    if (!s.valid[k]) {
      fromLeft = GapTo(ctx, c, ax, ay, -nx, -ny);
      fromRight = GapTo(ctx, c, ax, ay, nx, ny);
      s.valid[k] = fromLeft > 0 && fromRight > 0;
    }
    if (!s.valid[k]) continue;
    bool clippedLeft = false, clippedRight = false;
    s.left[k] = -RunTo(ctx, c, ax, ay, -nx, -ny, fromLeft, &clippedLeft);
    s.right[k] = RunTo(ctx, c, ax, ay, nx, ny, fromRight, &clippedRight);
    s.free[k] = !clippedLeft && !clippedRight;
    s.side[k] = clippedLeft ? (clippedRight ? 0 : 1) : (clippedRight ? -1 : 0);
  }
}

// Typical width a little below the tip, where touching fingers part; when
// the finger touches all along (*clippedAll), the band's share has to do.
bool TypicalWidth(const Context& ctx, int32_t levels, double* typical, bool* clippedAll) {
  Scratch& s = *ctx.scratch;
  const double perMm = ctx.g.blocksPerMm;
  int32_t m = 0;
  const int32_t k0 = static_cast<int32_t>(kWidthFromMm * perMm / kStep);
  const int32_t k1 = std::min(levels, static_cast<int32_t>(kWidthToMm * perMm / kStep));
  for (int32_t k = k0; k < k1; ++k) {
    if (s.valid[k] && s.free[k]) s.widths[m++] = s.right[k] - s.left[k] + 0.5;
  }
  *clippedAll = m < 3;
  if (*clippedAll) {
    m = 0;
    for (int32_t k = k0; k < k1; ++k) {
      if (s.valid[k]) s.widths[m++] = s.right[k] - s.left[k] + 0.5;
    }
  }
  if (m < 3) return false;
  std::nth_element(s.widths, s.widths + m / 2, s.widths + m);
  *typical = s.widths[m / 2];
  return true;
}

// Moves (*px, *py) down (vx, vy) by up to `reach` onto the piece; false
// when it is not met.
bool DownOntoPiece(const Context& ctx, int32_t label, double reach, double vx, double vy,
                   double* px, double* py) {
  for (double d = 0; d <= reach; d += kStep) {
    if (OnPiece(ctx, label, *px - d * vx, *py - d * vy)) {
      *px -= d * vx;
      *py -= d * vy;
      return true;
    }
  }
  return false;
}

struct Midline {
  double slope, offset;  // run middle = offset + slope * distance below the tip
  double width;
};

// Line through the run middles down to `depth` typical widths, and the
// finger's width from the runs that are its own.
bool FitMidline(const Context& ctx, int32_t levels, double depth, double typical, bool clippedAll,
                Midline* out) {
  Scratch& s = *ctx.scratch;
  double n = 0, ss = 0, sm = 0, sss = 0, ssm = 0;
  int32_t kc = 0;
  const int32_t last = std::min(levels, static_cast<int32_t>(depth * typical / kStep));
  for (int32_t k = static_cast<int32_t>(kFitFromMm * ctx.g.blocksPerMm / kStep); k < last; ++k) {
    if (!s.valid[k]) continue;
    const double w = s.right[k] - s.left[k] + 0.5;
    double mid = 0.5 * (s.left[k] + s.right[k]);
    if (!s.free[k] && !clippedAll) {
      // One edge lost to a neighbour: the other edge still places the
      // midline half a width away.
      if (s.side[k] == 0) continue;
      mid = s.side[k] > 0 ? s.right[k] + 0.25 - 0.5 * typical : s.left[k] - 0.25 + 0.5 * typical;
    } else if (w > 1.3 * typical || w < 0.5 * typical) {
      continue;
    }
    const double sLevel = (k + 0.5) * kStep;
    n += 1;
    ss += sLevel;
    sm += mid;
    sss += sLevel * sLevel;
    ssm += sLevel * mid;
    if (k * kStep >= 0.3 * typical && (s.free[k] || clippedAll)) s.kept[kc++] = w;
  }
  if (n < 3) return false;
  const double den = n * sss - ss * ss;
  out->slope = den > 1e-9 ? (n * ssm - ss * sm) / den : 0;
  out->offset = (sm - out->slope * ss) / n;
  out->width = typical;
  if (kc > 0) {
    std::nth_element(s.kept, s.kept + kc * 3 / 4, s.kept + kc);
    out->width = s.kept[kc * 3 / 4];
  }
  return true;
}

}  // namespace

bool TraceFinger(const Context& ctx, const Candidate& c, double depth, double maxBend,
                 FingerAxis* out) {
  const double phi = std::atan2(ctx.frame.ux, -ctx.frame.uy);
  double tilt = phi;
  double px = 0, py = 0;
  if (!StartInside(ctx, c, &px, &py)) return false;
  const int32_t levels =
      std::min(kMaxLevels, static_cast<int32_t>(kTraceLengthMm * ctx.g.blocksPerMm / kStep));
  double width = kStartWidthMm * ctx.g.blocksPerMm;
  for (int32_t round = 0; round < 3; ++round) {
    const double vx = std::sin(tilt), vy = -std::cos(tilt);
    const double nx = std::cos(tilt), ny = std::sin(tilt);
    const double t = WalkToTip(ctx, c.label, px, py, vx, vy);
    const double tipX = px + t * vx, tipY = py + t * vy;
    MeasureLevels(ctx, c, tipX, tipY, tilt, levels);
    double typical = 0;
    bool clippedAll = false;
    Midline line;
    if (!TypicalWidth(ctx, levels, &typical, &clippedAll) ||
        !FitMidline(ctx, levels, depth, typical, clippedAll, &line)) {
      return false;
    }
    width = line.width;
    // Move onto the midline and turn along it. Where the top outline runs
    // at a slant (a thumb pressed flat), the midline meets the piece lower
    // than the old tip did.
    px = tipX + line.offset * nx - 1.0 * vx;
    py = tipY + line.offset * ny - 1.0 * vy;
    tilt = phi + Clamp(tilt - std::atan(line.slope) - phi, -maxBend, maxBend);
    if (!DownOntoPiece(ctx, c.label, line.width, vx, vy, &px, &py)) {
      px = tipX - 1.0 * vx;
      py = tipY - 1.0 * vy;
    }
  }
  // Final tip along the final axis.
  const double vx = std::sin(tilt), vy = -std::cos(tilt);
  const double t = WalkToTip(ctx, c.label, px, py, vx, vy);
  out->tipX = px + t * vx;
  out->tipY = py + t * vy;
  out->tilt = tilt;
  out->width = width;
  return true;
}

}  // namespace slap
}  // namespace vtl
