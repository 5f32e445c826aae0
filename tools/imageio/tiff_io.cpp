// TIFF through libtiff, read from memory. Errors and warnings go to
// per-handle handlers that keep the first error message; libtiff's global
// handlers, which print to standard error, are switched off as well for the
// few messages that are issued without a handle.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "decoders.h"

namespace vio {
namespace {

struct TiffMemory {
  const uint8_t* data;
  toff_t size;
  toff_t offset;
  char message[256];
};

tmsize_t ReadTiff(thandle_t handle, void* buffer, tmsize_t length) {
  auto* memory = static_cast<TiffMemory*>(handle);
  if (length <= 0 || memory->offset >= memory->size) return 0;
  const toff_t available = memory->size - memory->offset;
  const toff_t count = std::min<toff_t>(available, static_cast<toff_t>(length));
  std::memcpy(buffer, memory->data + memory->offset, count);
  memory->offset += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t WriteTiff(thandle_t, void*, tmsize_t) {
  return -1;
}

toff_t SeekTiff(thandle_t handle, toff_t offset, int whence) {
  auto* memory = static_cast<TiffMemory*>(handle);
  toff_t base = 0;
  if (whence == SEEK_CUR) base = memory->offset;
  if (whence == SEEK_END) base = memory->size;
  if (offset > ~toff_t{0} - base) return static_cast<toff_t>(-1);
  memory->offset = base + offset;
  return memory->offset;
}

int CloseTiff(thandle_t) {
  return 0;
}
toff_t SizeTiff(thandle_t handle) {
  return static_cast<TiffMemory*>(handle)->size;
}
// The data is already in memory, so libtiff may read it in place. This is
// also the path libtiff takes for files; its unmapped path wrongly rejects
// uncompressed tiles when decoding to RGBA.
int MapTiff(thandle_t handle, void** base, toff_t* size) {
  auto* memory = static_cast<TiffMemory*>(handle);
  *base = const_cast<uint8_t*>(memory->data);
  *size = memory->size;
  return 1;
}
void UnmapTiff(thandle_t, void*, toff_t) {}

int OnTiffError(TIFF*, void* user, const char* module, const char* format, va_list arguments) {
  auto* memory = static_cast<TiffMemory*>(user);
  if (memory->message[0] == '\0') {
    char text[200];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::snprintf(memory->message, sizeof memory->message, "%s%s%s", module ? module : "",
                  module ? ": " : "", text);
  }
  return 1;  // handled: the global handler is not called
}

int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

void SilenceGlobalHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
}

// Largest single allocation libtiff may make for one image (a whole
// uncompressed strip of the largest accepted 16-bit RGB image fits).
constexpr tmsize_t kMaxTiffAllocation = tmsize_t{1300} << 20;

}  // namespace

namespace detail {

ReadStatus DecodeTiff(const uint8_t* data, size_t size, GreyImage* image, FileResolution* res) {
  SilenceGlobalHandlers();
  TiffMemory memory{data, static_cast<toff_t>(size), 0, {}};
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return Failure(ReadError::kCorrupt, "TIFF: out of memory");
  TIFFOpenOptionsSetErrorHandlerExtR(options, OnTiffError, &memory);
  TIFFOpenOptionsSetWarningHandlerExtR(options, OnTiffWarning, &memory);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxTiffAllocation);
  TIFF* tiff = TIFFClientOpenExt("image", "r", &memory, ReadTiff, WriteTiff, SeekTiff, CloseTiff,
                                 SizeTiff, MapTiff, UnmapTiff, options);
  TIFFOpenOptionsFree(options);
  auto corrupt = [&memory](const char* what) {
    return Failure(ReadError::kCorrupt,
                   std::string("corrupt TIFF: ") + (memory.message[0] ? memory.message : what));
  };
  if (tiff == nullptr) return corrupt("cannot read the header");

  uint32_t width = 0, height = 0;
  if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) ||
      !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height)) {
    TIFFClose(tiff);
    return corrupt("image size missing");
  }
  ReadStatus status = CheckDimensions(width, height);
  if (!status.ok()) {
    TIFFClose(tiff);
    return status;
  }
  char reason[1024] = {};
  if (!TIFFRGBAImageOK(tiff, reason)) {
    TIFFClose(tiff);
    return Failure(ReadError::kUnsupported, std::string("unsupported TIFF layout: ") + reason);
  }
  float xResolution = 0, yResolution = 0;
  uint16_t unit = RESUNIT_INCH;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
  const bool hasX = TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &xResolution) != 0;
  const bool hasY = TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &yResolution) != 0;
  if (unit == RESUNIT_INCH || unit == RESUNIT_CENTIMETER) {
    const double perInch = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
    if (hasX) res->x = xResolution * perInch;
    if (hasY) res->y = yResolution * perInch;
  }

  TIFFRGBAImage rgba;
  if (!TIFFRGBAImageBegin(&rgba, tiff, 1, reason)) {
    TIFFClose(tiff);
    return Failure(ReadError::kUnsupported, std::string("unsupported TIFF layout: ") + reason);
  }
  rgba.req_orientation = ORIENTATION_TOPLEFT;
  image->columns = static_cast<int32_t>(width);
  image->rows = static_cast<int32_t>(height);
  image->pixels.assign(static_cast<size_t>(width) * height, 0);
  // Decoded in bands so that the 32-bit RGBA buffer stays small.
  const uint32_t band = std::max<uint32_t>(1, std::min<uint32_t>(height, (1u << 22) / width));
  std::vector<uint32_t> raster(static_cast<size_t>(width) * band);
  // Only errors while decoding pixels count from here on; libtiff also
  // reports harmless directory oddities as errors when opening.
  memory.message[0] = '\0';
  bool ok = true;
  for (uint32_t row = 0; row < height && ok; row += band) {
    const uint32_t count = std::min(band, height - row);
    rgba.row_offset = static_cast<int>(row);
    rgba.col_offset = 0;
    ok = TIFFRGBAImageGet(&rgba, raster.data(), width, count) != 0;
    uint8_t* out = image->pixels.data() + static_cast<size_t>(row) * width;
    for (size_t i = 0; ok && i < static_cast<size_t>(width) * count; ++i) {
      const uint32_t pixel = raster[i];
      out[i] = Luma(TIFFGetR(pixel), TIFFGetG(pixel), TIFFGetB(pixel));
    }
  }
  TIFFRGBAImageEnd(&rgba);
  TIFFClose(tiff);
  if (!ok || memory.message[0] != '\0') {
    image->pixels.clear();
    return corrupt("image data damaged");
  }
  return ReadStatus{};
}

}  // namespace detail
}  // namespace vio
