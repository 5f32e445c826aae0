// Pixels of an image record. JPEG 2000 is decoded here; other compressed
// data is handed to the image reader, which recognises the codec from the data
// itself. The record's fields give the resolution and the size of
// uncompressed data.
#include "an2_images.h"
#include "an2_jpeg2000.h"

namespace an2 {
namespace {

using vio::ReadError;
using vio::ReadStatus;

ReadStatus Failure(ReadError error, const ImageRecord& image, const std::string& message) {
  ReadStatus status;
  status.error = error;
  status.message = "record " + std::to_string(image.index + 1) + " (Type-" +
                   std::to_string(image.type) + "): " + message;
  return status;
}

const std::string* ImageData(const Record& record) {
  if (IsBinaryType(record.type)) return &record.data;
  const Field* field = FindField(record, kDataField);
  return field ? &field->value : nullptr;
}

// Uncompressed 8-bit or packed 1-bit (set bit = black) rows.
ReadStatus Unpack(const std::string& data, const ImageRecord& description, vio::GreyImage* image) {
  const int64_t columns = description.columns, rows = description.rows;
  if (columns > vio::kMaxSide || rows > vio::kMaxSide || columns * rows > vio::kMaxPixels) {
    return Failure(ReadError::kTooLarge, description, "image beyond the size limit");
  }
  if (description.bitsPerPixel != 8 && description.bitsPerPixel != 1) {
    return Failure(ReadError::kUnsupported, description,
                   std::to_string(description.bitsPerPixel) + "-bit pixels are not read");
  }
  const int64_t stride = description.bitsPerPixel == 8 ? columns : (columns + 7) / 8;
  if (static_cast<int64_t>(data.size()) < stride * rows) {
    return Failure(ReadError::kCorrupt, description,
                   "image data holds " + std::to_string(data.size()) + " bytes, " +
                       std::to_string(stride * rows) + " expected");
  }
  image->columns = description.columns;
  image->rows = description.rows;
  image->pixels.resize(static_cast<size_t>(columns * rows));
  for (int64_t y = 0; y < rows; ++y) {
    for (int64_t x = 0; x < columns; ++x) {
      const uint8_t byte = static_cast<uint8_t>(data[y * stride + (stride == columns ? x : x / 8)]);
      image->pixels[y * columns + x] =
          stride == columns ? byte : ((byte >> (7 - x % 8)) & 1 ? 0 : 255);
    }
  }
  image->xppi = description.xppi > 0 ? description.xppi : vio::kDefaultPpi;
  image->yppi = description.yppi > 0 ? description.yppi : vio::kDefaultPpi;
  image->resolutionSource =
      description.xppi > 0 ? vio::ResolutionSource::kFile : vio::ResolutionSource::kDefault;
  return ReadStatus{};
}

}  // namespace

ReadStatus DecodeImageRecord(const Transaction& transaction, const ImageRecord& description,
                             vio::GreyImage* image) {
  *image = vio::GreyImage{};
  if (description.index >= transaction.records.size()) {
    return Failure(ReadError::kCorrupt, description, "no such record");
  }
  const std::string* data = ImageData(transaction.records[description.index]);
  if (data == nullptr || data->empty()) {
    return Failure(ReadError::kCorrupt, description, "no image data");
  }
  if (description.compression == Compression::kNone) return Unpack(*data, description, image);
  if (description.compression == Compression::kOther) {
    return Failure(ReadError::kUnsupported, description,
                   "compression " + description.compressionCode + " is not read");
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(data->data());
  ReadStatus status;
  if (description.compression == Compression::kJpeg2000 ||
      description.compression == Compression::kJpeg2000Lossless) {
    status = DecodeJpeg2000(bytes, data->size(), image);
    image->resolutionSource = vio::ResolutionSource::kDefault;  // the codestream gives none
  } else {
    status = vio::DecodeImage(bytes, data->size(), {}, image);
  }
  if (!status.ok()) {
    return Failure(
        status.error, description,
        std::string(CompressionName(description.compression)) + " data: " + status.message);
  }
  if (description.xppi > 0) {
    image->xppi = description.xppi;
    image->yppi = description.yppi;
    image->resolutionSource = vio::ResolutionSource::kFile;
  }
  return status;
}

}  // namespace an2
