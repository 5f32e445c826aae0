#include "analysis/finger_extraction.h"
#include "interface/api_lock.h"
#include "interface/memory.h"
#include "interface/result.h"
#include "separate/separation_driver.h"
#include "vantrel.h"

int32_t SeparateImages(int32_t xres, int32_t yres, const uint8_t* pixels, int32_t rows,
                       int32_t columns, int32_t fingerCount, int32_t handCode,
                       VantrelResultType** result) {
  const vtl::ApiLock lock;
  vtl::VantrelParameter* block = nullptr;
  int32_t status =
      vtl::BeginSegmentation(xres, yres, pixels, rows, columns, fingerCount, result, &block);
  if (status != VANTREL_OK) return status;

  int32_t count = 0;
  vtl::FingerRegion* regions = nullptr;
  int32_t hand = handCode;
  status = vtl::LocateFingerRegions(xres, yres, pixels, columns, rows, fingerCount, &count,
                                    &regions, &hand);
  if (status == VANTREL_OK && count < 1) status = VANTREL_NO_FINGER;

  VantrelResultType* container = nullptr;
  if (status == VANTREL_OK) {
    container = vtl::AllocateResult(count);
    if (container == nullptr) status = VANTREL_OUT_OF_MEMORY;
  }
  if (status == VANTREL_OK) {
    *result = container;
    block->LastResult = container;
    // The impression's code: the caller's, or the hand the driver recognised
    // when the caller left it open. Any other value the caller passed means
    // "open" and is not echoed.
    if (hand == VANTREL_HAND_RIGHT || hand == VANTREL_HAND_LEFT || hand == VANTREL_HAND_THUMBS) {
      container->handCode = hand;
    }
    for (int32_t i = 0; i < count; ++i) {
      const vtl::FingerRegion& r = regions[i];
      SegmentedFinger& f = container->fingers[i];
      f.position = i;
      f.boxHeight = r.height;
      f.boxWidth = r.width;
      f.centerX = r.centerX;
      f.centerY = r.centerY;
      f.angle = r.angle;
    }
    container->count = count;
    status = vtl::ExtractFingerImages(pixels, columns, rows, regions, count, container->fingers);
  }

  vtl::ReleaseAndClear(regions);
  if (status != VANTREL_OK) return vtl::FailSegmentation(result, status);
  return VANTREL_OK;
}
