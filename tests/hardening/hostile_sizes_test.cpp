// Sizes, resolutions and counts at and past their limits: each is refused
// with a status or handled, never an overflowed offset, an access out of
// bounds or an attempt at an absurd allocation. Images of several gigabytes
// are mappings without memory behind them: zero pages the library may read,
// or, for thin images that must be refused before a pixel is looked at, no
// access at all.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "inputs.h"
#include "interface/memory.h"
#include "interface/parameter.h"
#include "vantrel.h"

namespace {

using vtl::testing::TestImage;

constexpr int32_t kMax = INT32_MAX;

// A black image of rows x columns pixels backed by the zero page, or, when
// not readable, by no memory at all.
class ZeroImage {
 public:
  ZeroImage(int64_t rows, int64_t columns, bool readable)
      : bytes_(static_cast<std::size_t>(rows * columns)) {
    void* p = mmap(nullptr, bytes_, readable ? PROT_READ : PROT_NONE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    data_ = p == MAP_FAILED ? nullptr : static_cast<const uint8_t*>(p);
  }
  ~ZeroImage() {
    if (data_ != nullptr) munmap(const_cast<uint8_t*>(data_), bytes_);
  }
  ZeroImage(const ZeroImage&) = delete;
  ZeroImage& operator=(const ZeroImage&) = delete;
  const uint8_t* data() const { return data_; }

 private:
  std::size_t bytes_;
  const uint8_t* data_;
};

class HostileSizes : public ::testing::Test {
 protected:
  void TearDown() override { DestroyVantrelParameter(); }
};

bool IsQuick(const std::string& name) {
  return name.rfind("VantrelQuick", 0) == 0;
}

// Runs one call and checks what any call must satisfy; returns the status.
int32_t RunChecked(vtl::testing::Segmenter call, int32_t xres, int32_t yres, const uint8_t* image,
                   int32_t rows, int32_t columns, int32_t fingers, int32_t hand,
                   int32_t maxRecords) {
  VantrelResultType* result = nullptr;
  const int32_t status = call(xres, yres, image, rows, columns, fingers, hand, &result);
  if (status == VANTREL_OK) {
    EXPECT_NE(result, nullptr);
    if (result != nullptr) {
      EXPECT_GE(result->count, 1);
      EXPECT_LE(result->count, maxRecords);
      for (int32_t i = 0; i < result->count; ++i) {
        const SegmentedFinger& f = result->fingers[i];
        if (f.image == nullptr) continue;
        EXPECT_GT(f.boxWidth, 0);
        EXPECT_GT(f.boxHeight, 0);
        // Every byte of the picture is there (the sanitizer build checks).
        const int64_t n = int64_t{f.boxWidth} * f.boxHeight;
        EXPECT_LE(n, int64_t{INT32_MAX});
        uint64_t sum = 0;
        for (int64_t k = 0; k < n; ++k) sum += f.image[k];
        EXPECT_LE(sum, static_cast<uint64_t>(n) * 255u);
      }
    }
    EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, result);
  } else {
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, nullptr);
  }
  DestroyVantrelResult1(&result);
  return status;
}

TEST_F(HostileSizes, ResolutionsAtTheLimits) {
  const TestImage& in = vtl::testing::SmallInputs()[2];  // thumbs at 201 ppi
  struct Case {
    int32_t xres, yres;
    std::set<int32_t> quick, separate, slap;  // statuses allowed
  };
  const std::set<int32_t> segmented = {VANTREL_OK, VANTREL_NO_FINGER};
  // A resolution so high that no working pixel is left: 8 from the
  // segmenters that report it so; the texture segmenter finds no fingertip.
  const Case cases[] = {
      {200, 201, {VANTREL_BAD_XRES}, {VANTREL_BAD_XRES}, {VANTREL_BAD_XRES}},
      {201, 200, {VANTREL_BAD_YRES}, {VANTREL_BAD_YRES}, {VANTREL_BAD_YRES}},
      {INT32_MIN, kMax, {VANTREL_BAD_XRES}, {VANTREL_BAD_XRES}, {VANTREL_BAD_XRES}},
      {201, 201, segmented, segmented, segmented},
      {202, 5000, segmented, segmented, segmented},
      {kMax, kMax, {VANTREL_BAD_YRES}, {VANTREL_BAD_YRES}, {VANTREL_NO_FINGER}},
      {kMax, 201, {VANTREL_BAD_YRES}, {VANTREL_BAD_YRES}, {VANTREL_NO_FINGER}},
      {201, kMax, {VANTREL_BAD_YRES}, {VANTREL_BAD_YRES}, {VANTREL_NO_FINGER}},
      {1 << 30, 1 << 30, {VANTREL_BAD_YRES}, {VANTREL_BAD_YRES}, {VANTREL_NO_FINGER}},
      {100000, 100000, {VANTREL_BAD_YRES}, {VANTREL_BAD_YRES}, {VANTREL_NO_FINGER}},
  };
  for (const auto& entry : vtl::testing::Segmenters()) {
    const std::string name = entry.name;
    for (const Case& c : cases) {
      SCOPED_TRACE(name + " at " + std::to_string(c.xres) + " x " + std::to_string(c.yres));
      const std::set<int32_t>& allowed =
          IsQuick(name) ? c.quick : (name == "SeparateImages" ? c.separate : c.slap);
      const int32_t status =
          RunChecked(entry.call, c.xres, c.yres, in.pixels.data(), in.rows, in.columns, 2, 15, 2);
      EXPECT_TRUE(allowed.count(status)) << "status " << status;
    }
  }
}

TEST_F(HostileSizes, FingerCountsAndHandCodes) {
  const TestImage& in = vtl::testing::SmallInputs()[0];  // right hand
  struct Case {
    int32_t fingers, hand;
  };
  const Case cases[] = {{0, 13}, {-1, 13},  {INT32_MIN, 0}, {1, 13},   {1, 0},     {5, 13},
                        {6, 0},  {7, 14},   {100, 0},       {kMax, 0}, {kMax, 15}, {4, -1},
                        {4, 16}, {4, kMax}, {4, INT32_MIN}, {2, 1},    {1, 15}};
  for (const auto& entry : vtl::testing::Segmenters()) {
    const std::string name = entry.name;
    for (const Case& c : cases) {
      SCOPED_TRACE(name + ": " + std::to_string(c.fingers) + " fingers, hand " +
                   std::to_string(c.hand));
      const int32_t sought = c.hand == VANTREL_HAND_THUMBS ? 2 : c.fingers;
      const bool openHand = c.hand != VANTREL_HAND_RIGHT && c.hand != VANTREL_HAND_LEFT &&
                            c.hand != VANTREL_HAND_THUMBS;
      int32_t maxRecords = IsQuick(name) ? sought : std::min(sought, 5);
      if (name == "VantrelSegmentSlap" && openHand) maxRecords = 4;  // the image decides
      const int32_t status = RunChecked(entry.call, in.xres, in.yres, in.pixels.data(), in.rows,
                                        in.columns, c.fingers, c.hand, std::max(maxRecords, 1));
      if (c.fingers < 1) {
        EXPECT_EQ(status, VANTREL_BAD_FINGER_COUNT);
      } else {
        EXPECT_TRUE(status == VANTREL_OK || status == VANTREL_NO_FINGER) << status;
      }
    }
  }
}

// A whole call may ask for no block above this, and for no more than
// kMaxRequestedBytes in all (a bound on the memory it can hold at once).
constexpr std::size_t kMaxBlock = std::size_t{1} << 20;
constexpr std::size_t kMaxRequestedBytes = std::size_t{50} << 20;

void ExpectSmallRequests() {
  EXPECT_LE(vtl::LargestRequest(), kMaxBlock);
  EXPECT_LE(vtl::RequestedBytes(), kMaxRequestedBytes);
}

TEST_F(HostileSizes, GiganticImages) {
  struct Case {
    std::string what;
    int64_t rows, columns;
    int32_t res;
    int32_t quick, separate, slap, cent;  // expected statuses, VantrelCent2's count
    bool readable;                        // false: any read of a pixel faults
  };
  // Refused sizes come back as 19 (the texture segmenter's working image as
  // 25): the working image would exceed 2^24 pixels or 2^16 on a side, or a
  // finger picture its 2^31 - 1 bytes.
  std::vector<Case> cases = {
      {"rows at the 32-bit limit, one column", kMax, 1, 201, VANTREL_BAD_YRES, VANTREL_BAD_YRES,
       VANTREL_NO_FINGER, 0, true},
      {"columns at the 32-bit limit, one row", 1, kMax, 201, VANTREL_BAD_YRES, VANTREL_BAD_YRES,
       VANTREL_NO_FINGER, 0, true},
      // The texture segmenter sees four columns as too narrow for a finger
      // before it would size anything.
      {"rows at the 32-bit limit, four columns", kMax, 4, 201, VANTREL_OUT_OF_MEMORY,
       VANTREL_OUT_OF_MEMORY, VANTREL_NO_FINGER, 0, true},
      {"product past 2^31, working image too large", 46341, 46341, 201, VANTREL_OUT_OF_MEMORY,
       VANTREL_OUT_OF_MEMORY, VANTREL_IMAGE_TOO_LARGE, 0, true},
      {"product past 2^32, working image too large", 65537, 65537, 201, VANTREL_OUT_OF_MEMORY,
       VANTREL_OUT_OF_MEMORY, VANTREL_IMAGE_TOO_LARGE, 0, true},
      {"product past 2^32, no working pixel", 65537, 65537, kMax, VANTREL_BAD_YRES,
       VANTREL_BAD_YRES, VANTREL_NO_FINGER, 0, true},
      // 20 x 20 working pixels, all one component: the quick segmenters'
      // finger picture would pass 2^31 bytes.
      {"product past 2^32, one finger as large as the image", 65537, 65537, 203165,
       VANTREL_OUT_OF_MEMORY, VANTREL_NO_FINGER, VANTREL_NO_FINGER, 0, true},
  };
  // Thin images at 500 ppi: one side at the 32-bit limit, the other less
  // than one working pixel; refused without a look at the pixels.
  for (int32_t thin = 1; thin <= 8; ++thin) {
    const std::string side = std::to_string(thin);
    cases.push_back({"rows at the 32-bit limit, " + side + " columns, 500 ppi", kMax, thin, 500,
                     VANTREL_BAD_YRES, VANTREL_BAD_YRES, VANTREL_NO_FINGER, 0, false});
    cases.push_back({"columns at the 32-bit limit, " + side + " rows, 500 ppi", thin, kMax, 500,
                     VANTREL_BAD_YRES, VANTREL_BAD_YRES, VANTREL_NO_FINGER, 0, false});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ZeroImage image(c.rows, c.columns, c.readable);
    if (image.data() == nullptr) GTEST_SKIP() << "no address space for " << c.what;
    const auto rows = static_cast<int32_t>(c.rows);
    const auto columns = static_cast<int32_t>(c.columns);
    for (const auto& entry : vtl::testing::Segmenters()) {
      const std::string name = entry.name;
      SCOPED_TRACE(name);
      const int32_t expected =
          IsQuick(name) ? c.quick : (name == "SeparateImages" ? c.separate : c.slap);
      vtl::ResetAllocationCount();
      EXPECT_EQ(RunChecked(entry.call, c.res, c.res, image.data(), rows, columns, 4, 13, 4),
                expected);
      ExpectSmallRequests();
    }
    FingerInfo info[4];
    char message[16];
    vtl::ResetAllocationCount();
    EXPECT_EQ(VantrelCent2(image.data(), rows, columns, 13, 0, 0, 0, 0, 0, 0xF, info, message),
              c.cent);
    ExpectSmallRequests();
  }
}

}  // namespace
