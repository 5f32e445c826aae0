#include "separate/slant_search.h"

#include <cstring>

#include "vantrel.h"

namespace vtl {
namespace {

constexpr double kMinusTan10Degrees = -0.17632698070846498;

int32_t Clamp32(int64_t v) {
  return v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v);
}

}  // namespace

SlantLimits ComputeSlantLimits(int32_t handCode, int32_t rows) {
  const int64_t R = rows < 0 ? 0 : rows;
  switch (handCode) {
    case VANTREL_HAND_RIGHT: return {Clamp32(R), 0};
    case VANTREL_HAND_LEFT: return {0, Clamp32(R)};
    case VANTREL_HAND_THUMBS: {
      const auto t = static_cast<int32_t>(static_cast<double>(R) * kMinusTan10Degrees);
      return {-t, -t};
    }
    default: return {Clamp32(2 * R), Clamp32(2 * R)};
  }
}

void StartSlantSearch(int32_t sought, SlantSearch* search) {
  std::memset(search, 0, sizeof *search);
  search->fingers.expected = sought;
  search->fingers.mean = 0.0f;
  search->gaps.expected = sought + 1;
  search->bestScore = 0.0f;
  search->bestSlant = 0;
}

int32_t SearchSlants(SlantLimits limits, SlantAnalysis analyse, void* context,
                     SlantSearch* search) {
  const int32_t passes = limits.positive > limits.negative ? limits.positive : limits.negative;
  bool positiveOpen = true;
  bool negativeOpen = true;
  for (int32_t i = 0; i < passes; ++i) {
    if (i >= limits.positive) positiveOpen = false;
    if (i >= limits.negative) negativeOpen = false;
    // Slant 0 is tried on both sides of pass 0; the second try cannot win.
    for (int side = 0; side < 2; ++side) {
      if (side == 0 ? !positiveOpen : !negativeOpen) continue;
      const int32_t s = side == 0 ? i : -i;
      float score = 0.0f;
      const int32_t status = analyse(context, s, &score, &search->fingers, &search->gaps);
      ++search->slantsTried;
      if (status != VANTREL_OK) return status;
      if (score > search->bestScore) {
        search->bestScore = score;
        search->bestSlant = s;
        search->bestFingers = search->fingers;
        search->bestGaps = search->gaps;
        if (search->gaps.score == static_cast<float>(search->fingers.expected + 1)) {
          return VANTREL_OK;
        }
      }
    }
  }
  return VANTREL_OK;
}

}  // namespace vtl
