// The main stages alone, on the working image of a generated 500 ppi right
// hand (hand code 0 slant range). Run: build/bench/bench/bench_stages
#include <benchmark/benchmark.h>

#include <vector>

#include "analysis/finger_extraction.h"
#include "analysis/finger_gaps.h"
#include "geometry/box_refinement.h"
#include "interface/finger_region.h"
#include "interface/memory.h"
#include "prepare/foreground.h"
#include "prepare/resample.h"
#include "quick/labelling.h"
#include "separate/separation_driver.h"
#include "separate/slant_cache.h"
#include "separate/slant_profiles.h"
#include "separate/slant_search.h"
#include "separate/slant_tables.h"
#include "slap_generator.h"
#include "vantrel.h"

namespace {

constexpr float kFactor = 500.0f / 62.0f;

struct Fixture {
  vsynth::Slap slap;
  std::vector<uint8_t> work;
  std::vector<uint8_t> mask;
  int32_t rows = 0, columns = 0;
  std::vector<vtl::FingerRegion> regions;  // the separator's result, caller pixels
  Fixture() {
    vsynth::SlapOptions o;
    o.seed = 2024;
    o.rotationDeg = 6;
    slap = vsynth::GenerateSlap(o);
    uint8_t* w = nullptr;
    vtl::ResampleToWorkingResolution(slap.pixels.data(), slap.rows, slap.columns, kFactor, kFactor,
                                     &w, &rows, &columns);
    work.assign(w, w + static_cast<size_t>(rows) * columns);
    uint8_t* m = nullptr;
    int32_t background = 0;
    vtl::FindForegroundMask(rows, columns, w, &m, &background);
    mask.assign(m, m + work.size());
    vtl::Release(w);
    vtl::Release(m);
    vtl::FingerRegion* found = nullptr;
    int32_t count = 0;
    int32_t hand = 0;
    vtl::LocateFingerRegions(500, 500, slap.pixels.data(), slap.columns, slap.rows, 4, &count,
                             &found, &hand);
    regions.assign(found, found + count);
    vtl::Release(found);
  }
};

const Fixture& F() {
  static Fixture f;
  return f;
}

void BM_Resample(benchmark::State& state) {
  const Fixture& f = F();
  for (auto _ : state) {
    uint8_t* out = nullptr;
    int32_t r = 0, c = 0;
    vtl::ResampleToWorkingResolution(f.slap.pixels.data(), f.slap.rows, f.slap.columns, kFactor,
                                     kFactor, &out, &r, &c);
    vtl::Release(out);
  }
}
BENCHMARK(BM_Resample)->Unit(benchmark::kMicrosecond);

void BM_ForegroundMask(benchmark::State& state) {
  const Fixture& f = F();
  for (auto _ : state) {
    uint8_t* mask = nullptr;
    int32_t background = 0;
    vtl::FindForegroundMask(f.rows, f.columns, f.work.data(), &mask, &background);
    vtl::Release(mask);
  }
}
BENCHMARK(BM_ForegroundMask)->Unit(benchmark::kMicrosecond);

void BM_Labelling(benchmark::State& state) {
  const Fixture& f = F();
  for (auto _ : state) {
    int32_t count = 0, capacity = 0;
    vtl::ComponentRecord* table = nullptr;
    int32_t* labels = nullptr;
    vtl::LabelComponents(0, 0, 256, f.rows, f.columns, f.mask.data(), &count, &capacity, &table,
                         &labels);
    benchmark::DoNotOptimize(count);
  }
  vtl::DestroyLabellingState();
}
BENCHMARK(BM_Labelling)->Unit(benchmark::kMicrosecond);

// One slant's profiles, plain and from the tables (slant = range(0)).
void BM_SlantProfilesPlain(benchmark::State& state) {
  const Fixture& f = F();
  const auto s = static_cast<int32_t>(state.range(0));
  std::vector<int32_t> dark(f.columns + 2 * f.rows), total(dark.size());
  for (auto _ : state) {
    int32_t n = 0;
    vtl::BuildSlantProfiles(f.mask.data(), f.columns, f.rows, dark.data(), total.data(), &n, s, 0);
    benchmark::DoNotOptimize(dark.data());
  }
}
BENCHMARK(BM_SlantProfilesPlain)
    ->Arg(0)
    ->Arg(40)
    ->Arg(-150)
    ->Arg(300)
    ->Unit(benchmark::kMicrosecond);

void BM_SlantProfilesFast(benchmark::State& state) {
  const Fixture& f = F();
  const auto s = static_cast<int32_t>(state.range(0));
  vtl::SlantTables tables{};
  vtl::BuildSlantTables(f.mask.data(), f.columns, f.rows, 0, 2 * f.rows, &tables);
  std::vector<int32_t> dark(f.columns + 2 * f.rows), total(dark.size());
  for (auto _ : state) {
    // Profiles are built for a batch of slants and kept: forget the batch,
    // so that every iteration builds the eight slants of s's batch.
    tables.cachedBatch[0] = tables.cachedBatch[1] = -1;
    int32_t n = 0;
    vtl::BuildSlantProfilesFromTables(&tables, dark.data(), total.data(), &n, s);
    benchmark::DoNotOptimize(dark.data());
  }
  vtl::ReleaseSlantTables(&tables);
  state.SetLabel("eight slants per iteration");
}
BENCHMARK(BM_SlantProfilesFast)
    ->Arg(0)
    ->Arg(40)
    ->Arg(-150)
    ->Arg(300)
    ->Unit(benchmark::kMicrosecond);

void BM_SlantTables(benchmark::State& state) {
  const Fixture& f = F();
  for (auto _ : state) {
    vtl::SlantTables tables{};
    vtl::BuildSlantTables(f.mask.data(), f.columns, f.rows, 0, 2 * f.rows, &tables);
    vtl::ReleaseSlantTables(&tables);
  }
}
BENCHMARK(BM_SlantTables)->Unit(benchmark::kMicrosecond);

struct SearchContext {
  const Fixture* f;
  vtl::SlantTables* tables;
  int32_t* dark;
  int32_t* total;
};

int32_t Analyse(void* context, int32_t slant, float* score, vtl::ProfilePeaks* fingers,
                vtl::ProfilePeaks* gaps) {
  auto* c = static_cast<SearchContext*>(context);
  if (c->tables != nullptr) {
    return vtl::AnalyseSlantFromTables(c->tables, 18, slant, score, fingers, gaps);
  }
  int32_t n = 0;
  const int32_t status = vtl::BuildSlantProfiles(c->f->mask.data(), c->f->columns, c->f->rows,
                                                 c->dark, c->total, &n, slant, 0);
  if (status != 0) return status;
  return vtl::FindFingersAndGaps(18, c->dark, c->total, n, c->f->rows, score, fingers, gaps);
}

// The whole slant search of hand code 0; range(0) = 1 uses the tables.
void BM_SlantSearch(benchmark::State& state) {
  const Fixture& f = F();
  std::vector<int32_t> dark(f.columns + 2 * f.rows), total(dark.size());
  for (auto _ : state) {
    vtl::SlantTables tables{};
    const bool fast = state.range(0) == 1;
    if (fast) vtl::BuildSlantTables(f.mask.data(), f.columns, f.rows, 0, 2 * f.rows, &tables);
    SearchContext context{&f, fast ? &tables : nullptr, dark.data(), total.data()};
    vtl::SlantSearch search;
    vtl::StartSlantSearch(4, &search);
    vtl::SearchSlants(vtl::ComputeSlantLimits(0, f.rows), Analyse, &context, &search);
    benchmark::DoNotOptimize(search.bestSlant);
    if (fast) vtl::ReleaseSlantTables(&tables);
  }
}
BENCHMARK(BM_SlantSearch)->ArgName("fast")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_BoxRefinement(benchmark::State& state) {
  const Fixture& f = F();
  // Rough boxes: the separator's regions brought back to working pixels.
  std::vector<vtl::FingerRegion> rough(f.regions);
  for (auto& r : rough) {
    r = vtl::FingerRegion{};
  }
  for (size_t i = 0; i < rough.size(); ++i) {
    rough[i].centerX = static_cast<int32_t>(f.regions[i].centerX / kFactor);
    rough[i].centerY = f.rows / 2;
    rough[i].width = static_cast<int32_t>(f.regions[i].width / kFactor) + 4;
    rough[i].height = f.rows - 1;
    rough[i].angle = f.regions[i].angle;
  }
  for (auto _ : state) {
    std::vector<vtl::FingerRegion> regions(rough);
    vtl::RefineFingerRegions(0, 93, f.mask.data(), f.columns, f.rows, regions.data(),
                             static_cast<int32_t>(regions.size()));
    benchmark::DoNotOptimize(regions.data());
  }
}
BENCHMARK(BM_BoxRefinement)->Unit(benchmark::kMicrosecond);

void BM_FingerImageCutting(benchmark::State& state) {
  const Fixture& f = F();
  std::vector<SegmentedFinger> fingers(f.regions.size());
  for (auto _ : state) {
    for (auto& finger : fingers) finger = SegmentedFinger{};
    vtl::ExtractFingerImages(f.slap.pixels.data(), f.slap.columns, f.slap.rows, f.regions.data(),
                             static_cast<int32_t>(f.regions.size()), fingers.data());
    for (auto& finger : fingers) vtl::Release(finger.image);
  }
}
BENCHMARK(BM_FingerImageCutting)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
