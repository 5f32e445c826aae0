// The image records of a transaction: what they hold (size, resolution,
// compression, finger positions, amputations) and their pixels.
#ifndef VANTREL_TOOLS_INTERCHANGE_AN2_IMAGES_H
#define VANTREL_TOOLS_INTERCHANGE_AN2_IMAGES_H

#include <string>
#include <vector>

#include "an2_transaction.h"
#include "image_io.h"

namespace an2 {

enum class Compression {
  kNone,
  kWsq,
  kJpeg,
  kJpegLossless,
  kJpeg2000,
  kJpeg2000Lossless,
  kPng,
  kOther
};

// "none", "wsq", "jpeg", "jpeg-lossless", "jpeg2000", "jpeg2000-lossless",
// "png", "other".
const char* CompressionName(Compression compression);

// Finger-position codes of the multi-finger impressions.
constexpr int kRightFourFingers = 13;
constexpr int kLeftFourFingers = 14;
constexpr int kBothThumbs = 15;

struct ImageRecord {
  size_t index = 0;  // in Transaction::records; the record number is index + 1
  int type = 0;
  int idc = -1;
  int impression = -1;         // IMP
  std::vector<int> positions;  // FGP (Type-15: palm position), unused entries left out
  int32_t columns = 0;         // as the record declares them
  int32_t rows = 0;
  int32_t xppi = 0;  // 0 when the record gives no resolution
  int32_t yppi = 0;
  int bitsPerPixel = 8;
  Compression compression = Compression::kNone;
  std::string compressionCode;  // as written: "WSQ20", or a binary record's code "1"
  std::vector<int> missing;     // 14.018: finger positions amputated or unable to print
};

// Type-3 to -6 and the tagged image records Type-10, -13 to -17.
bool IsImageType(int type);

// Reads the description of the image record at records[index]. Fails with
// a reason when a field it needs is absent or not a number.
vio::ReadStatus DescribeImageRecord(const Transaction& transaction, size_t index,
                                    ImageRecord* image);

// Every image record that can be described; the others are left out.
std::vector<ImageRecord> ListImageRecords(const Transaction& transaction);

// Decodes a described record's pixels to 8-bit grey. The resolution is the
// record's when it gives one. WSQ, JPEG and PNG data go through the image
// reader, JPEG 2000 through libopenjp2; uncompressed 8-bit and 1-bit data are
// taken as they are.
vio::ReadStatus DecodeImageRecord(const Transaction& transaction, const ImageRecord& description,
                                  vio::GreyImage* image);

}  // namespace an2

#endif  // VANTREL_TOOLS_INTERCHANGE_AN2_IMAGES_H
