// Drives the command-line tool's image reader with arbitrary bytes of one
// format. Inputs that do not start with the format's signature get it in
// front, so that every input reaches that format's decoder. A decoded image
// must be whole and within the reader's limits, a failure must leave the
// image empty with a reason; anything else aborts.
#ifndef VANTREL_FUZZ_READER_HARNESS_H
#define VANTREL_FUZZ_READER_HARNESS_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image_io.h"

namespace vfuzz {

inline void RequireRead(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "reader contract broken: %s\n", what);
    std::abort();
  }
}

inline int RunReader(vio::Format format, const char* signature, std::size_t signatureSize,
                     const uint8_t* data, std::size_t size) {
  std::vector<uint8_t> bytes;
  if (vio::DetectFormat(data, size) != format) {
    bytes.assign(signature, signature + signatureSize);
    bytes.insert(bytes.end(), data, data + size);
    data = bytes.data();
    size = bytes.size();
  }
  // A resolution forced by the caller, sometimes.
  vio::ResolutionOverride override;
  if (size > 0 && data[size - 1] == 0x5A) override = {300, 600};

  vio::GreyImage image;
  const vio::ReadStatus status = vio::DecodeImage(data, size, override, &image);
  static const bool verbose = std::getenv("VANTREL_FUZZ_VERBOSE") != nullptr;
  if (verbose) {
    std::fprintf(stderr, "%s: %d x %d at %d x %d ppi%s%s\n", vio::FormatName(format), image.rows,
                 image.columns, image.xppi, image.yppi, status.ok() ? "" : ", ",
                 status.message.c_str());
  }
  if (!status.ok()) {
    RequireRead(!status.message.empty(), "failure without a reason");
    RequireRead(image.rows == 0 && image.columns == 0 && image.pixels.empty(),
                "image left after a failure");
    return 0;
  }
  RequireRead(image.format == format, "format");
  RequireRead(image.rows >= 1 && image.columns >= 1, "empty image");
  RequireRead(image.rows <= vio::kMaxSide && image.columns <= vio::kMaxSide, "side limit");
  RequireRead(int64_t{image.rows} * image.columns <= vio::kMaxPixels, "pixel limit");
  RequireRead(image.pixels.size() == static_cast<std::size_t>(image.rows) * image.columns,
              "pixel count");
  RequireRead(image.xppi >= 1 && image.yppi >= 1, "resolution");
  if (override.xppi > 0) RequireRead(image.xppi == 300 && image.yppi == 600, "forced resolution");
  uint32_t sum = 0;
  for (uint8_t p : image.pixels) sum += p;
  volatile uint32_t sink = sum;
  (void)sink;
  return 0;
}

// The reader for one format, with that format's signature.
inline int RunReaderFor(vio::Format format, const uint8_t* data, std::size_t size) {
  switch (format) {
    case vio::Format::kPng: return RunReader(format, "\x89PNG\r\n\x1a\n", 8, data, size);
    case vio::Format::kJpeg: return RunReader(format, "\xff\xd8\xff", 3, data, size);
    case vio::Format::kBmp: return RunReader(format, "BM", 2, data, size);
    case vio::Format::kTiff: return RunReader(format, "II*\0", 4, data, size);  // little-endian
    case vio::Format::kPnm: return RunReader(format, "P5\n", 3, data, size);
    case vio::Format::kWsq: return RunReader(format, "\xff\xa0", 2, data, size);
    case vio::Format::kUnknown: break;
  }
  return 0;
}

}  // namespace vfuzz

#endif
