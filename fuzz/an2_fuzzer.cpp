// ANSI/NIST-ITL transactions from arbitrary bytes (an2_harness.h). Seeds
// (fuzz/corpus/an2) are the test transactions with each image cut to its
// first 256 bytes, and a small one with uncompressed Type-14, -4 and -6 images.
#include "an2_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vfuzz::RunTransaction(data, size);
}
