// A finger's axis traced on the block grid (finger_axis.cpp).
#ifndef VANTREL_SLAP_FINGER_AXIS_H
#define VANTREL_SLAP_FINGER_AXIS_H

#include "slap/search_context.h"

namespace vtl {
namespace slap {

struct FingerAxis {
  double tipX, tipY;  // block units, block k spanning [k, k + 1)
  double tilt;
  double width;  // block units
};

// Follows a finger from its tip down its midline: at every level the run of
// the piece across the axis, skipping levels where the run has merged with
// a touching neighbour; a line through the run middles, down to `depth`
// finger widths (the lower segments give the axis a longer base), corrects
// the axis, which turns at most maxBend from the hand's. Three rounds,
// starting from the hand's direction at the outline peak.
bool TraceFinger(const Context& ctx, const Candidate& c, double depth, double maxBend,
                 FingerAxis* out);

}  // namespace slap
}  // namespace vtl

#endif
