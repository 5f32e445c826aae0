// Per-input result files: JSON or CSV.
#ifndef VANTREL_TOOLS_VANTREL_REPORT_H
#define VANTREL_TOOLS_VANTREL_REPORT_H

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "image_io.h"
#include "segmentation.h"

namespace vtool {

// Everything known about one input, successful or not.
struct InputReport {
  std::string input;       // path as given
  int record = 0;          // the record of a transaction the image came from, else 0
  bool imageRead = false;  // image and format valid
  vio::GreyImage const* image = nullptr;
  const Segmentation* segmentation = nullptr;  // null when the entry did not run
  std::string error;                           // empty when the input succeeded
  std::string errorKind;                       // stable token: corrupt, status_7, ...
  std::vector<std::string> fingerFiles;        // per finger, empty string when none written
  std::string overlayFile;                     // empty when none written
};

nlohmann::ordered_json ToJson(const InputReport& report);

// Header line and one line per finger (one line with empty finger fields
// when there is none).
std::string ToCsv(const InputReport& report);

// The columns of the slap segmentation evaluations' logs: file, finger
// position code, the box's top-left, top-right, bottom-left and bottom-right
// corners (top: the fingertip end) in whole image pixels, and the box's
// rotation in degrees (0 for upright boxes). A header, then one row per
// finger; only the header for an input without fingers.
std::string ToSlapsegCsv(const InputReport& report);

}  // namespace vtool

#endif  // VANTREL_TOOLS_VANTREL_REPORT_H
