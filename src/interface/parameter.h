// The process-wide parameter block: fixed processing defaults, the caller's
// image file name and the container of the last successful call.
#ifndef VANTREL_INTERFACE_PARAMETER_H
#define VANTREL_INTERFACE_PARAMETER_H

#include <cstdint>

#include "vantrel.h"

namespace vtl {

constexpr int kBuildTextSize = 128;
constexpr int kImageFileNameSize = 256;

struct VantrelParameter {
  char BuildText[kBuildTextSize];
  char ImageFileName[kImageFileNameSize];
  int32_t MakeFingerImages;     // 1: quick segmenters cut finger images
  int32_t BoxSearchLength;      // 500 ppi pixels
  int32_t MinFingerWidth;       // 500 ppi pixels
  int32_t MinFingerHeight;      // 500 ppi pixels
  int32_t MinFingerSeparation;  // 500 ppi pixels
  int32_t RunningSumRadius;     // profile samples, not converted
  int32_t WorkResolution;       // pixels per inch
  int32_t MinComponentArea;     // square pixels at 500 ppi
  VantrelResultType* LastResult;
};

// Existing block, or a new one with defaults; null when the heap is exhausted.
VantrelParameter* GetVantrelParameter();
VantrelParameter* CreateVantrelParameter();

// A segmenter that keeps process-wide state of its own registers how to
// release it; DestroyVantrelParameter runs every registered release, under
// the library's lock. Registering the same function again is a no-op.
using StateRelease = void (*)();
void RegisterStateRelease(StateRelease release);

// Length at 500 ppi -> working pixels (32-bit, truncating).
int32_t ToWorkingLength(const VantrelParameter& block, int32_t value);
// Area at 500 ppi -> working pixels: the length conversion applied twice.
int32_t ToWorkingArea(const VantrelParameter& block, int32_t value);

}  // namespace vtl

#endif
