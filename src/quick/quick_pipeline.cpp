#include "quick/quick_pipeline.h"

#include <cstddef>

#include "interface/memory.h"
#include "interface/result.h"
#include "prepare/foreground.h"
#include "prepare/resample.h"
#include "quick/finger_images.h"
#include "quick/record_sort.h"

namespace vtl {
namespace {

constexpr float kQuickFixedValue = 15.0f;

}  // namespace

int32_t FindForegroundComponents(const QuickCall& call, int32_t xres, int32_t yres,
                                 const VantrelParameter& block, QuickWork* work) {
  work->colFactor = static_cast<float>(xres) / static_cast<float>(block.WorkResolution);
  work->rowFactor = static_cast<float>(yres) / static_cast<float>(block.WorkResolution);
  int32_t status = ResampleToWorkingResolution(call.image, call.rows, call.columns, work->colFactor,
                                               work->rowFactor, &work->workPixels, &work->workRows,
                                               &work->workColumns);
  if (status != VANTREL_OK) return status;
  int32_t backgroundCount = 0;
  status = FindForegroundMask(work->workRows, work->workColumns, work->workPixels, &work->mask,
                              &backgroundCount);
  ReleaseAndClear(work->workPixels);
  if (status != VANTREL_OK) return status;
  int32_t capacity = 0;
  status =
      LabelComponents(kForeground, kForeground, kQuickLabelBase, work->workRows, work->workColumns,
                      work->mask, &work->componentCount, &capacity, &work->table, &work->labels);
  if (status != VANTREL_OK) return status;
  return work->componentCount == 0 ? VANTREL_NO_FINGER : VANTREL_OK;
}

int32_t StartQuick(int32_t xres, int32_t yres, const QuickCall& call, VantrelResultType** result,
                   QuickSetup* setup, QuickWork* work) {
  *work = QuickWork{};
  int32_t status = BeginSegmentation(xres, yres, call.image, call.rows, call.columns,
                                     call.fingerCount, result, &setup->block);
  if (status != VANTREL_OK) return status;
  const VantrelParameter& block = *setup->block;
  setup->minArea = ToWorkingArea(block, block.MinComponentArea);
  setup->minSeparation = ToWorkingLength(block, block.MinFingerSeparation);
  setup->wanted = call.handCode == VANTREL_HAND_THUMBS ? 2 : call.fingerCount;
  status = FindForegroundComponents(call, xres, yres, block, work);
  if (status != VANTREL_OK) return FailQuick(work, result, status);
  return VANTREL_OK;
}

int32_t CollectComponentPoints(const QuickWork& work, int32_t label, PointXY* points,
                               int32_t room) {
  int32_t n = 0;
  for (int32_t y = 0; y < work.workRows; ++y) {
    const int32_t* row = work.labels + static_cast<int64_t>(y) * work.workColumns;
    for (int32_t x = 0; x < work.workColumns && n < room; ++x) {
      if (row[x] == label) points[n++] = PointXY{x, y};
    }
  }
  return n;
}

int32_t InferHandCode(HandInference rule, int32_t handCode, int32_t fingerCount,
                      const FingerRegion* regions, int32_t m) {
  if (handCode != VANTREL_HAND_UNKNOWN) return handCode;
  if (fingerCount == 2 && m == 2) return VANTREL_HAND_THUMBS;
  if (rule == HandInference::kHandsAndThumbs && m == 4) {
    const int32_t t0 = regions[0].top, t1 = regions[1].top;
    const int32_t t2 = regions[2].top, t3 = regions[3].top;
    // The middle finger is the longest: on a left hand the tips rise from the
    // little finger to it, on a right hand they fall from it to the little.
    if (t0 > t1 && t1 > t2) return VANTREL_HAND_LEFT;
    if (t1 < t2 && t2 < t3) return VANTREL_HAND_RIGHT;
  }
  return VANTREL_HAND_UNKNOWN;
}

int32_t FinishQuickResult(const QuickCall& call, HandInference rule, VantrelParameter* block,
                          QuickWork* work, int32_t m, VantrelResultType** result) {
  VantrelResultType* container = AllocateResult(m);
  if (container == nullptr) return VANTREL_OUT_OF_MEMORY;
  *result = container;
  container->count = m;

  // Out of order, the records would carry the wrong finger positions.
  FingerRegion* regions = work->regions;
  const int32_t status =
      SortRecords(regions, sizeof(FingerRegion), m, offsetof(FingerRegion, left), kSortAscending);
  if (status != VANTREL_OK) return status;
  ScaleRegionsToImage(call.columns, call.rows, regions, m, work->colFactor, work->rowFactor);
  const int32_t handCode = InferHandCode(rule, call.handCode, call.fingerCount, regions, m);

  for (int32_t i = 0; i < m; ++i) {
    SegmentedFinger& record = container->fingers[i];
    const FingerRegion& region = regions[i];
    record.position = FingerPosition(handCode, i);
    record.boxHeight = region.height;
    record.boxWidth = region.width;
    record.centerX = region.centerX;
    record.centerY = region.centerY;
    record.angle = region.angle;
    record.fixedValue = kQuickFixedValue;
    record.top = region.top;
    record.left = region.left;
    record.bottom = region.bottom;
    record.right = region.right;
    record.image = nullptr;
  }
  if (block->MakeFingerImages == 1) {
    const int32_t cut = CutFingerImages(
        call.rows, call.columns, call.image, work->workRows, work->workColumns, work->labels,
        work->table, m, work->colFactor, work->rowFactor, regions, container->fingers);
    if (cut != VANTREL_OK) return cut;
  }
  container->handCode = handCode;
  block->LastResult = container;
  return VANTREL_OK;
}

void ReleaseQuickWork(QuickWork* work) {
  ReleaseAndClear(work->workPixels);
  ReleaseAndClear(work->mask);
  ReleaseAndClear(work->regions);
  ReleaseAndClear(work->points);
}

int32_t FailQuick(QuickWork* work, VantrelResultType** result, int32_t status) {
  ReleaseQuickWork(work);
  return FailSegmentation(result, status);
}

}  // namespace vtl
