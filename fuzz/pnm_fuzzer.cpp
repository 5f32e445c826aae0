// The image reader on arbitrary PGM/PPM data.
#include "reader_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char kSignature[] = "P5\n";
  return vfuzz::RunReader(vio::Format::kPnm, kSignature, sizeof kSignature - 1, data, size);
}
