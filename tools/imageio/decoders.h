// Per-format decoders behind DecodeImage. Each one fills rows, columns and
// pixels of the image (8-bit grey) and the resolution the file declares.
#ifndef VANTREL_TOOLS_IMAGEIO_DECODERS_H
#define VANTREL_TOOLS_IMAGEIO_DECODERS_H

#include <cstddef>
#include <cstdint>

#include "image_io.h"

namespace vio::detail {

// Resolution found in the file, pixels per inch; 0 where the file has none.
struct FileResolution {
  double x = 0;
  double y = 0;
};

// kTooLarge with a message when the size exceeds the limits, else success.
ReadStatus CheckDimensions(int64_t columns, int64_t rows);

ReadStatus Failure(ReadError error, const std::string& message);

// ITU-R BT.601 luma, rounded.
inline uint8_t Luma(unsigned red, unsigned green, unsigned blue) {
  return static_cast<uint8_t>((299 * red + 587 * green + 114 * blue + 500) / 1000);
}

// Little-endian fields of BMP headers.
inline uint32_t Little32(const uint8_t* p) {
  return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline uint16_t Little16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

ReadStatus DecodePng(const uint8_t* data, size_t size, GreyImage* image, FileResolution* res);
ReadStatus DecodeJpeg(const uint8_t* data, size_t size, GreyImage* image, FileResolution* res);
ReadStatus DecodeTiff(const uint8_t* data, size_t size, GreyImage* image, FileResolution* res);
// BMP and binary PGM/PPM.
ReadStatus DecodeBmp(const uint8_t* data, size_t size, GreyImage* image, FileResolution* res);
// A BMP with run-length 8-bit compression; the caller has checked that the
// 40-byte info header is there.
ReadStatus DecodeBmpRle8(const uint8_t* data, size_t size, GreyImage* image);
ReadStatus DecodePnm(const uint8_t* data, size_t size, GreyImage* image, FileResolution* res);
ReadStatus DecodeWsq(const uint8_t* data, size_t size, GreyImage* image, FileResolution* res);

}  // namespace vio::detail

#endif  // VANTREL_TOOLS_IMAGEIO_DECODERS_H
