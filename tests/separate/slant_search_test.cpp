#include "separate/slant_search.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

// A scripted analysis: scores per slant, a record of the slants tried.
struct Script {
  std::map<int32_t, float> score;     // absent: 0.0
  std::map<int32_t, float> gapScore;  // absent: 0.0
  int32_t failAt = 1000;              // slant whose analysis fails
  std::vector<int32_t> tried;
  std::vector<float> meanSeen;  // fingers.mean on entry of each analysis
};

int32_t Analyse(void* context, int32_t slant, float* score, vtl::ProfilePeaks* fingers,
                vtl::ProfilePeaks* gaps) {
  auto* script = static_cast<Script*>(context);
  script->tried.push_back(slant);
  script->meanSeen.push_back(fingers->mean);
  if (slant == script->failAt) return 19;
  *score = script->score.count(slant) ? script->score[slant] : 0.0f;
  gaps->score = script->gapScore.count(slant) ? script->gapScore[slant] : 0.0f;
  fingers->found = 4;
  fingers->place[0].position = slant;  // marks which analysis the copy came from
  fingers->mean = static_cast<float>(slant);
  return 0;
}

vtl::SlantSearch RunSearch(vtl::SlantLimits limits, Script& script, int32_t* status) {
  vtl::SlantSearch search;
  vtl::StartSlantSearch(4, &search);
  *status = vtl::SearchSlants(limits, Analyse, &script, &search);
  return search;
}

TEST(SlantSearch, StopsOnPureBackgroundGapsAfterAnImprovement) {
  // Four fingers sought: gaps.score 5.0 means all five gap lines are clear.
  Script script;
  script.score = {{1, 4.0f}, {-1, 4.5f}, {2, 6.0f}};
  script.gapScore = {{1, 5.0f}, {-1, 5.0f}};
  int32_t status = -1;
  vtl::SlantSearch s = RunSearch({10, 10}, script, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(s.bestSlant, 1);
  EXPECT_EQ(script.tried, (std::vector<int32_t>{0, 0, 1}));  // slant 2 never tried

  // Clear gaps without an improvement do not stop the search.
  script = Script{};
  script.score = {{1, 4.0f}, {-1, 4.0f}, {2, 4.5f}};
  script.gapScore = {{-1, 5.0f}};
  s = RunSearch({3, 3}, script, &status);
  EXPECT_EQ(s.bestSlant, 2);
  EXPECT_EQ(script.tried.size(), 6u);

  // 4.9999995 is not 5.
  script = Script{};
  script.score = {{0, 4.0f}};
  script.gapScore = {{0, 4.9999995f}};
  RunSearch({2, 2}, script, &status);
  EXPECT_EQ(script.tried.size(), 4u);
}

TEST(SlantSearch, FailingAnalysisEndsTheSearch) {
  Script script;
  script.failAt = -1;
  int32_t status = 0;
  RunSearch({5, 5}, script, &status);
  EXPECT_EQ(status, 19);
  EXPECT_EQ(script.tried, (std::vector<int32_t>{0, 0, 1, -1}));
}

}  // namespace
