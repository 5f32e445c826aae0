// Result containers and the entry sequence shared by the segmenters.
#ifndef VANTREL_INTERFACE_RESULT_H
#define VANTREL_INTERFACE_RESULT_H

#include <cstdint>

#include "interface/parameter.h"
#include "vantrel.h"

namespace vtl {

// Releases the container *result addresses with its records and images and
// nulls *result. Absent pointers are skipped. Leaves LastResult alone.
void ReleaseResult(VantrelResultType** result);

// New zero-filled container with `count` zero-filled records; null on failure
// (nothing left allocated).
VantrelResultType* AllocateResult(int32_t count);

// The common start of a segmentation call: fetches the parameter block,
// checks the arguments in their fixed order and releases the caller's earlier
// container. Returns 0 with *block set when the segmenter may run; otherwise
// the status, with the caller's container released and LastResult cleared.
int32_t BeginSegmentation(int32_t xres, int32_t yres, const uint8_t* image, int32_t rows,
                          int32_t columns, int32_t fingerCount, VantrelResultType** result,
                          VantrelParameter** block);

// The common failure exit: releases whatever *result holds as
// DestroyVantrelResult1 does and returns `status`.
int32_t FailSegmentation(VantrelResultType** result, int32_t status);

}  // namespace vtl

#endif
