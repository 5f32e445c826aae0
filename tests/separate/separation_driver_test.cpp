#include "separate/separation_driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "../support/alloc_failure.h"
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
// little).
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

TEST(LocateFingerRegions, UprightBarsLeftToRight) {
  const std::vector<Bar> bars = RightHandBars();
  const auto image = Bars(kRows, kColumns, bars);
  for (const int code : {13, 0}) {
    Located l;
    Locate(image, kRows, kColumns, 4, code, l);
    ASSERT_EQ(l.status, 0) << code;
    ASSERT_EQ(l.count, 4) << code;
    EXPECT_EQ(l.hand, 13) << "recognised when open";
    for (int k = 0; k < 4; ++k) {
      const Bar& b = bars[k];
      const vtl::FingerRegion& r = l.regions[k];
      // Caller pixels: the centre column on the bar, the box about its width.
      EXPECT_GE(r.centerX, b.left) << k;
      EXPECT_LT(r.centerX, b.right) << k;
      EXPECT_GT(r.centerY, b.top) << k;
      EXPECT_EQ(r.angle, 0.0f) << k;
      EXPECT_NEAR(r.width, b.right - b.left, 60) << k;
      EXPECT_GE(r.height, 294) << k;
    }
  }
}

TEST(LocateFingerRegions, MirroredBarsReadAsALeftHand) {
  std::vector<Bar> bars;
  for (const Bar& b : RightHandBars())
    bars.insert(bars.begin(), {kColumns - b.right, kColumns - b.left, b.top});
  const auto image = Bars(kRows, kColumns, bars);
  for (const int code : {14, 0}) {
    Located l;
    Locate(image, kRows, kColumns, 4, code, l);
    ASSERT_EQ(l.status, 0) << code;
    ASSERT_EQ(l.count, 4) << code;
    EXPECT_EQ(l.hand, 14) << code;
    for (int k = 0; k < 4; ++k) {
      EXPECT_GE(l.regions[k].centerX, bars[k].left) << k;
      EXPECT_LT(l.regions[k].centerX, bars[k].right) << k;
    }
  }
}

TEST(LocateFingerRegions, MoreThanFiveSoughtStaysWithinTheRecords) {
  const auto image = Bars(kRows, kColumns, RightHandBars());
  for (const int32_t sought : {6, INT32_MAX}) {
    Located l;
    Locate(image, kRows, kColumns, sought, 0, l);
    ASSERT_EQ(l.status, 0);
    EXPECT_EQ(l.count, 4);
  }
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

  // An image smaller than one working pixel.
  const std::vector<uint8_t> tiny(5 * 5, 0);
  Located s;
  Locate(tiny, 5, 5, 4, 0, s);
  EXPECT_EQ(s.status, 8);
  EXPECT_EQ(s.regions, nullptr);
}

TEST(LocateFingerRegions, SingleFingerKeepsTheRefinedCentre) {
  // One bar: the whole image is the starting box, the angle stays 0 and the
  // centre is where the refinement moved it, on the bar.
  const auto image = Bars(kRows, 800, {{300, 540, 200}});
  Located l;
  Locate(image, kRows, 800, 1, 0, l);
  ASSERT_EQ(l.status, 0);
  ASSERT_EQ(l.count, 1);
  EXPECT_EQ(l.regions[0].angle, 0.0f);
  EXPECT_GE(l.regions[0].centerX, 300);
  EXPECT_LT(l.regions[0].centerX, 540);
  EXPECT_GT(l.regions[0].centerY, 200);
  EXPECT_EQ(l.hand, 0);
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

TEST(LocateFingerRegions, EachAllocationFailure) {
  ASSERT_NE(vtl::GetVantrelParameter(), nullptr);
  const auto image = Bars(kRows, kColumns, RightHandBars());
  Located l;
  int absorbed = 0;
  const int64_t points =
      vtl::testing::ForEachAllocationFailure([&] { Locate(image, kRows, kColumns, 4, 13, l); },
                                             [&](int64_t n) {
                                               if (l.status == 19) {
                                                 EXPECT_EQ(l.regions, nullptr) << n;
                                               } else {
                                                 // The box refinement keeps a finger's rough box
                                                 // when its own profile cannot be allocated.
                                                 ++absorbed;
                                                 EXPECT_EQ(l.status, 0) << n;
                                               }
                                               vtl::ReleaseAndClear(l.regions);
                                             });
  EXPECT_GT(points, 5);
  EXPECT_LE(absorbed, 4) << "of " << points;
}

}  // namespace
