// Pictures of the slap segmenter's block map, for looking at why it found
// what it found: NAME.map.png (ridge score in red, finger mask in green over
// the working image) and NAME.feat.png (ridge period red, fill green,
// coherence blue). They reach into the library's internals, so a program
// that writes them links the library's static copy.
#ifndef VANTREL_TOOLS_EVALUATE_BLOCK_MAPS_H
#define VANTREL_TOOLS_EVALUATE_BLOCK_MAPS_H

#include <cstdint>
#include <string>

namespace veval {

// Writes both pictures into `dir`; returns an empty string on success,
// otherwise the reason.
std::string WriteBlockMaps(const std::string& dir, const std::string& name, const uint8_t* pixels,
                           int32_t rows, int32_t columns, int32_t xppi, int32_t yppi);

}  // namespace veval

#endif
