// VantrelCent2 on arbitrary pixels, sizes, hand codes and finger masks.
#include "segmenter_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vfuzz::RunCent2(data, size);
}
