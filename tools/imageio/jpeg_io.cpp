// JPEG through libjpeg. Its fatal errors longjmp back to DecodeJpeg; its
// warnings (premature end of data, corrupt segments) are collected and make
// the image count as damaged, since libjpeg would otherwise fill the missing
// part with grey and carry on.
#include <csetjmp>
#include <cstdio>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "decoders.h"

namespace vio {
namespace {

struct JpegErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  char firstWarning[JMSG_LENGTH_MAX];
  int warnings;
};

void OnJpegError(j_common_ptr info) {
  auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

void OnJpegMessage(j_common_ptr info, int level) {
  if (level >= 0) return;  // trace output
  auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
  if (manager->warnings++ == 0) (*info->err->format_message)(info, manager->firstWarning);
}

}  // namespace

namespace detail {

ReadStatus DecodeJpeg(const uint8_t* data, size_t size, GreyImage* image, FileResolution* res) {
  jpeg_decompress_struct info;
  JpegErrorManager errors;
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnJpegError;
  errors.base.emit_message = OnJpegMessage;
  errors.message[0] = '\0';
  errors.firstWarning[0] = '\0';
  errors.warnings = 0;
  std::vector<uint8_t> row;
  ReadStatus sizeCheck;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    image->pixels.clear();
    return Failure(ReadError::kCorrupt, std::string("corrupt JPEG: ") + errors.message);
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  sizeCheck = CheckDimensions(info.image_width, info.image_height);
  if (!sizeCheck.ok()) {
    jpeg_destroy_decompress(&info);
    return sizeCheck;
  }
  if (info.saw_JFIF_marker && info.density_unit != 0) {
    const double perInch = info.density_unit == 2 ? 2.54 : 1.0;
    res->x = info.X_density * perInch;
    res->y = info.Y_density * perInch;
  }
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_GRAYSCALE;
  jpeg_start_decompress(&info);

  const size_t columns = info.output_width;
  image->columns = static_cast<int32_t>(info.output_width);
  image->rows = static_cast<int32_t>(info.output_height);
  image->pixels.assign(columns * info.output_height, 0);
  if (cmyk) row.resize(columns * 4);
  while (info.output_scanline < info.output_height) {
    uint8_t* out = image->pixels.data() + info.output_scanline * columns;
    JSAMPROW rowPointer = cmyk ? row.data() : out;
    if (jpeg_read_scanlines(&info, &rowPointer, 1) != 1) break;
    if (!cmyk) continue;
    // Adobe CMYK files store inverted inks: the value is the amount of paper
    // left, so each colour channel is ink x black / 255.
    const bool inverted = info.saw_Adobe_marker;
    for (size_t x = 0; x < columns; ++x) {
      unsigned c = row[4 * x], m = row[4 * x + 1], y = row[4 * x + 2], k = row[4 * x + 3];
      if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
      out[x] = Luma(c * k / 255, m * k / 255, y * k / 255);
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  if (errors.warnings > 0) {
    image->pixels.clear();
    return Failure(ReadError::kCorrupt,
                   std::string("corrupt or truncated JPEG: ") + errors.firstWarning);
  }
  return ReadStatus{};
}

}  // namespace detail
}  // namespace vio
