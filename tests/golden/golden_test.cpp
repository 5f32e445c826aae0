// Locks every result of every entry on a fixed set of generated slaps: all
// record fields bit for bit and a hash of every finger image. Optimisations
// must leave this file unchanged. Regenerate deliberately with
// VANTREL_UPDATE_GOLDEN=1.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "entries.h"
#include "slap_generator.h"
#include "vantrel.h"

namespace {

constexpr int kImages = 200;
const char* const kGoldenPath = VANTREL_SOURCE_DIR "/tests/golden/golden_results.txt";

uint64_t Fnv1a(const uint8_t* bytes, size_t n) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < n; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
  return h;
}

uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

std::string Describe(const ventry::ResultCopy& r) {
  std::ostringstream out;
  if (r.status != VANTREL_OK) return "none";
  out << "hand " << r.handCode << " count " << r.fingers.size();
  for (const ventry::FingerCopy& finger : r.fingers) {
    const SegmentedFinger& f = finger.record;
    char line[256];
    const uint64_t hash =
        finger.pixels.empty() ? 0 : Fnv1a(finger.pixels.data(), finger.pixels.size());
    std::snprintf(line, sizeof line,
                  " | %d %d %d %d %d %08" PRIx32 " %08" PRIx32 " %d %d %d %d %016" PRIx64,
                  f.position, f.boxHeight, f.boxWidth, f.centerX, f.centerY, Bits(f.angle),
                  Bits(f.fixedValue), f.top, f.left, f.bottom, f.right, hash);
    out << line;
  }
  return out.str();
}

// The generated slap for image i, kept at or below 500 ppi so the run stays
// short; hand codes and finger counts cycle independently of the drawn hand.
std::vector<std::string> RunImage(int i) {
  vsynth::SlapOptions options = vsynth::RandomOptions(static_cast<uint64_t>(i) + 1);
  if (options.xppi > 500) options.xppi = 500;
  if (options.yppi > 500) options.yppi = 500;
  const vsynth::Slap slap = vsynth::GenerateSlap(options);
  const int32_t handCodes[] = {0, 13, 14, 15};
  const int32_t hand = handCodes[i % 4];
  const int32_t fingers = (i / 4) % 2 == 0 ? 4 : 2;
  const auto xres = static_cast<int32_t>(slap.xppi);
  const auto yres = static_cast<int32_t>(slap.yppi);

  std::vector<std::string> lines;
  for (const ventry::Entry& entry : ventry::Entries()) {
    std::ostringstream line;
    line << i << ' ' << entry.name;
    if (entry.function != nullptr) {
      const ventry::ResultCopy result = ventry::RunEntry(entry, xres, yres, slap.pixels.data(),
                                                         slap.rows, slap.columns, fingers, hand);
      line << " status " << result.status << ' ' << Describe(result);
    } else {
      const ventry::Cent2Records cent2 = ventry::RunCent2(
          slap.pixels.data(), slap.rows, slap.columns, hand, ventry::Cent2Mask(fingers));
      line << " count " << cent2.count;
      for (int k = 0; k < cent2.count; ++k) {
        const int32_t* field = &cent2.info[k].centerRow;
        line << " |";
        for (int f = 0; f < 15; ++f) line << ' ' << field[f];
      }
    }
    lines.push_back(line.str());
  }
  return lines;
}

TEST(Golden, EveryEntryUnchangedOnGeneratedSlaps) {
  std::vector<std::string> actual;
  for (int i = 0; i < kImages; ++i)
    for (auto& line : RunImage(i)) actual.push_back(std::move(line));
  DestroyVantrelParameter();

  if (std::getenv("VANTREL_UPDATE_GOLDEN") != nullptr) {
    std::ofstream out(kGoldenPath);
    for (const auto& line : actual) out << line << '\n';
    GTEST_SKIP() << "golden results rewritten";
  }
  std::ifstream in(kGoldenPath);
  ASSERT_TRUE(in) << "missing " << kGoldenPath;
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) expected.push_back(line);
  ASSERT_EQ(actual.size(), expected.size());
  int differences = 0;
  for (size_t i = 0; i < actual.size(); ++i) {
    if (actual[i] != expected[i] && ++differences <= 5)
      ADD_FAILURE() << "expected: " << expected[i] << "\n  actual: " << actual[i];
  }
  EXPECT_EQ(differences, 0);
}

}  // namespace
