// Every committed fuzz input, seeds and regressions alike, replayed through
// the fuzz targets' own checks in the ordinary test builds: a crash once found
// by fuzzing stays fixed, and the seeds stay meaningful.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "segmenter_harness.h"
#if defined(VANTREL_HAVE_IMAGEIO)
#include "reader_harness.h"
#endif
#if defined(VANTREL_HAVE_INTERCHANGE)
#include "an2_harness.h"
#endif

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}

// Runs `run` on every file of fuzz/corpus/<target> and fuzz/regressions/<target>;
// returns how many there were.
template <typename Run>
int Replay(const std::string& target, const Run& run) {
  int files = 0;
  for (const char* kind : {"corpus", "regressions"}) {
    const fs::path dir = fs::path(VANTREL_SOURCE_DIR) / "fuzz" / kind / target;
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      SCOPED_TRACE(entry.path().string());
      const std::vector<uint8_t> bytes = ReadFile(entry.path());
      run(bytes.data(), bytes.size());
      ++files;
    }
  }
  return files;
}

class FuzzReplay : public ::testing::Test {
 protected:
  void TearDown() override { DestroyVantrelParameter(); }
};

TEST_F(FuzzReplay, Segmenters) {
  const struct {
    const char* target;
    vfuzz::Segmenter entry;
  } targets[] = {{"quick", VantrelQuick},
                 {"quick_new", VantrelQuickNew},
                 {"separate", SeparateImages},
                 {"slap", VantrelSegmentSlap}};
  for (const auto& t : targets) {
    EXPECT_GT(
        Replay(t.target, [&](const uint8_t* d, size_t n) { vfuzz::RunSegmenter(t.entry, d, n); }),
        0)
        << t.target;
  }
  EXPECT_GT(Replay("cent2", vfuzz::RunCent2), 0);
}

#if defined(VANTREL_HAVE_IMAGEIO)
TEST_F(FuzzReplay, Readers) {
  const struct {
    const char* target;
    vio::Format format;
  } targets[] = {{"png", vio::Format::kPng}, {"jpeg", vio::Format::kJpeg},
                 {"bmp", vio::Format::kBmp}, {"tiff", vio::Format::kTiff},
                 {"pnm", vio::Format::kPnm}, {"wsq", vio::Format::kWsq}};
  for (const auto& t : targets) {
    EXPECT_GT(
        Replay(t.target, [&](const uint8_t* d, size_t n) { vfuzz::RunReaderFor(t.format, d, n); }),
        0)
        << t.target;
  }
}
#endif

#if defined(VANTREL_HAVE_INTERCHANGE)
TEST_F(FuzzReplay, Transactions) {
  EXPECT_GT(Replay("an2", vfuzz::RunTransaction), 0);
}
#endif

}  // namespace
