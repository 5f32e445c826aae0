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

}  // namespace
