// Byte layout of a segmenter fuzz input: a 16-byte header that chooses the
// call's arguments, then the pixels, stored at 1/scale of the image's size in
// each direction so that a full-size slap fits in a small file.
//
//   0      flags (kFlag...)
//   1..2   rows code, little-endian        3..4  columns code
//   5..6   xres code                       7..8  yres code
//   9      finger count code               10    hand code
//   11     scale code (1 + value % 4)      12    fill byte (empty payload)
//   13     finger mask (VantrelCent2)      14..15 unused
//   16..   pixels, ceil(rows / scale) x ceil(columns / scale), repeated
//          cyclically when short
#ifndef VANTREL_FUZZ_SEGMENTER_INPUT_H
#define VANTREL_FUZZ_SEGMENTER_INPUT_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace vfuzz {

constexpr std::size_t kHeaderSize = 16;

constexpr uint8_t kFlagReuseResult = 1;     // call twice through the same result pointer
constexpr uint8_t kFlagFreshState = 2;      // DestroyVantrelParameter before the call
constexpr uint8_t kFlagLarge = 4;           // sides up to kLargeSide instead of kSmallSide
constexpr uint8_t kFlagNullImage = 8;       // pass a null image pointer
constexpr uint8_t kFlagPrefillResult = 16;  // result pointer holds a container already

// Sides stay small so that most runs are fast; a large image now and then.
constexpr int32_t kSmallSide = 704;
constexpr int32_t kLargeSide = 2048;
constexpr int64_t kMaxPixels = 2600000;

constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();

// Resolutions: the top two bits choose a class. 0: ordinary 201..1000;
// 1: around the 201 limit; 2: a value at or past the limits; 3: high,
// 201..16584.
inline int32_t DecodeResolution(uint16_t code) {
  static constexpr int32_t kSpecial[16] = {
      kInt32Max, kInt32Max - 1, 1 << 30, 1 << 24, 1000000, 65536, 5000, 2000, 0,
      -1,        kInt32Min,     -201,    200,     201,     62,    500};
  const int32_t w = code & 0x3FFF;
  switch (code >> 14) {
    case 0: return 201 + w % 800;
    case 1: return 190 + w % 24;
    case 2: return kSpecial[w % 16];
    default: return 201 + w;
  }
}

inline int32_t DecodeFingerCount(uint8_t code) {
  static constexpr int32_t kTable[16] = {0, 1,  2,  3,         4,         5,   6,    7,
                                         8, -1, -4, kInt32Min, kInt32Max, 100, 1000, 65536};
  return kTable[code % 16];
}

inline int32_t DecodeHandCode(uint8_t code) {
  static constexpr int32_t kTable[16] = {0,  13, 14, 15,  1,         5,         6,  10,
                                         12, 16, -1, 255, kInt32Max, kInt32Min, 13, 14};
  return kTable[code % 16];
}

struct SegmenterInput {
  uint8_t flags = 0;
  int32_t rows = 1, columns = 1;
  int32_t xres = 500, yres = 500;
  int32_t fingerCount = 4;
  int32_t handCode = 0;
  int32_t fingerMask = 0;
  std::vector<uint8_t> pixels;  // rows x columns, exactly
};

inline uint16_t ReadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// False when the input is too short to hold a header.
inline bool DecodeSegmenterInput(const uint8_t* data, std::size_t size, SegmenterInput* in) {
  if (size < kHeaderSize) return false;
  in->flags = data[0];
  const int32_t side = (in->flags & kFlagLarge) ? kLargeSide : kSmallSide;
  in->rows = 1 + ReadU16(data + 1) % side;
  in->columns = 1 + ReadU16(data + 3) % side;
  if (int64_t{in->rows} * in->columns > kMaxPixels)
    in->rows = static_cast<int32_t>(kMaxPixels / in->columns);
  in->xres = DecodeResolution(ReadU16(data + 5));
  in->yres = DecodeResolution(ReadU16(data + 7));
  in->fingerCount = DecodeFingerCount(data[9]);
  in->handCode = DecodeHandCode(data[10]);
  const int32_t scale = 1 + data[11] % 4;
  const uint8_t fill = data[12];
  in->fingerMask = data[13];

  const uint8_t* payload = data + kHeaderSize;
  const std::size_t payloadSize = size - kHeaderSize;
  const int32_t storedColumns = (in->columns + scale - 1) / scale;
  in->pixels.resize(static_cast<std::size_t>(in->rows) * static_cast<std::size_t>(in->columns));
  for (int32_t y = 0; y < in->rows; ++y) {
    uint8_t* row = in->pixels.data() + static_cast<std::size_t>(y) * in->columns;
    const std::size_t base = static_cast<std::size_t>(y / scale) * storedColumns;
    for (int32_t x = 0; x < in->columns; ++x) {
      row[x] = payloadSize == 0 ? fill : payload[(base + x / scale) % payloadSize];
    }
  }
  return true;
}

}  // namespace vfuzz

#endif
