#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "../support/vector_levels.h"
#include "separate/slant_tables.h"
#include "slap_generator.h"
#include "vantrel.h"

namespace {

vsynth::Slap Generate(int hand, double rotationDeg, uint64_t seed, int ppi = 500) {
  vsynth::SlapOptions o;
  o.seed = seed;
  o.hand = hand;
  o.rotationDeg = rotationDeg;
  o.xppi = o.yppi = ppi;
  return vsynth::GenerateSlap(o);
}

// Whole calls at each vector level against the plain slant count at the
// baseline level: the same records and pictures, byte for byte.
struct WholeCall {
  int32_t status = -1, handCode = 0;
  std::vector<SegmentedFinger> records;  // image pointers cleared
  std::vector<std::vector<uint8_t>> pictures;
};

WholeCall SeparateAndCopy(const vsynth::Slap& slap, int32_t fingerCount) {
  VantrelResultType* result = nullptr;
  WholeCall call;
  call.status =
      SeparateImages(static_cast<int32_t>(slap.xppi), static_cast<int32_t>(slap.yppi),
                     slap.pixels.data(), slap.rows, slap.columns, fingerCount, 0, &result);
  if (result == nullptr) return call;
  call.handCode = result->handCode;
  for (int i = 0; i < result->count; ++i) {
    SegmentedFinger f = result->fingers[i];
    const auto size = static_cast<size_t>(f.boxWidth) * static_cast<size_t>(f.boxHeight);
    call.pictures.emplace_back(f.image, f.image == nullptr ? f.image : f.image + size);
    f.image = nullptr;
    call.records.push_back(f);
  }
  DestroyVantrelResult1(&result);
  return call;
}

using SeparateImagesAtLevel = vtl::testing::AtVectorLevel;

TEST_P(SeparateImagesAtLevel, SameResultAsThePlainCountAtTheBaselineLevel) {
  for (const vsynth::Slap& slap :
       {Generate(13, -15, 3), Generate(15, -6, 10), Generate(13, 8, 21, 1000)}) {
    const int32_t sought = slap.fingers.size() == 2 ? 2 : 4;
    ASSERT_TRUE(vtl::ForceVectorLevel(vtl::VectorLevel::kBaseline));
    vtl::SetPlainSlantCounting(true);
    const WholeCall plain = SeparateAndCopy(slap, sought);
    vtl::SetPlainSlantCounting(false);
    ASSERT_TRUE(vtl::ForceVectorLevel(GetParam()));
    const WholeCall fast = SeparateAndCopy(slap, sought);
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
