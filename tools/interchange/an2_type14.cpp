// New Type-14 records: a binary Type-4 slap carried over, and single fingers
// cut from a slap.
#include <algorithm>
#include <cstdio>

#include "an2_segments.h"

namespace an2 {
namespace {

// Type-14 fields beyond those shared with every image record.
constexpr int kImpressionField = 3;
constexpr int kSourceAgencyField = 4;  // SRC
constexpr int kCaptureDateField = 5;   // FCD
// Type-1 fields the source agency and date come from.
constexpr int kOriginatingAgencyField = 8;  // ORI
constexpr int kDateField = 5;               // DAT
// Impression codes of plain fingers.
constexpr int kLiveScanPlain = 0;
constexpr int kInkedPlain = 2;
constexpr int kInkedRolled = 3;
constexpr int kMaxIdc = 99;

vio::ReadStatus Failure(const std::string& message) {
  vio::ReadStatus status;
  status.error = vio::ReadError::kCorrupt;
  status.message = message;
  return status;
}

const char* TaggedCode(Compression compression) {
  switch (compression) {
    case Compression::kNone: return "NONE";
    case Compression::kWsq: return "WSQ20";
    case Compression::kJpeg: return "JPEGB";
    case Compression::kJpegLossless: return "JPEGL";
    case Compression::kJpeg2000: return "JP2";
    case Compression::kJpeg2000Lossless: return "JP2L";
    case Compression::kPng: return "PNG";
    case Compression::kOther: break;
  }
  return nullptr;
}

std::string TwoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

std::string FieldOr(const Record& record, int number, const std::string& otherwise) {
  const Field* field = FindField(record, number);
  return field ? field->value : otherwise;
}

// A Type-14 record with the fields every image of one needs, data last.
Record Type14(int idc, int impression, const std::string& agency, const std::string& date,
              int32_t columns, int32_t rows, int32_t ppi, const char* compression,
              const std::vector<int>& positions, std::string data) {
  Record record;
  record.type = 14;
  std::vector<std::vector<std::string>> fgp;
  for (int position : positions) fgp.push_back({std::to_string(position)});
  const std::pair<int, std::string> fields[] = {
      {kLengthField, "0"},  // recomputed when written
      {kIdcField, TwoDigits(idc)},
      {kImpressionField, std::to_string(impression)},
      {kSourceAgencyField, agency},
      {kCaptureDateField, date},
      {6, std::to_string(columns)},
      {7, std::to_string(rows)},
      {8, "1"},  // resolution in pixels per inch
      {9, std::to_string(ppi)},
      {10, std::to_string(ppi)},
      {11, compression},
      {12, "8"},
      {13, JoinSubfields(fgp)},
  };
  for (const auto& [number, value] : fields) SetField(&record, number, value);
  SetField(&record, kDataField, "");
  record.fields.back().value = std::move(data);
  return record;
}

}  // namespace

vio::ReadStatus CarryAsType14(Transaction* transaction, size_t index) {
  ImageRecord image;
  vio::ReadStatus status = DescribeImageRecord(*transaction, index, &image);
  if (!status.ok()) return status;
  if (image.type != 4) return Failure("only Type-4 records are carried over to Type-14");
  const char* code = TaggedCode(image.compression);
  if (code == nullptr) {
    return Failure("record " + std::to_string(index + 1) + ": compression " +
                   image.compressionCode + " has no Type-14 equivalent");
  }
  Record& old = transaction->records[index];
  const Record& first = transaction->records.front();
  old = Type14(image.idc, image.impression, FieldOr(first, kOriginatingAgencyField, ""),
               FieldOr(first, kDateField, ""), image.columns, image.rows, image.xppi, code,
               image.positions, std::move(old.data));
  return status;
}

vio::ReadStatus AppendFingerRecord(Transaction* transaction, size_t source,
                                   const FingerImage& finger) {
  ImageRecord slap;
  vio::ReadStatus status = DescribeImageRecord(*transaction, source, &slap);
  if (!status.ok()) return status;
  const char* code = TaggedCode(finger.compression);
  if (code == nullptr || finger.columns < 1 || finger.rows < 1 || finger.ppi < 1) {
    return Failure("a finger record needs a size, a resolution and a known compression");
  }
  int idc = 0;
  // The Type-1 record has no IDC (its field 1.002 is the version).
  for (size_t i = 1; i < transaction->records.size(); ++i) {
    idc = std::max(idc, RecordIdc(transaction->records[i]) + 1);
  }
  if (idc > kMaxIdc) return Failure("no IDC is left for another record");
  const bool inked = slap.impression == kInkedPlain || slap.impression == kInkedRolled;
  const Record& from = transaction->records[source];
  const Record& first = transaction->records.front();
  const std::string agency = from.type == 14 ? FieldOr(from, kSourceAgencyField, "")
                                             : FieldOr(first, kOriginatingAgencyField, "");
  const std::string date =
      from.type == 14 ? FieldOr(from, kCaptureDateField, "") : FieldOr(first, kDateField, "");
  transaction->records.push_back(Type14(idc, inked ? kInkedPlain : kLiveScanPlain, agency, date,
                                        finger.columns, finger.rows, finger.ppi, code,
                                        {finger.position}, finger.data));
  return status;
}

}  // namespace an2
