// PNG encoding into memory for the tool's outputs. It favours speed over size
// (fast deflate, one filter for every row): a batch writes several pictures
// per input, and the encoder was most of the tool's time.
#ifndef VANTREL_TOOLS_VANTREL_PNG_ENCODE_H
#define VANTREL_TOOLS_VANTREL_PNG_ENCODE_H

#include <cstdint>
#include <vector>

namespace vtool {

// An 8-bit PNG of rows x columns pixels, channels 1 (grey) or 3 (RGB,
// interleaved, row stride columns * channels), with the resolution in pHYs
// when both are positive. Empty when the sizes are unusable.
std::vector<uint8_t> EncodePng(const uint8_t* pixels, int32_t rows, int32_t columns, int channels,
                               int32_t xppi, int32_t yppi);

// The same for a palette image: one index a pixel into `palette` (RGB
// triples, 1 to 256 of them).
std::vector<uint8_t> EncodePalettePng(const uint8_t* indices, int32_t rows, int32_t columns,
                                      const std::vector<uint8_t>& palette, int32_t xppi,
                                      int32_t yppi);

}  // namespace vtool

#endif  // VANTREL_TOOLS_VANTREL_PNG_ENCODE_H
