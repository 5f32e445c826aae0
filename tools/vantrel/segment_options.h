// What `vantrel segment` was asked to do.
#ifndef VANTREL_TOOLS_VANTREL_SEGMENT_OPTIONS_H
#define VANTREL_TOOLS_VANTREL_SEGMENT_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "common_flags.h"
#include "segmentation.h"
#include "vantrel.h"

namespace vtool {

enum class OverlayKind { kPreview, kFull, kNone };

struct SegmentOptions {
  std::vector<std::string> inputs;
  Method method = ventry::kDefaultMethod;
  int32_t fingers = 0;  // 0: 2 for thumbs, else 4
  int32_t hand = VANTREL_HAND_UNKNOWN;
  ResolutionFlags resolution;
  std::string out = "vantrel-out";
  std::string format = "json";  // json, csv or slapseg
  bool noImages = false;
  std::string imageFormat = "png";  // finger pictures: png or wsq
  OverlayKind overlay = OverlayKind::kPreview;
  bool noProgress = false;
  bool quiet = false;
  bool failFast = false;
  int jobs = 0;                // 0: one per core
  std::string writeAn2;        // the transaction with the results, when given
  bool fingerRecords = false;  // and a Type-14 record per finger in it

  // Extension of the result file: "json" or "csv".
  std::string ResultExtension() const { return format == "json" ? "json" : "csv"; }
};

}  // namespace vtool

#endif  // VANTREL_TOOLS_VANTREL_SEGMENT_OPTIONS_H
