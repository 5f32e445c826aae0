// BMP (run-length 8-bit apart) and binary PGM/PPM through stb_image. stb reads past the end of
// truncated data as zeros instead of failing, so the expected size of
// uncompressed pixel data is checked against the file size first.
#include <cctype>
#include <cstring>

#include "decoders.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_PNM
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 65536
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace vio::detail {
namespace {

// BMP compression codes.
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;

// Decodes with stb into grey, converting colour with the same weights as the
// other formats. The caller has checked the dimensions.
ReadStatus DecodeWithStb(const uint8_t* data, size_t size, const char* name, GreyImage* image) {
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels =
      stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 0);
  if (pixels == nullptr) {
    return Failure(ReadError::kCorrupt,
                   std::string("corrupt ") + name + ": " + stbi_failure_reason());
  }
  image->columns = width;
  image->rows = height;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  image->pixels.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const stbi_uc* p = pixels + i * static_cast<size_t>(channels);
    // 1 grey, 2 grey + alpha, 3 RGB, 4 RGB + alpha.
    image->pixels[i] = channels >= 3 ? Luma(p[0], p[1], p[2]) : p[0];
  }
  stbi_image_free(pixels);
  return ReadStatus{};
}

ReadStatus InfoAndCheck(const uint8_t* data, size_t size, const char* name, int* width, int* height,
                        int* channels) {
  if (size > 0x7fffffff)
    return Failure(ReadError::kTooLarge, std::string(name) + " file too large");
  if (!stbi_info_from_memory(data, static_cast<int>(size), width, height, channels)) {
    return Failure(ReadError::kCorrupt,
                   std::string("corrupt ") + name + ": " + stbi_failure_reason());
  }
  return CheckDimensions(*width, *height);
}

}  // namespace

ReadStatus DecodeBmp(const uint8_t* data, size_t size, GreyImage* image, FileResolution* res) {
  // File header (14 bytes) then the info header, whose first field is its size.
  if (size < 26) return Failure(ReadError::kCorrupt, "corrupt BMP: file is truncated");
  const uint32_t infoSize = Little32(data + 14);
  const bool infoHeader = infoSize >= 40 && size >= 14 + 40;
  const uint32_t compression = infoHeader ? Little32(data + 30) : 0;
  if (infoHeader) {
    // Pixels per metre across and down, signed; 0 when the writer left them out.
    const auto xPerMetre = static_cast<int32_t>(Little32(data + 38));
    const auto yPerMetre = static_cast<int32_t>(Little32(data + 42));
    if (xPerMetre > 0) res->x = xPerMetre * 0.0254;
    if (yPerMetre > 0) res->y = yPerMetre * 0.0254;
    // Run-length compression, which stb refuses: 8-bit is read here.
    if (compression == kRle8) return DecodeBmpRle8(data, size, image);
    if (compression == kRle4) {
      return Failure(ReadError::kUnsupported,
                     "unsupported format: BMP with 4-bit run-length compression");
    }
  }
  int width = 0, height = 0, channels = 0;
  ReadStatus status = InfoAndCheck(data, size, "BMP", &width, &height, &channels);
  if (!status.ok()) return status;
  if (infoHeader) {
    const uint16_t bitsPerPixel = Little16(data + 28);
    // Uncompressed (or bit-field) rows are padded to 4 bytes.
    if ((compression == 0 || compression == 3) && bitsPerPixel > 0) {
      const uint64_t rowBytes = (static_cast<uint64_t>(width) * bitsPerPixel + 31) / 32 * 4;
      const uint64_t needed = static_cast<uint64_t>(Little32(data + 10)) + rowBytes * height;
      if (needed > size) return Failure(ReadError::kCorrupt, "corrupt BMP: file is truncated");
    }
  }
  return DecodeWithStb(data, size, "BMP", image);
}

ReadStatus DecodePnm(const uint8_t* data, size_t size, GreyImage* image, FileResolution*) {
  // Header: magic, width, height, maximum value, each followed by white space
  // (comments run from '#' to the end of the line, '\n' or '\r', as stb reads
  // them), then one white-space byte before the samples. It is read here
  // first: stb accumulates header numbers in an int without a bound, so a
  // number of ten or more digits must not reach it.
  size_t offset = 2;
  long values[3] = {};
  for (long& value : values) {
    while (offset < size && (std::isspace(data[offset]) || data[offset] == '#')) {
      if (data[offset] == '#') {
        while (offset < size && data[offset] != '\n' && data[offset] != '\r') ++offset;
      } else {
        ++offset;
      }
    }
    int digits = 0;
    while (offset < size && std::isdigit(data[offset])) {
      if (++digits > 9)
        return Failure(ReadError::kCorrupt, "corrupt PGM/PPM: header number too long");
      value = value * 10 + (data[offset++] - '0');
    }
  }
  ++offset;
  int width = 0, height = 0, channels = 0;
  ReadStatus status = InfoAndCheck(data, size, "PGM/PPM", &width, &height, &channels);
  if (!status.ok()) return status;
  const uint64_t bytesPerSample = values[2] > 255 ? 2 : 1;
  const uint64_t needed =
      static_cast<uint64_t>(width) * height * (data[1] == '6' ? 3 : 1) * bytesPerSample;
  if (offset > size || size - offset < needed) {
    return Failure(ReadError::kCorrupt, "corrupt PGM/PPM: file is truncated");
  }
  return DecodeWithStb(data, size, "PGM/PPM", image);
}

}  // namespace vio::detail
