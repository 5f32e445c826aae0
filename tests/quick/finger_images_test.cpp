// Finger images: box contents from the caller's image, with the one
// neighbour's pixels whitened through the working label image.
#include "quick/finger_images.h"

#include <gtest/gtest.h>

#include <vector>

#include "../support/alloc_failure.h"
#include "interface/memory.h"

namespace {

using vtl::FingerRegion;

// Working label image 4 x 6; caller image 8 x 12 (factor 2 both ways).
constexpr int32_t kWorkRows = 4, kWorkColumns = 6, kRows = 8, kColumns = 12;
const int32_t kLabels[kWorkRows * kWorkColumns] = {256, 256, 0,   257, 257, 0,    //
                                                   256, 256, 257, 257, 257, 0,    //
                                                   256, 256, 0,   257, 258, 258,  //
                                                   0,   0,   0,   0,   258, 258};
const vtl::ComponentRecord kTable[3] = {{10, 256, 0, 0}, {8, 257, 0, 0}, {4, 258, 0, 0}};

std::vector<uint8_t> CallerImage() {
  std::vector<uint8_t> image(kRows * kColumns);
  for (int32_t i = 0; i < kRows * kColumns; ++i) image[i] = uint8_t(i % 200 + 1);
  return image;
}

FingerRegion Region(int32_t top, int32_t left, int32_t bottom, int32_t right, int32_t index) {
  FingerRegion r{};
  r.top = top;
  r.left = left;
  r.bottom = bottom;
  r.right = right;
  r.componentIndex = index;
  return r;
}

std::vector<SegmentedFinger> Records(const std::vector<FingerRegion>& regions) {
  std::vector<SegmentedFinger> records(regions.size());
  for (size_t i = 0; i < regions.size(); ++i) {
    records[i].boxHeight = regions[i].bottom - regions[i].top + 1;
    records[i].boxWidth = regions[i].right - regions[i].left + 1;
  }
  return records;
}

int32_t Cut(const std::vector<uint8_t>& image, const std::vector<FingerRegion>& regions,
            std::vector<SegmentedFinger>& records) {
  return vtl::CutFingerImages(kRows, kColumns, image.data(), kWorkRows, kWorkColumns, kLabels,
                              kTable, int32_t(regions.size()), 2.0f, 2.0f, regions.data(),
                              records.data());
}

void ReleaseAll(std::vector<SegmentedFinger>& records) {
  for (SegmentedFinger& r : records) vtl::ReleaseAndClear(r.image);
}

// Finger image pixel (y, x) in caller coordinates.
uint8_t At(const SegmentedFinger& f, const FingerRegion& r, int32_t y, int32_t x) {
  return f.image[(y - r.top) * f.boxWidth + (x - r.left)];
}

// Checks one finger image: box contents, `excluded` label's pixels white.
void ExpectImage(const std::vector<uint8_t>& image, const SegmentedFinger& f, const FingerRegion& r,
                 int32_t excluded) {
  ASSERT_NE(f.image, nullptr);
  for (int32_t y = r.top; y <= r.bottom; ++y) {
    for (int32_t x = r.left; x <= r.right; ++x) {
      const bool white = kLabels[(y / 2) * kWorkColumns + x / 2] == excluded;
      EXPECT_EQ(At(f, r, y, x), white ? 255 : image[y * kColumns + x]) << y << "," << x;
    }
  }
  const int32_t bytes = (f.boxHeight + 1) * (f.boxWidth + 1);
  for (int32_t b = f.boxHeight * f.boxWidth; b < bytes; ++b) EXPECT_EQ(f.image[b], 255);
}

TEST(CutFingerImages, SingleFingerGetsThePlainBox) {
  const auto image = CallerImage();
  // A box reaching the image's last row and column.
  const std::vector<FingerRegion> regions = {Region(3, 5, kRows - 1, kColumns - 1, 1)};
  auto records = Records(regions);
  ASSERT_EQ(Cut(image, regions, records), 0);
  ExpectImage(image, records[0], regions[0], -1);
  EXPECT_EQ(At(records[0], regions[0], 7, 11), image[7 * kColumns + 11]);
  ReleaseAll(records);
}

TEST(CutFingerImages, EachFingerLosesOneNeighbour) {
  const auto image = CallerImage();
  {
    // Two fingers: each is cleaned of the other.
    const std::vector<FingerRegion> regions = {Region(0, 0, 7, 7, 0), Region(0, 2, 7, 11, 1)};
    auto records = Records(regions);
    ASSERT_EQ(Cut(image, regions, records), 0);
    ExpectImage(image, records[0], regions[0], 257);
    ExpectImage(image, records[1], regions[1], 256);
    EXPECT_EQ(At(records[0], regions[0], 0, 6), 255);  // label 257
    EXPECT_EQ(At(records[1], regions[1], 1, 2), 255);  // label 256
    ReleaseAll(records);
  }
  {
    // Three fingers: the middle one is cleaned of its right neighbour only,
    // the last of its left neighbour.
    const std::vector<FingerRegion> regions = {Region(0, 0, 7, 7, 0), Region(0, 0, 7, 11, 1),
                                               Region(2, 6, 7, 11, 2)};
    auto records = Records(regions);
    ASSERT_EQ(Cut(image, regions, records), 0);
    ExpectImage(image, records[0], regions[0], 257);
    ExpectImage(image, records[1], regions[1], 258);
    ExpectImage(image, records[2], regions[2], 257);
    EXPECT_EQ(At(records[1], regions[1], 0, 0), image[0]) << "left neighbour's pixels stay";
    EXPECT_EQ(At(records[1], regions[1], 5, 9), 255);
    EXPECT_EQ(At(records[2], regions[2], 2, 6), 255);
    ReleaseAll(records);
  }
}

TEST(CutFingerImages, OutOfMemoryReleasesEveryImage) {
  const auto image = CallerImage();
  const std::vector<FingerRegion> regions = {Region(0, 0, 7, 7, 0), Region(0, 0, 7, 11, 1),
                                             Region(2, 6, 7, 11, 2)};
  std::vector<SegmentedFinger> records;
  int32_t status = -1;
  const int64_t points = vtl::testing::ForEachAllocationFailure(
      [&] {
        ReleaseAll(records);
        records = Records(regions);
        status = Cut(image, regions, records);
      },
      [&](int64_t n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(status, 19);
        for (const SegmentedFinger& r : records) EXPECT_EQ(r.image, nullptr);
      });
  EXPECT_EQ(points, 5);  // two lookup tables, three images
  ReleaseAll(records);
}

}  // namespace
