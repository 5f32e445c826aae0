#include <cstring>

#include "interface/parameter.h"
#include "vantrel.h"

// Interim entry: writes the progress text; the search comes with the quick
// segmenter.
int32_t VantrelCent2(const uint8_t* /*image*/, int32_t /*rows*/, int32_t /*columns*/,
                     int32_t /*handCode*/, int32_t, int32_t, int32_t, int32_t, int32_t,
                     int32_t /*fingerMask*/, FingerInfo* /*info*/, char* message) {
  vtl::GetVantrelParameter();
  if (message != nullptr) std::memcpy(message, "StartToSegement", 16);
  return 0;
}
