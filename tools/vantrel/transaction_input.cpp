#include "transaction_input.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "vantrel.h"

namespace vtool {
namespace {

struct SlapKind {
  int position;            // the record's finger-position code
  int32_t handCode;        // for the entry
  std::vector<int> codes;  // its fingers, left to right in the image
};

// Right hands show index to little from the left, left hands little to
// index, thumbs the left thumb first.
const std::vector<SlapKind>& SlapKinds() {
  static const std::vector<SlapKind> kinds = {
      {an2::kRightFourFingers, VANTREL_HAND_RIGHT, {2, 3, 4, 5}},
      {an2::kLeftFourFingers, VANTREL_HAND_LEFT, {10, 9, 8, 7}},
      {an2::kBothThumbs, VANTREL_HAND_THUMBS, {6, 1}},
      {40, VANTREL_HAND_RIGHT, {2, 3}},    // right index and middle
      {41, VANTREL_HAND_RIGHT, {3, 4}},    // right middle and ring
      {42, VANTREL_HAND_RIGHT, {4, 5}},    // right ring and little
      {43, VANTREL_HAND_LEFT, {8, 7}},     // left index and middle
      {44, VANTREL_HAND_LEFT, {9, 8}},     // left middle and ring
      {45, VANTREL_HAND_LEFT, {10, 9}},    // left ring and little
      {46, VANTREL_HAND_UNKNOWN, {7, 2}},  // both index fingers
      {47, VANTREL_HAND_RIGHT, {2, 3, 4}},
      {48, VANTREL_HAND_RIGHT, {3, 4, 5}},
      {49, VANTREL_HAND_LEFT, {9, 8, 7}},
      {50, VANTREL_HAND_LEFT, {10, 9, 8}},
  };
  return kinds;
}

int Clamp(double value, int32_t size) {
  return static_cast<int>(std::clamp<double>(std::lround(value), 0, size - 1));
}

// The finger picture's size: the library's box, or the tool's crop of it,
// which the image edges may have clipped.
void PictureSize(const Finger& finger, const vio::GreyImage& image, int32_t* columns,
                 int32_t* rows) {
  const SegmentedFinger& r = finger.record;
  *columns = r.boxWidth;
  if (!finger.imageFromLibrary) {
    *columns = std::min(r.right, image.columns - 1) - std::max(r.left, 0) + 1;
  }
  *rows = *columns > 0 ? static_cast<int32_t>(finger.pixels.size() / *columns) : 0;
}

// Finger indices by their centres from left to right.
std::vector<size_t> LeftToRight(const Segmentation& segmentation) {
  const auto& fingers = segmentation.fingers;
  std::vector<size_t> order(fingers.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&fingers](size_t a, size_t b) {
    return fingers[a].record.centerX < fingers[b].record.centerX;
  });
  return order;
}

}  // namespace

std::vector<TransactionSlap> FindSlaps(const an2::Transaction& transaction) {
  std::vector<TransactionSlap> slaps;
  for (const an2::ImageRecord& image : an2::ListImageRecords(transaction)) {
    if (image.positions.size() != 1) continue;
    for (const SlapKind& kind : SlapKinds()) {
      if (kind.position != image.positions.front()) continue;
      TransactionSlap slap;
      slap.description = image;
      slap.handCode = kind.handCode;
      for (int code : kind.codes) {
        if (std::find(image.missing.begin(), image.missing.end(), code) == image.missing.end()) {
          slap.positions.push_back(code);
        }
      }
      if (!slap.positions.empty()) slaps.push_back(std::move(slap));
    }
  }
  return slaps;
}

std::vector<an2::FingerSegment> SegmentsOf(const TransactionSlap& slap,
                                           const Segmentation& segmentation, int32_t columns,
                                           int32_t rows) {
  const auto& fingers = segmentation.fingers;
  const auto isSought = [&slap](int code) {
    return std::find(slap.positions.begin(), slap.positions.end(), code) != slap.positions.end();
  };
  // Entries that give places rather than codes get the slap's codes by place.
  const bool codes = std::all_of(fingers.begin(), fingers.end(), [&](const Finger& f) {
    return segmentation.method != Method::kSeparate && isSought(f.record.position);
  });
  const std::vector<size_t> order = LeftToRight(segmentation);
  std::vector<an2::FingerSegment> segments;
  for (size_t rank = 0; rank < order.size(); ++rank) {
    const Finger& finger = fingers[order[rank]];
    an2::FingerSegment segment;
    segment.position = codes                          ? finger.record.position
                       : rank < slap.positions.size() ? slap.positions[rank]
                                                      : 0;  // unknown finger
    double minX = finger.corners[0][0], maxX = minX, minY = finger.corners[0][1], maxY = minY;
    for (const auto& corner : finger.corners) {
      minX = std::min(minX, corner[0]);
      maxX = std::max(maxX, corner[0]);
      minY = std::min(minY, corner[1]);
      maxY = std::max(maxY, corner[1]);
      segment.outline.emplace_back(Clamp(corner[0], columns), Clamp(corner[1], rows));
    }
    segment.left = Clamp(minX, columns);
    segment.right = Clamp(maxX, columns);
    segment.top = Clamp(minY, rows);
    segment.bottom = Clamp(maxY, rows);
    segments.push_back(std::move(segment));
  }
  return segments;
}

std::string RecordSegmentation(an2::Transaction* transaction, const TransactionSlap& slap,
                               const vio::GreyImage& image, const Segmentation& segmentation,
                               bool fingerRecords) {
  const size_t index = slap.description.index;
  if (transaction->records[index].type == 4) {
    const vio::ReadStatus carried = an2::CarryAsType14(transaction, index);
    if (!carried.ok()) return carried.message;
  }
  const auto segments = SegmentsOf(slap, segmentation, image.columns, image.rows);
  an2::SetSegments(&transaction->records[index], segments);
  if (!fingerRecords) return std::string();
  const std::vector<size_t> order = LeftToRight(segmentation);  // as the segments run
  for (size_t rank = 0; rank < order.size(); ++rank) {
    const Finger& finger = segmentation.fingers[order[rank]];
    an2::FingerImage record;
    record.position = segments[rank].position;
    record.ppi = image.xppi;
    PictureSize(finger, image, &record.columns, &record.rows);
    if (record.columns < 1 || record.rows < 1) continue;
    std::vector<uint8_t> wsq;
    const std::string error = vio::EncodeWsq(finger.pixels.data(), record.rows, record.columns,
                                             record.ppi, vio::kWsqDefaultBitRate, &wsq);
    if (!error.empty()) return "finger " + std::to_string(rank) + ": " + error;
    record.data.assign(wsq.begin(), wsq.end());
    const vio::ReadStatus added = an2::AppendFingerRecord(transaction, index, record);
    if (!added.ok()) return added.message;
  }
  return std::string();
}

}  // namespace vtool
