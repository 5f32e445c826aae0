#include "an2_jpeg2000.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "decoders.h"

namespace an2 {
namespace {

struct Source {
  const uint8_t* data;
  size_t size;
  size_t offset = 0;
  std::string error;
};

OPJ_SIZE_T ReadBytes(void* buffer, OPJ_SIZE_T count, void* user) {
  auto* source = static_cast<Source*>(user);
  const size_t n = std::min<size_t>(count, source->size - source->offset);
  if (n == 0) return static_cast<OPJ_SIZE_T>(-1);
  std::memcpy(buffer, source->data + source->offset, n);
  source->offset += n;
  return n;
}

OPJ_OFF_T SkipBytes(OPJ_OFF_T count, void* user) {
  auto* source = static_cast<Source*>(user);
  if (count < 0) return -1;
  const size_t n = std::min<size_t>(static_cast<size_t>(count), source->size - source->offset);
  source->offset += n;
  return static_cast<OPJ_OFF_T>(n);
}

OPJ_BOOL SeekTo(OPJ_OFF_T position, void* user) {
  auto* source = static_cast<Source*>(user);
  if (position < 0 || static_cast<uint64_t>(position) > source->size) return OPJ_FALSE;
  source->offset = static_cast<size_t>(position);
  return OPJ_TRUE;
}

void OnError(const char* message, void* user) {
  auto* source = static_cast<Source*>(user);
  if (source->error.empty()) source->error = message;
  while (!source->error.empty() && source->error.back() == '\n') source->error.pop_back();
}

void OnWarning(const char*, void*) {}

vio::ReadStatus Failure(vio::ReadError error, const std::string& message) {
  vio::ReadStatus status;
  status.error = error;
  status.message = message;
  return status;
}

// One sample scaled to 8 bits.
uint8_t Sample(const opj_image_comp_t& component, size_t i) {
  int64_t value = component.data[i];
  if (component.sgnd) value += int64_t{1} << (component.prec - 1);
  if (component.prec > 8) value >>= component.prec - 8;
  if (component.prec < 8) value = value * 255 / ((int64_t{1} << component.prec) - 1);
  return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 255));
}

// The decoded components as grey, when their layout is one we read.
vio::ReadStatus ToGrey(const opj_image_t& decoded, vio::GreyImage* image) {
  const opj_image_comp_t* c = decoded.comps;
  const bool colour = decoded.numcomps >= 3;
  for (OPJ_UINT32 k = 0; k < (colour ? 3u : 1u); ++k) {
    if (c[k].data == nullptr || c[k].w != c[0].w || c[k].h != c[0].h || c[k].prec < 1 ||
        c[k].prec > 31) {
      return Failure(vio::ReadError::kUnsupported, "JPEG 2000: component layout not read");
    }
  }
  const vio::ReadStatus size = vio::detail::CheckDimensions(c[0].w, c[0].h);
  if (!size.ok()) return size;
  image->columns = static_cast<int32_t>(c[0].w);
  image->rows = static_cast<int32_t>(c[0].h);
  image->pixels.resize(static_cast<size_t>(c[0].w) * c[0].h);
  for (size_t i = 0; i < image->pixels.size(); ++i) {
    image->pixels[i] = colour ? vio::detail::Luma(Sample(c[0], i), Sample(c[1], i), Sample(c[2], i))
                              : Sample(c[0], i);
  }
  return vio::ReadStatus{};
}

vio::ReadStatus Decode(opj_codec_t* codec, opj_stream_t* stream, Source* source,
                       opj_image_t** decoded, vio::GreyImage* image) {
  opj_dparameters_t parameters;
  opj_set_default_decoder_parameters(&parameters);
  if (!opj_setup_decoder(codec, &parameters) || !opj_read_header(stream, codec, decoded)) {
    return Failure(vio::ReadError::kCorrupt, "corrupt JPEG 2000 header: " + source->error);
  }
  const opj_image_t& header = **decoded;
  if (header.numcomps < 1) return Failure(vio::ReadError::kCorrupt, "JPEG 2000 without samples");
  const vio::ReadStatus size =
      vio::detail::CheckDimensions(int64_t{header.x1} - header.x0, int64_t{header.y1} - header.y0);
  if (!size.ok()) return size;
  if (!opj_decode(codec, stream, *decoded) || !opj_end_decompress(codec, stream)) {
    return Failure(vio::ReadError::kCorrupt, "corrupt JPEG 2000 data: " + source->error);
  }
  return ToGrey(**decoded, image);
}

}  // namespace

vio::ReadStatus DecodeJpeg2000(const uint8_t* data, size_t size, vio::GreyImage* image) {
  static const uint8_t kJp2Signature[] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' '};
  const bool jp2 =
      size >= sizeof kJp2Signature && std::memcmp(data, kJp2Signature, sizeof kJp2Signature) == 0;
  Source source{data, size, 0, std::string()};
  opj_stream_t* stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE);
  opj_codec_t* codec = opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
  opj_image_t* decoded = nullptr;
  vio::ReadStatus status = Failure(vio::ReadError::kCorrupt, "JPEG 2000: out of memory");
  if (stream != nullptr && codec != nullptr) {
    opj_stream_set_user_data(stream, &source, nullptr);
    opj_stream_set_user_data_length(stream, size);
    opj_stream_set_read_function(stream, ReadBytes);
    opj_stream_set_skip_function(stream, SkipBytes);
    opj_stream_set_seek_function(stream, SeekTo);
    opj_set_error_handler(codec, OnError, &source);
    opj_set_warning_handler(codec, OnWarning, nullptr);
    opj_set_info_handler(codec, OnWarning, nullptr);
    status = Decode(codec, stream, &source, &decoded, image);
  }
  if (decoded != nullptr) opj_image_destroy(decoded);
  if (codec != nullptr) opj_destroy_codec(codec);
  if (stream != nullptr) opj_stream_destroy(stream);
  if (!status.ok()) *image = vio::GreyImage{};
  return status;
}

}  // namespace an2
