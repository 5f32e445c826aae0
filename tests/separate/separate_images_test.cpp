#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
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

vsynth::Slap Generate(int hand, double rotationDeg, uint64_t seed, int missing = -1,
                      int ppi = 500) {
  vsynth::SlapOptions o;
  o.seed = seed;
  o.hand = hand;
  o.rotationDeg = rotationDeg;
  o.missingFinger = missing;
  o.xppi = o.yppi = ppi;
  return vsynth::GenerateSlap(o);
}

// The record's centre lies on its own finger: within half its width of the
// axis and below its tip.
void ExpectOnFinger(const vsynth::FingerTruth& t, const SegmentedFinger& f) {
  const double dx = f.centerX - t.tipX, dy = f.centerY - t.tipY;
  const double along = dx * std::sin(t.angle) + dy * std::cos(t.angle);
  const double across = dx * std::cos(t.angle) - dy * std::sin(t.angle);
  EXPECT_LE(std::fabs(across), 0.5 * t.width) << "across " << across;
  EXPECT_GE(along, 0.0) << "along " << along;
}

// Samples of the finger picture against the caller's image along the box:
// row i, column j shows the image at the box position, truncated, or white
// outside it. Positions within a hair of a pixel border are skipped (the cut
// accumulates them step by step). Returns the samples that fell outside.
int CheckFingerImage(const vsynth::Slap& slap, const SegmentedFinger& f) {
  EXPECT_NE(f.image, nullptr);
  if (f.image == nullptr) return 0;
  const double c = std::cos(static_cast<double>(f.angle));
  const double s = std::sin(static_cast<double>(f.angle));
  const double x0 = f.centerX - c * f.boxWidth * 0.5 - s * f.boxHeight * 0.5;
  const double y0 = f.centerY + s * f.boxWidth * 0.5 - c * f.boxHeight * 0.5;
  auto nearBorder = [](double v) { return std::fabs(v - std::round(v)) < 1e-6; };
  int outside = 0, mismatches = 0;
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

// Slaps the design can separate: gap lines need enough background, and code
// 13 searches only lines leaning right towards the bottom, 14 the mirror, 15
// within 10 degrees; an open code searches both ways and recognises the hand
// when all four fingers show.
TEST(SeparateImages, GeneratedSlaps) {
  struct Case {
    int hand;
    double rotationDeg;
    int code;
    uint64_t seed;
    int missing;
  };
  const Case cases[] = {
      {13, -25, 13, 5, -1}, {14, 15, 14, 5, -1}, {13, 0, 0, 2, -1},  {14, 20, 0, 6, -1},
      {13, 15, 0, 3, -1},   {15, 6, 15, 8, -1},  {14, 10, 14, 8, 2}, {13, -10, 0, 6, 0},
  };
  int outsideSamples = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "hand " << c.hand << " rotation " << c.rotationDeg
                                      << " code " << c.code << " missing " << c.missing);
    const vsynth::Slap slap = Generate(c.hand, c.rotationDeg, c.seed, c.missing);
    Separated s;
    Separate(slap, c.hand == 15 ? 2 : 4, c.code, s);
    ASSERT_EQ(s.status, 0);
    EXPECT_EQ(vtl::GetVantrelParameter()->LastResult, s.result);
    const VantrelResultType& r = *s.result;
    ASSERT_EQ(r.count, static_cast<int>(slap.fingers.size()));
    EXPECT_EQ(r.handCode, c.code != 0 ? c.code : r.count == 4 ? c.hand : 0);
    for (int i = 0; i < r.count; ++i) {
      SCOPED_TRACE("finger " + std::to_string(i));
      const SegmentedFinger& f = r.fingers[i];
      EXPECT_EQ(f.position, i);
      ExpectOnFinger(slap.fingers[i], f);
      EXPECT_NEAR(f.angle, slap.fingers[i].angle, 10 * kDegree);
      outsideSamples += CheckFingerImage(slap, f);
    }
  }
  EXPECT_GT(outsideSamples, 0) << "some boxes of turned hands reach past the border";
}

// Whole calls at each vector level against the plain slant count at the
// baseline level: the same records and pictures, byte for byte.
struct WholeCall {
  int32_t status = -1, handCode = 0;
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
    f.image = nullptr;
    call.records.push_back(f);
  }
  return call;
}

using SeparateImagesAtLevel = vtl::testing::AtVectorLevel;

TEST_P(SeparateImagesAtLevel, SameResultAsThePlainCountAtTheBaselineLevel) {
  for (const vsynth::Slap& slap :
       {Generate(13, -15, 3), Generate(15, -6, 10), Generate(13, 8, 21, -1, 1000)}) {
    const int32_t sought = slap.fingers.size() == 2 ? 2 : 4;
    ASSERT_TRUE(vtl::ForceVectorLevel(vtl::VectorLevel::kBaseline));
    vtl::SetPlainSlantCounting(true);
    const WholeCall plain = SeparateAndCopy(slap, sought, 0);
    vtl::SetPlainSlantCounting(false);
    ASSERT_TRUE(vtl::ForceVectorLevel(GetParam()));
    const WholeCall fast = SeparateAndCopy(slap, sought, 0);
    ASSERT_EQ(plain.status, 0);
    EXPECT_EQ(fast.status, plain.status);
    EXPECT_EQ(fast.handCode, plain.handCode);
    ASSERT_EQ(fast.records.size(), plain.records.size());
    for (size_t i = 0; i < plain.records.size(); ++i) {
      const SegmentedFinger& a = fast.records[i];
      const SegmentedFinger& b = plain.records[i];
      EXPECT_EQ(std::tie(a.position, a.boxHeight, a.boxWidth, a.centerX, a.centerY),
                std::tie(b.position, b.boxHeight, b.boxWidth, b.centerX, b.centerY));
      EXPECT_EQ(std::memcmp(&a.angle, &b.angle, sizeof a.angle), 0) << "record " << i;
      EXPECT_TRUE(fast.pictures[i] == plain.pictures[i]) << "picture " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, SeparateImagesAtLevel, vtl::testing::AllVectorLevels(),
                         vtl::testing::LevelParamName);

}  // namespace
