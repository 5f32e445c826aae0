// Scoring an entry on the generator's slaps. Header-only: the evaluation
// library does not link the generator, the programs that include this do.
#ifndef VANTREL_TOOLS_EVALUATE_GENERATED_TRUTH_H
#define VANTREL_TOOLS_EVALUATE_GENERATED_TRUTH_H

#include <cstdint>
#include <string>
#include <vector>

#include "evaluate.h"
#include "slap_generator.h"

namespace veval {

// The generator's fingertips as evaluation truth.
inline std::vector<TruthFinger> TruthOf(const vsynth::Slap& slap) {
  std::vector<TruthFinger> truth;
  for (const auto& f : slap.fingers) {
    TruthFinger t;
    t.box = {f.cx, f.cy, f.width, f.height, f.angle};
    t.position = f.position;
    truth.push_back(t);
  }
  return truth;
}

// The generator's resolution as the whole pixels per inch an entry takes.
inline int32_t WholePpi(double ppi) {
  return static_cast<int32_t>(ppi + 0.5);
}

// Runs `segmenter` on the slap generated from `seed` with the hand left open,
// asking for four fingers (or `fingerCount` when positive) as a caller who
// does not know the impression would, and scores it; the score is named by
// seed and hand.
inline ImageScore ScoreGeneratedSlap(Segmenter segmenter, const vsynth::Slap& slap, uint64_t seed,
                                     const std::vector<TruthFinger>& truth,
                                     std::vector<Detection>* found, int32_t fingerCount = 0) {
  ImageScore score =
      RunAndScore(segmenter, slap.pixels.data(), slap.rows, slap.columns, WholePpi(slap.xppi),
                  WholePpi(slap.yppi), fingerCount > 0 ? fingerCount : 4, truth, found);
  score.name = "synth-" + std::to_string(seed) + "-h" + std::to_string(slap.hand);
  return score;
}

}  // namespace veval

#endif
