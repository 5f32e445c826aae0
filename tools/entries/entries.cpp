#include "entries.h"

#include <algorithm>

namespace ventry {

const std::vector<Entry>& Entries() {
  // The order is that of the golden results and of the help texts.
  static const std::vector<Entry> entries = {
      {Method::kSeparate, "separate", "SeparateImages", SeparateImages, true},
      {Method::kQuick, "quick", "VantrelQuick", VantrelQuick, false},
      {Method::kQuickNew, "quick-new", "VantrelQuickNew", VantrelQuickNew, false},
      {Method::kSlap, "slap", "VantrelSegmentSlap", VantrelSegmentSlap, true},
      {Method::kCent2, "cent2", "VantrelCent2", nullptr, false},
  };
  return entries;
}

const Entry& EntryOf(Method method) {
  for (const Entry& entry : Entries()) {
    if (entry.method == method) return entry;
  }
  return Entries().front();  // unreachable: every method is in the table
}

const Entry* FindEntry(const std::string& name) {
  for (const Entry& entry : Entries()) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

const char* MethodName(Method method) {
  return EntryOf(method).name;
}

const char* EntryName(Method method) {
  return EntryOf(method).entryName;
}

std::string MethodNames(const char* separator, bool containerOnly) {
  std::string names;
  for (const Entry& entry : Entries()) {
    if (containerOnly && entry.function == nullptr) continue;
    if (!names.empty()) names += separator;
    names += entry.name;
  }
  return names;
}

ResultCopy CopyResult(int32_t status, const VantrelResultType* result) {
  ResultCopy copy;
  copy.status = status == VANTREL_OK && result == nullptr ? VANTREL_NO_FINGER : status;
  if (copy.status != VANTREL_OK) return copy;
  copy.handCode = result->handCode;
  const int32_t count = result->fingers == nullptr ? 0 : std::max(result->count, 0);
  copy.fingers.resize(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const SegmentedFinger& record = result->fingers[i];
    FingerCopy& finger = copy.fingers[static_cast<size_t>(i)];
    finger.record = record;
    finger.record.image = nullptr;
    if (record.image != nullptr && record.boxHeight > 0 && record.boxWidth > 0) {
      const size_t size =
          static_cast<size_t>(record.boxHeight) * static_cast<size_t>(record.boxWidth);
      finger.pixels.assign(record.image, record.image + size);
    }
  }
  return copy;
}

ResultCopy RunEntry(const Entry& entry, int32_t xres, int32_t yres, const uint8_t* pixels,
                    int32_t rows, int32_t columns, int32_t fingerCount, int32_t handCode) {
  VantrelResultType* result = nullptr;
  const int32_t status =
      entry.function(xres, yres, pixels, rows, columns, fingerCount, handCode, &result);
  try {
    ResultCopy copy = CopyResult(status, result);
    DestroyVantrelResult1(&result);
    return copy;
  } catch (...) {
    DestroyVantrelResult1(&result);
    throw;
  }
}

int32_t Cent2Mask(int32_t fingerCount) {
  return (1 << std::clamp(fingerCount, 0, 4)) - 1;
}

Cent2Records RunCent2(const uint8_t* pixels, int32_t rows, int32_t columns, int32_t handCode,
                      int32_t fingerMask) {
  Cent2Records records;
  records.count = VantrelCent2(pixels, rows, columns, handCode, 0, 0, 0, 0, 0, fingerMask,
                               records.info, records.message);
  return records;
}

std::string StatusToken(int32_t status) {
  return "status_" + std::to_string(status);
}

}  // namespace ventry
