// VantrelSegmentSlap: hand, codes and counts, and release, on painted hands.
// The boxes are scored against truth by the accuracy test; the argument
// checks, allocation failures and concurrent calls are tested with the other
// entries'.
#include <gtest/gtest.h>

#include <vector>

#include "interface/parameter.h"
#include "painted_hand.h"
#include "slap/slap_internal.h"
#include "vantrel.h"

namespace {

using vtl::testing::PaintedImage;
using vtl::testing::PaintFourFingers;

class SegmentSlap : public ::testing::Test {
 protected:
  void TearDown() override { DestroyVantrelParameter(); }
};

int32_t Segment(const PaintedImage& img, int32_t fingers, int32_t hand, VantrelResultType** out) {
  return VantrelSegmentSlap(img.ppi, img.ppi, img.pixels.data(), img.rows, img.columns, fingers,
                            hand, out);
}

// Speckle without any ridge order is no finger.
TEST_F(SegmentSlap, NoisePageHoldsNoFinger) {
  std::vector<uint8_t> page(800 * 700);
  uint32_t state = 12345;
  for (uint8_t& p : page) {
    state = state * 1664525u + 1013904223u;
    p = static_cast<uint8_t>(150 + (state >> 24) % 100);
  }
  VantrelResultType* result = nullptr;
  EXPECT_EQ(VantrelSegmentSlap(500, 500, page.data(), 700, 800, 4, 0, &result), VANTREL_NO_FINGER);
  EXPECT_EQ(result, nullptr);
}

TEST_F(SegmentSlap, HandCodesAndFingerCounts) {
  const PaintedImage right = PaintFourFingers(500, false);
  const PaintedImage left = PaintFourFingers(500, true);
  struct Case {
    const PaintedImage* img;
    int32_t fingers, hand;
    int32_t expectedHand, expectedCount;
    std::vector<int32_t> codes;
  };
  const Case cases[] = {
      {&right, 4, 0, VANTREL_HAND_RIGHT, 4, {2, 3, 4, 5}},
      // The caller's hand stands even when the tips say otherwise.
      {&right, 4, VANTREL_HAND_LEFT, VANTREL_HAND_LEFT, 4, {10, 9, 8, 7}},
      // Fewer sought: the strongest fingers only.
      {&right, 3, VANTREL_HAND_RIGHT, VANTREL_HAND_RIGHT, 3, {}},
      // Thumbs sought: at most two, numbered left thumb then right thumb.
      {&right, 4, VANTREL_HAND_THUMBS, VANTREL_HAND_THUMBS, 2, {6, 1}},
      // Left open, the image decides whatever count is asked.
      {&left, 1, 0, VANTREL_HAND_LEFT, 4, {10, 9, 8, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    VantrelResultType* result = nullptr;
    ASSERT_EQ(Segment(*c.img, c.fingers, c.hand, &result), VANTREL_OK);
    EXPECT_EQ(result->handCode, c.expectedHand);
    ASSERT_EQ(result->count, c.expectedCount);
    for (int32_t i = 0; i < result->count; ++i) {
      const SegmentedFinger& f = result->fingers[i];
      if (!c.codes.empty()) {
        EXPECT_EQ(f.position, c.codes[i]);
      }
      EXPECT_GE(f.fixedValue, 0.0f);
      EXPECT_LE(f.fixedValue, 1.0f);
    }
    DestroyVantrelResult1(&result);
    EXPECT_EQ(result, nullptr);
  }
}

TEST_F(SegmentSlap, ReleasesEarlierResultsAndTearsDown) {
  const PaintedImage img = PaintFourFingers(250, false);
  VantrelResultType* result = nullptr;
  ASSERT_EQ(Segment(img, 4, 0, &result), VANTREL_OK);
  EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, result);
  // The same pointer again: the first container is released (the leak
  // checker of the sanitizer build would see it otherwise).
  ASSERT_EQ(Segment(img, 4, 0, &result), VANTREL_OK);
  const std::vector<uint8_t> blank(static_cast<std::size_t>(img.rows) * img.columns, 255);
  EXPECT_EQ(VantrelSegmentSlap(250, 250, blank.data(), img.rows, img.columns, 4, 0, &result),
            VANTREL_NO_FINGER);
  EXPECT_EQ(result, nullptr);
  // A container left with the library is released by the teardown.
  ASSERT_EQ(Segment(img, 4, 0, &result), VANTREL_OK);
  DestroyVantrelParameter();
}

// Of four fingertips on ridge, the one whose box disagrees with the others
// (half their length, tilted off) is flagged below 0.5; the others stay
// trusted. Off the ridge area a good box is doubted too.
TEST(SlapConfidence, DoubtfulBoxFlaggedGoodOnesTrusted) {
  vtl::slap::WorkingImage work;
  work.ppi = 250;
  vtl::slap::BlockMap map;
  map.rows = map.columns = 100;
  ASSERT_TRUE(map.score.Reset(100 * 100));
  for (std::size_t k = 0; k < map.score.size(); ++k) map.score[k] = 0.9f;
  vtl::slap::TipBox tips[4];
  for (int32_t i = 0; i < 4; ++i) {
    tips[i].cx = 150 + 160 * i;
    tips[i].cy = 300;
    tips[i].width = 150;  // 15 mm at 250 ppi
    tips[i].height = 230;
    tips[i].confidence = 0.9;
  }
  tips[2].height = 110;
  tips[2].tilt = 0.4;
  vtl::slap::RateFingers(work, map, tips, 4);
  EXPECT_LT(tips[2].confidence, 0.5);
  for (const int32_t i : {0, 1, 3}) EXPECT_GE(tips[i].confidence, 0.5) << i;
  for (std::size_t k = 0; k < map.score.size(); ++k) map.score[k] = 0.0f;
  vtl::slap::RateFingers(work, map, tips, 1);
  EXPECT_LT(tips[0].confidence, 0.5);
}

}  // namespace
