// Synthetic slap generator: deterministic, realistic 8-bit flat impressions of
// the four fingers of one hand or of the two thumbs, with their ground truth.
//
// Everything is a function of the options alone (the seed included): the same
// options give the same pixels on every platform, because the generator draws
// from its own random sequence and its own distributions.
//
// The images are pinned: the golden results hash them and several tests pick
// their seeds by what they show. A change to the rendering or to the order of
// the random draws must come with those re-recorded (tests/synth checks a few
// image hashes so that such a change cannot pass unnoticed).
#ifndef VANTREL_TOOLS_SYNTH_SLAP_GENERATOR_H
#define VANTREL_TOOLS_SYNTH_SLAP_GENERATOR_H

#include <cstdint>
#include <string>
#include <vector>

namespace vsynth {

struct SlapOptions {
  uint64_t seed = 1;
  int hand = 13;                  // 13 right four, 14 left four (mirror of right), 15 two thumbs
  double xppi = 500, yppi = 500;  // may differ across and down
  double rotationDeg = 0;         // rotation of the whole hand, + = clockwise on screen
  int missingFinger = -1;         // place from the left of a finger left out, -1 none
  bool touching = false;          // neighbouring fingers touch lower down
  bool clutter = false;           // inked-card clutter: form lines, text, handwriting, a hole
  double contrast = 1.0;          // 0.3 faint .. 1.0 full
  double noise = 0.03;            // background noise, standard deviation as a fraction of 255
  bool bilevel = false;           // output only 0 and 255
  double widthInches = 0;         // image size; 0 = 3.2 in (hand) or 2.4 in (thumbs)
  double heightInches = 0;        // 0 = 3.0 in (hand) or 2.0 in (thumbs)

  // Hard kinds of real capture. All off by default: the pinned images draw
  // none of them, and their draws come from a sequence of their own.
  double dryness = 0;      // 0 off .. 1: broken ridges, low ridge contrast, speckle, ink voids
  double smudge = 0;       // 0 off .. 1: ink filling the valleys in patches
  int pressureBlobs = 0;   // dark blobs where a segment was pressed hard, 0..8
  double littleDrop = 0;   // inches the little fingertip lies below the mean of the other tips,
                           // 0 = as drawn (four-finger hands; 0.8..1.6 is the hard range)
  double littleFaint = 1;  // pressure of the little finger, 1 = as drawn .. 0.2 faint
  int littleCut = 0;       // 0 none, 1 little fingertip cut by the bottom edge, 2 by its side edge
  bool largeThumbs = false;         // thumbs of a large hand, top segment about 1 x 1.4 in
  bool thumbLean = false;           // thumbLeanDeg replaces the drawn lean of the thumbs
  double thumbLeanDeg[2] = {0, 0};  // left and right thumb on screen, + = tip turned clockwise
  double topCut = 0;  // inches the highest fingertip lies above the top edge, 0 = inside
  bool palm = false;  // lower phalanges pressed as hard as the tips, palm below them
};

// Ground truth of one fingertip. All lengths and positions are in pixels of the
// generated image; pixel (column c, row r) has its centre at (c, r).
struct FingerTruth {
  int position;   // right 2..5 index..little, left 7..10 index..little, thumbs 1 right, 6 left
  int fromLeft;   // place among the records, 0 = leftmost (equals the record's index)
  double cx, cy;  // centre of the top segment (tip to the first crease)
  double width, height;  // that segment's box: width across the finger, height along it
  double angle;          // radians; one box column right moves (cos a, -sin a) in (column, row),
                         // one box row down moves (sin a, cos a); 0 = upright, a < 0 = tip
                         // leaning right
  double tipX, tipY;     // the fingertip (top end of the finger's axis)
  double visible;        // fraction of the top segment inside the image, 0.5 .. 1
};

struct Slap {
  int rows = 0, columns = 0;
  std::vector<uint8_t> pixels;  // row-major, stride = columns, 8-bit grey, white background
  double xppi = 500, yppi = 500;
  int hand = 13;
  // Ordered from left to right by centre column. A finger whose top segment is
  // less than half inside the image (a rotated hand cut by the border) has no
  // record, nor has the missing finger.
  std::vector<FingerTruth> fingers;
};

// Renders the slap described by the options. Out-of-range values are clamped
// to sensible limits (resolution 100..2000 ppi, rotation -60..60 degrees,
// contrast 0.1..1, noise 0..0.5); an unknown hand code counts as 13.
Slap GenerateSlap(const SlapOptions& options);

// A varied but deterministic draw of options for the seed (hand, resolution,
// rotation, contrast, noise, clutter, missing and touching fingers, bilevel),
// for bulk tests and evaluation.
SlapOptions RandomOptions(uint64_t seed);

// RandomOptions(seed) with, in about half of the draws, one or more of the
// hard kinds added (dry or smudged prints, pressure blobs, a low, faint or cut
// little finger, large leaning thumbs on a four-finger platen cut by its top
// edge, a palm). The hard kinds come from their own sequence.
SlapOptions RandomHardOptions(uint64_t seed);

// The hard kinds an options record carries, as short names joined by '+'
// ("dry+low-little"), or "plain".
std::string HardKinds(const SlapOptions& options);

// The truth as JSON (no pixels): rows, columns, resolutions, hand and the
// finger records with the field names above.
std::string ToJson(const Slap& slap);

}  // namespace vsynth

#endif  // VANTREL_TOOLS_SYNTH_SLAP_GENERATOR_H
