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
  VantrelResultType* result_ = nullptr;
};

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

INSTANTIATE_TEST_SUITE_P(QuickAndNew, BothQuick, ::testing::Values(VantrelQuick, VantrelQuickNew));

}  // namespace
