// Shared types of the fingertip search: pieces of the finger mask, the
// candidates found along one slant of the hand and the per-call scratch.
#ifndef VANTREL_SLAP_SEARCH_CONTEXT_H
#define VANTREL_SLAP_SEARCH_CONTEXT_H

#include <cmath>
#include <cstdint>

#include "slap/slap_internal.h"
#include "slap/slap_tuning.h"

namespace vtl {
namespace slap {

constexpr int32_t kMaxCandidates = 24;
constexpr int32_t kMaxBins = 1024;
constexpr int32_t kMaxPieces = 64;
constexpr int32_t kMaxLevels = 160;    // midline levels traced
constexpr int32_t kMaxProfile = 4096;  // samples of the top segment's profile

struct Geometry {
  double mmPerBlock;  // block side in millimetres
  double blocksPerMm;
};

struct Component {
  int32_t label;
  int32_t area;
  double sx, sy;  // centroid (block units)
  double tilt;    // principal axis tilt from vertical, + = top leans right
  double elongation;
};

struct Candidate {
  int32_t label;
  double tipHeight;              // highest point along the hand's up direction
  double acrossLow, acrossHigh;  // band across the hand, block units
  double acrossPeak;
  int32_t area;  // blocks of the top part
  double meanScore;
  double weight;  // ranking value
  bool dropped;
};

// Up the hand: (sin phi, -cos phi); across to the right: (cos phi, sin phi).
struct Frame {
  double ux, uy, rx, ry;
  explicit Frame(double phi)
      : ux(std::sin(phi)), uy(-std::cos(phi)), rx(std::cos(phi)), ry(std::sin(phi)) {}
  double Height(double x, double y) const { return x * ux + y * uy; }
  double Across(double x, double y) const { return x * rx + y * ry; }
};

// Expected top segment length (working pixels; 0: from the width) and how
// strongly the crease search keeps to it.
struct LengthPrior {
  double length = 0;
  double weight = 0.5;
};

// Working arrays of one call, kept off the stack: callers' threads may have
// small ones.
struct Scratch {
  // Midline trace, per level.
  double left[kMaxLevels], right[kMaxLevels], widths[kMaxLevels], kept[kMaxLevels];
  bool valid[kMaxLevels], free[kMaxLevels];
  int8_t side[kMaxLevels];  // clipped on one side: +1 left edge lost, -1 right
  // Top segment profile.
  double energy[kMaxProfile], smooth[kMaxProfile], sorted[kMaxProfile];
  double strip[kTipStrips][kMaxProfile], stripSmooth[kMaxProfile], tipProfile[kMaxProfile];
};

// The finger mask cut into pieces.
struct Pieces {
  Buffer<int32_t> labels;  // per block, 0 off the mask
  // Per block, 1 where it may shape its piece's outline: it lies in a 3 x 3
  // square of its piece, among at least a scrap's area of such blocks. A pen
  // stroke crossing a finger, and a blot it ties to the finger, may not.
  Buffer<uint8_t> outline;
  int32_t labelCount = 0;
  Component comps[kMaxPieces];
  int32_t count = 0;
  bool found = false;  // set by FindPieces
};

struct Context {
  const WorkingImage& work;
  const BlockMap& map;
  const int32_t* labels;
  const uint8_t* outline;
  Geometry g;
  Frame frame;
  Scratch* scratch;
};

double Clamp(double v, double lo, double hi);

// Median axis tilt of the first `count` tips.
double MedianTilt(const TipBox* tips, int32_t count);

// Cleans the block mask, fills small holes, labels it and measures the
// pieces large enough to be fingers. Returns 0 or 19.
int32_t FindPieces(const BlockMap& map, const Geometry& g, Pieces* pieces);

// The hand's direction from the outline of the pieces (radians, + = fingers
// lean right); *pieceAngle receives the pieces' own axes' mean. Returns 0 or
// 19.
int32_t OutlineDirection(const BlockMap& map, const Pieces& pieces, const Geometry& g,
                         int32_t maxFingers, double* phi, double* pieceAngle);

// The top segment of a candidate: its axis from the blocks near the tip, the
// tip and the first crease from the ridge energy along that axis, the width
// from the ridge area across it. False when the candidate holds no finger.
bool RefineCandidate(const Context& ctx, const Candidate& c, double maxBend,
                     const LengthPrior& prior, TipBox* box);

// Whether a corner of the box lies within kBorderMm of the image's edge.
bool AtBorder(const Context& ctx, const TipBox& t);
// Share of the box inside the image.
double InsideShare(const Context& ctx, const TipBox& t);

}  // namespace slap
}  // namespace vtl

#endif
