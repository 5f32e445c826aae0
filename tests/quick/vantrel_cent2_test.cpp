// VantrelCent2: the search chosen from hand code and finger mask, the
// FingerInfo records, and what every call leaves behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "drawn_images.h"
#include "interface/parameter.h"
#include "quick/finger_info.h"
#include "vantrel.h"

namespace {

constexpr int32_t kRows = 1000, kColumns = 1200;

class Cent2 : public ::testing::Test {
 protected:
  void SetUp() override {
    canvas_ = quicktest::DrawFingers(kRows, kColumns, quicktest::RightHand());
    std::memset(info_, 0x5A, sizeof info_);
  }
  void TearDown() override { DestroyVantrelParameter(); }

  int32_t Call(int32_t hand, int32_t mask, const uint8_t* image, int32_t rows) {
    std::memset(message_, 'x', sizeof message_);
    const int32_t n =
        VantrelCent2(image, rows, kColumns, hand, 1, 2, 3, 4, 5, mask, info_, message_);
    // What every call leaves behind, whatever its outcome.
    EXPECT_STREQ(message_, "StartToSegement");
    EXPECT_EQ(vtl::GetVantrelParameter()->MakeFingerImages, 1);
    EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, nullptr) << "inner container released";
    return n;
  }
  int32_t Call(int32_t hand, int32_t mask) {
    return Call(hand, mask, canvas_.pixels.data(), kRows);
  }
  bool InfoUntouched(int32_t from = 0) const {
    const auto* bytes = reinterpret_cast<const uint8_t*>(info_ + from);
    for (size_t i = 0; i < (4 - from) * sizeof(FingerInfo); ++i)
      if (bytes[i] != 0x5A) return false;
    return true;
  }

  quicktest::Canvas canvas_{1, 1};
  FingerInfo info_[4];
  char message_[32];
};

TEST_F(Cent2, FailedSearchWritesNothing) {
  EXPECT_EQ(Call(13, 0b0011, canvas_.pixels.data(), 0), 0);  // rows 0: inner call fails
  EXPECT_TRUE(InfoUntouched());
  EXPECT_EQ(Call(13, 0b0011, nullptr, kRows), 0);
  EXPECT_TRUE(InfoUntouched());
  const quicktest::Canvas blank(kRows, kColumns);
  EXPECT_EQ(Call(0, 0, blank.pixels.data(), kRows), 0);
  EXPECT_TRUE(InfoUntouched());
  // Finger images are back on even when they were off before the call.
  vtl::GetVantrelParameter()->MakeFingerImages = 0;
  EXPECT_EQ(Call(13, 0b0001), 1);
}

}  // namespace
