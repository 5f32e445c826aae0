// `vantrel segment` on transactions, run as a separate process.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "an2_images.h"
#include "an2_segments.h"
#include "an2_transaction.h"

namespace {
namespace fs = std::filesystem;
using nlohmann::json;

const std::string kData = VANTREL_AN2_DATA_DIR;

std::string TempDir(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / ("vantrel_an2_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

// Exit code of the tool; its output goes to DIR/log.
int RunTool(const std::string& dir, const std::string& arguments) {
  const std::string command = std::string("'") + VANTREL_CLI_PATH + "' " + arguments +
                              " --no-progress </dev/null >'" + dir + "/log' 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int Pixel(double value, int size) {
  return static_cast<int>(std::clamp<double>(std::lround(value), 0, size - 1));
}

TEST(An2CliTest, SegmentedTransactionHoldsTheJsonBoxes) {
  const std::string dir = TempDir("segmented");
  ASSERT_EQ(RunTool(dir, "segment '" + kData + "/valid1.8.an2' --method slap --out '" + dir +
                             "' --write-an2 '" + dir + "/out.an2' --finger-records"),
            0);
  an2::Transaction t;
  ASSERT_TRUE(an2::ReadTransaction(dir + "/out.an2", &t).ok());
  std::vector<int> fingerRecords;
  for (size_t i = 5; i < t.records.size(); ++i) {
    an2::ImageRecord finger;
    ASSERT_TRUE(an2::DescribeImageRecord(t, i, &finger).ok());
    vio::GreyImage pixels;
    EXPECT_TRUE(an2::DecodeImageRecord(t, finger, &pixels).ok());
    EXPECT_EQ(std::make_pair(pixels.columns, pixels.rows),
              std::make_pair(finger.columns, finger.rows));
    fingerRecords.push_back(finger.positions.at(0));
  }
  EXPECT_EQ(fingerRecords, std::vector<int>({2, 3, 4, 5, 10, 9, 8, 7, 6, 1}));
  for (int record : {3, 4, 5}) {
    SCOPED_TRACE(record);
    std::ifstream in(dir + "/valid1.8_r" + std::to_string(record) + ".json");
    const json result = json::parse(in);
    auto fingers = result["result"]["fingers"];
    std::sort(fingers.begin(), fingers.end(),
              [](const json& a, const json& b) { return a["centerX"] < b["centerX"]; });
    std::vector<an2::FingerSegment> segments;
    ASSERT_TRUE(an2::ReadSegments(t.records[record - 1], &segments).ok());
    ASSERT_EQ(segments.size(), fingers.size());
    const int columns = result["image"]["columns"], rows = result["image"]["rows"];
    for (size_t i = 0; i < segments.size(); ++i) {
      const an2::FingerSegment& s = segments[i];
      double left = 1e9, right = -1e9, top = 1e9, bottom = -1e9;
      for (const json& corner : fingers[i]["corners"]) {
        left = std::min<double>(left, corner[0]);
        right = std::max<double>(right, corner[0]);
        top = std::min<double>(top, corner[1]);
        bottom = std::max<double>(bottom, corner[1]);
      }
      EXPECT_EQ(s.position, fingers[i]["position"]);
      // The JSON's corners are rounded to a tenth of a pixel.
      EXPECT_NEAR(s.left, Pixel(left, columns), 1);
      EXPECT_NEAR(s.right, Pixel(right, columns), 1);
      EXPECT_NEAR(s.top, Pixel(top, rows), 1);
      EXPECT_NEAR(s.bottom, Pixel(bottom, rows), 1);
      EXPECT_EQ(s.outline.size(), 4u);
    }
  }
}

TEST(An2CliTest, RefusedTransactionsAndFlags) {
  const std::string dir = TempDir("refused");
  std::ofstream(dir + "/cut.an2") << "1.001:99\x1d"
                                     "1.002:0400\x1c";
  const struct {
    std::string arguments;
    int code;
    std::string message;
  } cases[] = {
      {"'" + dir + "/cut.an2'", 1, "claims 99 bytes"},
      {"'" + kData + "/valid1.8.an2' '" + dir + "/cut.an2' --write-an2 x.an2", 2,
       "exactly one input"},
      {"'" + kData + "' --write-an2 x.an2", 2, "exactly one input"},
      {"'" + kData + "/valid1.8.an2' --finger-records", 2, "--finger-records requires"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    EXPECT_EQ(RunTool(dir, "segment " + c.arguments + " --out '" + dir + "'"), c.code);
    std::ifstream in(dir + "/log");
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find(c.message), std::string::npos) << log;
  }
}

}  // namespace
