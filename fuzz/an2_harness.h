// ANSI/NIST-ITL transactions from arbitrary bytes. A transaction that parses
// must serialise back to the very bytes read; every image record must decode
// whole or fail with a reason and no pixels; segment fields that read must
// write back into a transaction that parses. Anything else aborts.
#ifndef VANTREL_FUZZ_AN2_HARNESS_H
#define VANTREL_FUZZ_AN2_HARNESS_H

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "an2_images.h"
#include "an2_segments.h"
#include "an2_transaction.h"

namespace vfuzz {

inline void RequireAn2(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "transaction contract broken: %s\n", what);
    std::abort();
  }
}

inline void CheckAn2Images(const an2::Transaction& transaction) {
  for (const an2::ImageRecord& description : an2::ListImageRecords(transaction)) {
    vio::GreyImage image;
    const vio::ReadStatus status = an2::DecodeImageRecord(transaction, description, &image);
    if (!status.ok()) {
      RequireAn2(!status.message.empty() && image.pixels.empty(), "failure without reason");
      continue;
    }
    RequireAn2(image.rows >= 1 && image.columns >= 1, "empty image");
    RequireAn2(image.pixels.size() == static_cast<size_t>(image.rows) * image.columns, "pixels");
  }
}

inline void CheckAn2Segments(an2::Transaction transaction) {
  bool changed = false;
  for (an2::Record& record : transaction.records) {
    std::vector<an2::FingerSegment> segments;
    if (record.type != 14 || !an2::ReadSegments(record, &segments).ok()) continue;
    an2::SetSegments(&record, segments);
    changed = true;
  }
  if (!changed) return;
  std::string bytes, error;
  RequireAn2(an2::SerializeTransaction(transaction, &bytes, &error), "segments not written");
  an2::Transaction back;
  RequireAn2(
      an2::ParseTransaction(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &back)
          .ok(),
      "written segments do not parse");
}

inline int RunTransaction(const uint8_t* data, size_t size) {
  an2::Transaction transaction;
  const vio::ReadStatus status = an2::ParseTransaction(data, size, &transaction);
  if (!status.ok()) {
    RequireAn2(!status.message.empty() && transaction.records.empty(), "failure without reason");
    return 0;
  }
  std::string bytes, error;
  RequireAn2(an2::SerializeTransaction(transaction, &bytes, &error), "not serialised");
  RequireAn2(bytes.size() == size && std::memcmp(bytes.data(), data, size) == 0, "round trip");
  CheckAn2Images(transaction);
  CheckAn2Segments(transaction);
  return 0;
}

}  // namespace vfuzz

#endif  // VANTREL_FUZZ_AN2_HARNESS_H
