#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "../support/vector_levels.h"
#include "interface/parameter.h"
#include "separate/slant_tables.h"
#include "slap_generator.h"
#include "vantrel.h"

namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;

struct Separated {
  int32_t status = -1;
  VantrelResultType* result = nullptr;
  ~Separated() { DestroyVantrelResult1(&result); }
};

void Separate(const vsynth::Slap& slap, int32_t fingerCount, int32_t handCode, Separated& out) {
  out.status = SeparateImages(static_cast<int32_t>(slap.xppi), static_cast<int32_t>(slap.yppi),
                              slap.pixels.data(), slap.rows, slap.columns, fingerCount, handCode,
                              &out.result);
}

vsynth::Slap Generate(int hand, double rotationDeg, uint64_t seed, int missing = -1) {
  vsynth::SlapOptions o;
  o.seed = seed;
  o.hand = hand;
  o.rotationDeg = rotationDeg;
  o.missingFinger = missing;
  return vsynth::GenerateSlap(o);
}

// Position of (x, y) in the finger's own frame: along its axis from the tip
// (down the finger positive) and across it.
void FingerFrame(const vsynth::FingerTruth& f, double x, double y, double* along, double* across) {
  const double dx = x - f.tipX;
  const double dy = y - f.tipY;
  *along = dx * std::sin(f.angle) + dy * std::cos(f.angle);
  *across = dx * std::cos(f.angle) - dy * std::sin(f.angle);
}

// Samples of each finger picture against the caller's image along the
// record's box: the picture's row i, column j shows the image at the box
// position, truncated, or white where that lies outside. Positions within a
// hair of a pixel border are skipped (the cut accumulates them step by step).
// Returns the number of samples that fell outside the image.
int CheckFingerImage(const vsynth::Slap& slap, const SegmentedFinger& f) {
  EXPECT_NE(f.image, nullptr);
  if (f.image == nullptr) return 0;
  const double c = std::cos(static_cast<double>(f.angle));
  const double s = std::sin(static_cast<double>(f.angle));
  const double x0 = f.centerX - c * f.boxWidth * 0.5 - s * f.boxHeight * 0.5;
  const double y0 = f.centerY + s * f.boxWidth * 0.5 - c * f.boxHeight * 0.5;
  auto nearBorder = [](double v) { return std::fabs(v - std::round(v)) < 1e-6; };
  int outside = 0;
  int mismatches = 0;
  for (int i = 0; i < f.boxHeight; i += 3) {
    for (int j = 0; j < f.boxWidth; j += 3) {
      const double x = x0 + j * c + i * s;
      const double y = y0 - j * s + i * c;
      if (nearBorder(x) || nearBorder(y) || nearBorder(x - slap.columns + 1.5) ||
          nearBorder(y - slap.rows + 1.5))
        continue;
      const bool inside = x >= 0 && x <= slap.columns - 1.5 && y >= 0 && y <= slap.rows - 1.5;
      const uint8_t expected =
          inside ? slap.pixels[static_cast<size_t>(y) * slap.columns + static_cast<size_t>(x)]
                 : 255;
      outside += !inside;
      mismatches += f.image[static_cast<size_t>(i) * f.boxWidth + j] != expected;
    }
  }
  EXPECT_EQ(mismatches, 0);
  return outside;
}

struct Case {
  int hand;
  double rotationDeg;
  int code;  // handCode passed in
  uint64_t seed;
  int missing;
};

std::string Describe(const Case& c) {
  char text[96];
  std::snprintf(text, sizeof text, "hand %d rotation %+.0f code %d seed %llu missing %d", c.hand,
                c.rotationDeg, c.code, static_cast<unsigned long long>(c.seed), c.missing);
  return text;
}

// Slaps the design can separate: the gap lines must run through enough
// background, which rules out fingers closer than about a sixth of an inch
// (the mask's blur closes such gaps), and code 13 searches only lines leaning
// right towards the bottom (a right hand turned anticlockwise), 14 only the
// mirror, 15 only within 10 degrees; an open code searches both ways.
const Case kCases[] = {
    {13, 0, 13, 2, -1},  {13, -15, 13, 3, -1}, {13, -25, 13, 5, -1}, {14, 0, 14, 3, -1},
    {14, 15, 14, 5, -1}, {14, 25, 14, 6, -1},  {13, 0, 0, 2, -1},    {14, 0, 0, 3, -1},
    {13, -20, 0, 5, -1}, {14, 20, 0, 6, -1},   {13, 15, 0, 3, -1},   {14, -15, 0, 3, -1},
    {15, 0, 15, 3, -1},  {15, 6, 15, 8, -1},   {15, -6, 15, 10, -1}, {13, 0, 13, 3, 1},
    {14, 10, 14, 8, 2},  {13, -10, 0, 6, 0},
};

TEST(SeparateImages, GeneratedSlaps) {
  int outsideSamples = 0;
  double totalMs = 0;
  double slowestMs = 0;
  for (const Case& c : kCases) {
    SCOPED_TRACE(Describe(c));
    const vsynth::Slap slap = Generate(c.hand, c.rotationDeg, c.seed, c.missing);
    Separated s;
    const auto start = std::chrono::steady_clock::now();
    Separate(slap, c.hand == 15 ? 2 : 4, c.code, s);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    totalMs += ms;
    slowestMs = ms > slowestMs ? ms : slowestMs;
    ASSERT_EQ(s.status, 0);
    ASSERT_NE(s.result, nullptr);
    EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, s.result);
    const VantrelResultType& r = *s.result;
    ASSERT_EQ(r.count, static_cast<int>(slap.fingers.size()));
    EXPECT_EQ(r.handCode, c.code != 0 ? c.code : r.handCode);
    for (int i = 0; i < r.count; ++i) {
      SCOPED_TRACE("finger " + std::to_string(i));
      const SegmentedFinger& f = r.fingers[i];
      const vsynth::FingerTruth& t = slap.fingers[i];
      EXPECT_EQ(f.position, i);
      EXPECT_GT(f.centerX, i > 0 ? r.fingers[i - 1].centerX : -1);
      // The centre lies on its own finger: within its width of the axis and
      // below its tip.
      double along = 0;
      double across = 0;
      FingerFrame(t, f.centerX, f.centerY, &along, &across);
      EXPECT_LE(std::fabs(across), 0.5 * t.width) << "across " << across;
      EXPECT_GE(along, 0.0) << "along " << along;
      EXPECT_NEAR(f.angle, t.angle, 10 * kDegree);
      EXPECT_GT(f.boxWidth, 0);
      EXPECT_GT(f.boxHeight, 0);
      EXPECT_EQ(f.fixedValue, 0.0f);
      EXPECT_EQ(f.top, 0);
      EXPECT_EQ(f.right, 0);
      outsideSamples += CheckFingerImage(slap, f);
    }
  }
  // Some boxes of the rotated hands reach past the image border.
  EXPECT_GT(outsideSamples, 0);
  std::printf("[ info ] SeparateImages on %zu slaps at 500 ppi: mean %.1f ms, slowest %.1f ms\n",
              std::size(kCases), totalMs / std::size(kCases), slowestMs);
}

TEST(SeparateImages, RecognisesTheHandWhenLeftOpen) {
  for (const Case& c : kCases) {
    if (c.code != 0) continue;
    SCOPED_TRACE(Describe(c));
    const vsynth::Slap slap = Generate(c.hand, c.rotationDeg, c.seed, c.missing);
    Separated s;
    Separate(slap, 4, 0, s);
    ASSERT_EQ(s.status, 0);
    // Four fingers show the hand; three (one missing) leave it open.
    EXPECT_EQ(s.result->handCode, s.result->count == 4 ? c.hand : 0);
  }
}

TEST(SeparateImages, ThumbsSoughtAsTwo) {
  const vsynth::Slap slap = Generate(15, 0, 3);
  for (const int32_t count : {1, 2, 4}) {
    Separated s;
    Separate(slap, count, 15, s);
    ASSERT_EQ(s.status, 0);
    EXPECT_EQ(s.result->count, 2) << count;
  }
}

TEST(SeparateImages, MoreThanFiveFingersSought) {
  const vsynth::Slap slap = Generate(13, 0, 2);
  for (const int32_t count : {5, 6, INT32_MAX}) {
    Separated s;
    Separate(slap, count, 13, s);
    ASSERT_EQ(s.status, 0) << count;
    EXPECT_GE(s.result->count, 4) << count;
    EXPECT_LE(s.result->count, 5) << count;
  }
}

// The columns of one finger of a generated slap, as a single-finger image.
vsynth::Slap CutOneFinger(const vsynth::Slap& slap, int finger) {
  const vsynth::FingerTruth& t = slap.fingers[finger];
  const int left = std::max(0, static_cast<int>(t.cx - 0.8 * t.width));
  const int right = std::min(slap.columns, static_cast<int>(t.cx + 0.8 * t.width));
  vsynth::Slap one = slap;
  one.columns = right - left;
  one.pixels.clear();
  for (int y = 0; y < slap.rows; ++y) {
    const auto row = slap.pixels.begin() + static_cast<std::ptrdiff_t>(y) * slap.columns;
    one.pixels.insert(one.pixels.end(), row + left, row + right);
  }
  one.fingers = {t};
  one.fingers[0].cx -= left;
  one.fingers[0].tipX -= left;
  return one;
}

TEST(SeparateImages, SingleFinger) {
  // The whole image is the starting box; the record keeps the centre where
  // the rotation search settled it, which lies on the finger.
  const vsynth::Slap generated = Generate(13, 0, 2);
  for (int finger = 0; finger < 4; ++finger) {
    SCOPED_TRACE("finger " + std::to_string(finger));
    const vsynth::Slap slap = CutOneFinger(generated, finger);
    Separated s;
    Separate(slap, 1, 0, s);
    ASSERT_EQ(s.status, 0);
    ASSERT_EQ(s.result->count, 1);
    const SegmentedFinger& f = s.result->fingers[0];
    EXPECT_EQ(f.position, 0);
    EXPECT_EQ(f.angle, 0.0f);
    EXPECT_EQ(s.result->handCode, 0);
    double along = 0;
    double across = 0;
    FingerFrame(slap.fingers[0], f.centerX, f.centerY, &along, &across);
    EXPECT_LE(std::fabs(across), 0.5 * slap.fingers[0].width) << "across " << across;
    EXPECT_GE(along, 0.0) << "along " << along;
    CheckFingerImage(slap, f);
  }
}

TEST(SeparateImages, FailuresLeaveNoResult) {
  const std::vector<uint8_t> blank(1000 * 1600, 250);
  Separated earlier;
  Separate(Generate(13, 0, 2), 4, 13, earlier);
  ASSERT_EQ(earlier.status, 0);
  // A blank image: no finger; the earlier result passed in is released.
  earlier.status = SeparateImages(500, 500, blank.data(), 1000, 1600, 4, 13, &earlier.result);
  EXPECT_EQ(earlier.status, 23);
  EXPECT_EQ(earlier.result, nullptr);
  EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, nullptr);
  // Too small for one working pixel.
  Separated tiny;
  tiny.status = SeparateImages(500, 500, blank.data(), 5, 5, 4, 0, &tiny.result);
  EXPECT_EQ(tiny.status, 8);
  EXPECT_EQ(tiny.result, nullptr);
}

// Whole calls at each vector level (row sums, line batches, peak marks, box
// sampling) against the point-by-point slant count with every kernel at the
// baseline level: the same records and the same finger pictures, byte for
// byte.
struct WholeCall {
  int32_t status = -1;
  int32_t handCode = 0;
  std::vector<SegmentedFinger> records;  // image pointers cleared
  std::vector<std::vector<uint8_t>> pictures;
};

WholeCall SeparateAndCopy(const vsynth::Slap& slap, int32_t fingerCount, int32_t handCode) {
  Separated s;
  Separate(slap, fingerCount, handCode, s);
  WholeCall call;
  call.status = s.status;
  if (s.result == nullptr) return call;
  call.handCode = s.result->handCode;
  for (int i = 0; i < s.result->count; ++i) {
    SegmentedFinger f = s.result->fingers[i];
    const auto size = static_cast<size_t>(f.boxWidth) * static_cast<size_t>(f.boxHeight);
    call.pictures.emplace_back(f.image, f.image == nullptr ? f.image : f.image + size);
    f.image = nullptr;  // freed with the result; the copy above stays
    call.records.push_back(f);
  }
  return call;
}

using SeparateImagesAtLevel = vtl::testing::AtVectorLevel;

TEST_P(SeparateImagesAtLevel, SameResultAsThePlainCountAtTheBaselineLevel) {
  struct Slap {
    int hand;
    double rotationDeg;
    int code;
    uint64_t seed;
    int ppi;
  };
  const Slap slaps[] = {{13, -15, 0, 3, 500},
                        {14, 20, 14, 6, 500},
                        {15, -6, 15, 10, 500},
                        {13, 8, 13, 21, 1000},
                        {14, -4, 0, 17, 500}};
  int fingers = 0;
  for (const Slap& c : slaps) {
    SCOPED_TRACE("hand " + std::to_string(c.hand) + " code " + std::to_string(c.code));
    vsynth::SlapOptions o;
    o.seed = c.seed;
    o.hand = c.hand;
    o.rotationDeg = c.rotationDeg;
    o.xppi = o.yppi = c.ppi;
    const vsynth::Slap slap = vsynth::GenerateSlap(o);
    const int32_t sought = c.hand == 15 ? 2 : 4;
    ASSERT_TRUE(vtl::ForceVectorLevel(vtl::VectorLevel::kBaseline));
    vtl::SetPlainSlantCounting(true);
    const WholeCall plain = SeparateAndCopy(slap, sought, c.code);
    vtl::SetPlainSlantCounting(false);
    ASSERT_TRUE(vtl::ForceVectorLevel(GetParam()));
    const WholeCall fast = SeparateAndCopy(slap, sought, c.code);
    ASSERT_EQ(plain.status, 0);
    EXPECT_EQ(fast.status, plain.status);
    EXPECT_EQ(fast.handCode, plain.handCode);
    ASSERT_EQ(fast.records.size(), plain.records.size());
    for (size_t i = 0; i < plain.records.size(); ++i) {
      const SegmentedFinger& a = fast.records[i];
      const SegmentedFinger& b = plain.records[i];
      EXPECT_EQ(std::tie(a.position, a.boxHeight, a.boxWidth, a.centerX, a.centerY, a.top, a.left,
                         a.bottom, a.right),
                std::tie(b.position, b.boxHeight, b.boxWidth, b.centerX, b.centerY, b.top, b.left,
                         b.bottom, b.right))
          << "record " << i;
      EXPECT_EQ(std::memcmp(&a.angle, &b.angle, sizeof a.angle), 0) << "record " << i;
      EXPECT_EQ(std::memcmp(&a.fixedValue, &b.fixedValue, sizeof a.fixedValue), 0);
      EXPECT_TRUE(fast.pictures[i] == plain.pictures[i]) << "picture " << i;
    }
    fingers += static_cast<int>(plain.records.size());
  }
  EXPECT_GE(fingers, 16);
}

INSTANTIATE_TEST_SUITE_P(Levels, SeparateImagesAtLevel, vtl::testing::AllVectorLevels(),
                         vtl::testing::LevelParamName);

}  // namespace
