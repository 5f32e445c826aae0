// Every allocation of the quick entries made to fail in turn: the failure is
// reported (19, or 0 fingers from VantrelCent2), nothing is handed out and
// nothing leaks (the sanitizer build checks the last point).
#include <gtest/gtest.h>

#include <cstring>

#include "../support/alloc_failure.h"
#include "drawn_images.h"
#include "interface/memory.h"
#include "interface/parameter.h"
#include "vantrel.h"

namespace {

using Segmenter = int32_t (*)(int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t,
                              VantrelResultType**);

struct Entry {
  Segmenter segmenter;
  int64_t allocations;  // with four fingers found and finger images on
};

class QuickAllocationFailure : public ::testing::TestWithParam<Entry> {
 protected:
  void TearDown() override { DestroyVantrelParameter(); }
};

TEST_P(QuickAllocationFailure, EachFailureGives19AndNoResult) {
  // Four fingers with finger images: every stage allocates.
  const quicktest::Canvas canvas = quicktest::DrawFingers(1000, 1200, quicktest::RightHand());
  VantrelResultType* result = nullptr;
  int32_t status = -1;
  const int64_t points = vtl::testing::ForEachAllocationFailure(
      [&] {
        // From scratch: the parameter block and labelling state are made too.
        // (A successful call's container is the last result, released here.)
        DestroyVantrelParameter();
        result = nullptr;
        ::testing::internal::CaptureStdout();  // a failed sort tells stdout
        status = GetParam().segmenter(500, 500, canvas.pixels.data(), 1000, 1200, 4, 0, &result);
        ::testing::internal::GetCapturedStdout();
      },
      [&](int64_t n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(status, VANTREL_OUT_OF_MEMORY);
        EXPECT_EQ(result, nullptr);
        EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, nullptr);
      });
  EXPECT_EQ(points, GetParam().allocations);
  DestroyVantrelResult1(&result);
}

// Both: parameter block, resampling (3), mask (2), labelling (5), container
// (2), lookup tables (2), four finger images. VantrelQuick: regions, points,
// two sorts (3 each). VantrelQuickNew: points, regions, three sorts.
INSTANTIATE_TEST_SUITE_P(QuickAndNew, QuickAllocationFailure,
                         ::testing::Values(Entry{VantrelQuick, 27}, Entry{VantrelQuickNew, 30}));

TEST(Cent2AllocationFailure, EachFailureGivesNoFinger) {
  const quicktest::Canvas canvas = quicktest::DrawFingers(1000, 1200, quicktest::RightHand());
  FingerInfo info[4];
  char message[16];
  int32_t count = -1;
  const int64_t points = vtl::testing::ForEachAllocationFailure(
      [&] {
        DestroyVantrelParameter();
        std::memset(info, 0x5A, sizeof info);
        std::memset(message, 0, sizeof message);
        ::testing::internal::CaptureStdout();
        count = VantrelCent2(canvas.pixels.data(), 1000, 1200, 13, 0, 0, 0, 0, 0, 0b0011, info,
                             message);
        ::testing::internal::GetCapturedStdout();
      },
      [&](int64_t n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(count, 0);
        EXPECT_STREQ(message, "StartToSegement");
        const auto* bytes = reinterpret_cast<const uint8_t*>(info);
        for (size_t i = 0; i < sizeof info; ++i) ASSERT_EQ(bytes[i], 0x5A);
        EXPECT_EQ(vtl::GetVantrelParameter()->MakeFingerImages, 1);
        EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, nullptr);
      });
  EXPECT_EQ(points, 21);  // as VantrelQuick, without finger images
  DestroyVantrelParameter();
}

}  // namespace
