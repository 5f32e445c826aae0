// The vantrel program, run as a separate process: output files and their
// content, resolution from each format's metadata, error messages and exit
// codes, batches.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "image_io.h"
#include "test_images.h"

extern char** environ;

namespace {
namespace fs = std::filesystem;
using nlohmann::json;

struct RunResult {
  int code = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs vantrel with the arguments, capturing its output and exit code.
RunResult RunTool(const std::vector<std::string>& arguments) {
  const std::string dir = testimg::MakeTempDir("run");
  const std::string outPath = dir + "/stdout", errPath = dir + "/stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<std::string> all = {VANTREL_CLI_PATH};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  RunResult result;
  if (posix_spawn(&pid, VANTREL_CLI_PATH, &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = Slurp(outPath);
  result.err = Slurp(errPath);
  return result;
}

json ReadJson(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in.good()) << path;
  if (!in) return json();
  return json::parse(in);
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

#define EXPECT_CONTAINS(text, part) EXPECT_PRED2(Contains, text, part)

// Resolution written into each format's own metadata reaches the result.
TEST(CliTest, ResolutionComesFromEachFormatsMetadata) {
  const std::string dir = testimg::MakeTempDir("formats");
  const testimg::Pixels picture = testimg::Blobs(240, 200);
  struct Case {
    std::string file;
    std::vector<uint8_t> bytes;
    int xppi, yppi;
    std::string source, format;
  };
  const std::vector<Case> cases = {
      {"a.png", testimg::EncodePng(picture, {400, 300}), 400, 300, "file", "png"},
      {"b.jpg", testimg::EncodeJpeg(picture, {200, 200, true}), 508, 508, "file", "jpeg"},
      {"c.tif", testimg::EncodeTiff(picture, {250, 350}), 250, 350, "file", "tiff"},
      {"d.bmp", testimg::EncodeBmp(picture, {1000, 1000}), 1000, 1000, "file", "bmp"},
      {"e.pgm", testimg::EncodePnm(picture), 500, 500, "default", "pnm"},
      // Named like a JPEG, but a PNG: the content decides.
      {"f.jpg", testimg::EncodePng(picture, {600, 600}), 600, 600, "file", "png"},
  };
  std::vector<std::string> arguments = {"segment", "--out", dir + "/out", "--no-progress"};
  for (const Case& c : cases) {
    testimg::WriteFile(dir + "/" + c.file, c.bytes);
    arguments.push_back(dir + "/" + c.file);
  }
  const RunResult run = RunTool(arguments);
  EXPECT_NE(run.code, 2) << run.err;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const json j = ReadJson(dir + "/out/" + fs::path(c.file).stem().string() + ".json");
    ASSERT_TRUE(j.is_object());
    EXPECT_EQ(j["format"], c.format);
    EXPECT_EQ(j["image"]["columns"], 240);
    EXPECT_EQ(j["image"]["rows"], 200);
    EXPECT_EQ(j["image"]["xppi"], c.xppi);
    EXPECT_EQ(j["image"]["yppi"], c.yppi);
    EXPECT_EQ(j["image"]["resolutionSource"], c.source);
  }
  // Flags override the file.
  RunResult flag = RunTool({"segment", "--out", dir + "/flag", "--ppi", "700", dir + "/a.png"});
  EXPECT_EQ(ReadJson(dir + "/flag/a.json")["image"]["xppi"], 700);
  EXPECT_EQ(ReadJson(dir + "/flag/a.json")["image"]["resolutionSource"], "flag");
  flag = RunTool(
      {"segment", "--out", dir + "/flag2", "--xppi", "600", "--yppi", "650", dir + "/c.tif"});
  const json j = ReadJson(dir + "/flag2/c.json");
  EXPECT_EQ(j["image"]["xppi"], 600);
  EXPECT_EQ(j["image"]["yppi"], 650);
  EXPECT_EQ(j["image"]["resolutionSource"], "flag");
}

// Bad command lines: exit code 2 and a message naming the problem.
TEST(CliTest, UsageErrorsExitWithTwo) {
  const std::string dir = testimg::MakeTempDir("usage");
  const std::string image = dir + "/x.png";
  testimg::WriteFile(image, testimg::EncodePng(testimg::Blobs(60, 50), {500, 500}));
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{}, "subcommand"},
      {{"segment"}, "inputs"},
      {{"segment", "--ppi", "100", image}, "--ppi"},
      {{"segment", "--ppi", "abc", image}, "--ppi"},
      {{"segment", "--xppi", "500", image}, "--yppi"},
      {{"segment", "--ppi", "500", "--xppi", "500", "--yppi", "500", image}, "--ppi"},
      {{"segment", "--method", "fast", image}, "--method"},
      {{"segment", "--hand", "middle", image}, "--hand"},
      {{"segment", "--fingers", "0", image}, "--fingers"},
      {{"segment", "--fingers", "6", image}, "--fingers"},
      {{"segment", "--format", "xml", image}, "--format"},
      {{"segment", "--bogus", image}, "--bogus"},
      {{"frobnicate"}, "frobnicate"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const auto& a : c.arguments) line += a + " ";
    SCOPED_TRACE(line);
    const RunResult run = RunTool(c.arguments);
    EXPECT_EQ(run.code, 2);
    EXPECT_CONTAINS(run.err, c.message);
  }
  const RunResult help = RunTool({"segment", "--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_CONTAINS(help.out, "--method");
  // An output folder that cannot be made.
  const RunResult blocked = RunTool({"segment", "--out", image, image});
  EXPECT_EQ(blocked.code, 2);
  EXPECT_CONTAINS(blocked.err, "cannot create the output folder");
}

// Each kind of bad input: the file is named with the reason on standard
// error, its result file says the same, and the exit code is 1.
TEST(CliTest, BadInputsAreReportedByNameAndReason) {
  const std::string dir = testimg::MakeTempDir("bad_inputs");
  const testimg::Pixels picture = testimg::Blobs(300, 240);
  const std::vector<uint8_t> png = testimg::EncodePng(picture, {500, 500});
  std::vector<uint8_t> jpeg = testimg::EncodeJpeg(picture, {500, 500});
  for (size_t i = jpeg.size() / 2; i < jpeg.size() / 2 + 40; ++i) jpeg[i] = 0xff;
  testimg::WriteFile(dir + "/truncated.png",
                     std::vector<uint8_t>(png.begin(), png.begin() + png.size() / 2));
  testimg::WriteFile(dir + "/corrupt.jpg", jpeg);
  testimg::WriteFile(dir + "/anim.png", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0});
  testimg::WriteFile(dir + "/empty.png", {});
  testimg::WriteFile(dir + "/tiny.png", testimg::EncodePng(testimg::Blobs(6, 6), {500, 500}));
  testimg::WriteFile(dir + "/screen.png", testimg::EncodePng(picture, {72, 72}));
  testimg::WriteFile(dir + "/huge.png", testimg::PngHeaderOnly(30000, 30000));
  testimg::WriteFile(dir + "/half.png", testimg::EncodePng(picture, {250, 250}));
  fs::create_directories(dir + "/nothing_here");
  testimg::WriteFile(dir + "/nothing_here/notes.txt", {'h', 'i'});
  struct Case {
    std::string input;
    std::vector<std::string> extra;
    std::string kind;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"missing.png", {}, "file not found", "no such file"},
      {"truncated.png", {}, "corrupt or truncated image", "corrupt PNG: file is truncated"},
      {"corrupt.jpg", {}, "corrupt or truncated image", "JPEG"},
      {"anim.png", {}, "unsupported format", "unsupported image format: GIF"},
      {"empty.png", {}, "corrupt or truncated image", "file is empty"},
      {"tiny.png", {}, "status 8 (", "the image of 6 x 6 pixels is too small"},
      {"screen.png",
       {},
       "status 7 (horizontal resolution below 201",
       "the image is 72 x 72 ppi (file); give --ppi"},
      {"huge.png", {}, "image too large", "30000 x 30000 pixels exceeds the limit"},
      {"half.png",
       {"--method", "cent2"},
       "not 500 ppi (cent2)",
       "cent2 reads 500 ppi images only and the image is 250 x 250 ppi"},
      {"nothing_here", {}, "unusable input", "folder holds no image files"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const std::string out = dir + "/out_" + fs::path(c.input).stem().string();
    std::vector<std::string> arguments = {"segment", "--out", out, dir + "/" + c.input};
    arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
    const RunResult run = RunTool(arguments);
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_CONTAINS(run.err, "vantrel: error: " + dir + "/" + c.input + ": ");
    EXPECT_CONTAINS(run.err, c.message);
    EXPECT_CONTAINS(run.out, "summary: 1 file, 0 succeeded, 1 failed, 0 fingers found");
    EXPECT_CONTAINS(run.out, "failed: 1 x " + c.kind);
    const json j = ReadJson(out + "/" + fs::path(c.input).stem().string() + ".json");
    ASSERT_TRUE(j.is_object());
    EXPECT_EQ(j["ok"], false);
    EXPECT_CONTAINS(j["error"].get<std::string>(), c.message);
    EXPECT_CONTAINS(j["errorKind"].get<std::string>(), c.kind);
  }
  // The override cures the low resolution claimed by the file.
  const RunResult cured =
      RunTool({"segment", "--out", dir + "/cured", "--ppi", "500", dir + "/screen.png"});
  EXPECT_NE(ReadJson(dir + "/cured/screen.json")["status"], 7);
}

}  // namespace
