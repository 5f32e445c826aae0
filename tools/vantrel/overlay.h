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

// Long side of a preview overlay, in pixels: enough to judge the boxes at a
// glance, a small part of the full picture's encoding time.
constexpr int32_t kPreviewLongSide = 1000;

// Draws the boxes (oriented for the full separator, edge-aligned with the
// finger axis for the quick segmenters), centres, labels and a title line.
// With longSide > 0 the picture is scaled down (area average) so that its
// long side is at most that many pixels; lines and text are sized for the
// picture drawn. Title bytes outside printable ASCII are drawn as '?' (one
// per UTF-8 character), and a title too wide is cut with "...".
RgbImage MakeOverlay(const vio::GreyImage& image, const Segmentation& segmentation,
                     const std::string& title, int32_t longSide = 0);

// An overlay as palette indices: 251 grey levels and the drawing colours.
// Enough for a preview, and a third of the bytes to compress.
struct PaletteImage {
  int32_t rows = 0;
  int32_t columns = 0;
  std::vector<uint8_t> indices;  // rows x columns
  std::vector<uint8_t> palette;  // RGB triples
};
PaletteImage ToPalette(const RgbImage& image);

// The text as the overlay's font draws it: printable ASCII, '?' for any
// other character.
std::string PrintableText(const std::string& text);

}  // namespace vtool

#endif  // VANTREL_TOOLS_VANTREL_OVERLAY_H
