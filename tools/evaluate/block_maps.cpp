#include "block_maps.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "image_io.h"
#include "slap/slap_internal.h"

namespace veval {
namespace {

// Feature ranges mapped onto 0..255: period in millimetres, fill; blocks
// with little band-pass energy are drawn dim.
constexpr float kPeriodLowMm = 0.3f, kPeriodSpanMm = 0.7f;
constexpr float kFillLow = 0.3f, kFillSpan = 0.6f;
constexpr float kFaintEnergy = 20.0f, kFaintShade = 0.2f;

uint8_t Scaled(float value, float low, float span, float shade) {
  return static_cast<uint8_t>(std::clamp((value - low) / span, 0.0f, 1.0f) * 255 * shade);
}

}  // namespace

std::string WriteBlockMaps(const std::string& dir, const std::string& name, const uint8_t* pixels,
                           int32_t rows, int32_t columns, int32_t xppi, int32_t yppi) {
  vtl::slap::WorkingImage work;
  vtl::slap::BlockMap map;
  if (vtl::slap::PrepareWorkingImage(pixels, rows, columns, xppi, yppi, &work) != 0 ||
      vtl::slap::BuildBlockMap(work, &map) != 0) {
    return "no block map for this image";
  }
  const int32_t b = map.blockSize;
  const int32_t ppi = static_cast<int32_t>(std::lround(work.ppi));
  std::vector<uint8_t> score(static_cast<size_t>(work.rows) * work.columns * 3);
  std::vector<uint8_t> features(score.size());
  for (int32_t y = 0; y < work.rows; ++y) {
    for (int32_t x = 0; x < work.columns; ++x) {
      const size_t k = static_cast<size_t>(y / b) * map.columns + x / b;
      const size_t at = (static_cast<size_t>(y) * work.columns + x) * 3;
      const uint8_t g = work.grey[static_cast<size_t>(y) * work.columns + x];
      score[at] = static_cast<uint8_t>(g / 2 + 127 * map.score[k]);
      score[at + 1] = static_cast<uint8_t>(g / 2 + (map.mask[k] ? 100 : 0));
      score[at + 2] = static_cast<uint8_t>(g / 2);
      const float shade = map.energy[k] > kFaintEnergy ? 1.0f : kFaintShade;
      features[at] = Scaled(map.period[k], kPeriodLowMm, kPeriodSpanMm, shade);
      features[at + 1] = Scaled(map.fill[k], kFillLow, kFillSpan, shade);
      features[at + 2] = Scaled(map.coherence[k], 0.0f, 1.0f, shade);
    }
  }
  std::string error = vio::WritePng(dir + "/" + name + ".map.png", score.data(), work.rows,
                                    work.columns, 3, ppi, ppi);
  if (error.empty()) {
    error = vio::WritePng(dir + "/" + name + ".feat.png", features.data(), work.rows, work.columns,
                          3, ppi, ppi);
  }
  return error;
}

}  // namespace veval
