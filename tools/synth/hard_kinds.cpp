// The hard kinds of real capture, applied to a laid-out hand: what a dry or
// smudged livescan, a little finger lying low or cut off, large thumbs leaning
// either way under the top edge, and a palm pressed down look like.
#include <algorithm>
#include <cmath>

#include "synth_internal.h"

namespace vsynth {
namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;
// Size of a large thumb's top segment, inches: 22-25 mm across.
constexpr double kLargeThumbWidthMin = 0.86, kLargeThumbWidthMax = 1.0;
constexpr double kLargeThumbAspectMin = 1.25, kLargeThumbAspectMax = 1.45;
// The usual layout's fingertips are about a tenth larger than those marked
// on the real slaps, and its ridges about a seventh coarser (tools/synth/realism
// measures both): the hard kinds come at the real size and period.
constexpr double kRealSizeMin = 0.86, kRealSizeMax = 0.96;
constexpr double kRealPeriodMinMm = 0.42, kRealPeriodMaxMm = 0.52;
constexpr double kThumbPeriodFactor = 1.06;
constexpr double kMillimetre = 1 / 25.4;
constexpr double kLowerDryMin = 0.3, kLowerDryMax = 0.8;
constexpr double kCreaseWidening = 1.3;
// Share of the little fingertip left inside the image when it is cut.
constexpr double kCutInsideMin = 0.25, kCutInsideMax = 0.85;
// The little finger splays outward when it lies low.
constexpr double kLowLittleSplayMaxDeg = 6;

double Clamp(double x, double lo, double hi) {
  return x < lo ? lo : (x > hi ? hi : x);
}

// Scales every length of a finger about its tip; the ridge period stays.
void ScaleFinger(FingerModel& f, double s) {
  f.width *= s;
  f.topLength *= s;
  f.tipRound *= s;
  f.lowerHalfWidth *= s;
  for (double& c : f.creases) c *= s;
  f.end *= s;
  f.fade *= s;
  f.coreU *= s;
  f.coreV *= s;
  f.coreBack *= s;
  f.coreFront *= s;
  f.archHeight *= s;
  f.archWidth *= s;
  f.blendStart *= s;
  f.blendEnd *= s;
  f.lowerOffset *= s;
}

// Far enough down for any rotation of the image.
double Bottom(const HandModel& m) {
  return std::sqrt(m.widthInches * m.widthInches + m.heightInches * m.heightInches);
}

void PlaceAllBeside(HandModel& m, size_t from, bool touching, Rng& rng) {
  for (size_t i = std::max<size_t>(from, 1); i < m.fingers.size(); ++i) {
    const double topGap = touching ? rng.Uniform(0.03, 0.1) : rng.Uniform(0.06, 0.2);
    const double lowGap = touching ? -rng.Uniform(0.0, 0.06) : rng.Uniform(0.04, 0.15);
    PlaceGap(m.fingers[i - 1], m.fingers[i], topGap, lowGap, Bottom(m));
  }
}

// Centres the top segments across the image again.
void CentreAcross(HandModel& m, Rng& rng) {
  double minX = 1e9, maxX = -1e9;
  for (const auto& f : m.fingers) {
    const double centre = f.tipX - std::sin(f.lean) * f.topLength / 2;
    minX = std::min(minX, centre - f.width / 2);
    maxX = std::max(maxX, centre + f.width / 2);
  }
  const double dx = -(minX + maxX) / 2 + rng.Uniform(-0.1, 0.1);
  for (auto& f : m.fingers) f.tipX += dx;
}

void MatchRealSizeAndPeriod(HandModel& m, Rng& rng) {
  const double s = rng.Uniform(kRealSizeMin, kRealSizeMax);
  const bool thumbs = m.fingers.size() == 2;
  for (auto& f : m.fingers) {
    ScaleFinger(f, s);
    // About the top of the image, so that the tips stay near it.
    f.tipX *= s;
    f.tipY = -m.heightInches / 2 + (f.tipY + m.heightInches / 2) * s;
    const double period = rng.Uniform(kRealPeriodMinMm, kRealPeriodMaxMm) * kMillimetre *
                          (thumbs ? kThumbPeriodFactor : 1.0);
    for (double& a : f.warpAmp) a *= period / f.period;
    f.period = period;
    // A livescan prints the lower segments as broken ridges and pores, the
    // creases as wide white bands.
    f.lowerDry = rng.Uniform(kLowerDryMin, kLowerDryMax);
    for (double& w : f.creaseWidths) w *= rng.Uniform(kCreaseWidening, 2 * kCreaseWidening - 1);
  }
}

void ReshapeThumbs(const SlapOptions& o, HandModel& m, Rng& rng) {
  if (m.fingers.size() != 2 || (!o.largeThumbs && !o.thumbLean)) return;
  for (size_t i = 0; i < 2; ++i) {
    FingerModel& f = m.fingers[i];
    if (o.largeThumbs) {
      ScaleFinger(f, rng.Uniform(kLargeThumbWidthMin, kLargeThumbWidthMax) / f.width);
      const double top = f.width * rng.Uniform(kLargeThumbAspectMin, kLargeThumbAspectMax);
      // Longer top segment: the ellipse and the first crease move down with it.
      const double grow = top - f.topLength;
      f.tipRound *= top / f.topLength;
      f.topLength = top;
      for (double& c : f.creases) c += grow;
      f.end += grow;
      f.blendStart += grow / 2;
      f.blendEnd += grow;
    }
    if (o.thumbLean) f.lean = Clamp(o.thumbLeanDeg[i], -45, 45) * kDegree;
  }
  PlaceAllBeside(m, 1, o.touching, rng);
  CentreAcross(m, rng);
}

void ReshapeLittle(const SlapOptions& o, HandModel& m, Rng& rng) {
  if (m.fingers.size() != 4) return;
  FingerModel& little = m.fingers[3];
  if (o.littleFaint < 1) {
    const double faint = Clamp(o.littleFaint, 0.2, 1);
    for (double& p : little.pressures) p *= faint;
  }
  if (o.littleDrop > 0 || o.littleCut == 1) {
    const double others = (m.fingers[0].tipY + m.fingers[1].tipY + m.fingers[2].tipY) / 3;
    little.tipY = others + Clamp(o.littleDrop, 0, 2.5);
    if (o.littleCut == 1) {
      little.tipY =
          m.heightInches / 2 - little.topLength * rng.Uniform(kCutInsideMin, kCutInsideMax);
    }
    little.lean += rng.Uniform(0, kLowLittleSplayMaxDeg) * kDegree;
    PlaceAllBeside(m, 3, o.touching, rng);
  }
  if (o.littleCut == 2) {
    // The whole hand slides towards the little finger's side.
    const double outside = little.width * rng.Uniform(1 - kCutInsideMax, 1 - kCutInsideMin);
    const double dx = m.widthInches / 2 + outside - (little.tipX + little.width / 2);
    for (auto& f : m.fingers) f.tipX += dx;
  }
}

void CutTop(const SlapOptions& o, HandModel& m) {
  if (o.topCut <= 0) return;
  double highest = 1e9;
  for (const auto& f : m.fingers) highest = std::min(highest, f.tipY);
  const double dy = -m.heightInches / 2 - Clamp(o.topCut, 0, 1) - highest;
  for (auto& f : m.fingers) f.tipY += dy;
}

void AddPalm(const SlapOptions& o, HandModel& m, Rng& rng) {
  if (!o.palm || m.fingers.size() != 4) return;
  // Lower phalanges pressed as hard as the tips, down to the palm.
  double base = 0, minX = 1e9, maxX = -1e9;
  for (auto& f : m.fingers) {
    for (size_t k = 1; k < f.pressures.size(); ++k) {
      f.pressures[k] = f.pressures[0] * rng.Uniform(0.75, 1.0);
    }
    f.creaseDepth = std::min(f.creaseDepth, rng.Uniform(0.55, 0.8));
    f.lowerDry /= 2;
    base += (f.tipY + f.end * std::cos(f.lean)) / 4;
    f.end += rng.Uniform(0.1, 0.3);
    f.fade = 0.2;
    minX = std::min(minX, f.tipX - f.width);
    maxX = std::max(maxX, f.tipX + f.width);
  }
  FingerModel p;
  p.position = 0;
  p.width = maxX - minX;
  p.tipX = (minX + maxX) / 2;
  // High enough to show in the image, over the base of the fingers.
  // Never over a fingertip's top segment (a little finger lying low).
  double firstCreases = -1e9;
  for (const auto& f : m.fingers) {
    firstCreases = std::max(firstCreases, f.tipY + f.topLength * std::cos(f.lean) + 0.1);
  }
  p.tipY = std::max(firstCreases, std::min(base - rng.Uniform(0.15, 0.35),
                                           m.heightInches / 2 - rng.Uniform(0.35, 0.8)));
  p.lean = rng.Uniform(-4, 4) * kDegree;
  p.tipRound = p.topLength = rng.Uniform(0.25, 0.4);
  p.lowerHalfWidth = p.width / 2;
  p.lowerTaper = 0;
  // The palm's top is its first band; the long crease across it lies lower.
  p.creases = {p.topLength, p.topLength + rng.Uniform(0.3, 0.6)};
  p.creaseWidths = {0.03, rng.Uniform(0.04, 0.08)};
  p.creaseDepth = rng.Uniform(0.6, 0.9);
  const double pressure = rng.Uniform(0.55, 0.9);
  p.pressures = {pressure, pressure, pressure * rng.Uniform(0.8, 1.0)};
  p.end = 10;
  p.pattern = RidgePattern::kArch;
  p.period = rng.Uniform(kRealPeriodMinMm, kRealPeriodMaxMm) * kMillimetre;
  p.coreU = rng.Uniform(-0.3, 0.3);
  p.coreV = p.topLength;
  p.archWidth = rng.Uniform(0.4, 0.9);
  p.archHeight = p.archWidth * rng.Uniform(0.1, 0.3);
  p.blendStart = p.topLength + 0.2;
  p.blendEnd = p.blendStart + 0.6;
  p.lowerWave = rng.Uniform(0.02, 0.08);
  p.lowerWaveLength = rng.Uniform(0.8, 1.6);
  p.dry = o.dryness * rng.Uniform(0.6, 1.0);
  p.smudge = o.smudge * rng.Uniform(0.6, 1.0);
  p.lowerDry = rng.Uniform(kLowerDryMin, kLowerDryMax);
  m.palm.push_back(p);
}

void MarkPrints(const SlapOptions& o, HandModel& m, Rng& rng) {
  for (auto& f : m.fingers) {
    f.dry = Clamp(o.dryness, 0, 1) * rng.Uniform(0.6, 1.0);
    f.smudge = Clamp(o.smudge, 0, 1) * rng.Uniform(0.6, 1.0);
  }
  const int blobs = std::min(std::max(o.pressureBlobs, 0), 8);
  for (int k = 0; k < blobs; ++k) {
    FingerModel& f = m.fingers[rng.Int(0, static_cast<int>(m.fingers.size()) - 1)];
    PressureBlob b;
    b.u = f.width * rng.Uniform(-0.25, 0.25);
    b.v = rng.Uniform(0.15, f.topLength + 0.8);
    b.halfU = rng.Uniform(0.12, 0.3);
    b.halfV = rng.Uniform(0.15, 0.4);
    b.level = rng.Uniform(0.85, 1.0);
    f.blobs.push_back(b);
  }
}

}  // namespace

void ApplyHardKinds(const SlapOptions& o, HandModel& m, Rng& rng) {
  MatchRealSizeAndPeriod(m, rng);
  ReshapeThumbs(o, m, rng);
  ReshapeLittle(o, m, rng);
  CutTop(o, m);
  AddPalm(o, m, rng);
  MarkPrints(o, m, rng);
}

}  // namespace vsynth
