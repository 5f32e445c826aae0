// The segmenter's driver: stages, hand, finger-position codes and the boxes in
// the caller's pixels.
#include <algorithm>
#include <cmath>

#include "interface/finger_position.h"
#include "slap/hand_placement.h"
#include "slap/slap_internal.h"

namespace vtl {
namespace slap {

int32_t SegmentSlap(const uint8_t* image, int32_t rows, int32_t columns, int32_t xres, int32_t yres,
                    int32_t fingerCount, int32_t handCode, SlapFinger* fingers, int32_t* count,
                    int32_t* hand) {
  *count = 0;
  *hand = handCode;
  const int32_t wanted = std::min(handCode == VANTREL_HAND_THUMBS ? 2 : fingerCount,
                                  static_cast<int32_t>(kMaxSlapFingers));
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
  const double centreX = 0.5 * (columns - 1) * kMmPerInch / xres;
  const double centreY = 0.5 * (rows - 1) * kMmPerInch / yres;
  int32_t useHand = handCode;
  if (useHand != VANTREL_HAND_RIGHT && useHand != VANTREL_HAND_LEFT &&
      useHand != VANTREL_HAND_THUMBS && wanted == 2) {
    useHand = VANTREL_HAND_THUMBS;
  }
  int32_t slots[kMaxSlapFingers] = {0, 1, 2, 3, 4};
  if (useHand != VANTREL_HAND_THUMBS && found > 0) {
    const bool open = useHand != VANTREL_HAND_RIGHT && useHand != VANTREL_HAND_LEFT;
    double lowerTilt = 0;
    const bool haveLower = LowerRidgeTilt(map, tips, found, &lowerTilt);
    useHand = AssignFingers(page, found, open ? 0 : useHand, centreX, centreY, haveLower, lowerTilt,
                            slots);
  }
  *hand = useHand;
  for (int32_t i = 0; i < found; ++i) {
    if (useHand == VANTREL_HAND_THUMBS) {
      const bool left = found == 2 ? i == 0 : LeftThumbAlone(page[i], centreX);
      fingers[i].position = FingerPosition(VANTREL_HAND_THUMBS, left ? 0 : 1);
    } else {
      fingers[i].position = FingerPosition(useHand, slots[i]);
    }
  }
  *count = found;
  return VANTREL_OK;
}

}  // namespace slap
}  // namespace vtl
