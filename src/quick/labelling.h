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

// One pending pixel of the fill: the neighbour to resume from and the pixel.
struct FillEntry {
  int32_t startNeighbour;
  int32_t x;
  int32_t y;
};

// The single labelling state of the process. The fill's working variables
// live here too, so that the fill itself takes no arguments. Sizes derived
// from rows x columns are 64-bit.
struct LabellingState {
  int32_t rows;
  int32_t columns;  // also the row stride
  uint8_t low;      // value range of the pixels to label, inclusive
  uint8_t high;
  int32_t currentIndex;  // -1 before the first component
  int64_t pixelIndex;    // working pixel of the fill
  int32_t labelBase;
  int32_t capacity;  // entries of the component table
  int64_t pixelCount;
  int64_t stackTop;  // -1 when empty
  int32_t neighbourX;
  int32_t neighbourY;
  uint8_t* visitedCell;
  int32_t* labelCell;
  uint8_t* visited;        // pixelCount flags, 0 = not visited
  int32_t* labels;         // the label image, pixelCount values
  ComponentRecord* table;  // capacity records
  FillEntry* stack;        // pixelCount entries
  int64_t sumX;            // running column and row sums of the component
  int64_t sumY;            // being filled (64-bit: they outgrow 32 bits)
};

// InitLabelling's own codes.
constexpr int32_t kLabellingReady = 0;
constexpr int32_t kLabellingBadArguments = 1;
constexpr int32_t kLabellingNoMemory = 12;

// Labels the 8-connected regions of pixels whose value lies in low..high,
// numbering them in the scan order of their first pixel; component j gets the
// label labelBase + j. The table and label image stay owned by the labelling
// state and remain valid until the next run or DestroyLabellingState.
// Returns 0; bad arguments or absurd sizes report no component. Returns 19
// (with no component) when the state or its buffers cannot be allocated.
int32_t LabelComponents(int32_t low, int32_t high, int32_t labelBase, int32_t rows, int32_t columns,
                        const uint8_t* pixels, int32_t* count, int32_t* capacity,
                        ComponentRecord** table, int32_t** labels);

// The process-wide state, created zero-filled on first use; null when the heap
// cannot supply it.
LabellingState* GetLabellingState();

// Prepares a run: checks the arguments, sizes and allocates the buffers
// (releasing the previous run's) and copies the pixels into the label image.
// Returns kLabellingReady, kLabellingBadArguments or kLabellingNoMemory; on
// failure all four buffers are released.
int32_t InitLabelling(int32_t low, int32_t high, int32_t labelBase, int32_t rows, int32_t columns,
                      const uint8_t* pixels, LabellingState* state);

// Fills the component whose seed is on the stack (depth first, no recursion).
void FloodFillComponent();

// Ends a run: drops the stack and visited flags, keeps the label image and
// the component table. Returns 0.
int32_t ResetLabellingState();

// Releases the label image and the component table.
void ReleaseLabellingResults();

// Releases the labelling state and its buffers (called at library teardown).
void DestroyLabellingState();

}  // namespace vtl

#endif
