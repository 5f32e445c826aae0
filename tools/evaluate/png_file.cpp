#include "png_file.h"

#include <png.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace veval {
namespace {

struct FileCloser {
  void operator()(FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};

}  // namespace

std::string ReadPng(const std::string& path, GreyPicture* picture) {
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return "cannot open " + path;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return "libpng init failed";
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return "libpng init failed";
  }
  std::vector<png_bytep> rowPointers;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return "corrupt PNG " + path;
  }
  png_init_io(png, file.get());
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const int colorType = png_get_color_type(png, info);
  const int depth = png_get_bit_depth(png, info);
  if (depth == 16) png_set_strip_16(png);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (colorType & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
  if (colorType == PNG_COLOR_TYPE_RGB || colorType == PNG_COLOR_TYPE_RGB_ALPHA ||
      colorType == PNG_COLOR_TYPE_PALETTE) {
    png_set_rgb_to_gray_fixed(png, 1, -1, -1);
  }
  png_read_update_info(png, info);
  picture->rows = static_cast<int32_t>(height);
  picture->columns = static_cast<int32_t>(width);
  picture->pixels.assign(static_cast<std::size_t>(width) * height, 255);
  rowPointers.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) {
    rowPointers[y] = picture->pixels.data() + static_cast<std::size_t>(y) * width;
  }
  png_read_image(png, rowPointers.data());
  png_uint_32 resX = 0, resY = 0;
  int unit = 0;
  picture->xppi = picture->yppi = 0;
  if (png_get_pHYs(png, info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER) {
    picture->xppi = static_cast<int32_t>(std::lround(resX * 0.0254));
    picture->yppi = static_cast<int32_t>(std::lround(resY * 0.0254));
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return "";
}

std::string WritePng(const std::string& path, const uint8_t* pixels, int32_t rows, int32_t columns,
                     int channels) {
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) return "cannot create " + path;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return "libpng init failed";
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return "libpng init failed";
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return "write failed " + path;
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, static_cast<png_uint_32>(columns), static_cast<png_uint_32>(rows), 8,
               channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 3);
  png_write_info(png, info);
  for (int32_t y = 0; y < rows; ++y) {
    png_write_row(png,
                  const_cast<png_bytep>(pixels + static_cast<std::size_t>(y) * columns * channels));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return "";
}

}  // namespace veval
