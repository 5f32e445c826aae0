// The quick segmenters on generated slaps, against the generator's truth.
// Fingers closer than about an eighth of an inch merge into one piece at the
// working resolution; the seeds below are hands whose fingers stay apart, and
// a failure message says whether two true fingers share a piece.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "drawn_images.h"
#include "quick/labelling.h"
#include "slap_generator.h"
#include "vantrel.h"

namespace {

// The true finger: below its tip and within half its width of its axis.
bool OnTrueFinger(const vsynth::FingerTruth& t, double x, double y) {
  const double dx = x - t.tipX, dy = y - t.tipY;
  const double along = dx * std::sin(t.angle) + dy * std::cos(t.angle);
  const double across = dx * std::cos(t.angle) - dy * std::sin(t.angle);
  return along >= 0 && std::fabs(across) <= t.width / 2;
}

// How many distinct labelled pieces the true fingers' centres fall on.
size_t PiecesUnderTrueFingers(const vsynth::Slap& slap) {
  const vtl::LabellingState* state = vtl::GetLabellingState();
  const float colFactor = float(slap.xppi) / 62.0f, rowFactor = float(slap.yppi) / 62.0f;
  const int32_t workRows = int32_t(float(slap.rows) / rowFactor);
  const int32_t workColumns = int32_t(float(slap.columns) / colFactor);
  std::set<int32_t> labels;
  for (const vsynth::FingerTruth& t : slap.fingers) {
    const int32_t y = int32_t(t.cy / rowFactor), x = int32_t(t.cx / colFactor);
    if (state->labels != nullptr && y >= 0 && y < workRows && x >= 0 && x < workColumns)
      labels.insert(state->labels[int64_t(y) * workColumns + x]);
  }
  return labels.size();
}

using Segmenter = int32_t (*)(int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t,
                              VantrelResultType**);

struct Case {
  const char* name;
  int hand;
  double rotationDeg;
  int missing;
  double xppi, yppi;
  int32_t fingerCount, handCode;
  int32_t expectedHand;            // VantrelQuick's container hand code
  std::vector<int32_t> positions;  // VantrelQuick's positions
  int32_t expectedHandNew;         // VantrelQuickNew's
  std::vector<int32_t> positionsNew;
};

// Turned clockwise, a right hand's tips still fall from the middle finger to
// the little one; turned the other way they no longer tell the hand. A lone
// thumb is numbered 6 (left thumb) even when it is the right.
const Case kCases[] = {
    {"right", 13, 0, -1, 500, 500, 4, 0, 13, {2, 3, 4, 5}, 0, {2, 3, 4, 5}},
    {"thumbs", 15, 0, -1, 500, 500, 2, 0, 15, {6, 1}, 15, {6, 1}},
    {"right +10", 13, 10, -1, 500, 500, 4, 0, 13, {2, 3, 4, 5}, 0, {2, 3, 4, 5}},
    {"left -10", 14, -10, -1, 500, 500, 4, 0, 14, {10, 9, 8, 7}, 0, {2, 3, 4, 5}},
    {"right -15 given", 13, -15, -1, 500, 500, 4, 13, 13, {2, 3, 4, 5}, 13, {2, 3, 4, 5}},
    {"no ring finger", 13, 0, 2, 500, 500, 4, 0, 0, {2, 3, 4}, 0, {2, 3, 4}},
    {"left thumb missing", 15, 0, 0, 500, 500, 2, 15, 15, {6}, 15, {6}},
    {"left 600 x 400", 14, 0, -1, 600, 400, 4, 0, 14, {10, 9, 8, 7}, 0, {2, 3, 4, 5}},
};

void CheckSlap(const Case& c, uint64_t seed, bool variant) {
  vsynth::SlapOptions options;
  options.seed = seed;
  options.hand = c.hand;
  options.rotationDeg = c.rotationDeg;
  options.missingFinger = c.missing;
  options.xppi = c.xppi;
  options.yppi = c.yppi;
  const vsynth::Slap slap = vsynth::GenerateSlap(options);
  const auto xres = int32_t(slap.xppi), yres = int32_t(slap.yppi);
  const Segmenter segment = variant ? VantrelQuickNew : VantrelQuick;
  VantrelResultType* r = nullptr;
  ASSERT_EQ(segment(xres, yres, slap.pixels.data(), slap.rows, slap.columns, c.fingerCount,
                    c.handCode, &r),
            VANTREL_OK);
  ASSERT_EQ(r->count, int32_t(slap.fingers.size()))
      << slap.fingers.size() << " true fingers lie on " << PiecesUnderTrueFingers(slap)
      << " pieces";
  EXPECT_EQ(r->handCode, variant ? c.expectedHandNew : c.expectedHand);
  for (int32_t i = 0; i < r->count; ++i) {
    const SegmentedFinger& f = r->fingers[i];
    EXPECT_EQ(f.position, variant ? c.positionsNew[i] : c.positions[i]) << i;
    EXPECT_TRUE(OnTrueFinger(slap.fingers[i], f.centerX, f.centerY))
        << "record " << i << " centre (" << f.centerX << ", " << f.centerY << ")";
  }
  quicktest::ExpectSaneRecords(*r, slap.rows, slap.columns);
  quicktest::ExpectFingerImages(*r, slap.pixels.data(), slap.rows, slap.columns, xres, yres);
  DestroyVantrelResult1(&r);
}

class GeneratedSlaps : public ::testing::TestWithParam<bool> {
 protected:
  void TearDown() override { DestroyVantrelParameter(); }
};

TEST_P(GeneratedSlaps, RecordsMatchTheTruth) {
  for (const Case& c : kCases) {
    for (uint64_t seed : {1u, 3u}) {
      SCOPED_TRACE(::testing::Message() << c.name << ", seed " << seed);
      CheckSlap(c, seed, GetParam());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(QuickAndNew, GeneratedSlaps, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "VantrelQuickNew" : "VantrelQuick";
                         });

}  // namespace
