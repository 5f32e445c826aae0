// The image reader on arbitrary BMP data.
#include "reader_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char kSignature[] = "BM";
  return vfuzz::RunReader(vio::Format::kBmp, kSignature, sizeof kSignature - 1, data, size);
}
