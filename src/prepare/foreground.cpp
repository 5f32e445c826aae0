#include "prepare/foreground.h"

#include <cstring>

#include "interface/memory.h"
#include "vantrel.h"

namespace vtl {
namespace {

constexpr int kWindow = 16;
constexpr int kBorder = 8;

// The threshold stage's own codes.
constexpr int32_t kPixelsAbsent = 7;
constexpr int32_t kColumnsBad = 8;
constexpr int32_t kRowsBad = 9;
constexpr int32_t kThresholdBad = 10;

}  // namespace

int32_t SmoothImageBox16(int32_t rows, int32_t columns, const uint8_t* source,
                         uint8_t* destination) {
  const int64_t R = rows;
  const int64_t C = columns;
  if (R < 1 || C < 1) return VANTREL_OK;
  std::memcpy(destination, source, static_cast<size_t>(R * C));

  if (R >= kWindow) {
    for (int64_t c = 0; c < C; ++c) {
      int32_t sum = 0;
      for (int64_t y = 0; y < kWindow; ++y) sum += source[y * C + c];
      destination[kBorder * C + c] = static_cast<uint8_t>(sum >> 4);
      for (int64_t y = kBorder + 1; y <= R - 9; ++y) {
        sum += source[(y + 7) * C + c] - source[(y - 9) * C + c];
        destination[y * C + c] = static_cast<uint8_t>(sum >> 4);
      }
    }
  }

  if (C >= kWindow) {
    auto* scratch = AllocateZeroed<uint8_t>(static_cast<size_t>(C));
    if (scratch == nullptr) return VANTREL_OUT_OF_MEMORY;
    for (int64_t y = 0; y < R; ++y) {
      uint8_t* row = destination + y * C;
      std::memcpy(scratch, row, static_cast<size_t>(C));
      int32_t sum = 0;
      for (int64_t x = 0; x < kWindow; ++x) sum += scratch[x];
      row[kBorder] = static_cast<uint8_t>(sum >> 4);
      for (int64_t x = kBorder + 1; x <= C - 9; ++x) {
        sum += scratch[x + 7] - scratch[x - 9];
        row[x] = static_cast<uint8_t>(sum >> 4);
      }
    }
    Release(scratch);
  }
  return VANTREL_OK;
}

int32_t BinarizeImage(int32_t rows, int32_t columns, uint8_t* pixels, int32_t threshold,
                      int32_t* backgroundCount) {
  if (IsAbsent(pixels)) return kPixelsAbsent;
  if (columns < 1) return kColumnsBad;
  if (rows < 1) return kRowsBad;
  if (threshold < 0 || threshold > 255) return kThresholdBad;
  uint8_t table[256];
  for (int v = 0; v < 256; ++v) table[v] = v >= threshold ? 255 : 0;
  const int64_t n = static_cast<int64_t>(rows) * columns;
  int64_t sum = 0;  // 64-bit: 255 x pixel count passes 2^31 beyond 8.4 M pixels
  for (int64_t i = 0; i < n; ++i) {
    pixels[i] = table[pixels[i]];
    sum += pixels[i];
  }
  *backgroundCount = static_cast<int32_t>(sum / 255);
  return VANTREL_OK;
}

int32_t ThresholdAtMeanGrey(int32_t rows, int32_t columns, uint8_t* pixels,
                            int32_t* backgroundCount) {
  if (IsAbsent(pixels)) return kPixelsAbsent;
  if (columns < 1) return kColumnsBad;
  if (rows < 1) return kRowsBad;
  const int64_t n = static_cast<int64_t>(rows) * columns;
  int64_t count[256] = {};
  for (int64_t i = 0; i < n; ++i) ++count[pixels[i]];

  float sum = 0.0f;
  for (int v = 1; v < 256; ++v) sum = sum + static_cast<float>(count[v] * v);
  float mean = sum / static_cast<float>(n);

  int64_t below = 0;
  if (mean > 0.0f) {
    for (int k = 1; k <= 256; ++k) {
      below += count[k - 1];
      if (static_cast<float>(k) >= mean) break;
    }
  }
  if (static_cast<float>(below) >= static_cast<float>(static_cast<double>(n) * 0.95))
    mean = mean - 10.0f;
  if (below == 0) mean = mean + 10.0f;
  int32_t threshold = static_cast<int32_t>(mean);
  if (threshold < 1) threshold = 1;
  if (threshold > 254) threshold = 254;
  return BinarizeImage(rows, columns, pixels, threshold, backgroundCount);
}

int32_t FindForegroundMask(int32_t rows, int32_t columns, const uint8_t* workPixels,
                           uint8_t** mask, int32_t* backgroundCount) {
  *backgroundCount = 0;
  ReleaseAndClear(*mask);
  if (IsAbsent(workPixels) || rows < 1 || columns < 1) return VANTREL_BAD_YRES;
  *mask = AllocateZeroed<uint8_t>(static_cast<size_t>(rows) * static_cast<size_t>(columns));
  if (*mask == nullptr) return VANTREL_OUT_OF_MEMORY;
  int32_t status = SmoothImageBox16(rows, columns, workPixels, *mask);
  int32_t count = 0;
  if (status == VANTREL_OK) status = ThresholdAtMeanGrey(rows, columns, *mask, &count);
  if (status != VANTREL_OK) {
    ReleaseAndClear(*mask);
    return status;
  }
  *backgroundCount = count;
  return VANTREL_OK;
}

}  // namespace vtl
