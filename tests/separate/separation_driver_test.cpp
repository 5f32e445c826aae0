#include "separate/separation_driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "interface/finger_region.h"
#include "interface/memory.h"
#include "interface/parameter.h"
#include "vantrel.h"

namespace {

// A caller image at 500 ppi: white, with dark upright bars (columns
// [left, right), rows [top, rows)), like fingers pressed straight down.
struct Bar {
  int left, right, top;
};

std::vector<uint8_t> Bars(int rows, int columns, const std::vector<Bar>& bars) {
  std::vector<uint8_t> image(static_cast<size_t>(rows) * columns, 250);
  for (const Bar& b : bars)
    for (int y = b.top; y < rows; ++y)
      for (int x = b.left; x < b.right; ++x) image[static_cast<size_t>(y) * columns + x] = 20;
  return image;
}

struct Located {
  int32_t status = -1;
  int32_t count = -77;
  int32_t hand = 0;
  vtl::FingerRegion* regions = nullptr;
  ~Located() { vtl::Release(regions); }
};

void Locate(const std::vector<uint8_t>& image, int rows, int columns, int fingerCount, int handCode,
            Located& out) {
  out.hand = handCode;
  out.status = vtl::LocateFingerRegions(500, 500, image.data(), columns, rows, fingerCount,
                                        &out.count, &out.regions, &out.hand);
}

// Four bars 240 px wide, 130 px apart, on a 1000 x 1600 image (124 x 198
// working pixels); tops as a right hand's fingertips (index, middle, ring,
// little). Where the regions land on real hands, and the hand read from
// them, SeparateImages' tests check against the generator's truth.
const int kRows = 1000;
const int kColumns = 1600;
std::vector<Bar> RightHandBars() {
  return {{150, 390, 260}, {520, 760, 160}, {890, 1130, 230}, {1260, 1500, 380}};
}

TEST(SoughtFingerCount, LimitsAndThumbs) {
  EXPECT_EQ(vtl::SoughtFingerCount(4, 13), 4);
  EXPECT_EQ(vtl::SoughtFingerCount(5, 0), 5);
  EXPECT_EQ(vtl::SoughtFingerCount(6, 0), 5);
  EXPECT_EQ(vtl::SoughtFingerCount(INT32_MAX, 14), 5);
  EXPECT_EQ(vtl::SoughtFingerCount(1, 15), 2);
  EXPECT_EQ(vtl::SoughtFingerCount(4, 15), 2);
  EXPECT_EQ(vtl::SoughtFingerCount(0, 0), 1);
}

TEST(LocateFingerRegions, NothingToFind) {
  // A blank image has no foreground: no slant finds a finger.
  const std::vector<uint8_t> blank(static_cast<size_t>(kRows) * kColumns, 250);
  Located l;
  Locate(blank, kRows, kColumns, 4, 13, l);
  EXPECT_EQ(l.status, 23);
  EXPECT_EQ(l.regions, nullptr);
  EXPECT_EQ(l.count, -77);  // not written on failure

  // Thumbs on a 5-row working image (48 rows at 500 ppi): no slant is tried.
  const auto flat = Bars(48, kColumns, {{200, 500, 0}, {900, 1200, 0}});
  Located t;
  Locate(flat, 48, kColumns, 2, 15, t);
  EXPECT_EQ(t.status, 23);
}

TEST(LocateFingerRegions, ReusesTheCallersArray) {
  const auto image = Bars(kRows, kColumns, RightHandBars());
  Located l;
  l.regions = static_cast<vtl::FingerRegion*>(vtl::AllocateArray(4, sizeof(vtl::FingerRegion)));
  vtl::FingerRegion* given = l.regions;
  given[3].componentIndex = 99;  // cleared on entry
  Locate(image, kRows, kColumns, 4, 13, l);
  ASSERT_EQ(l.status, 0);
  EXPECT_EQ(l.regions, given);
  EXPECT_EQ(given[3].componentIndex, 0);

  // A failing call releases even the caller's array.
  const std::vector<uint8_t> blank(static_cast<size_t>(kRows) * kColumns, 250);
  Locate(blank, kRows, kColumns, 4, 13, l);
  EXPECT_EQ(l.status, 23);
  EXPECT_EQ(l.regions, nullptr);
}

}  // namespace
