// WSQ decoding and encoding of a real 500 ppi four-finger slap of 1608 x 1000
// pixels (samples/real/nist_card_left_500ppi.png) at 0.75 bits per pixel.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "image_io.h"

namespace {

const vio::GreyImage& Slap() {
  static const vio::GreyImage image = [] {
    vio::GreyImage slap;
    const vio::ReadStatus status =
        vio::ReadImage(VANTREL_SOURCE_DIR "/samples/real/nist_card_left_500ppi.png", {}, &slap);
    if (!status.ok()) std::abort();
    return slap;
  }();
  return image;
}

std::vector<uint8_t> Encode() {
  const vio::GreyImage& slap = Slap();
  std::vector<uint8_t> bytes;
  vio::EncodeWsq(slap.pixels.data(), slap.rows, slap.columns, 500, vio::kWsqDefaultBitRate, &bytes);
  return bytes;
}

void BM_WsqDecodeSlap(benchmark::State& state) {
  const std::vector<uint8_t> bytes = Encode();
  vio::GreyImage image;
  for (auto _ : state) {
    const vio::ReadStatus status = vio::DecodeImage(bytes.data(), bytes.size(), {}, &image);
    benchmark::DoNotOptimize(status);
  }
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_WsqDecodeSlap)->Unit(benchmark::kMillisecond);

void BM_WsqEncodeSlap(benchmark::State& state) {
  const vio::GreyImage& slap = Slap();
  std::vector<uint8_t> bytes;
  for (auto _ : state) {
    const std::string error = vio::EncodeWsq(slap.pixels.data(), slap.rows, slap.columns, 500,
                                             vio::kWsqDefaultBitRate, &bytes);
    benchmark::DoNotOptimize(error);
  }
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_WsqEncodeSlap)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
