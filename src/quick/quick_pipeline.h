// The stages that VantrelQuick and VantrelQuickNew share: finding the
// foreground components at the working resolution before the fingertip
// choice, and turning the chosen regions into the caller's result after it.
#ifndef VANTREL_QUICK_QUICK_PIPELINE_H
#define VANTREL_QUICK_QUICK_PIPELINE_H

#include <cstdint>

#include "interface/finger_position.h"
#include "interface/finger_region.h"
#include "interface/parameter.h"
#include "quick/labelling.h"
#include "quick/region_measure.h"
#include "vantrel.h"

namespace vtl {

// Label base of the quick segmenters: above every byte value.
constexpr int32_t kQuickLabelBase = 256;

// Working buffers of one quick segmentation call. The component table and
// label image belong to the labelling state and are never released here.
struct QuickWork {
  float colFactor;  // caller pixels per working pixel
  float rowFactor;
  int32_t workRows;
  int32_t workColumns;
  uint8_t* workPixels;
  uint8_t* mask;
  int32_t componentCount;
  ComponentRecord* table;
  int32_t* labels;
  FingerRegion* regions;
  PointXY* points;
};

// The caller's arguments that the stages after the choice need.
struct QuickCall {
  const uint8_t* image;
  int32_t rows;
  int32_t columns;
  int32_t fingerCount;
  int32_t handCode;
};

enum class HandInference {
  kHandsAndThumbs,  // 15 for two of two, 13 / 14 from the tips of four
  kThumbsOnly,      // 15 for two of two only
};

// What both entries settle before their fingertip choice.
struct QuickSetup {
  VantrelParameter* block;
  int32_t minArea;        // working pixels
  int32_t minSeparation;  // working columns
  int32_t wanted;         // fingertips sought: two for thumbs
};

// The entries' common start: checks the arguments, then finds the foreground
// components. On failure nothing is left to release and the caller's
// container is gone; returns the status.
int32_t StartQuick(int32_t xres, int32_t yres, const QuickCall& call, VantrelResultType** result,
                   QuickSetup* setup, QuickWork* work);

// Resamples, finds the foreground mask (releasing the working image) and
// labels its components. Returns 0 with work->componentCount >= 1, 23 when
// there is no component, or the failing stage's status.
int32_t FindForegroundComponents(const QuickCall& call, int32_t xres, int32_t yres,
                                 const VantrelParameter& block, QuickWork* work);

// Writes the pixels carrying `label` into points in row-major order, at most
// `room` of them; returns how many were written.
int32_t CollectComponentPoints(const QuickWork& work, int32_t label, PointXY* points, int32_t room);

// The hand code of the result: the caller's when given, otherwise inferred
// from the m regions (left to right, caller pixels) as the rule allows.
int32_t InferHandCode(HandInference rule, int32_t handCode, int32_t fingerCount,
                      const FingerRegion* regions, int32_t m);

// From the m chosen regions (working pixels, at positions 0..m-1 of
// work->regions): allocates the container and stores it through result,
// orders the regions left to right, scales them to the caller's pixels, fills
// the records and, while MakeFingerImages is 1, cuts the finger images; then
// records the container in LastResult. Returns 0 or the failing status (the
// caller then releases the container).
int32_t FinishQuickResult(const QuickCall& call, HandInference rule, VantrelParameter* block,
                          QuickWork* work, int32_t m, VantrelResultType** result);

// Releases the call's own working buffers (not the labelling state's).
void ReleaseQuickWork(QuickWork* work);

// Releases the working buffers and the caller's container, returns status.
int32_t FailQuick(QuickWork* work, VantrelResultType** result, int32_t status);

}  // namespace vtl

#endif
