// Rendering of a slap from the hand model: per finger, only the pixels of its
// own strip are visited, with local coordinates stepped incrementally and the
// ridge wave read from a table, so a 500 ppi slap takes a few tens of
// milliseconds.
#include "slap_generator.h"

#include <algorithm>
#include <cmath>

#include "synth_internal.h"

namespace vsynth {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kWaveSize = 1024;
// Dry prints, at dryness 1 (in units of the ridge wave and of the darkness).
constexpr double kDryBreakDepth = 0.8;  // how far a break lowers the ridge wave
constexpr double kDryThinning = 0.2;    // rise of the level a ridge must pass
constexpr double kDryLightening = 0.3;  // loss of ink darkness
constexpr double kVoidShareMin = 0.08, kVoidShareGrowth = 0.32;  // noise level below which no ink
constexpr double kSpeckleShare = 0.25;  // share of print pixels left nearly white
// Smudge, at smudge 1.
constexpr double kSmudgeWidening = 0.35;  // fall of the level a ridge must pass
constexpr double kSmudgeFill = 0.7;       // darkness of the ink in the valleys
// Cells of the hard kinds' noise fields, inches.
constexpr double kBreakCell = 0.022, kVoidCell = 0.09, kSmudgeCell = 0.15;

double Clamp(double x, double lo, double hi) {
  return x < lo ? lo : (x > hi ? hi : x);
}

double SmoothStep(double lo, double hi, double x) {
  if (x <= lo) return 0;
  if (x >= hi) return 1;
  const double t = (x - lo) / (hi - lo);
  return t * t * (3 - 2 * t);
}

struct WaveTable {
  float cosine[kWaveSize];
  WaveTable() {
    for (int i = 0; i < kWaveSize; ++i)
      cosine[i] = static_cast<float>(std::cos(2 * kPi * i / kWaveSize));
  }
  // cos(2 pi cycles), for |cycles| below about a million.
  float Cos(double cycles) const {
    return cosine[static_cast<int>(cycles * kWaveSize + 1073741824.0) & (kWaveSize - 1)];
  }
  float Sin(double cycles) const { return Cos(cycles - 0.25); }
};

const WaveTable& Wave() {
  static const WaveTable table;
  return table;
}

// Affine map from pixel (column, row) to a finger's (u, v) in inches.
struct Affine {
  double uc, ur, u0;  // u = uc * column + ur * row + u0
  double vc, vr, v0;
};

// Geometry shared by the whole image.
struct Frame {
  double xppi, yppi;
  double centreX, centreY;  // image centre, inches
  double cosR, sinR;        // clockwise rotation of the hand
  // Hand-frame point to image pixel.
  void ToPixel(double hx, double hy, double& column, double& row) const {
    column = (centreX + cosR * hx - sinR * hy) * xppi;
    row = (centreY + sinR * hx + cosR * hy) * yppi;
  }
  Affine FingerMap(const FingerModel& f) const {
    const double cl = std::cos(f.lean), sl = std::sin(f.lean);
    auto at = [&](double column, double row, double& u, double& v) {
      const double px = column / xppi - centreX, py = row / yppi - centreY;
      const double hx = cosR * px + sinR * py - f.tipX;
      const double hy = -sinR * px + cosR * py - f.tipY;
      u = hx * cl + hy * sl;
      v = -hx * sl + hy * cl;
    };
    Affine m;
    double u00, v00, u10, v10, u01, v01;
    at(0, 0, u00, v00);
    at(1, 0, u10, v10);
    at(0, 1, u01, v01);
    m.u0 = u00, m.v0 = v00;
    m.uc = u10 - u00, m.vc = v10 - v00;
    m.ur = u01 - u00, m.vr = v01 - v00;
    return m;
  }
};

// Columns [first, last] of a row where lo <= a * column + b <= hi.
void Interval(double a, double b, double lo, double hi, double& first, double& last) {
  if (std::fabs(a) < 1e-12) {
    if (b < lo || b > hi) first = 1, last = 0;
    return;
  }
  double c0 = (lo - b) / a, c1 = (hi - b) / a;
  if (c0 > c1) std::swap(c0, c1);
  first = std::max(first, c0);
  last = std::min(last, c1);
}

// Ridge flow phase, in ridge periods, at (u, v) of the finger.
double RidgePhase(const FingerModel& f, double u, double v) {
  const WaveTable& wave = Wave();
  const double du = u - f.coreU, dv = v - f.coreV;
  double top;
  if (f.pattern == RidgePattern::kArch) {
    const double x = du / f.archWidth;
    top = dv + f.archHeight / (1 + x * x);
  } else {
    // Distance to the core segment.
    const double along = du * f.coreSin + dv * f.coreCos;
    const double across = du * f.coreCos - dv * f.coreSin;
    const double beyond = along > f.coreFront   ? along - f.coreFront
                          : along < -f.coreBack ? -f.coreBack - along
                                                : 0.0;
    top = std::sqrt(across * across + beyond * beyond);
  }
  const double lower = dv + f.lowerOffset + f.lowerWave * wave.Sin(u / f.lowerWaveLength);
  const double t = SmoothStep(f.blendStart, f.blendEnd, v);
  double phase = top + (lower - top) * t;
  for (int k = 0; k < 2; ++k) {
    phase +=
        f.warpAmp[k] * wave.Sin((f.warpKu[k] * u + f.warpKv[k] * v + f.warpPhase[k]) / (2 * kPi));
  }
  return phase / f.period;
}

// Paints one finger's darkness (0..1) into `dark`, keeping the darker value
// where prints overlap.
// Darkness of a print pixel with the hard kinds of the finger: `tone` is the
// ink's darkness there, r the ridge wave and threshold the level it must pass.
double HardValue(const FingerModel& f, const HardFields& h, double u, double v, double px,
                 double py, int column, int row, double cover, double tone, double r,
                 double threshold) {
  const double d = std::max(f.dry, f.lowerDry * SmoothStep(f.topLength, f.topLength + 0.1, v));
  if (d > 0) {
    // Dry skin: ridges break into pieces, thin out and print light, with
    // patches of no ink.
    r -= kDryBreakDepth * d * SmoothStep(0.5, 0.68, h.breaks.At(px, py));
    threshold += kDryThinning * d;
    tone *= 1 - kDryLightening * d;
    const double lo = kVoidShareMin + kVoidShareGrowth * d;
    tone *= SmoothStep(lo, lo + 0.1, h.voids.At(px, py));
  }
  const double s = f.smudge * SmoothStep(0.35, 0.6, h.smudge.At(px, py));
  threshold -= kSmudgeWidening * s;
  double value = tone * SmoothStep(threshold - 0.16, threshold + 0.16, r);
  value = std::max(value, kSmudgeFill * s * tone);
  if (d > 0) {
    const uint64_t hash =
        HashPixel(h.speckleSeed, static_cast<uint32_t>(column), static_cast<uint32_t>(row));
    if (static_cast<double>(hash >> 11) * (1.0 / 9007199254740992.0) < kSpeckleShare * d) {
      value *= 0.2;
    }
  }
  for (const PressureBlob& b : f.blobs) {
    const double x = (u - b.u) / b.halfU, y = (v - b.v) / b.halfV;
    const double q = x * x + y * y;
    if (q >= 1) continue;
    // Nearly solid ink with a trace of the ridges left in it.
    const double ridge = SmoothStep(threshold - 0.16, threshold + 0.16, r);
    value = std::max(value, cover * b.level * SmoothStep(0, 0.6, 1 - q) * (0.85 + 0.15 * ridge));
  }
  return value;
}

void PaintFinger(const FingerModel& f, int index, const Frame& frame, int columns, int rows,
                 const ValueNoise& pressure, const ValueNoise& grain, const HardFields* hard,
                 std::vector<float>& dark) {
  const WaveTable& wave = Wave();
  const Affine m = frame.FingerMap(f);
  const double pixel = 1.0 / std::min(frame.xppi, frame.yppi);
  const double soft = 1.5 * pixel;
  const double jagDepth = 0.02;
  const double umax = f.MaxHalfWidth() + soft;
  const double vmax = f.end + f.fade;
  const double a = f.width / 2, b = f.tipRound;
  for (int row = 0; row < rows; ++row) {
    double first = 0, last = columns - 1;
    Interval(m.uc, m.ur * row + m.u0, -umax, umax, first, last);
    Interval(m.vc, m.vr * row + m.v0, -soft, vmax, first, last);
    if (first > last) continue;
    const int c0 = std::max(0, static_cast<int>(std::floor(first)));
    const int c1 = std::min(columns - 1, static_cast<int>(std::ceil(last)));
    float* out = &dark[static_cast<size_t>(row) * columns];
    for (int column = c0; column <= c1; ++column) {
      const double u = m.uc * column + m.ur * row + m.u0;
      const double v = m.vc * column + m.vr * row + m.v0;
      // Distance inside the outline, inches.
      double inside;
      if (v <= f.topLength) {
        const double x = u / a, y = (v - b) / b;
        const double e = x * x + y * y;
        const double gx = x / a, gy = y / b;
        inside = (1 - e) / (2 * std::sqrt(gx * gx + gy * gy) + 1e-9);
      } else {
        inside = f.HalfWidthAt(v) - std::fabs(u);
      }
      // Noise coordinates: each finger reads its own part of the fields.
      const double px = u + 1.2 + 2.5 * index, py = v + 1;
      const double rough = grain.At(px * 0.25 + 3, py * 0.25 + 3);
      const double cover = Clamp((inside - jagDepth * rough) / soft, 0, 1);
      if (cover <= 0) continue;
      // Segment pressure, creases and the fade towards the palm.
      size_t segment = 0;
      double crease = 1;
      for (size_t k = 0; k < f.creases.size(); ++k) {
        const double side = u / a;
        const double centre = f.creases[k] + f.creaseCurve * side * side;
        if (v > centre) segment = k + 1;
        const double t = (v - centre) / (0.5 * f.creaseWidths[k]);
        if (t > -1 && t < 1) {
          const double bump = 1 - t * t;
          crease *= 1 - f.creaseDepth * bump * bump;
        }
      }
      double p = f.pressures[std::min(segment, f.pressures.size() - 1)];
      if (v > f.end) p *= Clamp(1 - (v - f.end) / f.fade, 0, 1);
      p *= 0.7 + 0.45 * pressure.At(px, py);
      // Ridges thin out towards the edge of the print.
      p *= 0.35 + 0.65 * Clamp(inside / 0.08, 0, 1);
      // Ridge wave with pores and breaks.
      double r = 0.5 + 0.5 * wave.Cos(RidgePhase(f, u, v));
      r += 0.55 * (grain.At(px, py) - 0.5);
      const double threshold = 1.15 - 0.75 * p;
      const double tone = cover * crease * (0.55 + 0.45 * p);
      const double value =
          hard ? HardValue(f, *hard, u, v, px, py, column, row, cover, tone, r, threshold)
               : tone * SmoothStep(threshold - 0.16, threshold + 0.16, r);
      if (value > out[column]) out[column] = static_cast<float>(value);
    }
  }
}

FingerTruth MakeTruth(const FingerModel& f, const Frame& frame, int columns, int rows,
                      double rotation) {
  FingerTruth t{};
  t.position = f.position;
  const double sl = std::sin(f.lean), cl = std::cos(f.lean);
  frame.ToPixel(f.tipX, f.tipY, t.tipX, t.tipY);
  const double half = f.topLength / 2;
  frame.ToPixel(f.tipX - sl * half, f.tipY + cl * half, t.cx, t.cy);
  const double psi = rotation + f.lean;
  const double ex = std::cos(psi) * frame.xppi, ey = std::sin(psi) * frame.yppi;
  const double dx = -std::sin(psi) * frame.xppi, dy = std::cos(psi) * frame.yppi;
  t.width = f.width * std::sqrt(ex * ex + ey * ey);
  t.height = f.topLength * std::sqrt(dx * dx + dy * dy);
  t.angle = std::atan2(dx, dy);
  // Share of the top segment's print that lies inside the image.
  int total = 0, in = 0;
  for (int i = 0; i < 24; ++i) {
    for (int j = 0; j < 24; ++j) {
      const double u = (j + 0.5) / 24 * f.width - f.width / 2;
      const double v = (i + 0.5) / 24 * f.topLength;
      if (std::fabs(u) > f.HalfWidthAt(v)) continue;
      ++total;
      double column, row;
      frame.ToPixel(f.tipX + u * cl - v * sl, f.tipY + u * sl + v * cl, column, row);
      if (column >= 0 && column <= columns - 1 && row >= 0 && row <= rows - 1) ++in;
    }
  }
  t.visible = total ? static_cast<double>(in) / total : 0;
  return t;
}

int ClampInt(double x, int lo, int hi) {
  return x < lo ? lo : (x > hi ? hi : static_cast<int>(x));
}

}  // namespace

Slap GenerateSlap(const SlapOptions& options) {
  Slap slap;
  const int hand = options.hand == 14 || options.hand == 15 ? options.hand : 13;
  const bool mirror = hand == 14;
  slap.hand = hand;
  slap.xppi = Clamp(options.xppi, 100, 2000);
  slap.yppi = Clamp(options.yppi, 100, 2000);
  const double contrast = Clamp(options.contrast, 0.1, 1.0);
  const double noise = Clamp(options.noise, 0.0, 0.5);
  // A left hand is drawn as a right hand turned the other way, then mirrored.
  const double rotationDeg = Clamp(options.rotationDeg, -60, 60) * (mirror ? -1 : 1);
  const double rotation = rotationDeg * kPi / 180;

  Rng rng(options.seed);
  Rng layoutRng(rng.Fork());
  HandModel model = LayOutHand(hand, options.touching, Clamp(options.widthInches, 0, 20),
                               Clamp(options.heightInches, 0, 20), layoutRng);
  // The hard kinds draw from a sequence of their own, so that the plain
  // images stay as they were.
  const bool hardKinds = HardKinds(options) != "plain";
  Rng hardRng(Hash64(options.seed) ^ 0x4A7D5EEDC0FFEEull);
  if (hardKinds) ApplyHardKinds(options, model, hardRng);
  slap.columns = std::max(16, static_cast<int>(std::lround(model.widthInches * slap.xppi)));
  slap.rows = std::max(16, static_cast<int>(std::lround(model.heightInches * slap.yppi)));
  const int columns = slap.columns, rows = slap.rows;
  const size_t count = static_cast<size_t>(columns) * rows;

  Frame frame;
  frame.xppi = slap.xppi;
  frame.yppi = slap.yppi;
  frame.centreX = (columns - 1) / 2.0 / slap.xppi;
  frame.centreY = (rows - 1) / 2.0 / slap.yppi;
  frame.cosR = std::cos(rotation);
  frame.sinR = std::sin(rotation);

  // Which finger of the drawn (right) hand is left out.
  const int fingerCount = static_cast<int>(model.fingers.size());
  int missing = options.missingFinger;
  if (missing >= fingerCount) missing = -1;
  if (mirror && missing >= 0) missing = fingerCount - 1 - missing;

  const ValueNoise pressure(rng.Fork(), 12, 6, 0.3);
  // Ridge-sized grain: pores, breaks and the ragged edge of the ink.
  const ValueNoise grain(rng.Fork(), 12, 6, 0.016);
  HardFields hardFields;
  if (hardKinds) {
    hardFields.breaks = ValueNoise(hardRng.Fork(), 12, 6, kBreakCell);
    hardFields.voids = ValueNoise(hardRng.Fork(), 12, 6, kVoidCell);
    hardFields.smudge = ValueNoise(hardRng.Fork(), 12, 6, kSmudgeCell);
    hardFields.speckleSeed = hardRng.Next();
  }
  const HardFields* hard = hardKinds ? &hardFields : nullptr;
  std::vector<float> dark(count, 0.0f);
  for (size_t k = 0; k < model.palm.size(); ++k) {
    PaintFinger(model.palm[k], fingerCount + static_cast<int>(k), frame, columns, rows, pressure,
                grain, hard, dark);
  }
  for (int i = 0; i < fingerCount; ++i) {
    if (i == missing) continue;
    PaintFinger(model.fingers[i], i, frame, columns, rows, pressure, grain, hard, dark);
    FingerTruth t = MakeTruth(model.fingers[i], frame, columns, rows, rotation);
    if (t.visible >= 0.5) slap.fingers.push_back(t);
  }

  // Paper, ink and noise.
  Rng toneRng(rng.Fork());
  const double paper = toneRng.Uniform(232, 252);
  const double ink = toneRng.Uniform(8, 45);
  const double depth = (paper - ink) * contrast;
  const double sigma = noise * 255;
  const ValueNoise stain(toneRng.Fork(), model.widthInches + 1, model.heightInches + 1, 0.5);
  const double stainDepth = toneRng.Uniform(0, 10) * (options.clutter ? 1.5 : 1.0);
  const uint64_t noiseSeed = toneRng.Next();
  slap.pixels.resize(count);
  for (int row = 0; row < rows; ++row) {
    const double y = row / slap.yppi;
    for (int column = 0; column < columns; ++column) {
      const size_t at = static_cast<size_t>(row) * columns + column;
      const double base = paper - stainDepth * stain.At(column / slap.xppi, y);
      const uint64_t h = HashPixel(noiseSeed, column, row);
      const double gauss = (static_cast<double>((h & 0xFFFF) + ((h >> 16) & 0xFFFF) +
                                                ((h >> 32) & 0xFFFF) + (h >> 48)) -
                            131070.0) *
                           (1.0 / 37837.0);
      const double grey = base - dark[at] * depth + sigma * gauss;
      slap.pixels[at] = static_cast<uint8_t>(ClampInt(grey + 0.5, 0, 255));
    }
  }

  if (mirror) {
    for (int row = 0; row < rows; ++row) {
      uint8_t* line = &slap.pixels[static_cast<size_t>(row) * columns];
      std::reverse(line, line + columns);
    }
    for (auto& t : slap.fingers) {
      t.position += 5;
      t.cx = columns - 1 - t.cx;
      t.tipX = columns - 1 - t.tipX;
      t.angle = -t.angle;
    }
  }
  // Clutter belongs to the card, not to the hand: drawn after mirroring so
  // that its print reads the right way round.
  if (options.clutter) {
    std::vector<uint8_t> layer(count, 255);
    std::vector<Hole> holes;
    DrawClutter(rng.Fork(), columns, rows, slap.xppi, slap.yppi, slap.fingers, layer, holes);
    for (size_t i = 0; i < count; ++i) slap.pixels[i] = std::min(slap.pixels[i], layer[i]);
    for (const Hole& hole : holes) {
      const int r0 = ClampInt(hole.y - hole.radius - 1, 0, rows - 1);
      const int r1 = ClampInt(hole.y + hole.radius + 1, 0, rows - 1);
      const int c0 = ClampInt(hole.x - hole.radius - 1, 0, columns - 1);
      const int c1 = ClampInt(hole.x + hole.radius + 1, 0, columns - 1);
      for (int row = r0; row <= r1; ++row) {
        for (int column = c0; column <= c1; ++column) {
          const double dx = column - hole.x, dy = row - hole.y;
          const double edge = hole.radius - std::sqrt(dx * dx + dy * dy);
          if (edge <= 0) continue;
          uint8_t& p = slap.pixels[static_cast<size_t>(row) * columns + column];
          const double w = Clamp(edge, 0, 1);
          p = static_cast<uint8_t>(ClampInt(p + (hole.grey - p) * w + 0.5, 0, 255));
        }
      }
    }
  }

  if (options.bilevel) {
    const int threshold = static_cast<int>(paper - 0.5 * depth);
    for (auto& p : slap.pixels) p = p < threshold ? 0 : 255;
  }

  std::stable_sort(slap.fingers.begin(), slap.fingers.end(),
                   [](const FingerTruth& l, const FingerTruth& r) { return l.cx < r.cx; });
  for (size_t i = 0; i < slap.fingers.size(); ++i) slap.fingers[i].fromLeft = static_cast<int>(i);
  return slap;
}

SlapOptions RandomOptions(uint64_t seed) {
  Rng rng(Hash64(seed) ^ 0x5EED0F5A1A9ull);
  SlapOptions o;
  o.seed = rng.Next();
  const double hand = rng.Unit();
  o.hand = hand < 0.4 ? 13 : (hand < 0.8 ? 14 : 15);
  const double resolution = rng.Unit();
  if (resolution < 0.6) {
    o.xppi = o.yppi = 500;
  } else if (resolution < 0.7) {
    o.xppi = o.yppi = 1000;
  } else if (resolution < 0.8) {
    o.xppi = o.yppi = 250;
  } else if (resolution < 0.9) {
    o.xppi = o.yppi = std::round(rng.Uniform(300, 700));
  } else {
    o.xppi = std::round(rng.Uniform(350, 650));
    o.yppi = std::round(rng.Uniform(350, 650));
  }
  const double turn = rng.Unit();
  o.rotationDeg = turn < 0.6 ? rng.Uniform(-10, 10)
                             : (turn < 0.9 ? rng.Uniform(-25, 25) : rng.Uniform(-45, 45));
  if (rng.Chance(0.1)) o.missingFinger = rng.Int(0, o.hand == 15 ? 1 : 3);
  o.touching = rng.Chance(0.3);
  o.clutter = rng.Chance(0.3);
  o.contrast = rng.Chance(0.2) ? rng.Uniform(0.3, 0.6) : rng.Uniform(0.6, 1.0);
  o.noise = rng.Uniform(0.01, 0.08);
  o.bilevel = rng.Chance(0.08);
  return o;
}

}  // namespace vsynth
