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
  if (useHand != kRightHand && useHand != kLeftHand && useHand != kThumbs) {
    if (wanted == 2) {
      useHand = kThumbs;
    } else if (found >= 3) {
      // The little finger ends the hand: its tip drops further below its
      // neighbour's than the index finger's below the middle finger's, and
      // its top segment is the smallest.
      const int32_t n = found;
      double meanWidth = 0, meanArea = 0;
      for (int32_t i = 0; i < n; ++i) {
        meanWidth += tips[i].width / n;
        meanArea += tips[i].width * tips[i].height / n;
      }
      const double dropLeft = tips[1].height_along - tips[0].height_along;
      const double dropRight = tips[n - 2].height_along - tips[n - 1].height_along;
      const double areaLeft = tips[0].width * tips[0].height;
      const double areaRight = tips[n - 1].width * tips[n - 1].height;
      const double evidence =
          (dropRight - dropLeft) / meanWidth + (areaLeft - areaRight) / meanArea;
      useHand = evidence >= 0 ? kRightHand : kLeftHand;
    } else {
      useHand = 0;
    }
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
      f.position = (found == 2 ? (i == 0) : (t.cx * fx < columns * 0.5)) ? 6 : 1;
    } else {
      f.position = CodeFor(useHand == kLeftHand ? kLeftHand : kRightHand, t.slot);
    }
  }
  *count = found;
  return VANTREL_OK;
}

}  // namespace slap
}  // namespace vtl
