// Runs one of the library's entries on an image and copies its result into
// plain records that outlive the library's container.
#ifndef VANTREL_TOOLS_VANTREL_SEGMENTATION_H
#define VANTREL_TOOLS_VANTREL_SEGMENTATION_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "entries.h"
#include "image_io.h"
#include "vantrel.h"

namespace vtool {

using ventry::EntryName;
using ventry::Method;
using ventry::MethodName;

struct Finger {
  SegmentedFinger record{};        // as the library returned it; image is null here
  std::vector<uint8_t> pixels;     // boxHeight x boxWidth, empty when none was made
  bool imageFromLibrary = false;   // false: cut from the input by the tool (cent2)
  std::optional<FingerInfo> info;  // cent2 only: the record as written
  // The box as drawn on the overlay, four (column, row) corners clockwise
  // from the upper left.
  double corners[4][2] = {};
};

struct Segmentation {
  Method method = ventry::kDefaultMethod;
  int32_t fingerCount = 4;    // fingers asked for
  int32_t handRequested = 0;  // hand code passed in
  int32_t fingerMask = 0;     // cent2 only
  // Status of the entry; cent2 returns none, so there it is 0 when records
  // were written and hasStatus is false.
  int32_t status = VANTREL_NO_FINGER;
  bool hasStatus = true;
  int32_t handCode = 0;        // of the container
  bool orientedBoxes = false;  // separate, slap: angle is the box rotation
  std::vector<Finger> fingers;
};

// Runs the method. The image's resolution must already be settled.
Segmentation Segment(const vio::GreyImage& image, Method method, int32_t fingerCount,
                     int32_t handCode);

}  // namespace vtool

#endif  // VANTREL_TOOLS_VANTREL_SEGMENTATION_H
