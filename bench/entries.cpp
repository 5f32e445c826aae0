// Every exported entry on generated slaps at 500 and 1000 ppi, per hand code,
// and SeparateImages with the plain point-by-point slant count beside the
// fast one. Run: build/bench/bench/bench_entries
#include <benchmark/benchmark.h>

#include <map>
#include <utility>

#include "separate/slant_tables.h"
#include "slap_generator.h"
#include "vantrel.h"

namespace {

// One slap per (hand code, ppi), generated once. Hand code 0 uses a right hand.
const vsynth::Slap& SlapFor(int handCode, int ppi) {
  static std::map<std::pair<int, int>, vsynth::Slap> cache;
  auto key = std::make_pair(handCode, ppi);
  auto it = cache.find(key);
  if (it == cache.end()) {
    vsynth::SlapOptions o;
    o.seed = 2024;
    o.hand = handCode == 0 ? 13 : handCode;
    o.xppi = o.yppi = ppi;
    o.rotationDeg = 6;
    it = cache.emplace(key, vsynth::GenerateSlap(o)).first;
  }
  return it->second;
}

using Segmenter = int32_t (*)(int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t,
                              VantrelResultType**);

void RunSegmenter(benchmark::State& state, Segmenter segment) {
  const int hand = static_cast<int>(state.range(0));
  const int ppi = static_cast<int>(state.range(1));
  const vsynth::Slap& slap = SlapFor(hand, ppi);
  const int32_t fingers = hand == 15 ? 2 : 4;
  VantrelResultType* result = nullptr;
  for (auto _ : state) {
    const int32_t status = segment(ppi, ppi, slap.pixels.data(), slap.rows, slap.columns, fingers,
                                   hand, &result);
    benchmark::DoNotOptimize(status);
  }
  DestroyVantrelResult1(&result);
  state.counters["images/s"] = benchmark::Counter(state.iterations(), benchmark::Counter::kIsRate);
  state.SetLabel(std::to_string(slap.columns) + "x" + std::to_string(slap.rows));
}

void BM_SeparateImages(benchmark::State& state) { RunSegmenter(state, SeparateImages); }
void BM_VantrelQuick(benchmark::State& state) { RunSegmenter(state, VantrelQuick); }
void BM_VantrelQuickNew(benchmark::State& state) { RunSegmenter(state, VantrelQuickNew); }

void BM_SeparateImagesPlainCount(benchmark::State& state) {
  vtl::SetPlainSlantCounting(true);
  RunSegmenter(state, SeparateImages);
  vtl::SetPlainSlantCounting(false);
}

void BM_VantrelCent2(benchmark::State& state) {
  const int hand = static_cast<int>(state.range(0));
  const vsynth::Slap& slap = SlapFor(hand, 500);
  FingerInfo info[4];
  char message[16];
  for (auto _ : state) {
    benchmark::DoNotOptimize(VantrelCent2(slap.pixels.data(), slap.rows, slap.columns, hand, 0, 0,
                                          0, 0, 0, 0xF, info, message));
  }
  state.counters["images/s"] = benchmark::Counter(state.iterations(), benchmark::Counter::kIsRate);
}

void HandsAndResolutions(benchmark::internal::Benchmark* b) {
  for (int ppi : {500, 1000})
    for (int hand : {0, 13, 14, 15}) b->Args({hand, ppi});
  b->ArgNames({"hand", "ppi"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_SeparateImages)->Apply(HandsAndResolutions);
BENCHMARK(BM_SeparateImagesPlainCount)->Apply(HandsAndResolutions);
BENCHMARK(BM_VantrelQuick)->Apply(HandsAndResolutions);
BENCHMARK(BM_VantrelQuickNew)->Apply(HandsAndResolutions);
BENCHMARK(BM_VantrelCent2)
    ->ArgName("hand")
    ->Arg(0)
    ->Arg(13)
    ->Arg(14)
    ->Arg(15)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
