// The image reader on arbitrary PNG data.
#include "reader_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char kSignature[] = "\x89PNG\r\n\x1a\n";
  return vfuzz::RunReader(vio::Format::kPng, kSignature, sizeof kSignature - 1, data, size);
}
