// Writing segmentation results into a transaction: the finger boxes of a
// Type-14 slap record (14.021 SEG) and their outlines (14.025 ASEG), binary
// Type-4 slaps carried over to Type-14 so that they can hold them, and one
// new Type-14 record per cut-out finger.
#ifndef VANTREL_TOOLS_INTERCHANGE_AN2_SEGMENTS_H
#define VANTREL_TOOLS_INTERCHANGE_AN2_SEGMENTS_H

#include <string>
#include <utility>
#include <vector>

#include "an2_images.h"
#include "an2_transaction.h"

namespace an2 {

constexpr int kSegmentField = 21;  // 14.021 SEG
constexpr int kOutlineField = 25;  // 14.025 ASEG
constexpr int kMinOutlinePoints = 3;
constexpr int kMaxOutlinePoints = 99;

struct FingerSegment {
  int position = 0;  // finger-position code
  // The finger's box in pixels of the slap image, edges included.
  int left = 0;
  int right = 0;
  int top = 0;
  int bottom = 0;
  std::vector<std::pair<int, int>> outline;  // (x, y) vertices; may be empty
};

// Replaces 14.021 with the segments' boxes and 14.025 with the outlines of
// those that have one (the field is removed when none has).
void SetSegments(Record* record, const std::vector<FingerSegment>& segments);

// Reads 14.021 and the matching outlines of 14.025.
vio::ReadStatus ReadSegments(const Record& record, std::vector<FingerSegment>* segments);

// Replaces the binary Type-4 record at records[index] by a Type-14 record
// with the same IDC, impression, positions, size, resolution, compression
// and image data.
vio::ReadStatus CarryAsType14(Transaction* transaction, size_t index);

struct FingerImage {
  int position = 0;
  int32_t columns = 0;
  int32_t rows = 0;
  int32_t ppi = 0;
  Compression compression = Compression::kWsq;
  std::string data;  // the compressed image
};

// Appends a Type-14 record holding one finger cut from the slap record at
// records[source]: a plain impression of the same kind (live-scan or inked),
// with the source's agency and date and the next free IDC.
vio::ReadStatus AppendFingerRecord(Transaction* transaction, size_t source,
                                   const FingerImage& finger);

}  // namespace an2

#endif  // VANTREL_TOOLS_INTERCHANGE_AN2_SEGMENTS_H
