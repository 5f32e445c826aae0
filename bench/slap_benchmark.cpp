// VantrelSegmentSlap on a 500 ppi four-finger slap of about 1600 x 1500
// pixels, and its stages.
#include <benchmark/benchmark.h>

#include "../tests/slap/painted_hand.h"
#include "slap/slap_internal.h"
#include "vantrel.h"

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
