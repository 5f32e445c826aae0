// VantrelSegmentSlap on arbitrary pixels, sizes, resolutions, finger counts and hand codes.
#include "segmenter_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vfuzz::RunSegmenter(VantrelSegmentSlap, data, size);
}
