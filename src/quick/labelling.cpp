#include "quick/labelling.h"

#include <algorithm>
#include <limits>

#include "interface/memory.h"
#include "interface/parameter.h"
#include "vantrel.h"

namespace vtl {
namespace {

LabellingState* g_state = nullptr;

// Neighbour order of the fill as (column offset, row offset).
constexpr int32_t kNeighbourX[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
constexpr int32_t kNeighbourY[8] = {-1, 0, 1, -1, 1, -1, 0, 1};

// Components per row or column the table has room for.
constexpr int64_t kComponentsPerLine = 32;

void ReleaseRunBuffers(LabellingState* state) {
  ReleaseAndClear(state->labels);
  ReleaseAndClear(state->table);
  ReleaseAndClear(state->stack);
  ReleaseAndClear(state->visited);
}

bool InRange(const LabellingState& state, int32_t value) {
  return value >= state.low && value <= state.high;
}

}  // namespace

LabellingState* GetLabellingState() {
  if (g_state == nullptr) {
    g_state = AllocateZeroed<LabellingState>(1);
    RegisterStateRelease(DestroyLabellingState);
  }
  return g_state;
}

int32_t InitLabelling(int32_t low, int32_t high, int32_t labelBase, int32_t rows, int32_t columns,
                      const uint8_t* pixels, LabellingState* state) {
  const int64_t capacity = kComponentsPerLine * std::max<int64_t>(rows, columns);
  const int64_t pixelCount = static_cast<int64_t>(rows) * columns;
  constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
  // Areas, the capacity and every label are 32-bit: sizes beyond that are
  // refused rather than wrapped.
  const bool valid = low >= 0 && low <= 255 && high >= 0 && high <= 255 && labelBase > 255 &&
                     rows > 0 && columns > 0 && pixels != nullptr && capacity <= kInt32Max &&
                     pixelCount <= kInt32Max && labelBase + capacity - 1 <= kInt32Max;
  if (!valid) {
    ReleaseRunBuffers(state);
    return kLabellingBadArguments;
  }
  state->rows = rows;
  state->columns = columns;
  state->low = static_cast<uint8_t>(low);
  state->high = static_cast<uint8_t>(high);
  state->labelBase = labelBase;
  state->capacity = static_cast<int32_t>(capacity);
  state->pixelCount = pixelCount;
  state->currentIndex = -1;
  state->stackTop = -1;

  const auto n = static_cast<std::size_t>(pixelCount);
  ReleaseAndClear(state->labels);
  state->labels = AllocateZeroed<int32_t>(n);
  if (state->labels != nullptr) {
    ReleaseAndClear(state->table);
    state->table = AllocateZeroed<ComponentRecord>(static_cast<std::size_t>(capacity));
  }
  if (state->table != nullptr) {
    ReleaseAndClear(state->stack);
    state->stack = AllocateZeroed<FillEntry>(n);
  }
  if (state->stack != nullptr) {
    ReleaseAndClear(state->visited);
    state->visited = AllocateZeroed<uint8_t>(n);
  }
  if (state->labels == nullptr || state->table == nullptr || state->stack == nullptr ||
      state->visited == nullptr) {
    ReleaseRunBuffers(state);
    return kLabellingNoMemory;
  }
  for (int64_t i = 0; i < pixelCount; ++i) state->labels[i] = pixels[i];
  return kLabellingReady;
}

void FloodFillComponent() {
  LabellingState& s = *g_state;
  ComponentRecord& component = s.table[s.currentIndex];
  const int32_t label = component.label;
  while (s.stackTop >= 0) {
    const FillEntry entry = s.stack[s.stackTop];
    s.pixelIndex = static_cast<int64_t>(entry.y) * s.columns + entry.x;
    s.visitedCell = s.visited + s.pixelIndex;
    s.labelCell = s.labels + s.pixelIndex;
    *s.visitedCell = 1;
    if (InRange(s, *s.labelCell)) {
      component.area += 1;
      s.sumX += entry.x;
      s.sumY += entry.y;
      *s.labelCell = label;
    }
    bool pushed = false;
    for (int32_t k = entry.startNeighbour; k < 8; ++k) {
      s.neighbourX = entry.x + kNeighbourX[k];
      s.neighbourY = entry.y + kNeighbourY[k];
      if (s.neighbourX < 0 || s.neighbourX >= s.columns || s.neighbourY < 0 ||
          s.neighbourY >= s.rows) {
        continue;
      }
      const int64_t cell = static_cast<int64_t>(s.neighbourY) * s.columns + s.neighbourX;
      if (s.visited[cell] != 0) continue;
      if (InRange(s, s.labels[cell])) {
        // The entry below keeps its start neighbour: when it is on top again
        // its neighbours are examined afresh, skipping the visited ones.
        s.stack[++s.stackTop] = FillEntry{0, s.neighbourX, s.neighbourY};
        pushed = true;
        break;
      }
      s.visited[cell] = 1;
    }
    if (!pushed) --s.stackTop;
  }
}

int32_t ResetLabellingState() {
  LabellingState* s = g_state;
  if (s == nullptr) return 0;
  s->currentIndex = -1;
  s->capacity = 0;
  s->rows = 0;
  s->columns = 0;
  ReleaseAndClear(s->visited);
  ReleaseAndClear(s->stack);
  return 0;
}

void ReleaseLabellingResults() {
  if (g_state == nullptr) return;
  ReleaseAndClear(g_state->labels);
  ReleaseAndClear(g_state->table);
}

void DestroyLabellingState() {
  ResetLabellingState();
  ReleaseLabellingResults();
  ReleaseAndClear(g_state);
}

int32_t LabelComponents(int32_t low, int32_t high, int32_t labelBase, int32_t rows, int32_t columns,
                        const uint8_t* pixels, int32_t* count, int32_t* capacity,
                        ComponentRecord** table, int32_t** labels) {
  *count = 0;
  *capacity = 0;
  *table = nullptr;
  *labels = nullptr;
  LabellingState* s = GetLabellingState();
  if (s == nullptr) return VANTREL_OUT_OF_MEMORY;
  const int32_t init = InitLabelling(low, high, labelBase, rows, columns, pixels, s);
  if (init == kLabellingReady) {
    *capacity = s->capacity;
    bool full = false;
    for (int32_t y = 0; y < s->rows && !full; ++y) {
      for (int32_t x = 0; x < s->columns; ++x) {
        const int64_t cell = static_cast<int64_t>(y) * s->columns + x;
        if (s->visited[cell] != 0 || !InRange(*s, s->labels[cell])) continue;
        if (s->currentIndex + 1 == s->capacity) {
          full = true;
          break;
        }
        s->currentIndex += 1;
        ComponentRecord& component = s->table[s->currentIndex];
        component = ComponentRecord{0, labelBase + s->currentIndex, 0, 0};
        s->sumX = 0;
        s->sumY = 0;
        s->stack[++s->stackTop] = FillEntry{0, x, y};
        FloodFillComponent();
        // The seed is in range, so the area is at least 1.
        component.centroidX = static_cast<int32_t>(s->sumX / component.area);
        component.centroidY = static_cast<int32_t>(s->sumY / component.area);
      }
    }
    *count = s->currentIndex + 1;
  }
  *table = s->table;
  *labels = s->labels;
  ResetLabellingState();
  return init == kLabellingNoMemory ? VANTREL_OUT_OF_MEMORY : VANTREL_OK;
}

}  // namespace vtl
