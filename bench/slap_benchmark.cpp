// VantrelSegmentSlap on a 500 ppi four-finger slap of about 1600 x 1500
// pixels, and its stages; with the generator, on varied generated slaps.
#include <benchmark/benchmark.h>

#include "../tests/slap/painted_hand.h"
#include "slap/slap_internal.h"
#include "vantrel.h"
// The generator is linked in when it is built.
#if __has_include("slap_generator.h")
#define VANTREL_BENCH_HAVE_SYNTH 1
#include <vector>

#include "slap_generator.h"
#endif

namespace {

const vtl::testing::PaintedImage& Slap500() {
  static const vtl::testing::PaintedImage image = [] {
    std::vector<vtl::testing::PaintedFinger> fingers = {{18, 22, 4, 16, 24, 60},
                                                        {36, 12, 2, 17, 26, 64},
                                                        {54, 16, -1, 16, 25, 62},
                                                        {70, 30, -4, 14, 21, 50}};
    return vtl::testing::PaintHand(81.3, 76.2, 500, fingers);
  }();
  return image;
}

void BM_SegmentSlap500(benchmark::State& state) {
  const auto& img = Slap500();
  VantrelResultType* result = nullptr;
  for (auto _ : state) {
    const int32_t status =
        VantrelSegmentSlap(500, 500, img.pixels.data(), img.rows, img.columns, 4, 0, &result);
    benchmark::DoNotOptimize(status);
  }
  DestroyVantrelResult1(&result);
  state.counters["columns"] = img.columns;
  state.counters["rows"] = img.rows;
}
BENCHMARK(BM_SegmentSlap500)->Unit(benchmark::kMillisecond);

#ifdef VANTREL_BENCH_HAVE_SYNTH
// Generated 500 ppi slaps of every kind (hands, thumbs, turned, touching,
// missing fingers, card clutter, faint, bilevel): the harder ones search the
// hand's direction more than once. One iteration segments one slap.
const std::vector<vsynth::Slap>& Generated500() {
  static const std::vector<vsynth::Slap> slaps = [] {
    std::vector<vsynth::Slap> out;
    for (uint64_t seed = 1000; seed < 1040; ++seed) {
      vsynth::SlapOptions o = vsynth::RandomOptions(seed);
      o.xppi = o.yppi = 500;
      out.push_back(vsynth::GenerateSlap(o));
    }
    return out;
  }();
  return slaps;
}

void BM_SegmentSlapGenerated500(benchmark::State& state) {
  const auto& slaps = Generated500();
  VantrelResultType* result = nullptr;
  std::size_t next = 0;
  for (auto _ : state) {
    const vsynth::Slap& s = slaps[next];
    next = (next + 1) % slaps.size();
    const int32_t status = VantrelSegmentSlap(500, 500, s.pixels.data(), s.rows, s.columns,
                                              s.hand == 15 ? 2 : 4, 0, &result);
    benchmark::DoNotOptimize(status);
  }
  DestroyVantrelResult1(&result);
}
BENCHMARK(BM_SegmentSlapGenerated500)->Unit(benchmark::kMillisecond)->Iterations(400);
#endif

void BM_SlapStages500(benchmark::State& state) {
  const auto& img = Slap500();
  const int stage = static_cast<int>(state.range(0));
  for (auto _ : state) {
    vtl::slap::WorkingImage work;
    vtl::slap::PrepareWorkingImage(img.pixels.data(), img.rows, img.columns, 500, 500, &work);
    if (stage < 1) continue;
    vtl::slap::BlockMap map;
    vtl::slap::BuildBlockMap(work, &map);
    if (stage < 2) continue;
    vtl::slap::TipBox tips[vtl::slap::kMaxSlapFingers];
    int32_t count = 0;
    double angle = 0;
    vtl::slap::FindFingertips(work, map, 4, tips, &count, &angle);
    benchmark::DoNotOptimize(count);
  }
}
// 0: working image and band-pass; 1: plus block map; 2: plus fingertips.
BENCHMARK(BM_SlapStages500)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
