// VantrelQuick (and where they differ VantrelQuickNew) end to end on
// hand-drawn slaps: the fingertip choice, the order and numbering of the
// records, the hand code and the finger images.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "drawn_images.h"
#include "interface/parameter.h"
#include "quick/labelling.h"
#include "vantrel.h"

namespace {

using quicktest::Canvas;
using quicktest::DrawFingers;
using quicktest::DrawnFinger;

constexpr int32_t kRows = 1000, kColumns = 1200;

// 248 ppi makes one working pixel exactly 4 x 4 caller pixels.
constexpr int32_t kExactPpi = 248;

class Quick : public ::testing::Test {
 protected:
  void TearDown() override {
    DestroyVantrelResult1(&result_);
    DestroyVantrelParameter();
  }
  int32_t Run(const Canvas& c, int32_t fingers, int32_t hand, int32_t ppi = 500) {
    return VantrelQuick(ppi, ppi, c.pixels.data(), c.rows, c.columns, fingers, hand, &result_);
  }
  // Working-pixel blocks drawn at 248 ppi.
  int32_t RunBlocks(decltype(&VantrelQuick) segment, const Canvas& c, int32_t fingers) {
    return segment(kExactPpi, kExactPpi, c.pixels.data(), c.rows, c.columns, fingers, 0, &result_);
  }
  std::vector<int32_t> Positions() const {
    std::vector<int32_t> p;
    for (int32_t i = 0; i < result_->count; ++i) p.push_back(result_->fingers[i].position);
    return p;
  }
  VantrelResultType* result_ = nullptr;
};

TEST_F(Quick, CallersHandCodeIsKept) {
  const Canvas canvas = DrawFingers(kRows, kColumns, quicktest::RightHand());
  ASSERT_EQ(Run(canvas, 4, VANTREL_HAND_LEFT), VANTREL_OK);
  EXPECT_EQ(result_->handCode, VANTREL_HAND_LEFT);
  EXPECT_EQ(Positions(), (std::vector<int32_t>{10, 9, 8, 7}));
  // An unknown code numbers like a right hand and is kept as given.
  ASSERT_EQ(Run(canvas, 4, 11), VANTREL_OK);
  EXPECT_EQ(result_->handCode, 11);
  EXPECT_EQ(Positions(), (std::vector<int32_t>{2, 3, 4, 5}));
}

TEST_F(Quick, FewerFingersThanExpected) {
  // One expected: the highest tip (the middle finger).
  const Canvas hand = DrawFingers(kRows, kColumns, quicktest::RightHand());
  ASSERT_EQ(Run(hand, 1, 0), VANTREL_OK);
  ASSERT_EQ(result_->count, 1);
  EXPECT_TRUE(quicktest::OnFinger(quicktest::RightHand()[1], result_->fingers[0].centerX,
                                  result_->fingers[0].centerY));
  EXPECT_EQ(result_->fingers[0].position, 2);
  quicktest::ExpectFingerImages(*result_, hand.pixels.data(), kRows, kColumns, 500, 500);

  // A single blob gives one record whatever is expected.
  Canvas blob(kRows, kColumns);
  blob.Block(300, 300, 700, 800);
  ASSERT_EQ(Run(blob, 4, 0), VANTREL_OK);
  EXPECT_EQ(result_->count, 1);
}

TEST_F(Quick, Thumbs) {
  const std::vector<DrawnFinger> thumbs = {{330, 300, 380, 900, 120}, {850, 300, 800, 900, 120}};
  // Thumbs given with four expected: two are sought.
  const Canvas hand = DrawFingers(kRows, kColumns, quicktest::RightHand());
  ASSERT_EQ(Run(hand, 4, VANTREL_HAND_THUMBS), VANTREL_OK);
  EXPECT_EQ(result_->handCode, VANTREL_HAND_THUMBS);
  EXPECT_EQ(Positions(), (std::vector<int32_t>{6, 1}));

  // Only one qualifies: it alone is the left thumb.
  const Canvas one = DrawFingers(kRows, kColumns, {thumbs[1]});
  ASSERT_EQ(Run(one, 4, VANTREL_HAND_THUMBS), VANTREL_OK);
  EXPECT_EQ(Positions(), (std::vector<int32_t>{6}));
  // Two expected but only one found: no thumb inference.
  ASSERT_EQ(Run(one, 2, 0), VANTREL_OK);
  EXPECT_EQ(result_->handCode, 0);
  EXPECT_EQ(Positions(), (std::vector<int32_t>{2}));
}

TEST_F(Quick, LowerPiecesInTheSameColumnBandArePassedOver) {
  // Each finger is broken at a crease into a tip and a lower piece; only the
  // tips are fingertips.
  const std::vector<DrawnFinger> pieces = {{300, 200, 300, 380, 80},
                                           {300, 640, 300, 900, 80},
                                           {800, 150, 800, 330, 80},
                                           {800, 590, 800, 900, 80}};
  const Canvas canvas = DrawFingers(kRows, kColumns, pieces);
  ASSERT_EQ(Run(canvas, 4, 0), VANTREL_OK);
  ASSERT_EQ(result_->count, 2);
  EXPECT_TRUE(
      quicktest::OnFinger(pieces[0], result_->fingers[0].centerX, result_->fingers[0].centerY));
  EXPECT_TRUE(
      quicktest::OnFinger(pieces[2], result_->fingers[1].centerX, result_->fingers[1].centerY));
}

TEST_F(Quick, NothingBigEnoughIsNoFinger) {
  // Foreground below the minimum area (295 working pixels): a 160 x 160
  // image is 19 x 19 working pixels, its dark left half one small component.
  Canvas small(160, 160);
  small.Block(0, 0, 159, 79);
  EXPECT_EQ(Run(small, 4, 0), VANTREL_NO_FINGER);
  const vtl::LabellingState* state = vtl::GetLabellingState();
  EXPECT_GT(state->table[0].area, 100);
  EXPECT_LT(state->table[0].area, 295);
  // The library's teardown releases the labelling state with its tables.
  DestroyVantrelParameter();
  EXPECT_EQ(vtl::GetLabellingState()->table, nullptr);
}

TEST_F(Quick, NoFingerImagesWhenSwitchedOff) {
  const Canvas canvas = DrawFingers(kRows, kColumns, quicktest::RightHand());
  vtl::GetVantrelParameter()->MakeFingerImages = 0;
  ASSERT_EQ(Run(canvas, 4, 0), VANTREL_OK);
  for (int32_t i = 0; i < result_->count; ++i) EXPECT_EQ(result_->fingers[i].image, nullptr);
  vtl::GetVantrelParameter()->MakeFingerImages = 1;
}

// Working-pixel block (inclusive) drawn at 4 caller pixels per working pixel.
void WorkBlock(Canvas& c, int32_t top, int32_t left, int32_t bottom, int32_t right) {
  c.Block(4 * top, 4 * left, 4 * bottom + 3, 4 * right + 3);
}

// VantrelQuickNew against VantrelQuick on images built to tell them apart:
// visiting order by centroid rather than top.
TEST_F(Quick, NewHighestCentroidRatherThanHighestTop) {
  // A tall block reaching highest (top 10, centroid 50) and a short block in
  // another column band lower down (top 20) but with the higher centroid (30).
  Canvas c(400, 400);
  WorkBlock(c, 10, 10, 90, 30);
  WorkBlock(c, 20, 60, 40, 80);
  ASSERT_EQ(RunBlocks(VantrelQuick, c, 1), VANTREL_OK);
  ASSERT_EQ(result_->count, 1);
  EXPECT_LT(result_->fingers[0].centerX, 4 * 45) << "the tall block";
  ASSERT_EQ(RunBlocks(VantrelQuickNew, c, 1), VANTREL_OK);
  ASSERT_EQ(result_->count, 1);
  EXPECT_GT(result_->fingers[0].centerX, 4 * 45) << "the short block";
  // Both are accepted when two are sought, left to right either way.
  ASSERT_EQ(RunBlocks(VantrelQuickNew, c, 4), VANTREL_OK);
  ASSERT_EQ(result_->count, 2);
  EXPECT_LT(result_->fingers[0].centerX, result_->fingers[1].centerX);
}

TEST_F(Quick, NewEqualTopsKeepTableOrderButCentroidsDecide) {
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
  ASSERT_EQ(RunBlocks(VantrelQuick, c, 4), VANTREL_OK);
  ASSERT_EQ(result_->count, 1);
  EXPECT_GT(result_->fingers[0].boxWidth, 4 * 70) << "the U";
  ASSERT_EQ(RunBlocks(VantrelQuickNew, c, 4), VANTREL_OK);
  ASSERT_EQ(result_->count, 1);
  EXPECT_LT(result_->fingers[0].boxWidth, 4 * 30) << "the block";
}

// Two identical blocks, one below the other, whose centres lie `apart`
// working columns apart (exact at 248 ppi).
Canvas ShiftedPair(int32_t apart) {
  Canvas c(400, 400);
  c.Block(40, 80, 135, 175);
  c.Block(240, 80 + 4 * apart, 335, 175 + 4 * apart);
  return c;
}

using Segmenter = int32_t (*)(int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t,
                              VantrelResultType**);

class BothQuick : public ::testing::TestWithParam<Segmenter> {
 protected:
  void TearDown() override {
    DestroyVantrelResult1(&result_);
    DestroyVantrelParameter();
  }
  VantrelResultType* result_ = nullptr;
};

TEST_P(BothQuick, MinimumSeparationIsInclusive) {
  // 18 working columns apart: both accepted; 17: only the higher one.
  for (int32_t apart : {18, 17, 30}) {
    SCOPED_TRACE(apart);
    const Canvas c = ShiftedPair(apart);
    ASSERT_EQ(GetParam()(kExactPpi, kExactPpi, c.pixels.data(), c.rows, c.columns, 4, 0, &result_),
              VANTREL_OK);
    ASSERT_EQ(result_->count, apart >= 18 ? 2 : 1);
    EXPECT_LT(result_->fingers[0].top, 100) << "the higher block comes first";
    if (result_->count == 2) {
      EXPECT_EQ(result_->fingers[1].centerX - result_->fingers[0].centerX, 4 * apart);
    }
  }
}

TEST_P(BothQuick, SuccessReplacesTheCallersContainer) {
  const Canvas c = ShiftedPair(30);
  ASSERT_EQ(GetParam()(kExactPpi, kExactPpi, c.pixels.data(), c.rows, c.columns, 4, 0, &result_),
            VANTREL_OK);
  // Passing the same pointer releases the old container (the sanitizer build
  // would report it otherwise); the new one is the last result.
  ASSERT_EQ(GetParam()(kExactPpi, kExactPpi, c.pixels.data(), c.rows, c.columns, 2, 0, &result_),
            VANTREL_OK);
  EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, result_);
  EXPECT_EQ(result_->handCode, VANTREL_HAND_THUMBS) << "two of two";
}

TEST_P(BothQuick, SlantedHandImagesLoseTheOverlappingNeighbour) {
  // Parallel fingers leaning right: each box reaches over its right
  // neighbour's tip, which must be whitened in the finger image (found
  // through the component table as each segmenter sorted it).
  std::vector<DrawnFinger> fingers = {
      {150, 260, 0, 0, 72}, {450, 160, 0, 0, 72}, {750, 210, 0, 0, 72}, {1040, 330, 0, 0, 72}};
  for (DrawnFinger& f : fingers) {
    f.baseX = f.tipX + 180;
    f.baseY = f.tipY + 620;
  }
  const Canvas canvas = DrawFingers(kRows, 1400, fingers);
  ASSERT_EQ(GetParam()(500, 500, canvas.pixels.data(), kRows, 1400, 4, 0, &result_), VANTREL_OK);
  ASSERT_EQ(result_->count, 4);
  for (int32_t i = 0; i < 4; ++i) {
    const SegmentedFinger& f = result_->fingers[i];
    EXPECT_TRUE(quicktest::OnFinger(fingers[i], f.centerX, f.centerY)) << i;
    // Base to the right of the tip: between the drawn axis and upright.
    EXPECT_GT(f.angle, 1.2f);
    EXPECT_LT(f.angle, 1.45f);
  }
  int64_t whitened = 0;
  quicktest::ExpectFingerImages(*result_, canvas.pixels.data(), kRows, 1400, 500, 500, &whitened);
  EXPECT_GT(whitened, 1000);
}

INSTANTIATE_TEST_SUITE_P(QuickAndNew, BothQuick, ::testing::Values(VantrelQuick, VantrelQuickNew));

}  // namespace
