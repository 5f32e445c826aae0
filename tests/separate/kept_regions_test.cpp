#include "separate/kept_regions.h"

#include <gtest/gtest.h>

#include "interface/finger_region.h"

namespace {

vtl::FingerRegion Box(int32_t id, int32_t width, int32_t height) {
  vtl::FingerRegion r{};
  r.centerX = id;
  r.width = width;
  r.height = height;
  return r;
}

TEST(CollectKeptRegions, DropsEmptyBoxesKeepingOrder) {
  vtl::FingerRegion r[5] = {Box(0, 0, 40), Box(1, 20, 40), Box(2, 20, 0), Box(3, 25, 45),
                            Box(4, 30, 30)};
  EXPECT_EQ(vtl::CollectKeptRegions(r, 4), 2);
  EXPECT_EQ(r[0].centerX, 1);
  EXPECT_EQ(r[1].centerX, 3);
  EXPECT_EQ(r[4].centerX, 4);  // beyond `found`: untouched
  vtl::FingerRegion none[2] = {Box(0, -1, 5), Box(1, 5, -1)};
  EXPECT_EQ(vtl::CollectKeptRegions(none, 2), 0);
}

// Four fingers 20 columns apart with the given tops (box rows).
int32_t Recognise(int32_t t0, int32_t t1, int32_t t2, int32_t t3, float angle = 0.0f) {
  vtl::FingerRegion r[4] = {};
  const int32_t tops[4] = {t0, t1, t2, t3};
  for (int k = 0; k < 4; ++k) {
    r[k].centerX = 20 + 20 * k;
    r[k].top = tops[k];
  }
  return vtl::RecogniseHand(r, angle);
}

TEST(RecogniseHand, FromFingertipHeights) {
  // Right hand, left to right index, middle, ring, little: the tips drop
  // from the middle finger on.
  EXPECT_EQ(Recognise(8, 2, 6, 12), 13);
  // Left hand, little, ring, middle, index: the tips climb up to the middle.
  EXPECT_EQ(Recognise(12, 6, 2, 8), 14);
  // The unused tip is not looked at.
  EXPECT_EQ(Recognise(-50, 2, 6, 12), 13);
  EXPECT_EQ(Recognise(12, 6, 2, -50), 14);
  // Equal tips, or no monotone run: open.
  EXPECT_EQ(Recognise(5, 5, 5, 5), 0);
  EXPECT_EQ(Recognise(5, 2, 6, 6), 0);
  EXPECT_EQ(Recognise(9, 9, 2, 5), 0);
}

TEST(RecogniseHand, TipsProjectedOnTheSlant) {
  // With the lines leaning right (angle > 0) a finger further right reaches
  // further down along its own axis: the columns add sin(a) x distance.
  // 0.3 rad: 20 columns -> 5.9 rows, so equal tops read as a right hand ...
  EXPECT_EQ(Recognise(4, 4, 4, 4, 0.3f), 13);
  // ... and leaning left as a left hand.
  EXPECT_EQ(Recognise(4, 4, 4, 4, -0.3f), 14);
  // Truncation toward zero: 20 x sin(0.04) = 0.7998 adds nothing, so the
  // values stay equal.
  EXPECT_EQ(Recognise(4, 4, 4, 4, 0.04f), 0);
}

}  // namespace
