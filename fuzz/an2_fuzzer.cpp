// ANSI/NIST-ITL transactions from arbitrary bytes (an2_harness.h). Seeds
// (fuzz/corpus/an2) are the test transactions with each image cut to its
// first 256 bytes, and small ones with uncompressed Type-14, -4 and -6 images
// and with a lossless JPEG 2000 Type-14 image.
#include "an2_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return vfuzz::RunTransaction(data, size);
}
