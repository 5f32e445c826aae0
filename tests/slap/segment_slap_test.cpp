// VantrelSegmentSlap: records, hand and codes, and release, on painted hands
// and generated hard cases. The argument checks, allocation failures and
// concurrent calls are tested with the other entries'.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "geometry/oriented_box.h"
#include "interface/memory.h"
#include "interface/parameter.h"
#include "interface/result.h"
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

// The record's box lies on the painted top segment.
void ExpectNear(const SegmentedFinger& f, const vtl::testing::PaintedTruth& t, double pxPerMm) {
  EXPECT_LT(std::hypot(f.centerX - t.cx, f.centerY - t.cy), 3.0 * pxPerMm);
  EXPECT_NEAR(f.boxWidth, t.width, 0.25 * t.width);
  EXPECT_NEAR(f.boxHeight, t.height, 0.25 * t.height);
  EXPECT_NEAR(f.angle, t.angle, 0.15);
}

TEST_F(SegmentSlap, BlankAndNoisePagesHoldNoFinger) {
  std::vector<uint8_t> page(800 * 700, 255);
  VantrelResultType* result = nullptr;
  EXPECT_EQ(VantrelSegmentSlap(500, 500, page.data(), 700, 800, 4, 0, &result), VANTREL_NO_FINGER);
  EXPECT_EQ(result, nullptr);
  // Speckle without any ridge order is not a finger either.
  uint32_t state = 12345;
  for (uint8_t& p : page) {
    state = state * 1664525u + 1013904223u;
    p = static_cast<uint8_t>(150 + (state >> 24) % 100);
  }
  EXPECT_EQ(VantrelSegmentSlap(500, 500, page.data(), 700, 800, 4, 0, &result), VANTREL_NO_FINGER);
  EXPECT_EQ(result, nullptr);
}

TEST_F(SegmentSlap, RightHandRecordsAndHand) {
  const PaintedImage img = PaintFourFingers(500, false);
  VantrelResultType* result = nullptr;
  ASSERT_EQ(Segment(img, 4, 0, &result), VANTREL_OK);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, result);
  EXPECT_EQ(result->handCode, VANTREL_HAND_RIGHT);
  ASSERT_EQ(result->count, 4);
  const double pxPerMm = 500 / 25.4;
  for (int32_t i = 0; i < 4; ++i) {
    const SegmentedFinger& f = result->fingers[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(f.position, 2 + i);
    ExpectNear(f, img.truth[i], pxPerMm);
    EXPECT_GE(f.fixedValue, 0.0f);
    EXPECT_LE(f.fixedValue, 1.0f);
    // Bounds: the box's corners, clipped to the image.
    const double c = std::cos(f.angle), s = std::sin(f.angle);
    const double hw = f.boxWidth / 2.0, hh = f.boxHeight / 2.0;
    double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
    for (const double u : {-hw, hw}) {
      for (const double v : {-hh, hh}) {
        minX = std::min(minX, f.centerX + u * c + v * s);
        maxX = std::max(maxX, f.centerX + u * c + v * s);
        minY = std::min(minY, f.centerY - u * s + v * c);
        maxY = std::max(maxY, f.centerY - u * s + v * c);
      }
    }
    EXPECT_EQ(f.left, std::clamp(static_cast<int32_t>(std::floor(minX)), 0, img.columns - 1));
    EXPECT_EQ(f.right, std::clamp(static_cast<int32_t>(std::ceil(maxX)), 0, img.columns - 1));
    EXPECT_EQ(f.top, std::clamp(static_cast<int32_t>(std::floor(minY)), 0, img.rows - 1));
    EXPECT_EQ(f.bottom, std::clamp(static_cast<int32_t>(std::ceil(maxY)), 0, img.rows - 1));
    // The picture is the box cut upright from the caller's image.
    ASSERT_NE(f.image, nullptr);
    std::vector<uint8_t> expected(static_cast<std::size_t>(f.boxWidth) * f.boxHeight);
    vtl::SampleOrientedBoxTruncated(img.pixels.data(), img.columns, img.rows, expected.data(),
                                    f.boxWidth, f.boxHeight, f.centerX, f.centerY, f.angle, 255);
    EXPECT_EQ(0, std::memcmp(expected.data(), f.image, expected.size()));
  }
  for (int32_t i = 1; i < 4; ++i)
    EXPECT_LT(result->fingers[i - 1].centerX, result->fingers[i].centerX);
  DestroyVantrelResult1(&result);
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
      {&left, 4, 0, VANTREL_HAND_LEFT, 4, {10, 9, 8, 7}},
      {&left, 4, VANTREL_HAND_LEFT, VANTREL_HAND_LEFT, 4, {10, 9, 8, 7}},
      // The caller's hand stands even when the tips say otherwise.
      {&right, 4, VANTREL_HAND_LEFT, VANTREL_HAND_LEFT, 4, {10, 9, 8, 7}},
      // Fewer sought: the strongest fingers only.
      {&right, 3, VANTREL_HAND_RIGHT, VANTREL_HAND_RIGHT, 3, {}},
      // Thumbs sought: at most two, numbered left thumb then right thumb.
      {&right, 4, VANTREL_HAND_THUMBS, VANTREL_HAND_THUMBS, 2, {6, 1}},
      // Left open, the image decides whatever count is asked.
      {&right, 2, 0, VANTREL_HAND_RIGHT, 4, {2, 3, 4, 5}},
      {&left, 1, 0, VANTREL_HAND_LEFT, 4, {10, 9, 8, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fingers * 100 + c.hand);
    VantrelResultType* result = nullptr;
    ASSERT_EQ(Segment(*c.img, c.fingers, c.hand, &result), VANTREL_OK);
    EXPECT_EQ(result->handCode, c.expectedHand);
    EXPECT_EQ(result->count, c.expectedCount);
    if (!c.codes.empty()) {
      ASSERT_EQ(result->count, static_cast<int32_t>(c.codes.size()));
      for (int32_t i = 0; i < result->count; ++i)
        EXPECT_EQ(result->fingers[i].position, c.codes[i]);
    }
    DestroyVantrelResult1(&result);
  }
}

// A fingertip cut by the image's left edge counts while at least about half
// of its width is inside.
TEST_F(SegmentSlap, FingertipMostlyOffTheImageIsNotCounted) {
  struct Case {
    double shiftMm;  // whole hand moved left
    int32_t expected;
  };
  for (const Case c : {Case{0, 4}, Case{4, 4}, Case{12.5, 3}}) {
    SCOPED_TRACE(c.shiftMm);
    std::vector<vtl::testing::PaintedFinger> fingers = {{9, 12, 0, 15, 23, 60},
                                                        {26, 5, 0, 16, 25, 60},
                                                        {43, 9, 0, 15, 24, 60},
                                                        {58, 22, 0, 13, 20, 60}};
    for (auto& f : fingers) f.tipX -= c.shiftMm;
    const PaintedImage img = vtl::testing::PaintHand(68 - c.shiftMm, 60, 250, fingers);
    VantrelResultType* result = nullptr;
    ASSERT_EQ(Segment(img, 4, 0, &result), VANTREL_OK);
    EXPECT_EQ(result->count, c.expected);
    DestroyVantrelResult1(&result);
  }
}

TEST_F(SegmentSlap, ReleasesEarlierResultsAndTearsDown) {
  const PaintedImage img = PaintFourFingers(250, false);
  VantrelResultType* result = nullptr;
  ASSERT_EQ(Segment(img, 4, 0, &result), VANTREL_OK);
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
  result = nullptr;
}

}  // namespace

#ifdef VANTREL_HAVE_SYNTH
#include "slap_generator.h"

namespace {}  // namespace
#endif

namespace {}  // namespace

namespace {

// Of four fingertips on ridge, the one whose box disagrees with the others
// (half their length, tilted off) is flagged below 0.5; the others stay
// trusted.
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
  for (const int32_t i : {0, 1, 3}) {
    EXPECT_GE(tips[i].confidence, 0.5) << i;
    EXPECT_GT(tips[i].confidence, tips[2].confidence) << i;
  }
  // Off the ridge area the same good box is doubted too.
  for (std::size_t k = 0; k < map.score.size(); ++k) map.score[k] = 0.0f;
  vtl::slap::RateFingers(work, map, tips, 1);
  EXPECT_LT(tips[0].confidence, 0.5);
}

}  // namespace
