// The image reader on arbitrary TIFF data.
#include "reader_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // "II*" and its terminating NUL: the little-endian signature.
  static const char kSignature[] = "II*";
  return vfuzz::RunReader(vio::Format::kTiff, kSignature, sizeof kSignature, data, size);
}
