// The image reader on arbitrary JPEG data.
#include "reader_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char kSignature[] = "\xff\xd8\xff";
  return vfuzz::RunReader(vio::Format::kJpeg, kSignature, sizeof kSignature - 1, data, size);
}
