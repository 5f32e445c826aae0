// The segmenters' shared contract: argument checks in their fixed order,
// release of earlier containers, and teardown.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "interface/memory.h"
#include "interface/parameter.h"
#include "interface/result.h"
#include "vantrel.h"

namespace {

using Segmenter = int32_t (*)(int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t,
                              VantrelResultType**);

const Segmenter kSegmenters[] = {VantrelQuick, VantrelQuickNew, SeparateImages, VantrelSegmentSlap};

// A container as a segmenter would hand it back, with one finger image.
VantrelResultType* MakeContainer(int32_t count) {
  VantrelResultType* r = vtl::AllocateResult(count);
  r->count = count;
  r->fingers[0].image = vtl::AllocateZeroed<uint8_t>(16);
  return r;
}

class Contract : public ::testing::TestWithParam<Segmenter> {
 protected:
  void TearDown() override { DestroyVantrelParameter(); }
};

TEST_P(Contract, ChecksArgumentsInOrder) {
  const uint8_t pixel[4] = {};
  struct Case {
    int32_t xres, yres;
    const uint8_t* image;
    int32_t rows, columns, fingers;
    int32_t expected;
  };
  const Case cases[] = {
      {200, 500, pixel, 2, 2, 4, VANTREL_BAD_XRES},
      {500, 200, pixel, 2, 2, 4, VANTREL_BAD_YRES},
      {500, 500, nullptr, 2, 2, 4, VANTREL_NULL_IMAGE},
      {500, 500, pixel, 0, 2, 4, VANTREL_BAD_ROWS},
      {500, 500, pixel, 2, 0, 4, VANTREL_BAD_COLUMNS},
      {500, 500, pixel, 2, 2, 0, VANTREL_BAD_FINGER_COUNT},
      // Several faults: only the first in check order is reported.
      {100, 100, nullptr, 0, 0, 0, VANTREL_BAD_XRES},
      {201, 100, nullptr, 0, 0, 0, VANTREL_BAD_YRES},
      {201, 201, nullptr, -1, -1, 0, VANTREL_NULL_IMAGE},
      {201, 201, pixel, -5, 0, 0, VANTREL_BAD_ROWS},
      {201, 201, pixel, 1, -5, 0, VANTREL_BAD_COLUMNS},
  };
  for (const Case& c : cases) {
    VantrelResultType* result = MakeContainer(1);
    EXPECT_EQ(GetParam()(c.xres, c.yres, c.image, c.rows, c.columns, c.fingers, 0, &result),
              c.expected);
    EXPECT_EQ(result, nullptr) << "earlier container released on failure";
    EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, nullptr);
  }
}

TEST_P(Contract, ResolutionOf201Passes) {
  // A blank image passes every check and then finds nothing.
  const std::vector<uint8_t> pixels(96 * 96, 255);
  VantrelResultType* result = MakeContainer(2);
  EXPECT_EQ(GetParam()(201, 201, pixels.data(), 96, 96, 1, 0, &result), VANTREL_NO_FINGER);
  EXPECT_EQ(result, nullptr);
}

TEST_P(Contract, NullResultArgumentIsRefused) {
  const uint8_t pixels[4] = {};
  EXPECT_EQ(GetParam()(500, 500, pixels, 2, 2, 4, 0, nullptr), VANTREL_NULL_RESULT);
  // Argument faults still come first.
  EXPECT_EQ(GetParam()(100, 500, pixels, 2, 2, 4, 0, nullptr), VANTREL_BAD_XRES);
}

INSTANTIATE_TEST_SUITE_P(AllSegmenters, Contract, ::testing::ValuesIn(kSegmenters));

class Release : public ::testing::Test {
 protected:
  void TearDown() override { DestroyVantrelParameter(); }
};

TEST_F(Release, DestroyResultEdgeCases) {
  DestroyVantrelResult1(nullptr);
  VantrelResultType* none = nullptr;
  DestroyVantrelResult1(&none);
  EXPECT_EQ(none, nullptr);

  // A container whose record array is missing is still released.
  VantrelResultType* bare = vtl::AllocateZeroed<VantrelResultType>(1);
  bare->count = 3;
  DestroyVantrelResult1(&bare);
  EXPECT_EQ(bare, nullptr);

  // The debug fill pattern counts as absent.
  auto* pattern = reinterpret_cast<VantrelResultType*>(static_cast<uintptr_t>(0xCCCCCCCCu));
  DestroyVantrelResult1(&pattern);
}

TEST_F(Release, DestroyResultClearsLastResult) {
  VantrelResultType* r = MakeContainer(2);
  vtl::GetVantrelParameter()->LastResult = r;
  DestroyVantrelResult1(&r);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, nullptr);
  DestroyVantrelParameter();  // must not release it a second time
}

TEST_F(Release, DestroyParameterReleasesLastResult) {
  VantrelResultType* r = MakeContainer(1);
  vtl::GetVantrelParameter()->LastResult = r;
  DestroyVantrelParameter();  // the sanitizer build reports a leak otherwise
  DestroyVantrelParameter();
}

TEST(Parameter, ImageFileName) {
  EXPECT_STREQ(VtlGetImageFileName(), "");
  VtlSetImageFileName("card-0001.png");
  EXPECT_STREQ(VtlGetImageFileName(), "card-0001.png");
  VtlSetImageFileName("second");
  EXPECT_STREQ(VtlGetImageFileName(), "second");

  const std::string exact(255, 'a');
  VtlSetImageFileName(exact.c_str());
  EXPECT_EQ(VtlGetImageFileName(), exact);
  // Longer names are cut to 255 characters, never written past the field.
  const std::string longer(1000, 'b');
  VtlSetImageFileName(longer.c_str());
  EXPECT_EQ(VtlGetImageFileName(), longer.substr(0, 255));
  VtlSetImageFileName(nullptr);
  EXPECT_STREQ(VtlGetImageFileName(), "");

  VtlSetImageFileName("kept");
  DestroyVantrelParameter();
  EXPECT_STREQ(VtlGetImageFileName(), "") << "a fresh block after teardown";
  DestroyVantrelParameter();
}

TEST(Memory, OverflowingArrayIsRefused) {
  EXPECT_EQ(vtl::AllocateArray(SIZE_MAX / 2, 4), nullptr);
  void* p = vtl::AllocateArray(0, 4);
  EXPECT_NE(p, nullptr);
  vtl::Release(p);
}

}  // namespace
