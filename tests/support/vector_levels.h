// Runs tests once per vector level of the kernels with processor-specific
// variants; a level this processor cannot run is skipped, and says so.
#ifndef VANTREL_TESTS_SUPPORT_VECTOR_LEVELS_H
#define VANTREL_TESTS_SUPPORT_VECTOR_LEVELS_H

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "platform/vector_level.h"

namespace vtl {
namespace testing {

inline std::string VectorLevelName(VectorLevel level) {
  switch (level) {
    case VectorLevel::kAvx512: return "Avx512";
    case VectorLevel::kAvx2: return "Avx2";
    case VectorLevel::kBaseline: break;
  }
  return "Baseline";
}

inline auto AllVectorLevels() {
  return ::testing::Values(VectorLevel::kBaseline, VectorLevel::kAvx2, VectorLevel::kAvx512);
}

// A test per level: the level is forced for the test's duration.
class AtVectorLevel : public ::testing::TestWithParam<VectorLevel> {
 protected:
  void SetUp() override {
    if (!ForceVectorLevel(GetParam())) {
      GTEST_SKIP() << "this processor lacks " << VectorLevelName(GetParam());
    }
  }
  void TearDown() override { ResetVectorLevel(); }
};

inline std::string LevelParamName(const ::testing::TestParamInfo<VectorLevel>& info) {
  return VectorLevelName(info.param);
}

}  // namespace testing

// Test names and failure messages show the level by name.
inline void PrintTo(VectorLevel level, std::ostream* out) {
  *out << testing::VectorLevelName(level);
}

}  // namespace vtl

#endif
