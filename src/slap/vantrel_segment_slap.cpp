// VantrelSegmentSlap: the exported entry of the texture-driven segmenter.
#include <algorithm>
#include <cmath>

#include "analysis/finger_extraction.h"
#include "interface/api_lock.h"
#include "interface/finger_region.h"
#include "interface/result.h"
#include "slap/slap_internal.h"
#include "vantrel.h"

namespace vtl {
namespace slap {
namespace {

// The segmenter itself keeps no state; the parameter block (created on first
// use) and its LastResult are the only things shared between calls, so only
// the steps that touch them hold the library's lock.
int32_t Begin(int32_t xres, int32_t yres, const uint8_t* image, int32_t rows, int32_t columns,
              int32_t fingerCount, VantrelResultType** result) {
  const ApiLock lock;
  VantrelParameter* block = nullptr;
  return BeginSegmentation(xres, yres, image, rows, columns, fingerCount, result, &block);
}

// Hands the container to the caller and records it in LastResult. The block
// is fetched again: another thread may have released it meanwhile.
int32_t Finish(VantrelResultType* container, VantrelResultType** result) {
  const ApiLock lock;
  VantrelParameter* block = GetVantrelParameter();
  if (block == nullptr) {
    ReleaseResult(&container);
    return FailSegmentation(result, VANTREL_OUT_OF_MEMORY);
  }
  *result = container;
  block->LastResult = container;
  return VANTREL_OK;
}

int32_t RoundToInt(double v) {
  return static_cast<int32_t>(std::lround(v));
}

// Box record fields, with the axis-aligned bounds of the box clipped to the
// image.
void FillRecord(const SlapFinger& f, int32_t rows, int32_t columns, SegmentedFinger* record,
                FingerRegion* region) {
  record->position = f.position;
  record->centerX = RoundToInt(f.cx);
  record->centerY = RoundToInt(f.cy);
  record->boxWidth = std::max(1, RoundToInt(f.width));
  record->boxHeight = std::max(1, RoundToInt(f.height));
  record->angle = static_cast<float>(f.angle);
  record->fixedValue = static_cast<float>(std::clamp(f.confidence, 0.0, 1.0));
  const double c = std::cos(f.angle), s = std::sin(f.angle);
  const double hw = record->boxWidth * 0.5, hh = record->boxHeight * 0.5;
  double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
  for (int corner = 0; corner < 4; ++corner) {
    const double u = (corner & 1) ? hw : -hw;
    const double v = (corner & 2) ? hh : -hh;
    const double x = record->centerX + u * c + v * s;
    const double y = record->centerY - u * s + v * c;
    minX = std::min(minX, x);
    maxX = std::max(maxX, x);
    minY = std::min(minY, y);
    maxY = std::max(maxY, y);
  }
  record->left = std::clamp(static_cast<int32_t>(std::floor(minX)), 0, columns - 1);
  record->right = std::clamp(static_cast<int32_t>(std::ceil(maxX)), 0, columns - 1);
  record->top = std::clamp(static_cast<int32_t>(std::floor(minY)), 0, rows - 1);
  record->bottom = std::clamp(static_cast<int32_t>(std::ceil(maxY)), 0, rows - 1);
  region->centerX = record->centerX;
  region->centerY = record->centerY;
  region->angle = record->angle;
  region->width = record->boxWidth;
  region->height = record->boxHeight;
}

}  // namespace
}  // namespace slap
}  // namespace vtl

int32_t VantrelSegmentSlap(int32_t xres, int32_t yres, const uint8_t* image, int32_t rows,
                           int32_t columns, int32_t fingerCount, int32_t handCode,
                           VantrelResultType** result) {
  using namespace vtl::slap;
  int32_t status = Begin(xres, yres, image, rows, columns, fingerCount, result);
  if (status != VANTREL_OK) return status;

  SlapFinger found[kMaxSlapFingers] = {};
  int32_t count = 0;
  int32_t hand = handCode;
  status =
      SegmentSlap(image, rows, columns, xres, yres, fingerCount, handCode, found, &count, &hand);
  if (status == VANTREL_OK && count < 1) status = VANTREL_NO_FINGER;
  if (status != VANTREL_OK) return vtl::FailSegmentation(result, status);

  VantrelResultType* container = vtl::AllocateResult(count);
  if (container == nullptr) return vtl::FailSegmentation(result, VANTREL_OUT_OF_MEMORY);
  vtl::FingerRegion regions[kMaxSlapFingers] = {};
  for (int32_t i = 0; i < count; ++i) {
    FillRecord(found[i], rows, columns, &container->fingers[i], &regions[i]);
  }
  container->count = count;
  container->handCode = hand;
  status = vtl::ExtractFingerImages(image, columns, rows, regions, count, container->fingers);
  if (status != VANTREL_OK) {
    vtl::ReleaseResult(&container);
    return vtl::FailSegmentation(result, status);
  }
  return Finish(container, result);
}
