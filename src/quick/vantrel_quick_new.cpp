// Variant of the quick fingertip finder: candidates are the largest
// components, visited from the highest centroid down; only the accepted ones
// are measured.
#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "interface/api_lock.h"
#include "interface/memory.h"
#include "interface/result.h"
#include "quick/quick_pipeline.h"
#include "quick/record_sort.h"
#include "vantrel.h"

namespace {

using vtl::ComponentRecord;
using vtl::FingerRegion;

// True when the component's centroid keeps minSeparation columns from the
// centre of every region accepted so far.
bool ApartFromAccepted(const ComponentRecord& component, const FingerRegion* accepted, int32_t m,
                       int32_t minSeparation) {
  for (int32_t a = 0; a < m; ++a) {
    if (std::abs(component.centroidX - accepted[a].centerX) < minSeparation) return false;
  }
  return true;
}

}  // namespace

int32_t VantrelQuickNew(int32_t xres, int32_t yres, const uint8_t* image, int32_t rows,
                        int32_t columns, int32_t fingerCount, int32_t handCode,
                        VantrelResultType** result) {
  const vtl::ApiLock lock;
  const vtl::QuickCall call{image, rows, columns, fingerCount, handCode};
  vtl::QuickSetup setup{};
  vtl::QuickWork work{};
  int32_t status = vtl::StartQuick(xres, yres, call, result, &setup, &work);
  if (status != VANTREL_OK) return status;

  // The component table itself is reordered, so the component indices of the
  // regions refer to positions in the sorted table. A failed sort would pick
  // the wrong candidates and is reported.
  ComponentRecord* table = work.table;
  status = vtl::SortRecords(table, sizeof(ComponentRecord), work.componentCount,
                            offsetof(ComponentRecord, area), vtl::kSortDescending);
  if (status != VANTREL_OK) return vtl::FailQuick(&work, result, status);
  int32_t l = 0;
  while (l < work.componentCount && table[l].area >= setup.minArea) ++l;
  if (l == 0) return vtl::FailQuick(&work, result, VANTREL_NO_FINGER);

  const int32_t largest = table[0].area;
  work.points = vtl::AllocateZeroed<vtl::PointXY>(static_cast<size_t>(largest));
  if (work.points == nullptr) return vtl::FailQuick(&work, result, VANTREL_OUT_OF_MEMORY);
  status = vtl::SortRecords(table, sizeof(ComponentRecord), l, offsetof(ComponentRecord, centroidY),
                            vtl::kSortAscending);
  if (status != VANTREL_OK) return vtl::FailQuick(&work, result, status);
  // No more than l regions can be accepted, whatever count the caller asks.
  const int32_t room = std::min(setup.wanted, l);
  work.regions = vtl::AllocateZeroed<FingerRegion>(static_cast<size_t>(room));
  if (work.regions == nullptr) return vtl::FailQuick(&work, result, VANTREL_OUT_OF_MEMORY);

  int32_t m = 0;
  for (int32_t j = 0; j < l && m < room; ++j) {
    if (m > 0 && !ApartFromAccepted(table[j], work.regions, m, setup.minSeparation)) continue;
    const int32_t count = vtl::CollectComponentPoints(work, table[j].label, work.points, largest);
    vtl::MeasureFingerRegion(work.workRows, work.workColumns, count, work.points, &work.regions[m]);
    work.regions[m].componentIndex = j;
    ++m;
  }
  vtl::ReleaseAndClear(work.points);
  if (m == 0) return vtl::FailQuick(&work, result, VANTREL_NO_FINGER);

  status =
      vtl::FinishQuickResult(call, vtl::HandInference::kThumbsOnly, setup.block, &work, m, result);
  if (status != VANTREL_OK) return vtl::FailQuick(&work, result, status);
  vtl::ReleaseQuickWork(&work);
  return VANTREL_OK;
}
