// Descriptions of image records from their fields (tagged records) or their
// fixed header and the Type-1 resolution fields (binary records).
#include "an2_images.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace an2 {
namespace {

using vio::ReadError;
using vio::ReadStatus;

// Tagged image record fields.
constexpr int kHllField = 6;
constexpr int kVllField = 7;
constexpr int kScaleUnitsField = 8;  // SLC: 0 aspect ratio only, 1 per inch, 2 per centimetre
constexpr int kHorizontalScaleField = 9;
constexpr int kVerticalScaleField = 10;
constexpr int kCompressionField = 11;
constexpr int kBitsField = 12;         // Type-13 to -16
constexpr int kColourSpaceField = 12;  // Type-10; Type-17 keeps it in 17.013
constexpr int kPositionField = 13;     // Type-13, -14 FGP; Type-15 PLP
constexpr int kImpressionField = 3;
constexpr int kAmputationField = 18;  // Type-14 AMP
// Type-1 resolutions in pixels per millimetre.
constexpr int kNativeResolutionField = 11;   // NSR
constexpr int kNominalResolutionField = 12;  // NTR
// Binary records are sampled at 19.69 pixels per millimetre unless the
// Type-1 record says otherwise.
constexpr double kMinimumScanPpmm = 19.69;
constexpr double kMillimetresPerInch = 25.4;
constexpr double kCentimetresPerInch = 2.54;
constexpr int kUnusedPosition = 255;

ReadStatus Corrupt(const ImageRecord& image, const std::string& message) {
  ReadStatus status;
  status.error = ReadError::kCorrupt;
  status.message = "record " + std::to_string(image.index + 1) + " (Type-" +
                   std::to_string(image.type) + "): " + message;
  return status;
}

Compression FromBinaryCode(int code) {
  switch (code) {
    case 0: return Compression::kNone;
    case 1: return Compression::kWsq;
    case 2: return Compression::kJpeg;
    case 3: return Compression::kJpegLossless;
    case 4: return Compression::kJpeg2000;
    case 5: return Compression::kJpeg2000Lossless;
    case 6: return Compression::kPng;
    default: return Compression::kOther;
  }
}

Compression FromTaggedCode(const std::string& code) {
  if (code == "NONE") return Compression::kNone;
  if (code == "WSQ20" || code == "WSQ") return Compression::kWsq;
  if (code == "JPEGB") return Compression::kJpeg;
  if (code == "JPEGL") return Compression::kJpegLossless;
  if (code == "JP2") return Compression::kJpeg2000;
  if (code == "JP2L") return Compression::kJpeg2000Lossless;
  if (code == "PNG") return Compression::kPng;
  // Early transactions wrote the binary records' numeric codes.
  const int64_t number = ParseCount(code);
  return number >= 0 ? FromBinaryCode(static_cast<int>(number)) : Compression::kOther;
}

int32_t RoundedPpi(double ppi) {
  if (!(ppi >= 1) || ppi > vio::kMaxFilePpi) return 0;
  return static_cast<int32_t>(std::lround(ppi));
}

// A Type-1 resolution field in pixels per millimetre; 0 when absent or not a
// number.
double Ppmm(const Record& first, int number) {
  const Field* field = FindField(first, number);
  if (field == nullptr || field->value.empty() || field->value.size() > 16) return 0;
  char* end = nullptr;
  const double value = std::strtod(field->value.c_str(), &end);
  return end == field->value.c_str() + field->value.size() && value > 0 ? value : 0;
}

ReadStatus DescribeBinary(const Transaction& transaction, const Record& record,
                          ImageRecord* image) {
  if (record.header.size() != BinaryHeaderSize(record.type)) {
    return Corrupt(*image, "header of " + std::to_string(record.header.size()) + " bytes");
  }
  const auto byte = [&record](size_t i) { return static_cast<uint8_t>(record.header[i]); };
  image->idc = byte(0);
  image->impression = byte(1);
  for (size_t i = 2; i < 8; ++i) {
    if (byte(i) != kUnusedPosition) image->positions.push_back(byte(i));
  }
  const bool native = byte(8) == 1;  // ISR
  image->columns = byte(9) << 8 | byte(10);
  image->rows = byte(11) << 8 | byte(12);
  image->compressionCode = std::to_string(byte(13));
  const bool bilevel = record.type == 5 || record.type == 6;
  image->bitsPerPixel = bilevel ? 1 : 8;
  image->compression = bilevel && byte(13) != 0 ? Compression::kOther : FromBinaryCode(byte(13));

  const Record& first = transaction.records.front();
  double ppmm = Ppmm(first, native ? kNativeResolutionField : kNominalResolutionField);
  if (ppmm == 0) ppmm = kMinimumScanPpmm;
  // Type-3 and -5 are the low-resolution forms, at half the rate.
  if (record.type == 3 || record.type == 5) ppmm *= 0.5;
  image->xppi = image->yppi = RoundedPpi(ppmm * kMillimetresPerInch);
  if (image->columns == 0 || image->rows == 0) return Corrupt(*image, "image has no pixels");
  return ReadStatus{};
}

// A field that must hold a whole number.
ReadStatus NumberField(const Record& record, int number, const ImageRecord& image, int64_t* value) {
  const Field* field = FindField(record, number);
  *value = field ? ParseCount(field->value) : -1;
  if (*value < 0) {
    char tag[32];
    std::snprintf(tag, sizeof tag, "%d.%03d", record.type, number);
    return Corrupt(image,
                   std::string("field ") + tag + (field ? " is not a number" : " is missing"));
  }
  return ReadStatus{};
}

std::vector<int> FirstItems(const Field* field) {
  std::vector<int> values;
  if (field == nullptr) return values;
  for (const auto& subfield : SplitSubfields(field->value)) {
    const int64_t value = ParseCount(subfield.front());
    if (value >= 0 && value != kUnusedPosition) values.push_back(static_cast<int>(value));
  }
  return values;
}

ReadStatus DescribeTagged(const Record& record, ImageRecord* image) {
  image->idc = RecordIdc(record);
  int64_t columns = 0, rows = 0, units = 0, across = 0, down = 0;
  for (const ReadStatus& status : {NumberField(record, kHllField, *image, &columns),
                                   NumberField(record, kVllField, *image, &rows),
                                   NumberField(record, kScaleUnitsField, *image, &units),
                                   NumberField(record, kHorizontalScaleField, *image, &across),
                                   NumberField(record, kVerticalScaleField, *image, &down)}) {
    if (!status.ok()) return status;
  }
  if (columns == 0 || rows == 0) return Corrupt(*image, "image has no pixels");
  if (columns > vio::kMaxSide || rows > vio::kMaxSide) {
    return Corrupt(*image, "image of " + std::to_string(columns) + " x " + std::to_string(rows) +
                               " pixels is beyond the size limit");
  }
  image->columns = static_cast<int32_t>(columns);
  image->rows = static_cast<int32_t>(rows);
  const double scale = units == 1 ? 1.0 : units == 2 ? kCentimetresPerInch : 0.0;
  image->xppi = RoundedPpi(static_cast<double>(across) * scale);
  image->yppi = RoundedPpi(static_cast<double>(down) * scale);
  if (image->xppi == 0 || image->yppi == 0) image->xppi = image->yppi = 0;

  const Field* compression = FindField(record, kCompressionField);
  if (compression == nullptr) return Corrupt(*image, "the compression field is missing");
  image->compressionCode = compression->value;
  image->compression = FromTaggedCode(compression->value);
  if (record.type == 10 || record.type == 17) {
    const Field* space = FindField(record, record.type == 10 ? kColourSpaceField : 13);
    image->bitsPerPixel = space && space->value != "GRAY" ? 24 : 8;
  } else {
    int64_t bits = 0;
    const ReadStatus status = NumberField(record, kBitsField, *image, &bits);
    if (!status.ok()) return status;
    image->bitsPerPixel = static_cast<int>(bits);
  }
  if (record.type >= 13 && record.type <= 15) {
    const Field* impression = FindField(record, kImpressionField);
    image->impression = impression ? static_cast<int>(ParseCount(impression->value)) : -1;
    image->positions = FirstItems(FindField(record, kPositionField));
  }
  if (record.type == 14) image->missing = FirstItems(FindField(record, kAmputationField));
  return ReadStatus{};
}

}  // namespace

const char* CompressionName(Compression compression) {
  switch (compression) {
    case Compression::kNone: return "none";
    case Compression::kWsq: return "wsq";
    case Compression::kJpeg: return "jpeg";
    case Compression::kJpegLossless: return "jpeg-lossless";
    case Compression::kJpeg2000: return "jpeg2000";
    case Compression::kJpeg2000Lossless: return "jpeg2000-lossless";
    case Compression::kPng: return "png";
    case Compression::kOther: break;
  }
  return "other";
}

bool IsImageType(int type) {
  return (type >= 3 && type <= 6) || type == 10 || (type >= 13 && type <= 17);
}

ReadStatus DescribeImageRecord(const Transaction& transaction, size_t index, ImageRecord* image) {
  *image = ImageRecord{};
  image->index = index;
  if (index >= transaction.records.size()) return Corrupt(*image, "no such record");
  const Record& record = transaction.records[index];
  image->type = record.type;
  if (!IsImageType(record.type)) return Corrupt(*image, "not an image record");
  return IsBinaryType(record.type) ? DescribeBinary(transaction, record, image)
                                   : DescribeTagged(record, image);
}

std::vector<ImageRecord> ListImageRecords(const Transaction& transaction) {
  std::vector<ImageRecord> images;
  for (size_t i = 1; i < transaction.records.size(); ++i) {
    ImageRecord image;
    if (IsImageType(transaction.records[i].type) &&
        DescribeImageRecord(transaction, i, &image).ok()) {
      images.push_back(std::move(image));
    }
  }
  return images;
}

}  // namespace an2
