// Finger shapes and their placement in an upright hand, in inches.
#include <algorithm>
#include <cmath>

#include "synth_internal.h"

namespace vsynth {
namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;
constexpr double kMillimetre = 1.0 / 25.4;

double Clamp(double x, double lo, double hi) {
  return x < lo ? lo : (x > hi ? hi : x);
}

// Horizontal position of the finger's axis at hand-frame height y.
double AxisX(const FingerModel& f, double y) {
  return f.tipX - (y - f.tipY) * std::tan(f.lean);
}

// Along-finger coordinate of the axis point at hand-frame height y.
double AxisV(const FingerModel& f, double y) {
  return (y - f.tipY) / std::cos(f.lean);
}

void DrawRidgeFlow(FingerModel& f, bool thumb, Rng& rng) {
  f.period = rng.Uniform(thumb ? 0.50 : 0.45, thumb ? 0.62 : 0.60) * kMillimetre;
  const double a = f.width / 2;
  const double kind = rng.Unit();
  f.pattern =
      kind < 0.3 ? RidgePattern::kWhorl : (kind < 0.82 ? RidgePattern::kLoop : RidgePattern::kArch);
  f.coreV = f.topLength * rng.Uniform(0.38, 0.55);
  double tilt = 0;
  switch (f.pattern) {
    case RidgePattern::kWhorl:
      f.coreU = a * rng.Uniform(-0.15, 0.15);
      f.coreBack = f.coreFront = rng.Uniform(0.0, 0.08);
      tilt = rng.Uniform(-20, 20);
      break;
    case RidgePattern::kLoop:
      f.coreU = a * rng.Uniform(-0.25, 0.25);
      f.coreBack = 0;
      f.coreFront = 2 * a;
      tilt = rng.Uniform(30, 65) * (rng.Chance(0.5) ? 1 : -1);
      break;
    case RidgePattern::kArch:
      f.coreU = a * rng.Uniform(-0.15, 0.15);
      f.archWidth = a * rng.Uniform(0.4, 0.8);
      f.archHeight = f.archWidth * rng.Uniform(0.2, 0.5);
      break;
  }
  f.coreCos = std::cos(tilt * kDegree);
  f.coreSin = std::sin(tilt * kDegree);
  f.blendStart = f.coreV + rng.Uniform(0.06, 0.15);
  f.blendEnd = std::max(f.blendStart + 0.2, f.topLength + rng.Uniform(0.0, 0.15));
  // The ring and arch flows exceed the plain distance below the core by
  // about this much on average across the finger.
  f.lowerOffset = f.pattern == RidgePattern::kArch   ? 0.5 * f.archHeight
                  : f.pattern == RidgePattern::kLoop ? 0.2 * a
                                                     : 0.3 * a - f.coreFront;
  f.lowerWave = rng.Uniform(0.005, 0.04);
  f.lowerWaveLength = rng.Uniform(0.6, 1.4);
  for (int k = 0; k < 2; ++k) {
    const double wavelength = rng.Uniform(0.3, 0.8);
    const double direction = rng.Uniform(0, 180) * kDegree;
    const double k2pi = 2 * 3.14159265358979323846 / wavelength;
    f.warpAmp[k] = f.period * rng.Uniform(0.15, 0.5);
    f.warpKu[k] = k2pi * std::cos(direction);
    f.warpKv[k] = k2pi * std::sin(direction);
    f.warpPhase[k] = rng.Uniform(0, 2 * 3.14159265358979323846);
  }
}

// Shape of one finger (tip at the origin, upright); length scale s.
FingerModel DrawFinger(int position, double width, double topLength, double segment2,
                       double segment3, bool thumb, Rng& rng) {
  FingerModel f;
  f.position = position;
  f.width = width;
  f.topLength = topLength;
  f.tipRound = topLength * rng.Uniform(thumb ? 0.54 : 0.57, thumb ? 0.6 : 0.66);
  const double a = width / 2;
  f.lowerHalfWidth = a * rng.Uniform(thumb ? 0.88 : 0.8, thumb ? 1.0 : 0.92);
  f.lowerTaper = rng.Uniform(0.0, thumb ? 0.12 : 0.05);
  f.creases.push_back(topLength);
  f.creaseWidths.push_back(rng.Uniform(0.035, 0.08));
  f.pressures.push_back(rng.Uniform(0.6, 1.0));
  f.pressures.push_back(f.pressures[0] * rng.Uniform(0.4, 0.75));
  double end = topLength + segment2;
  if (!thumb) {
    f.creases.push_back(end);
    f.creaseWidths.push_back(rng.Uniform(0.03, 0.08));
    f.pressures.push_back(f.pressures[1] * rng.Uniform(0.5, 0.9));
    end += segment3;
  }
  f.end = end + rng.Uniform(-0.1, 0.15);
  f.fade = rng.Uniform(0.12, 0.35);
  f.creaseDepth = rng.Uniform(0.75, 1.0);
  f.creaseCurve = rng.Uniform(-0.02, 0.05);
  f.seed = rng.Fork();
  DrawRidgeFlow(f, thumb, rng);
  return f;
}

// Places `right` beside `left`; touching neighbours whose fingertips kept them
// apart get wider lower segments until the prints meet.
void PlaceBeside(FingerModel& left, FingerModel& right, bool touching, double bottom, Rng& rng) {
  const double topGap = touching ? rng.Uniform(0.03, 0.1) : rng.Uniform(0.06, 0.25);
  const double lowGap = touching ? -rng.Uniform(0.0, 0.06) : rng.Uniform(0.04, 0.2);
  const double lowest = PlaceGap(left, right, topGap, lowGap, bottom);
  if (touching && lowest > -0.01) {
    const double grow = (lowest + 0.02) / 2;
    left.lowerHalfWidth += grow;
    right.lowerHalfWidth += grow;
  }
}

}  // namespace

double PlaceGap(const FingerModel& left, FingerModel& right, double topGap, double lowGap,
                double bottom) {
  const double top = std::max(left.tipY, right.tipY);
  double shift = -1e9;
  for (int i = 0; i <= 200; ++i) {
    const double y = top + (bottom - top) * i / 200.0;
    const double vl = AxisV(left, y), vr = AxisV(right, y);
    const double hl = left.HalfWidthAt(vl), hr = right.HalfWidthAt(vr);
    if (hl <= 0 || hr <= 0) continue;
    const double gap = (AxisX(right, y) - hr) - (AxisX(left, y) + hl);
    const bool tipRow = vl < left.topLength + 0.05 || vr < right.topLength + 0.05;
    shift = std::max(shift, (tipRow ? topGap : lowGap) - gap);
  }
  if (shift < -1e8) shift = 0;
  right.tipX += shift;
  // Lower parts: just under the lower of the two first creases, where
  // touching prints are seen to meet.
  double lowest = 1e9, start = -1;
  for (int i = 0; i <= 200; ++i) {
    const double y = top + (bottom - top) * i / 200.0;
    const double vl = AxisV(left, y), vr = AxisV(right, y);
    if (vl < left.topLength + 0.05 || vr < right.topLength + 0.05) continue;
    if (start < 0) start = y;
    if (y > start + 0.4) break;
    const double hl = left.HalfWidthAt(vl), hr = right.HalfWidthAt(vr);
    if (hl <= 0 || hr <= 0) continue;
    lowest = std::min(lowest, (AxisX(right, y) - hr) - (AxisX(left, y) + hl));
  }
  return lowest;
}

double FingerModel::HalfWidthAt(double v) const {
  if (v < 0 || v > end + fade) return 0;
  if (v <= topLength) {
    const double t = (v - tipRound) / tipRound;
    return t >= 1 ? 0 : 0.5 * width * std::sqrt(1 - t * t);
  }
  return lowerHalfWidth + lowerTaper * (v - topLength);
}

double FingerModel::MaxHalfWidth() const {
  return std::max(0.5 * width, lowerHalfWidth + lowerTaper * (end + fade - topLength));
}

HandModel LayOutHand(int hand, bool touching, double widthInches, double heightInches, Rng& rng) {
  HandModel model;
  const bool thumbs = hand == 15;
  model.widthInches = widthInches > 0 ? widthInches : (thumbs ? 2.4 : 3.2);
  model.heightInches = heightInches > 0 ? heightInches : (thumbs ? 2.0 : 3.0);
  const double scale = rng.Uniform(0.92, 1.08);
  // Far enough down for any rotation of the image.
  const double bottom =
      std::sqrt(model.widthInches * model.widthInches + model.heightInches * model.heightInches);
  if (thumbs) {
    for (int i = 0; i < 2; ++i) {
      const double width = Clamp(rng.Uniform(0.76, 0.95) * scale, 0.7, 1.0);
      const double top = rng.Uniform(1.02, 1.28) * scale;
      FingerModel f = DrawFinger(i == 0 ? 6 : 1, width, top, rng.Uniform(0.8, 1.2), 0, true, rng);
      // Thumbs lean towards each other.
      f.lean = (i == 0 ? 1 : -1) * rng.Uniform(0.0, 12.0) * kDegree;
      f.tipY = rng.Uniform(-0.12, 0.12);
      model.fingers.push_back(f);
    }
    PlaceBeside(model.fingers[0], model.fingers[1], touching, bottom, rng);
  } else {
    const double base = rng.Uniform(0.56, 0.74);
    const double widths[4] = {base * rng.Uniform(0.96, 1.03), base * rng.Uniform(1.0, 1.06),
                              base * rng.Uniform(0.94, 1.0),
                              std::max(0.5, base * rng.Uniform(0.86, 0.94))};
    const double tops[4] = {0.95, 1.02, 0.98, 0.86};
    const double drops[4] = {rng.Uniform(0.12, 0.5), 0.0, rng.Uniform(0.05, 0.4),
                             rng.Uniform(0.6, 1.1)};
    const double fan = rng.Uniform(-2.0, 5.0);
    for (int i = 0; i < 4; ++i) {
      const double top = tops[i] * scale * rng.Uniform(0.95, 1.05);
      const double shorter = i == 3 ? 0.8 : 1.0;
      FingerModel f = DrawFinger(2 + i, widths[i], top, rng.Uniform(0.7, 0.9) * scale * shorter,
                                 rng.Uniform(0.35, 0.9) * scale * shorter, false, rng);
      f.lean = (fan * (i - 1.5) / 1.5 + 1.5 * rng.Normal()) * kDegree;
      f.tipY = drops[i] * scale;
      model.fingers.push_back(f);
    }
    for (int i = 0; i + 1 < 4; ++i) {
      PlaceBeside(model.fingers[i], model.fingers[i + 1], touching, bottom, rng);
    }
  }
  // Centre the top segments across and put the highest tip near the top.
  double minX = 1e9, maxX = -1e9, highest = 1e9;
  for (const auto& f : model.fingers) {
    minX = std::min(minX, f.tipX - f.width / 2);
    maxX = std::max(maxX, f.tipX + f.width / 2);
    highest = std::min(highest, f.tipY);
  }
  const double dx = -(minX + maxX) / 2 + rng.Uniform(-0.12, 0.12);
  const double dy = -model.heightInches / 2 + rng.Uniform(0.2, 0.42) - highest;
  for (auto& f : model.fingers) {
    f.tipX += dx;
    f.tipY += dy;
  }
  return model;
}

}  // namespace vsynth
