// Inputs shared by the hardening tests: small generated slaps of each kind,
// a blank page and a tiny image, with the arguments each is meant to be
// segmented with; and every exported segmenter behind one signature.
#ifndef VANTREL_TESTS_HARDENING_INPUTS_H
#define VANTREL_TESTS_HARDENING_INPUTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "slap_generator.h"
#include "vantrel.h"

namespace vtl::testing {

using Segmenter = int32_t (*)(int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t,
                              VantrelResultType**);

struct NamedSegmenter {
  const char* name;
  Segmenter call;
};

inline const std::vector<NamedSegmenter>& Segmenters() {
  static const std::vector<NamedSegmenter> all = {{"VantrelQuick", VantrelQuick},
                                                  {"VantrelQuickNew", VantrelQuickNew},
                                                  {"SeparateImages", SeparateImages},
                                                  {"VantrelSegmentSlap", VantrelSegmentSlap}};
  return all;
}

struct TestImage {
  std::string name;
  int32_t rows = 0, columns = 0;
  int32_t xres = 0, yres = 0;
  int32_t fingers = 4, hand = 0;
  std::vector<uint8_t> pixels;
};

// A generated slap at `ppi`, enlarged `scale` times by repeating pixels and
// declared at ppi * scale.
inline TestImage GeneratedSlap(const std::string& name, uint64_t seed, int hand, int32_t fingers,
                               int32_t handArgument, int32_t ppi, int32_t scale,
                               int missingFinger = -1) {
  vsynth::SlapOptions o;
  o.seed = seed;
  o.hand = hand;
  o.missingFinger = missingFinger;
  o.xppi = o.yppi = ppi;
  const vsynth::Slap slap = vsynth::GenerateSlap(o);
  TestImage t;
  t.name = name;
  t.rows = slap.rows * scale;
  t.columns = slap.columns * scale;
  t.xres = t.yres = ppi * scale;
  t.fingers = fingers;
  t.hand = handArgument;
  t.pixels.resize(static_cast<std::size_t>(t.rows) * t.columns);
  for (int32_t y = 0; y < t.rows; ++y) {
    for (int32_t x = 0; x < t.columns; ++x) {
      t.pixels[static_cast<std::size_t>(y) * t.columns + x] =
          slap.pixels[static_cast<std::size_t>(y / scale) * slap.columns + x / scale];
    }
  }
  return t;
}

inline TestImage Filled(const std::string& name, int32_t rows, int32_t columns, int32_t ppi,
                        uint8_t value) {
  TestImage t;
  t.name = name;
  t.rows = rows;
  t.columns = columns;
  t.xres = t.yres = ppi;
  t.pixels.assign(static_cast<std::size_t>(rows) * columns, value);
  return t;
}

// Right, left and thumbs at 201 ppi (right with its hand code, left left
// open), a blank page, a 3 x 3 image and a right hand short of a finger (a
// fourth is sought again).
inline const std::vector<TestImage>& SmallInputs() {
  static const std::vector<TestImage> inputs = {
      GeneratedSlap("right", 11, 13, 4, 13, 201, 1),
      GeneratedSlap("left", 12, 14, 4, 0, 201, 1),
      GeneratedSlap("thumbs", 13, 15, 2, 15, 201, 1),
      Filled("blank", 300, 300, 201, 255),
      Filled("tiny", 3, 3, 500, 0),
      GeneratedSlap("three fingers", 14, 13, 4, 0, 201, 1, 3)};
  return inputs;
}

// The same kinds at 500 ppi for VantrelCent2 (generated at 125 ppi, enlarged
// four times); the hand code is always given, the blank and tiny images ask
// for a right hand.
inline const std::vector<TestImage>& CentInputs() {
  static const std::vector<TestImage> inputs = {
      GeneratedSlap("right", 11, 13, 4, 13, 125, 4), GeneratedSlap("left", 12, 14, 4, 14, 125, 4),
      GeneratedSlap("thumbs", 13, 15, 2, 15, 125, 4), Filled("blank", 600, 600, 500, 255),
      Filled("tiny", 3, 3, 500, 0)};
  return inputs;
}

}  // namespace vtl::testing

#endif
