// PNG through libpng. libpng reports errors by longjmp back to the setjmp in
// the calling function, so the functions that call setjmp keep no C++ objects
// of their own that are created after it, and their error handlers build no
// such objects either.
#include <png.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "decoders.h"

namespace vio {
namespace {

struct PngContext {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t offset = 0;
  char message[200] = {};
};

void OnPngError(png_structp png, png_const_charp text) {
  auto* context = static_cast<PngContext*>(png_get_error_ptr(png));
  std::snprintf(context->message, sizeof context->message, "%s", text);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void ReadFromMemory(png_structp png, png_bytep out, size_t length) {
  auto* context = static_cast<PngContext*>(png_get_io_ptr(png));
  if (context->size - context->offset < length) png_error(png, "file is truncated");
  std::memcpy(out, context->data + context->offset, length);
  context->offset += length;
}

}  // namespace

namespace detail {

ReadStatus DecodePng(const uint8_t* data, size_t size, GreyImage* image, FileResolution* res) {
  PngContext context;
  context.data = data;
  context.size = size;
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, OnPngError, OnPngWarning);
  if (png == nullptr) return Failure(ReadError::kCorrupt, "PNG: out of memory");
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return Failure(ReadError::kCorrupt, "PNG: out of memory");
  }
  std::vector<png_bytep> rowPointers;
  ReadStatus sizeCheck;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    image->pixels.clear();
    return Failure(ReadError::kCorrupt, std::string("corrupt PNG: ") + context.message);
  }
  png_set_read_fn(png, &context, ReadFromMemory);
  // The size limit below is ours; libpng's own would answer first with a
  // less clear message.
  png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
  png_read_info(png, info);

  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
  sizeCheck = CheckDimensions(width, height);
  if (!sizeCheck.ok()) {
    png_destroy_read_struct(&png, &info, nullptr);
    return sizeCheck;
  }
  png_uint_32 xPerUnit = 0, yPerUnit = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &xPerUnit, &yPerUnit, &unit) && unit == PNG_RESOLUTION_METER) {
    res->x = xPerUnit * 0.0254;
    res->y = yPerUnit * 0.0254;
  }

  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if ((colorType & PNG_COLOR_MASK_COLOR) == 0 && bitDepth < 8) {
    png_set_expand_gray_1_2_4_to_8(png);
  }
  png_set_strip_alpha(png);
  if (bitDepth == 16) png_set_scale_16(png);
  if (colorType & PNG_COLOR_MASK_COLOR) {
    // BT.601 weights in units of 1/100000; blue takes the rest.
    png_set_rgb_to_gray_fixed(png, 1, 29900, 58700);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_channels(png, info) != 1 || png_get_bit_depth(png, info) != 8) {
    png_error(png, "unexpected sample layout after conversion");
  }

  image->columns = static_cast<int32_t>(width);
  image->rows = static_cast<int32_t>(height);
  image->pixels.assign(static_cast<size_t>(width) * height, 0);
  rowPointers.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) {
    rowPointers[y] = image->pixels.data() + static_cast<size_t>(y) * width;
  }
  png_read_image(png, rowPointers.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return ReadStatus{};
}

}  // namespace detail

namespace {

struct WriteContext {
  char message[200] = {};
};

void OnPngWriteError(png_structp png, png_const_charp text) {
  auto* context = static_cast<WriteContext*>(png_get_error_ptr(png));
  std::snprintf(context->message, sizeof context->message, "%s", text);
  png_longjmp(png, 1);
}

// Writes the PNG; the caller opens and closes the file. Returns false with
// context->message on failure.
bool WritePngStream(std::FILE* file, const uint8_t* pixels, int32_t rows, int32_t columns,
                    int channels, int32_t xppi, int32_t yppi, WriteContext* context) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, context, OnPngWriteError, OnPngWarning);
  if (png == nullptr) {
    std::snprintf(context->message, sizeof context->message, "out of memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(context->message, sizeof context->message, "out of memory");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(columns), static_cast<png_uint_32>(rows), 8,
               channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (xppi > 0 && yppi > 0) {
    png_set_pHYs(png, info, static_cast<png_uint_32>(std::lround(xppi / 0.0254)),
                 static_cast<png_uint_32>(std::lround(yppi / 0.0254)), PNG_RESOLUTION_METER);
  }
  png_write_info(png, info);
  const size_t stride = static_cast<size_t>(columns) * channels;
  for (int32_t y = 0; y < rows; ++y) {
    png_write_row(png, pixels + static_cast<size_t>(y) * stride);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::string WritePng(const std::string& path, const uint8_t* pixels, int32_t rows, int32_t columns,
                     int channels, int32_t xppi, int32_t yppi) {
  if (rows < 1 || columns < 1 || pixels == nullptr) return "no pixels to write";
  if (channels != 1 && channels != 3) return "channels must be 1 or 3";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return std::string("cannot create file: ") + std::strerror(errno);
  WriteContext context;
  const bool written = WritePngStream(file, pixels, rows, columns, channels, xppi, yppi, &context);
  const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
  const int savedErrno = errno;
  const bool closed = std::fclose(file) == 0;
  if (written && flushed && closed) return std::string();
  std::remove(path.c_str());
  if (!written) return std::string("PNG encoder: ") + context.message;
  return std::string("write error: ") + std::strerror(savedErrno);
}

}  // namespace vio
