// The image reader on arbitrary WSQ data.
#include "reader_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vfuzz::RunReaderFor(vio::Format::kWsq, data, size);
}
