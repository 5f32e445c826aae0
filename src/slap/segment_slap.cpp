// The segmenter's driver: stages, hand, finger-position codes and the boxes in
// the caller's pixels.
#include <algorithm>
#include <cmath>

#include "interface/finger_position.h"
#include "slap/hand_placement.h"
#include "slap/search_context.h"
#include "slap/slap_internal.h"

namespace vtl {
namespace slap {

namespace {

// Area of a tip's top segment, square millimetres (working pixels are
// square).
double AreaMm2(const TipBox& t, double mmPerPixel) {
  return t.width * mmPerPixel * t.height * mmPerPixel;
}

// Whether the tip's top end lies at the image's top edge.
bool CutByTop(const TipBox& t, double mmPerPixel) {
  return BoxAxes(t).Y(0, 0.5 * t.height) <= kBorderMm / mmPerPixel;
}

// As AreaMm2, a tip cut by the image's top edge taken at the length a
// fingertip of its width has.
double WholeAreaMm2(const TipBox& t, double mmPerPixel) {
  if (!CutByTop(t, mmPerPixel)) return AreaMm2(t, mmPerPixel);
  return t.width * mmPerPixel * std::max(t.height, kExpectedLength * t.width) * mmPerPixel;
}

// Whether (x, y) belongs to the thumb `t`: within its width across its axis
// (kThumbBand of it), and not above its tip: its box or its lower
// phalanges.
bool OfThumb(const TipBox& t, double x, double y) {
  return OnOwnLine(t, x, y, kThumbBand);
}

// Two large fingertips side by side, or one alone (tips cut by the top edge
// counted whole), with no finger-sized tip of the four-finger search beside
// them (below them lie the thumbs' own lower phalanges): thumbs. Fingers of
// a hand found as two stand beside a third of their size, or are smaller
// together than two thumbs.
bool LooksLikeThumbs(const TipBox* hand, int32_t handCount, const TipBox* thumbs,
                     int32_t thumbCount, double mmPerPixel) {
  if (thumbCount < 1 || thumbCount > 2) return false;
  double total = 0, smallest = 1e300;
  for (int32_t i = 0; i < thumbCount; ++i) {
    const double area = WholeAreaMm2(thumbs[i], mmPerPixel);
    total += area;
    smallest = std::min(smallest, area);
  }
  if (thumbCount == 1 ? total < kLoneThumbAreaMm2 : total < kThumbPairAreaMm2) return false;
  for (int32_t i = 0; i < handCount; ++i) {
    bool within = false;
    for (int32_t k = 0; k < thumbCount; ++k)
      within = within || OfThumb(thumbs[k], hand[i].cx, hand[i].cy);
    if (!within && AreaMm2(hand[i], mmPerPixel) >= kBesideShare * smallest) return false;
  }
  return true;
}

// The fingertips of the impression and its hand. A hand left open is worked
// out from the image: four fingers are sought, and where fewer stand, two
// thumbs too.
int32_t SearchHand(const WorkingImage& work, const BlockMap& map, int32_t fingerCount,
                   int32_t handCode, TipBox* tips, int32_t* found, int32_t* hand) {
  double handAngle = 0;
  *hand = handCode;
  if (handCode == VANTREL_HAND_RIGHT || handCode == VANTREL_HAND_LEFT) {
    const int32_t wanted = std::min(fingerCount, static_cast<int32_t>(kMaxSlapFingers));
    const int32_t status = FindFingertips(work, map, wanted, tips, found, &handAngle);
    if (status != VANTREL_OK || wanted < 4) return status;
    return AddFaintFinger(work, map, tips, found);
  }
  if (handCode == VANTREL_HAND_THUMBS) return FindFingertips(work, map, 2, tips, found, &handAngle);
  *hand = VANTREL_HAND_UNKNOWN;
  Pieces pieces;  // both searches cut the same map
  int32_t status = FindFingertips(work, map, 4, tips, found, &handAngle, &pieces);
  if (status != VANTREL_OK || *found >= 4) return status;
  TipBox thumbs[kMaxSlapFingers];
  int32_t thumbCount = 0;
  status = FindFingertips(work, map, 2, thumbs, &thumbCount, &handAngle, &pieces);
  if (status != VANTREL_OK) return status;
  if (LooksLikeThumbs(tips, *found, thumbs, thumbCount, kMmPerInch / work.ppi)) {
    // Two tips beside a faint third are fingers of a hand, however large.
    // (AddFaintFinger leaves the tips as they were when it adds none.)
    if (*found == 2) {
      status = AddFaintFinger(work, map, tips, found);
      if (status != VANTREL_OK || *found == 3) return status;
    }
    for (int32_t i = 0; i < thumbCount; ++i) tips[i] = thumbs[i];
    *found = thumbCount;
    *hand = VANTREL_HAND_THUMBS;
    return VANTREL_OK;
  }
  return AddFaintFinger(work, map, tips, found);
}

// The tips as boxes in the caller's pixels.
void ToCaller(const WorkingImage& work, const TipBox* tips, int32_t found, SlapFinger* fingers) {
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
    f.width = kPrintWidthGain * t.width * std::hypot(cx * fx, sx * fy);
    f.height = t.height * std::hypot(sx * fx, cx * fy);
    f.angle = -tilt;
    f.confidence = t.confidence;
  }
}

// Position codes; a hand not yet known (0) is told right or left from the
// tips. Returns the hand.
int32_t AssignCodes(const WorkingImage& work, const BlockMap& map, const TipBox* tips,
                    int32_t found, int32_t hand, int32_t rows, int32_t columns, int32_t xres,
                    int32_t yres, SlapFinger* fingers) {
  PageTip page[kMaxSlapFingers];
  for (int32_t i = 0; i < found; ++i) page[i] = ToPage(fingers[i], xres, yres);
  for (int32_t i = 0; i < found; ++i) page[i].cut = CutByTop(tips[i], kMmPerInch / work.ppi);
  const double centreX = 0.5 * (columns - 1) * kMmPerInch / xres;
  const double centreY = 0.5 * (rows - 1) * kMmPerInch / yres;
  if (hand == VANTREL_HAND_THUMBS) {
    for (int32_t i = 0; i < found; ++i) {
      const bool left = found == 2 ? i == 0 : LeftThumbAlone(page[i], centreX);
      fingers[i].position = FingerPosition(VANTREL_HAND_THUMBS, left ? 0 : 1);
    }
    return hand;
  }
  if (found == 0) return hand;
  int32_t slots[kMaxSlapFingers] = {0, 1, 2, 3, 4};
  double lowerTilt = 0;
  const bool haveLower = LowerRidgeTilt(map, tips, found, &lowerTilt);
  const double blocksPerMm = work.ppi / kMmPerInch / map.blockSize;
  const int32_t cutSide = CutSide(map, tips, found, blocksPerMm);
  hand = AssignFingers(page, found, hand, centreX, centreY, haveLower, lowerTilt, cutSide, slots);
  for (int32_t i = 0; i < found; ++i) fingers[i].position = FingerPosition(hand, slots[i]);
  return hand;
}

}  // namespace

int32_t SegmentSlap(const uint8_t* image, int32_t rows, int32_t columns, int32_t xres, int32_t yres,
                    int32_t fingerCount, int32_t handCode, SlapFinger* fingers, int32_t* count,
                    int32_t* hand) {
  *count = 0;
  *hand = handCode;
  WorkingImage work;
  int32_t status = PrepareWorkingImage(image, rows, columns, xres, yres, &work);
  if (status != VANTREL_OK) return status;
  BlockMap map;
  status = BuildBlockMap(work, &map);
  if (status != VANTREL_OK) return status;
  TipBox tips[kMaxSlapFingers];
  int32_t found = 0, useHand = 0;
  status = SearchHand(work, map, fingerCount, handCode, tips, &found, &useHand);
  if (status != VANTREL_OK) return status;
  RateFingers(work, map, tips, found);
  ToCaller(work, tips, found, fingers);
  *hand = AssignCodes(work, map, tips, found, useHand, rows, columns, xres, yres, fingers);
  // Confidence and codes are read from the boxes as the mask measured them;
  // a thin print's box is then grown to the print.
  if (WidenThinPrints(map, tips, found)) ToCaller(work, tips, found, fingers);
  *count = found;
  return VANTREL_OK;
}

}  // namespace slap
}  // namespace vtl
