// 14.021 SEG: one subfield per finger, FGP US left US right US top US bottom.
// 14.025 ASEG: one subfield per finger, FGP US point count US then x US y of
// each vertex.
#include "an2_segments.h"

namespace an2 {
namespace {

vio::ReadStatus Corrupt(const std::string& message) {
  vio::ReadStatus status;
  status.error = vio::ReadError::kCorrupt;
  status.message = message;
  return status;
}

}  // namespace

void SetSegments(Record* record, const std::vector<FingerSegment>& segments) {
  std::vector<std::vector<std::string>> boxes, outlines;
  for (const FingerSegment& s : segments) {
    boxes.push_back({std::to_string(s.position), std::to_string(s.left), std::to_string(s.right),
                     std::to_string(s.top), std::to_string(s.bottom)});
    const size_t points = s.outline.size();
    if (points < kMinOutlinePoints || points > kMaxOutlinePoints) continue;
    std::vector<std::string> items{std::to_string(s.position), std::to_string(points)};
    for (const auto& [x, y] : s.outline) {
      items.push_back(std::to_string(x));
      items.push_back(std::to_string(y));
    }
    outlines.push_back(std::move(items));
  }
  RemoveField(record, kSegmentField);
  RemoveField(record, kOutlineField);
  if (!boxes.empty()) SetField(record, kSegmentField, JoinSubfields(boxes));
  if (!outlines.empty()) SetField(record, kOutlineField, JoinSubfields(outlines));
}

vio::ReadStatus ReadSegments(const Record& record, std::vector<FingerSegment>* segments) {
  segments->clear();
  const Field* boxes = FindField(record, kSegmentField);
  if (boxes == nullptr) return vio::ReadStatus{};
  for (const auto& items : SplitSubfields(boxes->value)) {
    int64_t numbers[5] = {-1, -1, -1, -1, -1};
    for (size_t i = 0; i < items.size() && i < 5; ++i) numbers[i] = ParseCount(items[i]);
    if (items.size() != 5 || numbers[0] < 0 || numbers[1] < 0 || numbers[2] < 0 || numbers[3] < 0 ||
        numbers[4] < 0) {
      return Corrupt("field 14.021 holds an entry that is not five numbers");
    }
    FingerSegment segment;
    segment.position = static_cast<int>(numbers[0]);
    segment.left = static_cast<int>(numbers[1]);
    segment.right = static_cast<int>(numbers[2]);
    segment.top = static_cast<int>(numbers[3]);
    segment.bottom = static_cast<int>(numbers[4]);
    segments->push_back(segment);
  }
  const Field* outlines = FindField(record, kOutlineField);
  if (outlines == nullptr) return vio::ReadStatus{};
  for (const auto& items : SplitSubfields(outlines->value)) {
    const int64_t position = ParseCount(items[0]);
    const int64_t points = items.size() >= 2 ? ParseCount(items[1]) : -1;
    if (points < kMinOutlinePoints || points > kMaxOutlinePoints ||
        items.size() != 2 + 2 * static_cast<size_t>(points)) {
      return Corrupt("field 14.025 holds an entry whose point count does not match its points");
    }
    std::vector<std::pair<int, int>> outline;
    for (int64_t p = 0; p < points; ++p) {
      const int64_t x = ParseCount(items[2 + 2 * p]), y = ParseCount(items[3 + 2 * p]);
      if (x < 0 || y < 0) return Corrupt("field 14.025 holds a vertex that is not two numbers");
      outline.emplace_back(static_cast<int>(x), static_cast<int>(y));
    }
    for (FingerSegment& segment : *segments) {
      if (segment.position == position && segment.outline.empty()) {
        segment.outline = std::move(outline);
        break;
      }
    }
  }
  return vio::ReadStatus{};
}

}  // namespace an2
