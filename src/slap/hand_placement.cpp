// Which finger of which hand each fingertip found is: the tips' spacing
// across the hand, their heights and their top segments' lengths against the
// pattern of a hand.
#include "slap/hand_placement.h"

#include <algorithm>
#include <cmath>

namespace vtl {
namespace slap {
namespace {

// Tip heights of the four fingers of a right hand from index to little, in
// finger widths below the middle finger: the little finger stands far
// lower, the index and ring fingers a little.
constexpr double kTipDrop[4] = {-0.48, 0.0, -0.35, -1.3};
// Lengths of their top segments, relative: the little finger's is short.
// Their measure varies by about kLengthSpread (log).
constexpr double kLengthSpread = 0.3;
constexpr double kTopLength[4] = {0.95, 1.02, 0.98, 0.86};
// Cost of leaving a finger out at the end away from an edge that cut one.
constexpr double kCutSideCost = 2.0;
// Of a finger's width: blocks this wide about its axis below its tip are its own.
constexpr double kOwnLineBand = 1.5;

// Fingertips seen along the hand: across it and up it, millimetres.
struct HandView {
  double across[kMaxSlapFingers], height[kMaxSlapFingers];
  double centreAcross;
  double meanWidth;
  double pitch0;  // expected centre-to-centre step
};

// Cost of the tips' spacing across the hand with the tips on `slots`:
// a = c + slot * pitch, least squares, the pitch held near the expected one;
// a hand short of fingers kept about the image's middle.
double SpacingCost(const HandView& v, const int32_t* slots, int32_t n) {
  double cost = 0;
  double ms = 0, ma = 0;
  for (int32_t i = 0; i < n; ++i) {
    ms += slots[i] / static_cast<double>(n);
    ma += v.across[i] / n;
  }
  double pitch = v.pitch0;
  if (n >= 2) {
    double sab = 0, sss = 0;
    for (int32_t i = 0; i < n; ++i) {
      sab += (slots[i] - ms) * (v.across[i] - ma);
      sss += (slots[i] - ms) * (slots[i] - ms);
    }
    pitch = std::max(sab / sss, 0.2 * v.pitch0);
    double residual = 0;
    for (int32_t i = 0; i < n; ++i) {
      const double e = v.across[i] - (ma + (slots[i] - ms) * pitch);
      residual += e * e;
    }
    const double ratio = std::log(pitch / v.pitch0);
    cost += residual / (pitch * pitch) + 3 * ratio * ratio;
  }
  if (n < 4) {
    const double off = (ma + (1.5 - ms) * pitch - v.centreAcross) / pitch;
    cost += 0.5 * off * off;
  }
  return cost;
}

// `cost` plus that of the top segments' lengths (scale free) and the tips'
// heights (offset free) against the hand's pattern, finger[i] (index 0 ..
// little 3) on tip i.
double AddPatternCost(double cost, const HandView& v, const PageTip* tips, const int32_t* finger,
                      int32_t n) {
  double logScale = 0;
  for (int32_t i = 0; i < n; ++i) logScale += std::log(tips[i].length / kTopLength[finger[i]]) / n;
  for (int32_t i = 0; i < n; ++i) {
    const double e = (std::log(tips[i].length / kTopLength[finger[i]]) - logScale) / kLengthSpread;
    cost += 0.5 * e * e;
  }
  // A tip cut by the top edge reaches that high at least: it sets no level
  // and is faulted only for standing too high, unless fewer than two are
  // whole.
  int32_t whole = 0;
  for (int32_t i = 0; i < n; ++i) whole += tips[i].cut ? 0 : 1;
  const bool bound = whole >= 2;
  double offset = 0;
  double drop[4];
  for (int32_t i = 0; i < n; ++i) {
    drop[i] = kTipDrop[finger[i]] * v.meanWidth;
    if (!bound || !tips[i].cut) offset += (v.height[i] - drop[i]) / (bound ? whole : n);
  }
  for (int32_t i = 0; i < n; ++i) {
    double e = (v.height[i] - drop[i] - offset) / v.meanWidth;
    if (bound && tips[i].cut) e = std::max(0.0, e);
    cost += e * e;
  }
  return cost;
}

HandView ViewAlong(const PageTip* tips, int32_t n, double centreX, double centreY, bool haveLower,
                   double lowerTilt) {
  HandView v;
  v.meanWidth = 0;
  for (int32_t i = 0; i < n; ++i) v.meanWidth += tips[i].width / n;
  double t[kMaxSlapFingers];
  for (int32_t i = 0; i < n; ++i) t[i] = tips[i].tilt;
  // The median, so that one finger misjudged (a punched hole, a blot) does
  // not turn the hand; past kAxisDoubtDeg from the lower ridges the axes
  // were led off (touching fingers traced at a slant) and the hand runs
  // halfway between the two.
  double phi = Median(t, n);
  if (haveLower && std::fabs(lowerTilt - phi) > Radians(kAxisDoubtDeg)) {
    phi = 0.5 * (phi + lowerTilt);
  }
  // Up the hand (sin phi, -cos phi), across it (cos phi, sin phi).
  const double ux = std::sin(phi), uy = -std::cos(phi), rx = std::cos(phi), ry = std::sin(phi);
  for (int32_t i = 0; i < n; ++i) {
    v.across[i] = tips[i].x * rx + tips[i].y * ry;
    v.height[i] = tips[i].x * ux + tips[i].y * uy;
  }
  v.centreAcross = centreX * rx + centreY * ry;
  v.pitch0 = kPitchWidths * v.meanWidth;
  return v;
}

}  // namespace

PageTip ToPage(const SlapFinger& f, double xres, double yres) {
  PageTip t;
  const double mmX = kMmPerInch / xres, mmY = kMmPerInch / yres;
  // Up the box: (-sin a, -cos a) in caller pixels.
  const double ux = -std::sin(f.angle), uy = -std::cos(f.angle);
  t.x = (f.cx + ux * 0.5 * f.height) * mmX;
  t.y = (f.cy + uy * 0.5 * f.height) * mmY;
  t.tilt = std::atan2(ux * mmX, -uy * mmY);
  t.width = f.width * std::sqrt(mmX * mmY);
  t.length = f.height * std::sqrt(mmX * mmY);
  return t;
}

bool LowerRidgeTilt(const BlockMap& map, const TipBox* tips, int32_t n, double* tilt) {
  double sumC = 0, sumS = 0, sumW = 0;
  for (int32_t i = 0; i < n; ++i) {
    const TipBox& t = tips[i];
    const BoxAxes box(t);
    for (int32_t a = -6; a <= 6; ++a) {
      for (int32_t b = 0; b <= 12; ++b) {
        const double across = a / 20.0 * t.width, down = (0.6 + b / 12.0) * t.height;
        const double x = box.X(across, -down), y = box.Y(across, -down);
        const int64_t k = BlockIndexAt(map, x, y);
        if (k < 0) continue;
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

int32_t CutSide(const BlockMap& map, const TipBox* tips, int32_t n, double blocksPerMm) {
  if (n < 2 || n > 3) return 0;
  const double b = map.blockSize;
  double top = 1e300, bottom = -1e300, length = 0;
  double inner[2] = {1e300, -1e300};  // the outer tips' edges, blocks
  for (int32_t i = 0; i < n; ++i) {
    top = std::min(top, (tips[i].cy - 0.5 * tips[i].height) / b);
    bottom = std::max(bottom, (tips[i].cy + 0.5 * tips[i].height) / b);
    length += tips[i].height / b / n;
    inner[0] = std::min(inner[0], (tips[i].cx - 0.5 * tips[i].width) / b);
    inner[1] = std::max(inner[1], (tips[i].cx + 0.5 * tips[i].width) / b);
  }
  bottom += length;
  const int32_t edge = std::max(1, static_cast<int32_t>(kRemnantEdgeMm * blocksPerMm));
  // A block on a found finger's own line, below its tip, is that finger's.
  const auto ownBlock = [&](int32_t x, int32_t y) {
    const double px = (x + 0.5) * b, py = (y + 0.5) * b;
    for (int32_t i = 0; i < n; ++i) {
      if (OnOwnLine(tips[i], px, py, kOwnLineBand)) return true;
    }
    return false;
  };
  int32_t count[2] = {0, 0};
  int32_t first[2] = {-1, -1};  // the highest row of each edge's ink
  for (int32_t y = std::max(0, static_cast<int32_t>(top));
       y < std::min(map.rows, static_cast<int32_t>(bottom) + 1); ++y) {
    for (int32_t x = 0; x < edge && x < map.columns; ++x) {
      const int32_t columns[2] = {x, map.columns - 1 - x};
      for (int32_t side = 0; side < 2; ++side) {
        const int32_t c = columns[side];
        if (!map.mask[static_cast<std::size_t>(y) * map.columns + c] || ownBlock(c, y)) continue;
        ++count[side];
        if (first[side] < 0) first[side] = y;
      }
    }
  }
  // Ink at an edge beyond the outer finger, not the outer finger itself,
  // starting below the tips.
  const double area = kRemnantAreaMm2 * blocksPerMm * blocksPerMm;
  const double low = top + kRemnantDrop * length;
  const bool left = count[0] >= area && inner[0] > edge && first[0] >= low;
  const bool right = count[1] >= area && inner[1] < map.columns - edge && first[1] >= low;
  return left == right ? 0 : (left ? -1 : 1);
}

int32_t AssignFingers(const PageTip* tips, int32_t n, int32_t hand, double centreX, double centreY,
                      bool haveLower, double lowerTilt, int32_t cutSide, int32_t* slotsOut) {
  const HandView view = ViewAlong(tips, n, centreX, centreY, haveLower, lowerTilt);
  double bestCost = 1e300;
  int32_t bestHand = hand == 0 ? VANTREL_HAND_RIGHT : hand;
  int32_t bestSlots[4] = {0, 1, 2, 3};
  for (int32_t h = VANTREL_HAND_RIGHT; h <= VANTREL_HAND_LEFT; ++h) {
    if (hand != 0 && h != hand) continue;
    // Every increasing choice of n slots out of four.
    for (int32_t mask = 0; mask < 16; ++mask) {
      int32_t slots[4], k = 0;
      for (int32_t s = 0; s < 4; ++s) {
        if (mask & (1 << s)) slots[k++] = s;
      }
      if (k != n || n > 4) continue;
      int32_t finger[kMaxSlapFingers];
      for (int32_t i = 0; i < n; ++i) finger[i] = h == VANTREL_HAND_RIGHT ? slots[i] : 3 - slots[i];
      double cost = AddPatternCost(SpacingCost(view, slots, n), view, tips, finger, n);
      // A finger cut away at one edge is the one missing at that end.
      if ((cutSide < 0 && slots[0] == 0) || (cutSide > 0 && slots[n - 1] == 3)) {
        cost += kCutSideCost;
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

bool LeftThumbAlone(const PageTip& t, double centreX) {
  const double off = t.x - centreX;
  if (std::fabs(off) > 0.5 * t.width) return off < 0;
  return t.tilt > 0;
}

}  // namespace slap
}  // namespace vtl
