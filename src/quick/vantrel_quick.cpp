// The quick fingertip finder: the highest sufficiently large piece of
// foreground in each column band is a fingertip.
#include <cstddef>
#include <cstdlib>

#include "interface/api_lock.h"
#include "interface/memory.h"
#include "interface/result.h"
#include "quick/quick_pipeline.h"
#include "quick/record_sort.h"
#include "vantrel.h"

namespace {

using vtl::FingerRegion;

// Accepts regions from the highest top down whose centres keep minSeparation
// columns from every region accepted before, until n are accepted; moves them
// to the front in that order and returns how many.
int32_t ChooseFingertips(FingerRegion* regions, int32_t k, int32_t n, int32_t minSeparation) {
  int32_t m = 1;
  for (int32_t i = 1; m < n && i < k; ++i) {
    bool apart = true;
    for (int32_t a = 0; a < m && apart; ++a) {
      apart = std::abs(regions[i].centerX - regions[a].centerX) >= minSeparation;
    }
    if (apart) regions[m++] = regions[i];
  }
  return m;
}

}  // namespace

int32_t VantrelQuick(int32_t xres, int32_t yres, const uint8_t* image, int32_t rows,
                     int32_t columns, int32_t fingerCount, int32_t handCode,
                     VantrelResultType** result) {
  const vtl::ApiLock lock;
  const vtl::QuickCall call{image, rows, columns, fingerCount, handCode};
  vtl::QuickSetup setup{};
  vtl::QuickWork work{};
  int32_t status = vtl::StartQuick(xres, yres, call, result, &setup, &work);
  if (status != VANTREL_OK) return status;

  // Keep the components big enough to be fingertips, in table order, at the
  // front of the table.
  int32_t k = 0;
  int32_t largest = 0;
  for (int32_t j = 0; j < work.componentCount; ++j) {
    if (work.table[j].area < setup.minArea) continue;
    if (work.table[j].area > largest) largest = work.table[j].area;
    work.table[k++] = work.table[j];
  }
  if (k == 0) return vtl::FailQuick(&work, result, VANTREL_NO_FINGER);

  work.regions = vtl::AllocateZeroed<FingerRegion>(static_cast<size_t>(k));
  if (work.regions != nullptr) work.points = vtl::AllocateZeroed<vtl::PointXY>(largest);
  if (work.regions == nullptr || work.points == nullptr)
    return vtl::FailQuick(&work, result, VANTREL_OUT_OF_MEMORY);
  for (int32_t i = 0; i < k; ++i) {
    const int32_t count =
        vtl::CollectComponentPoints(work, work.table[i].label, work.points, largest);
    vtl::MeasureFingerRegion(work.workRows, work.workColumns, count, work.points, &work.regions[i]);
    work.regions[i].componentIndex = i;
  }
  vtl::ReleaseAndClear(work.points);

  // Unsorted regions would yield the wrong tips: a failed sort is reported.
  status = vtl::SortRecords(work.regions, sizeof(FingerRegion), k, offsetof(FingerRegion, top),
                            vtl::kSortAscending);
  if (status != VANTREL_OK) return vtl::FailQuick(&work, result, status);
  const int32_t m = ChooseFingertips(work.regions, k, setup.wanted, setup.minSeparation);

  status = vtl::FinishQuickResult(call, vtl::HandInference::kHandsAndThumbs, setup.block, &work, m,
                                  result);
  if (status != VANTREL_OK) return vtl::FailQuick(&work, result, status);
  vtl::ReleaseQuickWork(&work);
  return VANTREL_OK;
}
