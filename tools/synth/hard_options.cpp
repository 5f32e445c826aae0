// The hard mix: the generator's usual variety with, in about half of the
// draws, kinds of real capture that segmenters find hard.
#include <algorithm>
#include <string>

#include "slap_generator.h"
#include "synth_internal.h"

namespace vsynth {
namespace {

constexpr double kHardShare = 0.5;  // images with at least one hard kind
// Full livescan platen, inches: thumbs captured on it leave room for a hand.
constexpr double kPlatenWidth = 3.2, kPlatenHeight = 3.0;
constexpr double kDryMin = 0.3, kDryMax = 0.9;
constexpr double kDryContrastMin = 0.7;

void DrawHandKinds(SlapOptions& o, Rng& rng) {
  if (rng.Chance(0.35)) o.littleDrop = rng.Uniform(0.8, 1.6);
  if (rng.Chance(0.3)) o.littleFaint = rng.Uniform(0.3, 0.7);
  if (rng.Chance(0.2)) o.littleCut = rng.Chance(0.5) ? 1 : 2;
  if (rng.Chance(0.25)) o.palm = true;
  if (rng.Chance(0.1)) o.topCut = rng.Uniform(0.05, 0.3);
}

void DrawThumbKinds(SlapOptions& o, Rng& rng) {
  o.largeThumbs = rng.Chance(0.5);
  if (rng.Chance(0.5)) {
    // Both thumbs turned the same way, more or less towards each other;
    // tips spread apart only a little, as the hands' sides meet below them.
    o.thumbLean = true;
    const double common = rng.Uniform(-25, 25), towards = rng.Uniform(-8, 20);
    o.thumbLeanDeg[0] = std::max(-30.0, std::min(30.0, common + towards / 2));
    o.thumbLeanDeg[1] = std::max(-30.0, std::min(30.0, common - towards / 2));
  }
  if (rng.Chance(0.35)) o.topCut = rng.Uniform(0.05, 0.4);
  // Large or leaning thumbs hardly fit the small thumb frame: mostly they come
  // on the full platen.
  if ((o.largeThumbs || o.thumbLean) && rng.Chance(0.85)) {
    o.widthInches = kPlatenWidth, o.heightInches = kPlatenHeight;
  }
}

void DrawPrintKinds(SlapOptions& o, Rng& rng, bool thumbs) {
  if (rng.Chance(thumbs ? 0.45 : 0.35)) {
    o.dryness = rng.Uniform(kDryMin, kDryMax);
    // A scanner's gain lifts a dry print; dry on top of faint would leave
    // nothing an operator accepts.
    o.contrast = std::max(o.contrast, kDryContrastMin);
  }
  if (rng.Chance(0.2)) o.smudge = rng.Uniform(0.3, 0.9);
  if (rng.Chance(0.25)) o.pressureBlobs = rng.Int(1, 4);
}

}  // namespace

SlapOptions RandomHardOptions(uint64_t seed) {
  SlapOptions o = RandomOptions(seed);
  Rng rng(Hash64(seed) ^ 0x4A12D0F71050ull);
  if (!rng.Chance(kHardShare)) return o;
  const bool thumbs = o.hand == 15;
  // Draw until at least one kind is on.
  while (HardKinds(o) == "plain") {
    if (thumbs) {
      DrawThumbKinds(o, rng);
    } else {
      DrawHandKinds(o, rng);
    }
    DrawPrintKinds(o, rng, thumbs);
  }
  return o;
}

std::string HardKinds(const SlapOptions& o) {
  const bool thumbs = o.hand == 15;
  std::string kinds;
  auto add = [&kinds](bool on, const char* name) {
    if (!on) return;
    if (!kinds.empty()) kinds += '+';
    kinds += name;
  };
  add(o.dryness > 0, "dry");
  add(o.smudge > 0, "smudge");
  add(o.pressureBlobs > 0, "blobs");
  add(!thumbs && o.littleDrop > 0, "low-little");
  add(!thumbs && o.littleFaint < 1, "faint-little");
  add(!thumbs && o.littleCut == 1, "cut-little-bottom");
  add(!thumbs && o.littleCut == 2, "cut-little-side");
  add(thumbs && o.largeThumbs, "large-thumbs");
  add(thumbs && o.thumbLean, "thumb-lean");
  add(o.topCut > 0, "top-cut");
  add(!thumbs && o.palm, "palm");
  return kinds.empty() ? "plain" : kinds;
}

}  // namespace vsynth
