// The segmenter's driver: stages, hand, finger-position codes and the boxes in
// the caller's pixels.
#include <algorithm>
#include <cmath>

#include "slap/slap_internal.h"

namespace vtl {
namespace slap {
namespace {

constexpr int32_t kRightHand = 13, kLeftHand = 14, kThumbs = 15;

// Slot 0..3 from the left -> code.
int32_t CodeFor(int32_t hand, int32_t slot) {
  if (hand == kLeftHand) return 10 - slot;
  return 2 + slot;
}

// Tip heights of the four fingers of a right hand from index to little, in
// finger widths below the middle finger: the little finger stands far
// lower, the index and ring fingers a little.
constexpr double kTipDrop[4] = {-0.48, 0.0, -0.35, -1.3};
// Lengths of their top segments, relative: the little finger's is short.
// Their measure varies by about kLengthSpread (log).
constexpr double kLengthSpread = 0.3;
constexpr double kTopLength[4] = {0.95, 1.02, 0.98, 0.86};

// A fingertip in millimetres of the page, so that a caller's image with
// different resolutions across and down does not bend the hand's geometry.
struct PageTip {
  double x = 0, y = 0;  // the tip (top end of the axis)
  double tilt = 0;      // axis from vertical, + = tip leans right
  double width = 0;
  double length = 0;  // of the top segment
};

PageTip ToPage(const SlapFinger& f, double xres, double yres) {
  PageTip t;
  const double mmX = 25.4 / xres, mmY = 25.4 / yres;
  // Up the box: (-sin a, -cos a) in caller pixels.
  const double ux = -std::sin(f.angle), uy = -std::cos(f.angle);
  t.x = (f.cx + ux * 0.5 * f.height) * mmX;
  t.y = (f.cy + uy * 0.5 * f.height) * mmY;
  t.tilt = std::atan2(ux * mmX, -uy * mmY);
  t.width = f.width * std::sqrt(mmX * mmY);
  t.length = f.height * std::sqrt(mmX * mmY);
  return t;
}

// The hand's direction from its fingers' axes: the median, so that one
// finger misjudged (a punched hole, a blot) does not turn the hand.
double HandTilt(const PageTip* tips, int32_t n) {
  double t[kMaxSlapFingers];
  for (int32_t i = 0; i < n; ++i) {
    int32_t j = i;
    for (; j > 0 && t[j - 1] > tips[i].tilt; --j) t[j] = t[j - 1];
    t[j] = tips[i].tilt;
  }
  return n % 2 ? t[n / 2] : 0.5 * (t[n / 2 - 1] + t[n / 2]);
}

// Past this disagreement between the fingers' median axis and the ridges of
// their lower segments, the axes are taken to have been led off (touching
// fingers traced at a slant) and the hand runs halfway between the two.
constexpr double kAxisDoubt = 12 * kPi / 180;

// The hand's direction from the ridges below the top segments: there they run
// across the finger whatever pattern the tip bears, and a trace led off by a
// touching neighbour does not turn them. Sampled along each finger's own axis
// from just below its crease to one segment lower; *tilt (radians, + = tip
// leans right, working pixels being square) is set when the ridges there are
// coherent.
bool LowerRidgeTilt(const BlockMap& map, const TipBox* tips, int32_t n, double* tilt) {
  double sumC = 0, sumS = 0, sumW = 0;
  for (int32_t i = 0; i < n; ++i) {
    const TipBox& t = tips[i];
    const double vx = std::sin(t.tilt), vy = -std::cos(t.tilt);
    const double nx = std::cos(t.tilt), ny = std::sin(t.tilt);
    for (int32_t a = -6; a <= 6; ++a) {
      for (int32_t b = 0; b <= 12; ++b) {
        const double across = a / 20.0 * t.width, down = (0.6 + b / 12.0) * t.height;
        const double x = t.cx + nx * across - vx * down, y = t.cy + ny * across - vy * down;
        if (x < 0 || y < 0) continue;
        const int32_t bx = static_cast<int32_t>(x) / map.blockSize;
        const int32_t by = static_cast<int32_t>(y) / map.blockSize;
        if (bx >= map.columns || by >= map.rows) continue;
        const std::size_t k = static_cast<std::size_t>(by) * map.columns + bx;
        sumC += map.orientCos[k] * map.score[k];
        sumS += map.orientSin[k] * map.score[k];
        sumW += map.score[k];
      }
    }
  }
  // Half the samples' worth of ridge, mostly of one direction.
  if (sumW < 0.5 * n * 13 * 13 || std::hypot(sumC, sumS) < 0.3 * sumW) return false;
  // The ridges' normal (doubled angle) runs along the finger.
  const double normal = 0.5 * std::atan2(sumS, sumC);
  double t = std::atan2(std::cos(normal), -std::sin(normal));
  if (t > 0.5 * kPi) t -= kPi;
  if (t < -0.5 * kPi) t += kPi;
  *tilt = t;
  return true;
}

// Places the fingers found (left to right) on the four slots of a hand: the
// slots left out by a missing finger show as a wider step across the hand,
// and the heights of the tips follow the hand's pattern, seen along the
// hand's own direction. A hand short of a finger is still placed about the
// middle of the impression, which tells which end lost it when the heights
// cannot. With hand 0 both hands are tried. Sets slots[] and returns the hand
// chosen.
int32_t AssignFingers(const PageTip* tips, int32_t n, int32_t hand, double centreX, double centreY,
                      bool haveLower, double lowerTilt, int32_t* slotsOut) {
  double meanWidth = 0;
  for (int32_t i = 0; i < n; ++i) meanWidth += tips[i].width / n;
  double phi = HandTilt(tips, n);
  if (haveLower && std::fabs(lowerTilt - phi) > kAxisDoubt) phi = 0.5 * (phi + lowerTilt);
  // Up the hand (sin phi, -cos phi), across it (cos phi, sin phi).
  const double ux = std::sin(phi), uy = -std::cos(phi), rx = std::cos(phi), ry = std::sin(phi);
  double across[kMaxSlapFingers], height[kMaxSlapFingers];
  for (int32_t i = 0; i < n; ++i) {
    across[i] = tips[i].x * rx + tips[i].y * ry;
    height[i] = tips[i].x * ux + tips[i].y * uy;
  }
  const double centreAcross = centreX * rx + centreY * ry;
  // Centre to centre, fingers stand about 1.2 (touching) to 1.5 of their
  // top segments' widths apart; a pitch expected too short makes a hand short
  // of an outer finger look like one with a gap inside.
  const double pitch0 = 1.35 * meanWidth;
  double bestCost = 1e300;
  int32_t bestHand = hand == 0 ? kRightHand : hand;
  int32_t bestSlots[4] = {0, 1, 2, 3};
  for (int32_t h = kRightHand; h <= kLeftHand; ++h) {
    if (hand != 0 && h != hand) continue;
    // Every increasing choice of n slots out of four.
    for (int32_t mask = 0; mask < 16; ++mask) {
      int32_t slots[4], k = 0;
      for (int32_t s = 0; s < 4; ++s) {
        if (mask & (1 << s)) slots[k++] = s;
      }
      if (k != n || n > 4) continue;
      // Across: a = c + slot * pitch, least squares.
      double cost = 0;
      double ms = 0, ma = 0;
      for (int32_t i = 0; i < n; ++i) {
        ms += slots[i] / static_cast<double>(n);
        ma += across[i] / n;
      }
      double pitch = pitch0;
      if (n >= 2) {
        double sab = 0, sss = 0;
        for (int32_t i = 0; i < n; ++i) {
          sab += (slots[i] - ms) * (across[i] - ma);
          sss += (slots[i] - ms) * (slots[i] - ms);
        }
        pitch = std::max(sab / sss, 0.2 * pitch0);
        double residual = 0;
        for (int32_t i = 0; i < n; ++i) {
          const double e = across[i] - (ma + (slots[i] - ms) * pitch);
          residual += e * e;
        }
        const double ratio = std::log(pitch / pitch0);
        cost += residual / (pitch * pitch) + 3 * ratio * ratio;
      }
      if (n < 4) {
        const double off = (ma + (1.5 - ms) * pitch - centreAcross) / pitch;
        cost += 0.5 * off * off;
      }
      // The finger (index 0 to little 3) on each tip's slot.
      int32_t finger[kMaxSlapFingers];
      for (int32_t i = 0; i < n; ++i) finger[i] = h == kRightHand ? slots[i] : 3 - slots[i];
      // Top segment lengths against the hand's pattern, scale free.
      double logScale = 0;
      for (int32_t i = 0; i < n; ++i)
        logScale += std::log(tips[i].length / kTopLength[finger[i]]) / n;
      for (int32_t i = 0; i < n; ++i) {
        const double e =
            (std::log(tips[i].length / kTopLength[finger[i]]) - logScale) / kLengthSpread;
        cost += 0.5 * e * e;
      }
      // Heights against the hand's pattern, offset free.
      double offset = 0;
      double drop[4];
      for (int32_t i = 0; i < n; ++i) {
        drop[i] = kTipDrop[finger[i]] * meanWidth;
        offset += (height[i] - drop[i]) / n;
      }
      for (int32_t i = 0; i < n; ++i) {
        const double e = (height[i] - drop[i] - offset) / meanWidth;
        cost += e * e;
      }
      if (cost < bestCost) {
        bestCost = cost;
        bestHand = h;
        for (int32_t i = 0; i < n; ++i) bestSlots[i] = slots[i];
      }
    }
  }
  for (int32_t i = 0; i < n; ++i) slotsOut[i] = n <= 4 ? bestSlots[i] : i;
  return bestHand;
}

// A thumb found alone keeps its side of a two-thumb impression; near the
// middle, its lean (thumbs lean towards each other) decides.
bool LeftThumbAlone(const PageTip& t, double centreX) {
  const double off = t.x - centreX;
  if (std::fabs(off) > 0.5 * t.width) return off < 0;
  return t.tilt > 0;
}
}  // namespace

int32_t SegmentSlap(const uint8_t* image, int32_t rows, int32_t columns, int32_t xres, int32_t yres,
                    int32_t fingerCount, int32_t handCode, SlapFinger* fingers, int32_t* count,
                    int32_t* hand) {
  *count = 0;
  *hand = handCode;
  const int32_t wanted =
      std::min(handCode == kThumbs ? 2 : fingerCount, static_cast<int32_t>(kMaxSlapFingers));
  WorkingImage work;
  int32_t status = PrepareWorkingImage(image, rows, columns, xres, yres, &work);
  if (status != VANTREL_OK) return status;
  BlockMap map;
  status = BuildBlockMap(work, &map);
  if (status != VANTREL_OK) return status;
  TipBox tips[kMaxSlapFingers];
  int32_t found = 0;
  double handAngle = 0;
  status = FindFingertips(work, map, wanted, tips, &found, &handAngle);
  if (status != VANTREL_OK) return status;

  const double fx = work.factorX, fy = work.factorY;
  for (int32_t i = 0; i < found; ++i) {
    const TipBox& t = tips[i];
    SlapFinger& f = fingers[i];
    // Working pixel (x, y) covers caller pixels [x*f, (x+1)*f).
    f.cx = (t.cx + 0.5) * fx - 0.5;
    f.cy = (t.cy + 0.5) * fy - 0.5;
    // The axis direction (sin t, -cos t) up the finger, scaled per axis.
    const double ux = std::sin(t.tilt) * fx, uy = std::cos(t.tilt) * fy;
    const double tilt = std::atan2(ux, uy);
    const double cx = std::cos(t.tilt), sx = std::sin(t.tilt);
    f.width = t.width * std::hypot(cx * fx, sx * fy);
    f.height = t.height * std::hypot(sx * fx, cx * fy);
    f.angle = -tilt;
    f.confidence = t.confidence;
  }

  // Hand and codes.
  PageTip page[kMaxSlapFingers];
  for (int32_t i = 0; i < found; ++i) page[i] = ToPage(fingers[i], xres, yres);
  const double centreX = 0.5 * (columns - 1) * 25.4 / xres;
  const double centreY = 0.5 * (rows - 1) * 25.4 / yres;
  int32_t useHand = handCode;
  if (useHand != kRightHand && useHand != kLeftHand && useHand != kThumbs && wanted == 2) {
    useHand = kThumbs;
  }
  int32_t slots[kMaxSlapFingers] = {0, 1, 2, 3, 4};
  if (useHand != kThumbs && found > 0) {
    const bool open = useHand != kRightHand && useHand != kLeftHand;
    double lowerTilt = 0;
    const bool haveLower = LowerRidgeTilt(map, tips, found, &lowerTilt);
    useHand = AssignFingers(page, found, open ? 0 : useHand, centreX, centreY, haveLower, lowerTilt,
                            slots);
  }
  *hand = useHand;
  for (int32_t i = 0; i < found; ++i) {
    if (useHand == kThumbs) {
      fingers[i].position = (found == 2 ? (i == 0) : LeftThumbAlone(page[i], centreX)) ? 6 : 1;
    } else {
      fingers[i].position = CodeFor(useHand == kLeftHand ? kLeftHand : kRightHand, slots[i]);
    }
  }
  *count = found;
  return VANTREL_OK;
}

}  // namespace slap
}  // namespace vtl
