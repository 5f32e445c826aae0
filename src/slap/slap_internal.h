// Stages of the texture-driven slap segmenter (VantrelSegmentSlap).
//
// The caller's image is box-averaged to a working resolution of roughly 250
// pixels per inch, where a friction ridge period spans about five pixels. A
// band-pass of that image, summarised per block of about 0.8 mm, tells ridge
// texture (strong, regular, coherently oriented) from paper, ink blots, text
// and handwriting. Fingers are found on that block grid, then each fingertip
// is measured along its own axis on the working image.
#ifndef VANTREL_SLAP_SLAP_INTERNAL_H
#define VANTREL_SLAP_SLAP_INTERNAL_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "interface/memory.h"
#include "slap/slap_tuning.h"
#include "vantrel.h"

namespace vtl {
namespace slap {

constexpr int32_t kMaxSlapFingers = 5;

// Median of n > 0 values, sorted in place.
inline double Median(double* values, int32_t n) {
  for (int32_t i = 1; i < n; ++i) {
    const double v = values[i];
    int32_t j = i;
    for (; j > 0 && values[j - 1] > v; --j) values[j] = values[j - 1];
    values[j] = v;
  }
  return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// Division by d > 0 as a multiply, for per-pixel loops: with r =
// DivisionReciprocal(d) (2^32 / d rounded up), (n * r) >> 32 is n / d for
// every n < 2^32 / d.
inline uint64_t DivisionReciprocal(uint32_t d) {
  return ((uint64_t{1} << 32) + d - 1) / d;
}
inline uint64_t DivideByReciprocal(uint64_t n, uint64_t r) {
  return (n * r) >> 32;
}

// Heap array owned by one call; every block goes through the library's
// allocator so that failure paths can be exercised.
template <typename T>
class Buffer {
 public:
  Buffer() = default;
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  ~Buffer() { ReleaseAndClear(data_); }

  // False when the heap cannot supply `count` elements (contents zeroed).
  bool Reset(std::size_t count) {
    ReleaseAndClear(data_);
    size_ = 0;
    data_ = AllocateZeroed<T>(count == 0 ? 1 : count);
    if (data_ == nullptr) return false;
    size_ = count;
    return true;
  }
  // As Reset, contents unspecified: for arrays the caller fills whole.
  bool ResetUncleared(std::size_t count) {
    ReleaseAndClear(data_);
    size_ = 0;
    data_ = static_cast<T*>(AllocateUnclearedArray(count == 0 ? 1 : count, sizeof(T)));
    if (data_ == nullptr) return false;
    size_ = count;
    return true;
  }
  T* get() { return data_; }
  const T* get() const { return data_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  std::size_t size() const { return size_; }

 private:
  T* data_ = nullptr;
  std::size_t size_ = 0;
};

// The caller's image at the working resolution with its ridge evidence.
struct WorkingImage {
  int32_t rows = 0, columns = 0;
  double factorX = 1, factorY = 1;  // caller pixels per working pixel
  double ppi = 250;                 // working resolution, the same across and down
  Buffer<uint8_t> grey;             // box average of the caller's image
  Buffer<float> bandPass;           // ridge-band signal: fine blur minus coarse blur
};

// Per-block summary of the working image.
struct BlockMap {
  int32_t rows = 0, columns = 0;
  int32_t blockSize = 8;    // working pixels per block side
  Buffer<float> score;      // ridge evidence 0..1
  Buffer<float> energy;     // mean band-pass power over the block's window
  Buffer<float> coherence;  // orientation coherence 0..1
  Buffer<float> darkness;   // 255 - mean grey
  Buffer<float> period;     // dominant band-pass period, millimetres
  Buffer<float> fill;       // (mean |bp|)^2 / mean bp^2: spread of the energy
  Buffer<float> orientCos;  // doubled ridge-normal angle (cos, sin), weighted
  Buffer<float> orientSin;
  Buffer<uint8_t> mask;  // 1 where the block belongs to a finger
  Buffer<float> faint;   // ridge evidence where sparse fragments of one direction count too
  float paper = 0;       // darkness of the paper: the median off the mask
};

// Index of the block holding working-image point (x, y); -1 off the map.
inline int64_t BlockIndexAt(const BlockMap& map, double x, double y) {
  if (x < 0 || y < 0) return -1;
  const int32_t bx = static_cast<int32_t>(x) / map.blockSize;
  const int32_t by = static_cast<int32_t>(y) / map.blockSize;
  if (bx >= map.columns || by >= map.rows) return -1;
  return static_cast<int64_t>(by) * map.columns + bx;
}

// One fingertip found, in working pixels until converted.
struct TipBox {
  double cx = 0, cy = 0;         // centre of the top segment
  double width = 0, height = 0;  // across and along the finger
  double tilt = 0;               // axis tilt from vertical, radians, + = tip leans right
  double across = 0;             // place across the hand (for ordering)
  double height_along = 0;       // tip height along the hand's up direction
  double confidence = 0;
  int32_t slot = 0;  // finger of the hand counted from the left, 0..3
};

// Median of a field over n tips (at most kMaxSlapFingers), as Median.
inline double Median(const TipBox* tips, int32_t n, double TipBox::*field) {
  double values[kMaxSlapFingers];
  const int32_t m = std::min(n, kMaxSlapFingers);
  for (int32_t i = 0; i < m; ++i) values[i] = tips[i].*field;
  return Median(values, m);
}

// (x, y) seen from tip t's centre: across its axis and up it.
struct AxisOffset {
  double across = 0, up = 0;
};
inline AxisOffset OffsetFrom(const TipBox& t, double x, double y) {
  const double dx = x - t.cx, dy = y - t.cy;
  return {dx * std::cos(t.tilt) + dy * std::sin(t.tilt),
          dx * std::sin(t.tilt) - dy * std::cos(t.tilt)};
}

// Points of tip t's box in working pixels: `across` right of its centre
// and `up` towards its tip.
struct BoxAxes {
  explicit BoxAxes(const TipBox& t)
      : cx(t.cx),
        cy(t.cy),
        nx(std::cos(t.tilt)),
        ny(std::sin(t.tilt)),
        vx(std::sin(t.tilt)),
        vy(-std::cos(t.tilt)) {}
  double X(double across, double up) const { return cx + across * nx + up * vx; }
  double Y(double across, double up) const { return cy + across * ny + up * vy; }
  double cx, cy, nx, ny, vx, vy;
};

// Whether (x, y) lies on tip t's own line: within `band` of its width across
// its axis and not above its tip (its box, its lower segments, its palm).
inline bool OnOwnLine(const TipBox& t, double x, double y, double band) {
  const AxisOffset o = OffsetFrom(t, x, y);
  return std::fabs(o.across) <= band * 0.5 * t.width && o.up <= 0.5 * t.height;
}

// A finger as handed to the caller: the top segment's box in caller pixels,
// box convention of the library (angle < 0 when the tip leans right).
struct SlapFinger {
  double cx = 0, cy = 0;
  double width = 0, height = 0;
  double angle = 0;
  double confidence = 0;
  int32_t position = 0;
};

// The whole search: up to fingerCount fingers (two for thumbs, at most
// kMaxSlapFingers) from left to right with their position codes; *hand
// receives the hand used. Returns 0 (also with *count 0), 19 or 23.
int32_t SegmentSlap(const uint8_t* image, int32_t rows, int32_t columns, int32_t xres, int32_t yres,
                    int32_t fingerCount, int32_t handCode, SlapFinger* fingers, int32_t* count,
                    int32_t* hand);

// Decimates and band-passes the caller's image. Returns 0, 19 or 23 (image
// too small to hold a fingertip).
int32_t PrepareWorkingImage(const uint8_t* image, int32_t rows, int32_t columns, int32_t xres,
                            int32_t yres, WorkingImage* work);

// Block features, ridge score and finger mask. Returns 0 or 19.
int32_t BuildBlockMap(const WorkingImage& work, BlockMap* map);

struct Pieces;

// Finds up to maxFingers fingertips; *count receives how many. *handAngle
// receives the hand's tilt (radians, + = fingers lean right). `pieces`, when
// given, carries the map's pieces from one call on the same map to the next.
// Candidates weaker than weakShare of the typical one are taken for scraps.
// Returns 0 or 19.
int32_t FindFingertips(const WorkingImage& work, const BlockMap& map, int32_t maxFingers,
                       TipBox* tips, int32_t* count, double* handAngle, Pieces* pieces = nullptr,
                       double weakShare = kWeakShare);

// Where box b stands seen along box a's axis: the share of the smaller box
// they have in common, and whether b stands below a within its width, its
// tip well down a's top segment or lower (kUnderTop).
struct Stance {
  double shared = 0;
  bool under = false;
};
Stance StanceOf(const TipBox& a, const TipBox& b);

// With three fingers of a hand found (or two), looks for the fourth (third),
// too faint or dry for the ridge mask, on a mask where sparse ridge fragments
// count, beside the outer ones. Returns 0 or 19.
int32_t AddFaintFinger(const WorkingImage& work, const BlockMap& map, TipBox* tips, int32_t* found);

// Lowers each tip's confidence (its ridge evidence) where its box disagrees
// with the others' or with a fingertip's shape, or covers little ridge.
void RateFingers(const WorkingImage& work, const BlockMap& map, TipBox* tips, int32_t n);

// Share of points spread over the box that lie on ridge blocks.
double RidgeCover(const BlockMap& map, const TipBox& t);

// Widens and lengthens, about their centres, the boxes of prints too thin
// for the ridge mask to reach their edges (see kThinCover). Returns whether
// any box changed.
bool WidenThinPrints(const BlockMap& map, TipBox* tips, int32_t n);

}  // namespace slap
}  // namespace vtl

#endif
