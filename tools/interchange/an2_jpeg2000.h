// JPEG 2000 image data (a JP2 file or a bare codestream) through libopenjp2.
#ifndef VANTREL_TOOLS_INTERCHANGE_AN2_JPEG2000_H
#define VANTREL_TOOLS_INTERCHANGE_AN2_JPEG2000_H

#include <cstddef>
#include <cstdint>

#include "image_io.h"

namespace an2 {

// Decodes to 8-bit grey (colour by its luma, deeper samples scaled). The
// size is checked against the image reader's limits before decoding. The
// resolution is left for the caller.
vio::ReadStatus DecodeJpeg2000(const uint8_t* data, size_t size, vio::GreyImage* image);

}  // namespace an2

#endif  // VANTREL_TOOLS_INTERCHANGE_AN2_JPEG2000_H
