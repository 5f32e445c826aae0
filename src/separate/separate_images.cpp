#include "interface/result.h"
#include "vantrel.h"

// Interim entry: argument contract only; the stages come with the full
// separator.
int32_t SeparateImages(int32_t xres, int32_t yres, const uint8_t* pixels, int32_t rows,
                       int32_t columns, int32_t fingerCount, int32_t /*handCode*/,
                       VantrelResultType** result) {
  vtl::VantrelParameter* block = nullptr;
  const int32_t status =
      vtl::BeginSegmentation(xres, yres, pixels, rows, columns, fingerCount, result, &block);
  if (status != VANTREL_OK) return status;
  return vtl::FailSegmentation(result, VANTREL_NO_FINGER);
}
