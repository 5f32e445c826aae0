#include "interface/result.h"

#include "interface/api_lock.h"
#include "interface/memory.h"

namespace vtl {

void ReleaseResult(VantrelResultType** result) {
  if (IsAbsent(result) || IsAbsent(*result)) return;
  VantrelResultType* container = *result;
  if (!IsAbsent(container->fingers)) {
    for (int32_t i = 0; i < container->count; ++i) ReleaseAndClear(container->fingers[i].image);
  }
  ReleaseAndClear(container->fingers);
  Release(container);
  *result = nullptr;
}

VantrelResultType* AllocateResult(int32_t count) {
  auto* container = AllocateZeroed<VantrelResultType>(1);
  if (container == nullptr) return nullptr;
  container->fingers = AllocateZeroed<SegmentedFinger>(count < 1 ? 1 : static_cast<size_t>(count));
  if (container->fingers == nullptr) {
    Release(container);
    return nullptr;
  }
  return container;
}

int32_t BeginSegmentation(int32_t xres, int32_t yres, const uint8_t* image, int32_t rows,
                          int32_t columns, int32_t fingerCount, VantrelResultType** result,
                          VantrelParameter** block) {
  *block = GetVantrelParameter();
  if (*block == nullptr) {
    // Without the block the segmenters have no parameters to run with.
    if (result != nullptr) ReleaseResult(result);
    return VANTREL_OUT_OF_MEMORY;
  }
  int32_t status = VANTREL_OK;
  if (xres < 201) {
    status = VANTREL_BAD_XRES;
  } else if (yres < 201) {
    status = VANTREL_BAD_YRES;
  } else if (image == nullptr) {
    status = VANTREL_NULL_IMAGE;
  } else if (rows < 1) {
    status = VANTREL_BAD_ROWS;
  } else if (columns < 1) {
    status = VANTREL_BAD_COLUMNS;
  } else if (fingerCount < 1) {
    status = VANTREL_BAD_FINGER_COUNT;
  } else if (result == nullptr) {
    status = VANTREL_NULL_RESULT;
  }
  if (status != VANTREL_OK) return FailSegmentation(result, status);
  // LastResult never names a released container, also while a segmenter runs
  // without the library's lock.
  if (*result == (*block)->LastResult) (*block)->LastResult = nullptr;
  ReleaseResult(result);
  return VANTREL_OK;
}

int32_t FailSegmentation(VantrelResultType** result, int32_t status) {
  DestroyVantrelResult1(result);
  return status;
}

}  // namespace vtl

void DestroyVantrelResult1(VantrelResultType** result) {
  const vtl::ApiLock lock;
  vtl::VantrelParameter* block = vtl::GetVantrelParameter();
  vtl::ReleaseResult(result);
  if (block != nullptr) block->LastResult = nullptr;
}
