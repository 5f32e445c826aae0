// A batch stopped by a signal or by a full disk leaves only whole files, and
// each input has either all its outputs or only a result that says it failed.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <thread>

#include "image_io.h"
#include "slap_generator.h"
#include "test_images.h"

extern char** environ;

namespace {
namespace fs = std::filesystem;
using nlohmann::json;

struct Child {
  pid_t pid = -1;
  std::string dir;
};

// Starts the tool with its output streams in files of `dir`.
Child Start(const std::vector<std::string>& arguments, const std::string& dir) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, (dir + "/stdout").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (dir + "/stderr").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> all = {VANTREL_CLI_PATH};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  Child run;
  run.dir = dir;
  EXPECT_EQ(posix_spawn(&run.pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

int Wait(const Child& run) {
  int status = 0;
  waitpid(run.pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Result files in `out` so far; none before the batch makes the folder.
size_t ResultsSoFar(const std::string& out) {
  std::error_code error;
  size_t n = 0;
  for (fs::directory_iterator it(out, error), end; !error && it != end; it.increment(error)) {
    n += it->path().extension() == ".json" ? 1 : 0;
  }
  return n;
}

// The input's name part of a picture: NAME_overlay.png, NAME_f<i>_pos<p>.png.
std::string StemOf(const std::string& picture) {
  const size_t overlay = picture.rfind("_overlay.png");
  if (overlay != std::string::npos) return picture.substr(0, overlay);
  return picture.substr(0, picture.rfind("_f", picture.rfind("_pos")));
}

struct FolderCheck {
  size_t results = 0;    // result files
  size_t succeeded = 0;  // of them with ok true
};

// Every file in `out` is whole: no temporary left, every PNG decodes, every
// JSON parses. A result with ok true has all its finger pictures and its
// overlay; an input without one (failed or not started) has no picture.
FolderCheck CheckFolder(const std::string& out) {
  FolderCheck check;
  std::map<std::string, std::vector<std::string>> pictures;  // stem -> names
  std::map<std::string, json> results;
  for (const auto& entry : fs::directory_iterator(out)) {
    const std::string name = entry.path().filename().string();
    EXPECT_GT(entry.file_size(), 0u) << name;
    EXPECT_NE(entry.path().extension(), ".tmp") << name;
    if (entry.path().extension() == ".png") {
      vio::GreyImage image;
      EXPECT_TRUE(vio::ReadImage(entry.path().string(), {}, &image).ok()) << name;
      pictures[StemOf(name)].push_back(name);
    } else if (entry.path().extension() == ".json") {
      std::ifstream in(entry.path());
      json j = json::parse(in, nullptr, false);
      EXPECT_FALSE(j.is_discarded()) << name;
      results[entry.path().stem().string()] = j;
    }
  }
  for (const auto& [stem, names] : pictures) {
    const auto result = results.find(stem);
    if (result == results.end()) {
      ADD_FAILURE() << names.front() << " without its result";
      continue;
    }
    EXPECT_EQ(result->second["ok"], true) << stem << " failed but left " << names.front();
  }
  for (const auto& [stem, j] : results) {
    check.results += 1;
    if (j["ok"] != true) continue;
    check.succeeded += 1;
    size_t expected = j["overlay"].is_null() ? 0 : 1;
    for (const json& finger : j["result"]["fingers"]) {
      if (finger["image"].is_null()) continue;
      expected += 1;
      EXPECT_TRUE(fs::exists(out + "/" + finger["image"].get<std::string>())) << stem;
    }
    EXPECT_EQ(pictures[stem].size(), expected) << stem;
  }
  return check;
}

// Small generated slaps under 200 names (in_000.png ...): a batch takes about
// a second, so that signals land all through it.
std::vector<std::string> MakeInputs(const std::string& dir) {
  std::vector<std::string> sources;
  for (int hand : {13, 14, 15}) {
    vsynth::SlapOptions options;
    options.seed = 40 + hand;
    options.hand = hand;
    options.xppi = options.yppi = 250;
    options.widthInches = 1.8;  // small, to keep the 21 batches short
    options.heightInches = 1.5;
    const vsynth::Slap slap = vsynth::GenerateSlap(options);
    sources.push_back(dir + "/source_" + std::to_string(hand) + ".png");
    EXPECT_EQ(
        vio::WritePng(sources.back(), slap.pixels.data(), slap.rows, slap.columns, 1, 250, 250),
        "");
  }
  fs::create_directories(dir + "/in");
  std::vector<std::string> inputs;
  for (int i = 0; i < 200; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/in/in_%03d.png", i);
    fs::create_symlink(sources[i % sources.size()], dir + name);
    inputs.push_back(dir + name);
  }
  return inputs;
}

TEST(BatchSafetyTest, InterruptedBatchLeavesWholeOutputsOnly) {
  const std::string dir = testimg::MakeTempDir("interrupt");
  MakeInputs(dir);
  const auto arguments = [&](int k) {
    return std::vector<std::string>{"segment",      dir + "/in",
                                    "--method",     "slap",
                                    "--overlay",    k % 2 ? "preview" : "none",
                                    "--out",        dir + "/out" + std::to_string(k),
                                    "--no-progress"};
  };
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Wait(Start(arguments(1), dir)), 0) << testimg::ReadText(dir + "/stderr");
  const auto whole = std::chrono::steady_clock::now() - start;
  std::mt19937 random(7);
  int stopped = 0;
  for (int k = 2; k < 22; ++k) {
    SCOPED_TRACE(k);
    const std::string out = dir + "/out" + std::to_string(k);
    const Child run = Start(arguments(k), dir);
    // Stopped once a random share of the inputs have their results: by the
    // batch's progress, not by a share of the first run's time, which the
    // load on the machine makes vary. Not in the first tenth: a signal before
    // the batch installs its handlers ends it the default way, no summary.
    const size_t target = std::uniform_int_distribution<size_t>(20, 180)(random);
    const auto deadline = std::chrono::steady_clock::now() + 4 * whole + std::chrono::seconds(5);
    while (ResultsSoFar(out) < target && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(run.pid, k % 3 ? SIGINT : SIGTERM);
    const int code = Wait(run);
    const std::string summary = testimg::ReadText(dir + "/stdout");
    const FolderCheck check = CheckFolder(out);
    if (code == 0) {  // the signal came after the end
      EXPECT_EQ(check.succeeded, 200u);
      continue;
    }
    stopped += 1;
    EXPECT_EQ(code, k % 3 ? 130 : 143) << testimg::ReadText(dir + "/stderr");
    EXPECT_NE(summary.find("summary: " + std::to_string(check.results) + " file"),
              std::string::npos)
        << summary;
    EXPECT_NE(summary.find(std::string("stopped by ") + (k % 3 ? "SIGINT" : "SIGTERM") + ": " +
                           std::to_string(200 - check.results) + " file"),
              std::string::npos)
        << summary;
  }
  EXPECT_GE(stopped, 10);
}

// Mounts a small tmpfs (as root only, which CI is) and fills it.
TEST(BatchSafetyTest, FullDiskNamesEveryFailureAndLeavesNoPartialFile) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  const std::string dir = testimg::MakeTempDir("full_disk");
  const std::string mountPoint = dir + "/small";
  fs::create_directories(mountPoint);
  if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=400k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  }
  const std::string real = std::string(VANTREL_SOURCE_DIR) + "/samples/real";
  const Child run = Start({"segment", real, "--method", "slap", "--out", mountPoint + "/out",
                           "--no-progress", "--overlay", "full"},
                          dir);
  const int code = Wait(run);
  const std::string err = testimg::ReadText(dir + "/stderr");
  const FolderCheck check = CheckFolder(mountPoint + "/out");
  umount(mountPoint.c_str());
  EXPECT_EQ(code, 1) << err;
  EXPECT_LT(check.succeeded, 7u);
  std::istringstream lines(err);
  size_t named = 0;
  for (std::string line; std::getline(lines, line);) {
    EXPECT_NE(line.find("vantrel: error: " + real + "/"), std::string::npos) << line;
    EXPECT_NE(line.find(": cannot write " + mountPoint + "/out/"), std::string::npos) << line;
    EXPECT_NE(line.find("No space left on device"), std::string::npos) << line;
    named += 1;
  }
  // One line per failed input, two where its failure report did not fit.
  EXPECT_GE(named, 7 - check.succeeded);
}

}  // namespace
