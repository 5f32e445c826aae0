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

// Places the fingers found (left to right) on the four slots of a hand: the
// slots left out by a missing finger show as a wider step across the hand,
// and the heights of the tips follow the hand's pattern. With hand 0 both
// hands are tried. Sets each tip's slot and returns the hand chosen.
int32_t AssignFingers(TipBox* tips, int32_t n, int32_t hand) {
  double meanWidth = 0;
  for (int32_t i = 0; i < n; ++i) meanWidth += tips[i].width / n;
  const double pitch0 = 1.1 * meanWidth;
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
      if (n >= 2) {
        double ms = 0, ma = 0;
        for (int32_t i = 0; i < n; ++i) {
          ms += slots[i] / static_cast<double>(n);
          ma += tips[i].across / n;
        }
        double sab = 0, sss = 0;
        for (int32_t i = 0; i < n; ++i) {
          sab += (slots[i] - ms) * (tips[i].across - ma);
          sss += (slots[i] - ms) * (slots[i] - ms);
        }
        const double pitch = std::max(sab / sss, 0.2 * pitch0);
        double residual = 0;
        for (int32_t i = 0; i < n; ++i) {
          const double e = tips[i].across - (ma + (slots[i] - ms) * pitch);
          residual += e * e;
        }
        const double ratio = std::log(pitch / pitch0);
        cost += residual / (pitch * pitch) + 3 * ratio * ratio;
      }
      // Heights against the hand's pattern, offset free.
      double offset = 0;
      double drop[4];
      for (int32_t i = 0; i < n; ++i) {
        const int32_t finger = h == kRightHand ? slots[i] : 3 - slots[i];
        drop[i] = kTipDrop[finger] * meanWidth;
        offset += (tips[i].height_along - drop[i]) / n;
      }
      for (int32_t i = 0; i < n; ++i) {
        const double e = (tips[i].height_along - drop[i] - offset) / meanWidth;
        cost += e * e;
      }
      if (cost < bestCost) {
        bestCost = cost;
        bestHand = h;
        for (int32_t i = 0; i < n; ++i) bestSlots[i] = slots[i];
      }
    }
  }
  for (int32_t i = 0; i < n; ++i) tips[i].slot = n <= 4 ? bestSlots[i] : i;
  return bestHand;
}

// A thumb found alone: thumbs lean towards each other, so a tip leaning right
// is the left thumb's; upright, the side of the image decides.
bool LeftThumbAlone(const TipBox& t, int32_t columns) {
  constexpr double kClearLean = 4 * 3.14159265358979323846 / 180;
  if (std::fabs(t.tilt) > kClearLean) return t.tilt > 0;
  return t.cx < columns * 0.5;
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

  // Hand and codes.
  int32_t useHand = handCode;
  if (useHand != kRightHand && useHand != kLeftHand && useHand != kThumbs && wanted == 2) {
    useHand = kThumbs;
  }
  if (useHand != kThumbs && found > 0) {
    const bool open = useHand != kRightHand && useHand != kLeftHand;
    useHand = AssignFingers(tips, found, open ? 0 : useHand);
  }
  *hand = useHand;

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
    if (useHand == kThumbs) {
      f.position = (found == 2 ? (i == 0) : LeftThumbAlone(t, work.columns)) ? 6 : 1;
    } else {
      f.position = CodeFor(useHand == kLeftHand ? kLeftHand : kRightHand, t.slot);
    }
  }
  *count = found;
  return VANTREL_OK;
}

}  // namespace slap
}  // namespace vtl
