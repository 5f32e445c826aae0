// ANSI/NIST-ITL transactions as inputs of `vantrel segment`: which records
// are slaps and how to segment them, and the results written back as segment
// fields and finger records.
#ifndef VANTREL_TOOLS_VANTREL_TRANSACTION_INPUT_H
#define VANTREL_TOOLS_VANTREL_TRANSACTION_INPUT_H

#include <string>
#include <vector>

#include "an2_images.h"
#include "an2_segments.h"
#include "an2_transaction.h"
#include "segmentation.h"

namespace vtool {

struct TransactionSlap {
  an2::ImageRecord description;  // description.index is the record's place
  int32_t handCode = 0;          // for the entry: 13, 14, 15 or 0
  std::vector<int> positions;    // codes of the fingers sought, left to right in the image
};

// The slap records (finger positions 13, 14, 15 and 40 to 50), each with the
// fingers it should show; fingers listed as amputated or unprintable in
// 14.018 are not sought. Records without a finger to seek are left out.
std::vector<TransactionSlap> FindSlaps(const an2::Transaction& transaction);

// The boxes and outlines of a segmentation as 14.021 and 14.025 hold them:
// each finger's box corners rounded to pixels and kept inside the image, with
// its finger-position code (the entry's when it is one of the slap's, else
// the slap's code at the finger's place from the left).
std::vector<an2::FingerSegment> SegmentsOf(const TransactionSlap& slap,
                                           const Segmentation& segmentation, int32_t columns,
                                           int32_t rows);

// Writes a slap's segmentation into the transaction: 14.021 and 14.025 of its
// record (a Type-4 record is first carried over to Type-14) and, with
// fingerRecords, one new Type-14 record per finger picture, WSQ at the usual
// bit rate. Returns an empty string or the reason.
std::string RecordSegmentation(an2::Transaction* transaction, const TransactionSlap& slap,
                               const vio::GreyImage& image, const Segmentation& segmentation,
                               bool fingerRecords);

}  // namespace vtool

#endif  // VANTREL_TOOLS_VANTREL_TRANSACTION_INPUT_H
