// A hand's fourth finger where three were found (or third where two): a
// little finger pressed lightly, or dry, leaves ridge fragments too sparse
// for the ridge mask. It is sought again on the faint map and kept only where
// a finger of the hand would stand: beside the outer ones, clear of them, of
// their width.
#include <algorithm>
#include <cmath>

#include "slap/search_context.h"

namespace vtl {
namespace slap {
namespace {

// The block map with the faint evidence as its score and mask.
int32_t FaintView(const BlockMap& map, BlockMap* out) {
  const std::size_t nb = static_cast<std::size_t>(map.rows) * map.columns;
  out->rows = map.rows;
  out->columns = map.columns;
  out->blockSize = map.blockSize;
  out->paper = map.paper;
  const Buffer<float>* from[] = {&map.faint,  &map.energy, &map.coherence, &map.darkness,
                                 &map.period, &map.fill,   &map.orientCos, &map.orientSin};
  Buffer<float>* to[] = {&out->score,  &out->energy, &out->coherence, &out->darkness,
                         &out->period, &out->fill,   &out->orientCos, &out->orientSin};
  for (std::size_t i = 0; i < sizeof from / sizeof from[0]; ++i) {
    if (!to[i]->Reset(nb)) return VANTREL_OUT_OF_MEMORY;
    std::copy(from[i]->get(), from[i]->get() + nb, to[i]->get());
  }
  if (!out->mask.Reset(nb) || !out->faint.Reset(nb)) return VANTREL_OUT_OF_MEMORY;
  for (std::size_t k = 0; k < nb; ++k) out->mask[k] = map.faint[k] > kMaskScore ? 1 : 0;
  return VANTREL_OK;
}

// Whether `c` stands where the hand's missing outer finger would: clear of
// every tip found, outside their row, a finger's pitch from the nearest, of a
// finger's width. (rx, ry): across the hand.
bool FitsBeside(const TipBox* tips, int32_t found, const TipBox& c, double rx, double ry,
                double width) {
  double lo = 1e300, hi = -1e300;
  for (int32_t i = 0; i < found; ++i) {
    const Stance a = StanceOf(tips[i], c), b = StanceOf(c, tips[i]);
    if (a.shared > kClearShare || b.shared > kClearShare || a.under || b.under) return false;
    const double across = tips[i].cx * rx + tips[i].cy * ry;
    lo = std::min(lo, across);
    hi = std::max(hi, across);
  }
  const double across = c.cx * rx + c.cy * ry;
  const double step = across < lo ? lo - across : across - hi;
  if (across >= lo && across <= hi) return false;
  return step >= kFaintPitchLow * width && step <= kFaintPitchHigh * width &&
         c.width >= kFaintWidthLow * width && c.width <= kFaintWidthHigh * width;
}

}  // namespace

int32_t AddFaintFinger(const WorkingImage& work, const BlockMap& map, TipBox* tips,
                       int32_t* found) {
  if (*found < 2 || *found > 3) return VANTREL_OK;
  BlockMap faint;
  int32_t status = FaintView(map, &faint);
  if (status != VANTREL_OK) return status;
  TipBox others[kMaxSlapFingers];
  int32_t count = 0;
  double angle = 0;
  status = FindFingertips(work, faint, 4, others, &count, &angle, nullptr, kFaintWeakShare);
  if (status != VANTREL_OK) return status;
  const double width = Median(tips, *found, &TipBox::width);
  const double phi = MedianTilt(tips, *found);
  const double rx = std::cos(phi), ry = std::sin(phi);
  int32_t best = -1;
  for (int32_t i = 0; i < count; ++i) {
    if (!FitsBeside(tips, *found, others[i], rx, ry, width)) continue;
    // Beside two, a blot of a finger's size is as likely as a finger: it
    // must lean as they do.
    if (*found == 2 && std::fabs(others[i].tilt - phi) > Radians(kFaintPairTiltDeg)) continue;
    if (best < 0 || others[i].confidence > others[best].confidence) best = i;
  }
  if (best < 0) return VANTREL_OK;
  tips[(*found)++] = others[best];
  std::sort(tips, tips + *found, [&](const TipBox& a, const TipBox& b) {
    return a.cx * rx + a.cy * ry < b.cx * rx + b.cy * ry;
  });
  for (int32_t i = 0; i < *found; ++i) tips[i].slot = i;
  return VANTREL_OK;
}

}  // namespace slap
}  // namespace vtl
