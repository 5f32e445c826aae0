// Minimal PNG reading and writing for the evaluation (8-bit grey in, grey or
// RGB out), with the resolution from the pHYs chunk.
#ifndef VANTREL_TOOLS_EVALUATE_PNG_FILE_H
#define VANTREL_TOOLS_EVALUATE_PNG_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace veval {

struct GreyPicture {
  int32_t rows = 0, columns = 0;
  int32_t xppi = 0, yppi = 0;  // 0 when the file gives none
  std::vector<uint8_t> pixels;
};

// Any PNG colour type and depth is turned into 8-bit grey. Returns an empty
// string on success, otherwise the reason.
std::string ReadPng(const std::string& path, GreyPicture* picture);

// channels 1 (grey) or 3 (RGB interleaved).
std::string WritePng(const std::string& path, const uint8_t* pixels, int32_t rows, int32_t columns,
                     int channels);

}  // namespace veval

#endif
