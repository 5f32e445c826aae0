// Overlay picture: the input in RGB with every finger's box, centre and label.
#ifndef VANTREL_TOOLS_VANTREL_OVERLAY_H
#define VANTREL_TOOLS_VANTREL_OVERLAY_H

#include <cstdint>
#include <string>
#include <vector>

#include "image_io.h"
#include "segmentation.h"

namespace vtool {

struct RgbImage {
  int32_t rows = 0;
  int32_t columns = 0;
  std::vector<uint8_t> pixels;  // rows x columns x 3
};

// Label of finger i as drawn: "0" for the full separator (place from the
// left), "0: right index" for position codes 1..10.
std::string FingerLabel(const Segmentation& segmentation, size_t i);

// Draws the boxes (oriented for the full separator, edge-aligned with the
// finger axis for the quick segmenters), centres, labels and a title line.
RgbImage MakeOverlay(const vio::GreyImage& image, const Segmentation& segmentation,
                     const std::string& title);

}  // namespace vtool

#endif  // VANTREL_TOOLS_VANTREL_OVERLAY_H
