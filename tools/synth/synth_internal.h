// Internal pieces of the slap generator: the hand model in physical units and
// the drawing of card clutter.
#ifndef VANTREL_TOOLS_SYNTH_SYNTH_INTERNAL_H
#define VANTREL_TOOLS_SYNTH_SYNTH_INTERNAL_H

#include <cstdint>
#include <vector>

#include "random.h"
#include "slap_generator.h"

namespace vsynth {

enum class RidgePattern { kWhorl, kLoop, kArch };

// A dark patch where a segment was pressed hard, in the finger's (u, v), inches.
struct PressureBlob {
  double u = 0, v = 0;
  double halfU = 0.1, halfV = 0.15;
  double level = 0.9;  // darkness at its centre, 0..1
};

// One finger of an upright right hand (or a thumb), in inches. The hand frame
// has its origin at the image centre, x to the right and y down. Along the
// finger, v runs from the tip (0) towards the palm and u across it (positive to
// the right when the finger is upright).
struct FingerModel {
  int position = 0;
  double tipX = 0, tipY = 0;
  double lean = 0;       // clockwise tilt of the finger in the hand frame, radians
  double width = 0.7;    // widest extent of the top segment
  double topLength = 1;  // tip to the centre of the first crease
  double tipRound =
      0.6;  // half-length of the top segment's ellipse (its centre is at v = tipRound)
  double lowerHalfWidth = 0.3;       // half-width of the lower segments just under the first crease
  double lowerTaper = 0.03;          // growth of that half-width per inch towards the palm
  std::vector<double> creases;       // crease centres along v, the first one at topLength
  std::vector<double> creaseWidths;  // full width of each crease band
  double creaseDepth = 0.9;          // how far a crease lightens the print (1 = white)
  double creaseCurve = 0.02;         // the creases sag by this much at the finger's sides
  std::vector<double> pressures;     // pressure of each segment, 0..1 (top segment first)
  double end = 2.5;                  // where the print starts fading out
  double fade = 0.25;                // length of that fade
  // Ridge flow.
  RidgePattern pattern = RidgePattern::kLoop;
  double period = 0.02;  // ridge period, inches
  double coreU = 0, coreV = 0.5;
  // Ridges run at even spacing around a core segment from coreBack behind the
  // core to coreFront ahead of it, in the direction (coreSin, coreCos) in (u, v),
  // tilted coreTilt from straight down the finger. A short two-sided segment
  // gives an elongated whorl, a long one-sided one reaching out of the finger
  // a loop: its ridges turn round the core and leave on the side it points to.
  double coreBack = 0.05, coreFront = 0.05, coreCos = 1, coreSin = 0;
  double archHeight = 0.1, archWidth = 0.2;
  double blendStart = 0.7, blendEnd = 0.95;  // v range where the top flow turns into the lower one
  double lowerOffset = 0;  // lines up the lower flow with the rings where they meet
  double lowerWave = 0.02, lowerWaveLength = 1;
  double warpAmp[2] = {0, 0}, warpKu[2] = {0, 0}, warpKv[2] = {0, 0}, warpPhase[2] = {0, 0};
  uint64_t seed = 0;
  // Hard kinds, all off by default.
  double dry = 0;       // 0..1: broken ridges, low contrast, speckle, ink voids
  double lowerDry = 0;  // the same below the first crease only, where a livescan shows pores
  double smudge = 0;    // 0..1: ink filling the valleys in patches
  std::vector<PressureBlob> blobs;

  double HalfWidthAt(double v) const;  // half-width of the print at v (0 outside)
  double MaxHalfWidth() const;
};

struct HandModel {
  double widthInches = 3.2, heightInches = 3.0;
  std::vector<FingerModel> fingers;  // left to right in the upright hand
  std::vector<FingerModel> palm;     // printed below the fingers, no truth record
};

// Lays out an upright right hand (any hand code other than 15) or the two
// thumbs (15). Draws from rng only.
HandModel LayOutHand(int hand, bool touching, double widthInches, double heightInches, Rng& rng);

// Sideways shift that puts `right` at the wanted distance from `left`: at
// least topGap between the fingertips' top segments and lowGap lower down
// (negative = the prints may overlap there), looking down to hand-frame height
// `bottom`. Returns the smallest gap of the lower parts after the shift.
double PlaceGap(const FingerModel& left, FingerModel& right, double topGap, double lowGap,
                double bottom);

// Reshapes the laid-out hand for the hard kinds the options ask for (large or
// leaning thumbs, a low, faint or cut little finger, a cut top edge, dry and
// smudged prints, pressure blobs) and appends the palm when asked. Draws from
// rng only; leaves the model as it is when no hard kind is on.
void ApplyHardKinds(const SlapOptions& options, HandModel& model, Rng& rng);

// Noise fields of the hard kinds, in the same coordinates as the finger's own
// fields.
struct HardFields {
  ValueNoise breaks;  // ridge-sized: where dry ridges break
  ValueNoise voids;   // patches of a few millimetres without ink
  ValueNoise smudge;  // where ink fills the valleys
  uint64_t speckleSeed = 0;
};

// Card clutter drawn into a grey layer (255 = nothing), which the caller lays
// over the print by taking the darker value. The hole is returned separately:
// it replaces whatever lies under it.
struct Hole {
  double x = 0, y = 0, radius = 0;  // pixels
  uint8_t grey = 0;
};
void DrawClutter(uint64_t seed, int columns, int rows, double xppi, double yppi,
                 const std::vector<FingerTruth>& tips, std::vector<uint8_t>& layer,
                 std::vector<Hole>& holes);

}  // namespace vsynth

#endif  // VANTREL_TOOLS_SYNTH_SYNTH_INTERNAL_H
