// The evaluation library: oriented-box overlap, truth files, matching.
#include "evaluate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

namespace {

using veval::Box;

TEST(OrientedBoxIoU, KnownOverlaps) {
  const double pi = 3.14159265358979323846;
  struct Case {
    Box a, b;
    double expected;
  };
  const Case cases[] = {
      {{0, 0, 10, 20, 0.3}, {0, 0, 10, 20, 0.3}, 1.0},
      {{0, 0, 10, 10, 0}, {5, 0, 10, 10, 0}, 50.0 / 150.0},
      {{0, 0, 10, 10, 0}, {30, 0, 10, 10, 0}, 0.0},
      // A square and the same square turned by 45 degrees meet in a regular
      // octagon: 8 (sqrt 2 - 1) of a square of side 2.
      {{0, 0, 2, 2, 0},
       {0, 0, 2, 2, pi / 4},
       8 * (std::sqrt(2.0) - 1) / (8 - 8 * (std::sqrt(2.0) - 1))},
      // Turning by a quarter exchanges width and height.
      {{3, 4, 10, 20, 0}, {3, 4, 20, 10, pi / 2}, 1.0},
      // Half of a box inside a twice larger one.
      {{0, 0, 10, 10, 0}, {0, 0, 20, 10, 0}, 0.5},
      {{0, 0, 0, 10, 0}, {0, 0, 0, 10, 0}, 0.0},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(veval::OrientedBoxIoU(c.a, c.b), c.expected, 1e-9);
    EXPECT_NEAR(veval::OrientedBoxIoU(c.b, c.a), c.expected, 1e-9);
  }
}

const std::string kTruthHeader = "file,finger_from_left,cx,cy,halfwidth,halfheight,angle_deg\n";

std::string WriteFile(const std::string& text) {
  const std::string path = ::testing::TempDir() + "/truth_test.csv";
  std::ofstream(path) << text;
  return path;
}

// The real slaps' truth holds hands in order; thumbs out of order are
// sorted from the left before their codes are given.
TEST(ReadTruthCsv, SortsThumbsFromTheLeft) {
  std::vector<veval::ImageTruth> images;
  ASSERT_EQ(veval::ReadTruthCsv(WriteFile(kTruthHeader + "a_thumbs.png,2,90,60,10,20,5\n"
                                                         "a_thumbs.png,1,10,60,10,20,5\n"),
                                &images),
            "");
  ASSERT_EQ(images.size(), 1u);
  ASSERT_EQ(images[0].fingers.size(), 2u);
  EXPECT_EQ(images[0].fingers[0].box.cx, 10);
  EXPECT_EQ(images[0].fingers[0].position, 6);
  EXPECT_EQ(images[0].fingers[1].position, 1);
}

TEST(ReadTruthCsv, RefusesMalformedFiles) {
  std::vector<veval::ImageTruth> images;
  for (const std::string& text : {std::string("file,x\n"), kTruthHeader + "a.png,1,2,3\n",
                                  kTruthHeader + "a.png,1,x,3,4,5,6\n"}) {
    EXPECT_NE(veval::ReadTruthCsv(WriteFile(text), &images), "") << text;
  }
  EXPECT_NE(veval::ReadTruthCsv("/nonexistent/truth.csv", &images), "");
}

TEST(ScoreImage, MatchesOneToOneAndChecksCodes) {
  const std::vector<veval::TruthFinger> truth = {{{100, 100, 40, 60, 0}, 2},
                                                 {{200, 100, 40, 60, 0}, 3}};
  std::vector<veval::Detection> found = {{{104, 102, 40, 60, 0.05}, 2}, {{200, 100, 40, 60, 0}, 3}};
  veval::ImageScore s = veval::ScoreImage(truth, found);
  EXPECT_EQ(s.matched, 2);
  EXPECT_TRUE(s.countRight);
  EXPECT_TRUE(s.allRight);
  EXPECT_TRUE(s.codesRight);
  // A wrong code, then one box claiming both fingers.
  found[1].position = 4;
  s = veval::ScoreImage(truth, found);
  EXPECT_FALSE(s.allRight);
  EXPECT_FALSE(s.codesRight);
  found[1].box = found[0].box;
  s = veval::ScoreImage(truth, found);
  EXPECT_EQ(s.matched, 1);
  EXPECT_TRUE(s.countRight);
  EXPECT_FALSE(s.allRight);
  // A missing finger.
  found.pop_back();
  s = veval::ScoreImage(truth, found);
  EXPECT_FALSE(s.countRight);
  const veval::Summary sum = veval::Summarise({s});
  EXPECT_EQ(sum.truthFingers, 2);
  EXPECT_EQ(sum.matched, 1);
  EXPECT_EQ(sum.countRight, 0);
  EXPECT_EQ(sum.positionImages, 0);
}

// Each true finger names the box overlapping it most, or none; a box on no
// true finger is listed as extra.
TEST(FormatFingerLines, NamesBestOverlapMissesAndExtras) {
  const std::vector<veval::TruthFinger> truth = {{{100, 100, 40, 60, 0}, 2},
                                                 {{200, 100, 40, 60, 0}, 3}};
  const std::vector<veval::Detection> found = {{{500, 500, 40, 60, 0}, 4, 0.3},
                                               {{100, 100, 40, 60, 0}, 2, 0.9}};
  const std::string text = veval::FormatFingerLines(truth, found);
  const std::string expected =
      "  true 0 pos  2    40 x   60     0.0 deg  | IoU 1.00 pos  2    40 x   60     0.0 deg"
      "  confidence 0.90  off 0 px\n"
      "  true 1 pos  3    40 x   60     0.0 deg  | none\n"
      "  extra pos  4    40 x   60     0.0 deg  confidence 0.30  at 500, 500\n";
  EXPECT_EQ(text, expected);
}

}  // namespace
