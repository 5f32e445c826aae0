// 8-bit run-length BMP, which stb does not read. Every run, literal and
// move is checked against the image and the data before it is followed.
#include <utility>

#include "decoders.h"

namespace vio::detail {
namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kPaletteEntries = 256;

ReadStatus Corrupt(const std::string& why) {
  return Failure(ReadError::kCorrupt, "corrupt BMP: " + why);
}

// Grey of each palette index; indices past the palette read as black.
ReadStatus ReadPalette(const uint8_t* data, size_t size, uint8_t grey[kPaletteEntries]) {
  const uint64_t start = kFileHeaderBytes + uint64_t{Little32(data + kFileHeaderBytes)};
  uint32_t colours = Little32(data + 46);
  if (colours == 0) colours = kPaletteEntries;
  if (colours > kPaletteEntries) return Corrupt("more than 256 palette entries");
  if (start + uint64_t{colours} * 4 > size) return Corrupt("file is truncated");
  for (uint32_t i = 0; i < kPaletteEntries; ++i) grey[i] = 0;
  for (uint32_t i = 0; i < colours; ++i) {
    const uint8_t* entry = data + start + i * 4;  // blue, green, red, unused
    grey[i] = Luma(entry[2], entry[1], entry[0]);
  }
  return ReadStatus{};
}

// Follows the run-length stream from `p` into `pixels` (top-down rows);
// rows run bottom-up in the file, and pixels it skips keep index 0.
ReadStatus DecodeRuns(const uint8_t* data, size_t size, size_t p, int64_t width, int64_t height,
                      const uint8_t grey[kPaletteEntries], std::vector<uint8_t>* pixels) {
  pixels->assign(static_cast<size_t>(width * height), grey[0]);
  int64_t x = 0, y = 0;  // y counts rows from the bottom
  auto at = [&](int64_t column) { return &(*pixels)[(height - 1 - y) * width + column]; };
  while (true) {
    if (size - p < 2) return Corrupt("run-length data ends before its end mark");
    const uint8_t count = data[p], value = data[p + 1];
    p += 2;
    if (count > 0) {  // a run of one index
      if (y >= height || count > width - x) return Corrupt("run past the end of a row");
      for (int64_t i = 0; i < count; ++i) *at(x + i) = grey[value];
      x += count;
    } else if (value == 0) {  // end of row
      x = 0;
      ++y;
    } else if (value == 1) {  // end of image
      return ReadStatus{};
    } else if (value == 2) {  // move right and up
      if (size - p < 2) return Corrupt("run-length data ends before its end mark");
      x += data[p];
      y += data[p + 1];
      p += 2;
      if (x > width || y > height) return Corrupt("move past the edge of the image");
    } else {  // `value` literal indices, padded to an even count
      const size_t padded = value + (value & 1u);
      if (size - p < padded) return Corrupt("run-length data ends before its end mark");
      if (y >= height || value > width - x) return Corrupt("run past the end of a row");
      for (int64_t i = 0; i < value; ++i) *at(x + i) = grey[data[p + i]];
      x += value;
      p += padded;
    }
  }
}

}  // namespace

ReadStatus DecodeBmpRle8(const uint8_t* data, size_t size, GreyImage* image) {
  const auto width = static_cast<int32_t>(Little32(data + 18));
  const auto height = static_cast<int32_t>(Little32(data + 22));
  if (data[28] != 8 || data[29] != 0) return Corrupt("run-length 8 needs 8 bits per pixel");
  // Run-length images are stored bottom-up only (a positive height).
  if (width < 1 || height < 1) return Corrupt("run-length image of no or negative size");
  ReadStatus status = CheckDimensions(width, height);
  if (!status.ok()) return status;
  uint8_t grey[kPaletteEntries];
  status = ReadPalette(data, size, grey);
  if (!status.ok()) return status;
  const uint32_t offset = Little32(data + 10);
  if (offset >= size) return Corrupt("file is truncated");
  std::vector<uint8_t> pixels;
  status = DecodeRuns(data, size, offset, width, height, grey, &pixels);
  if (!status.ok()) return status;
  image->columns = width;
  image->rows = height;
  image->pixels = std::move(pixels);
  return ReadStatus{};
}

}  // namespace vio::detail
