// Which finger of which hand each fingertip found is (hand_placement.cpp).
#ifndef VANTREL_SLAP_HAND_PLACEMENT_H
#define VANTREL_SLAP_HAND_PLACEMENT_H

#include <cstdint>

#include "slap/slap_internal.h"

namespace vtl {
namespace slap {

// A fingertip in millimetres of the page, so that a caller's image with
// different resolutions across and down does not bend the hand's geometry.
struct PageTip {
  double x = 0, y = 0;  // the tip (top end of the axis)
  double tilt = 0;      // axis from vertical, + = tip leans right
  double width = 0;
  double length = 0;  // of the top segment
  bool cut = false;   // tip cut by the image's top edge
};

PageTip ToPage(const SlapFinger& f, double xres, double yres);

// The hand's direction from the ridges below the top segments: there they run
// across the finger whatever pattern the tip bears, and a trace led off by a
// touching neighbour does not turn them. Sampled along each finger's own axis
// from just below its crease to one segment lower; *tilt (radians, + = tip
// leans right, working pixels being square) is set when the ridges there are
// coherent.
bool LowerRidgeTilt(const BlockMap& map, const TipBox* tips, int32_t n, double* tilt);

// Places the fingers found (left to right) on the four slots of a hand: the
// slots left out by a missing finger show as a wider step across the hand,
// and the heights of the tips follow the hand's pattern, seen along the
// hand's own direction. A hand short of a finger is still placed about the
// middle of the impression (centreX, centreY, millimetres), which tells which
// end lost it when the heights cannot, unless an edge cut it away (cutSide,
// see CutSide). With hand 0 both hands are tried.
// Sets slots[] and returns the hand chosen.
int32_t AssignFingers(const PageTip* tips, int32_t n, int32_t hand, double centreX, double centreY,
                      bool haveLower, double lowerTilt, int32_t cutSide, int32_t* slots);

// For two or three fingers found: the image edge (-1 left, +1 right, 0
// neither or both) whose border strip holds finger blocks, kRemnantAreaMm2
// at least, beside the hand's tips and outside the outer ones, starting below
// the highest tip (kRemnantDrop): what is left of a finger the edge cut away.
int32_t CutSide(const BlockMap& map, const TipBox* tips, int32_t n, double blocksPerMm);

// A thumb found alone keeps its side of a two-thumb impression; near the
// middle, its lean (thumbs lean towards each other) decides.
bool LeftThumbAlone(const PageTip& t, double centreX);

}  // namespace slap
}  // namespace vtl

#endif
