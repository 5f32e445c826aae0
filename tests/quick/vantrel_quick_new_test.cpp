// VantrelQuickNew against VantrelQuick on images built to tell them apart:
// visiting order by centroid rather than top, and no left/right inference.
#include <gtest/gtest.h>

#include <vector>

#include "drawn_images.h"
#include "interface/parameter.h"
#include "vantrel.h"

namespace {

using quicktest::Canvas;
using quicktest::DrawFingers;
using quicktest::DrawnFinger;

// 248 ppi: one working pixel is exactly 4 x 4 caller pixels.
constexpr int32_t kPpi = 248;

// Working-pixel block (inclusive) drawn at 4 caller pixels per working pixel.
void WorkBlock(Canvas& c, int32_t top, int32_t left, int32_t bottom, int32_t right) {
  c.Block(4 * top, 4 * left, 4 * bottom + 3, 4 * right + 3);
}

class QuickNew : public ::testing::Test {
 protected:
  void TearDown() override {
    DestroyVantrelResult1(&result_);
    DestroyVantrelParameter();
  }
  VantrelResultType* result_ = nullptr;
};

TEST_F(QuickNew, HighestCentroidRatherThanHighestTop) {
  // A tall block reaching highest (top 10, centroid 50) and a short block in
  // another column band lower down (top 20) but with the higher centroid (30).
  Canvas c(400, 400);
  WorkBlock(c, 10, 10, 90, 30);
  WorkBlock(c, 20, 60, 40, 80);
  ASSERT_EQ(VantrelQuick(kPpi, kPpi, c.pixels.data(), 400, 400, 1, 0, &result_), VANTREL_OK);
  ASSERT_EQ(result_->count, 1);
  EXPECT_LT(result_->fingers[0].centerX, 4 * 45) << "the tall block";
  ASSERT_EQ(VantrelQuickNew(kPpi, kPpi, c.pixels.data(), 400, 400, 1, 0, &result_), VANTREL_OK);
  ASSERT_EQ(result_->count, 1);
  EXPECT_GT(result_->fingers[0].centerX, 4 * 45) << "the short block";
  // Both are accepted when two are sought, left to right either way.
  ASSERT_EQ(VantrelQuickNew(kPpi, kPpi, c.pixels.data(), 400, 400, 4, 0, &result_), VANTREL_OK);
  ASSERT_EQ(result_->count, 2);
  EXPECT_LT(result_->fingers[0].centerX, result_->fingers[1].centerX);
}

TEST_F(QuickNew, EqualTopsKeepTableOrderButCentroidsDecide) {
  // A U whose arms rise as high as a block standing inside it, 16 working
  // columns from each arm; both are centred on the same column. The U comes
  // first in scan order, so VantrelQuick (stable by top) takes the U and
  // passes the block over; VantrelQuickNew visits the block first (its
  // centroid is higher) and passes the U over.
  Canvas c(400, 400);
  WorkBlock(c, 10, 10, 75, 25);
  WorkBlock(c, 10, 74, 75, 89);
  WorkBlock(c, 60, 10, 75, 89);
  WorkBlock(c, 10, 42, 40, 57);
  ASSERT_EQ(VantrelQuick(kPpi, kPpi, c.pixels.data(), 400, 400, 4, 0, &result_), VANTREL_OK);
  ASSERT_EQ(result_->count, 1);
  EXPECT_GT(result_->fingers[0].boxWidth, 4 * 70) << "the U";
  ASSERT_EQ(VantrelQuickNew(kPpi, kPpi, c.pixels.data(), 400, 400, 4, 0, &result_), VANTREL_OK);
  ASSERT_EQ(result_->count, 1);
  EXPECT_LT(result_->fingers[0].boxWidth, 4 * 30) << "the block";
}

}  // namespace
