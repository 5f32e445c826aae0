#include "platform/vector_level.h"

#include <gtest/gtest.h>

namespace {

TEST(VectorLevel, ForcedLevelsUpToTheSupportedOne) {
  const vtl::VectorLevel supported = vtl::SupportedVectorLevel();
  EXPECT_EQ(vtl::ActiveVectorLevel(), supported);
  for (auto level :
       {vtl::VectorLevel::kBaseline, vtl::VectorLevel::kAvx2, vtl::VectorLevel::kAvx512}) {
    const bool runs = static_cast<int32_t>(level) <= static_cast<int32_t>(supported);
    ASSERT_TRUE(vtl::ForceVectorLevel(vtl::VectorLevel::kBaseline));
    EXPECT_EQ(vtl::ForceVectorLevel(level), runs);
    // A refused level leaves the one forced before.
    EXPECT_EQ(vtl::ActiveVectorLevel(), runs ? level : vtl::VectorLevel::kBaseline);
  }
  EXPECT_FALSE(vtl::ForceVectorLevel(static_cast<vtl::VectorLevel>(3)));
  EXPECT_FALSE(vtl::ForceVectorLevel(static_cast<vtl::VectorLevel>(-1)));
  vtl::ResetVectorLevel();
  EXPECT_EQ(vtl::ActiveVectorLevel(), supported);
}

}  // namespace
