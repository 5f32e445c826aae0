// One input of `vantrel segment`, from reading to its committed outputs. It
// runs on any worker thread and prints nothing: what it has to say comes back
// in the outcome, for the batch to print in input order.
#ifndef VANTREL_TOOLS_VANTREL_INPUT_JOB_H
#define VANTREL_TOOLS_VANTREL_INPUT_JOB_H

#include <cstddef>
#include <string>
#include <vector>

#include "batch.h"
#include "image_io.h"
#include "segment_options.h"

namespace vtool {

struct InputOutcome {
  bool ok = false;
  std::string failureKind;  // summary category when not ok, with its token
  size_t fingers = 0;
  std::string report;               // line for standard output (success)
  std::vector<std::string> errors;  // lines for standard error
};

// Reads the input, segments it and writes its result file, finger pictures
// and overlay under names starting with stem. Either all of them are written
// or only the result file (then saying why the input failed).
InputOutcome ProcessInput(const InputItem& item, const std::string& stem,
                          const SegmentOptions& options);

// An image decoded elsewhere (a record of a transaction), or why it could not
// be, with the hand and finger count to seek where the options name none.
struct DecodedInput {
  vio::ReadStatus status;
  vio::GreyImage image;
  int32_t hand = 0;
  int32_t fingers = 0;
  int record = 0;  // the record number, for the result file
};

// ProcessInput on a decoded image; *segmentation receives the entry's result.
InputOutcome ProcessDecoded(const InputItem& item, const std::string& stem,
                            const SegmentOptions& options, const DecodedInput& input,
                            Segmentation* segmentation);

}  // namespace vtool

#endif  // VANTREL_TOOLS_VANTREL_INPUT_JOB_H
