// 8-connected component labelling with a process-wide state whose label
// image and component table stay valid until the next run.
#ifndef VANTREL_QUICK_LABELLING_H
#define VANTREL_QUICK_LABELLING_H

#include <cstdint>

namespace vtl {

struct ComponentRecord {
  int32_t area;
  int32_t label;      // label base + component index
  int32_t centroidX;  // column sum during the fill, mean afterwards
  int32_t centroidY;  // row sum during the fill, mean afterwards
};

// Labels the 8-connected regions of pixels whose value lies in low..high.
// Always returns 0; a run that cannot start reports no component.
int32_t LabelComponents(int32_t low, int32_t high, int32_t labelBase, int32_t rows,
                        int32_t columns, const uint8_t* pixels, int32_t* count,
                        int32_t* capacity, ComponentRecord** table, int32_t** labels);

// Releases the labelling state and its buffers (called at library teardown).
void DestroyLabellingState();

}  // namespace vtl

#endif
