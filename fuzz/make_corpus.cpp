// Writes the seed corpora of the segmenter fuzz targets: generated slaps of
// every kind at a coarse resolution, stored at a fraction of their size and
// enlarged by the harness, plus a few degenerate images.
//
//   fuzz_make_corpus OUTPUT_DIR   (writes OUTPUT_DIR/<target>/<name>)
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "segmenter_input.h"
#include "slap_generator.h"

namespace {

namespace fs = std::filesystem;

// Header codes that decode to the wanted argument values.
uint8_t FingerCode(int32_t count) {
  for (int c = 0; c < 16; ++c) {
    if (vfuzz::DecodeFingerCount(static_cast<uint8_t>(c)) == count) return static_cast<uint8_t>(c);
  }
  return 4;
}

uint8_t HandCode(int32_t hand) {
  for (int c = 0; c < 16; ++c) {
    if (vfuzz::DecodeHandCode(static_cast<uint8_t>(c)) == hand) return static_cast<uint8_t>(c);
  }
  return 0;
}

// Class 0 covers 201..1000, class 3 201 upwards.
uint16_t ResolutionCode(int32_t ppi) {
  if (ppi >= 201 && ppi <= 1000) return static_cast<uint16_t>(ppi - 201);
  return static_cast<uint16_t>((3u << 14) | static_cast<uint16_t>(ppi - 201));
}

struct Seed {
  std::string name;
  uint8_t flags = 0;
  int32_t rows = 0, columns = 0;  // of the enlarged image
  int32_t xres = 500, yres = 500;
  int32_t fingers = 4, hand = 0;
  int32_t scale = 1;
  uint8_t mask = 0;
  std::vector<uint8_t> stored;  // ceil(rows/scale) x ceil(columns/scale)
};

std::vector<uint8_t> Encode(const Seed& s) {
  std::vector<uint8_t> out(vfuzz::kHeaderSize, 0);
  const int32_t side = (s.flags & vfuzz::kFlagLarge) ? vfuzz::kLargeSide : vfuzz::kSmallSide;
  const auto put16 = [&](size_t at, uint16_t v) {
    out[at] = static_cast<uint8_t>(v & 0xFF);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  out[0] = s.flags;
  put16(1, static_cast<uint16_t>((s.rows - 1) % side));
  put16(3, static_cast<uint16_t>((s.columns - 1) % side));
  put16(5, ResolutionCode(s.xres));
  put16(7, ResolutionCode(s.yres));
  out[9] = FingerCode(s.fingers);
  out[10] = HandCode(s.hand);
  out[11] = static_cast<uint8_t>(s.scale - 1);
  out[12] = 255;
  out[13] = s.mask;
  out.insert(out.end(), s.stored.begin(), s.stored.end());
  return out;
}

// A generated slap at `ppi`, to be enlarged `scale` times and declared at
// ppi * scale (rounded up to the 201 limit).
Seed SlapSeed(const std::string& name, vsynth::SlapOptions o, double ppi, int32_t scale,
              int32_t fingers, int32_t hand) {
  o.xppi = o.yppi = ppi;
  const vsynth::Slap slap = vsynth::GenerateSlap(o);
  Seed s;
  s.name = name;
  s.stored = slap.pixels;
  s.rows = slap.rows * scale;
  s.columns = slap.columns * scale;
  s.xres = s.yres = std::max(201, static_cast<int32_t>(ppi * scale + 0.5));
  s.scale = scale;
  s.fingers = fingers;
  s.hand = hand;
  if (s.rows > vfuzz::kSmallSide || s.columns > vfuzz::kSmallSide) s.flags |= vfuzz::kFlagLarge;
  return s;
}

vsynth::SlapOptions Options(uint64_t seed, int hand) {
  vsynth::SlapOptions o;
  o.seed = seed;
  o.hand = hand;
  return o;
}

// The slaps every segmenter sees, at a given generation resolution and
// enlargement.
std::vector<Seed> Slaps(double ppi, int32_t scale) {
  std::vector<Seed> seeds;
  seeds.push_back(SlapSeed("right", Options(1, 13), ppi, scale, 4, 13));
  seeds.push_back(SlapSeed("left_open", Options(2, 14), ppi, scale, 4, 0));
  seeds.push_back(SlapSeed("thumbs", Options(3, 15), ppi, scale, 2, 15));
  auto o = Options(4, 13);
  o.rotationDeg = 20;
  o.touching = true;
  seeds.push_back(SlapSeed("right_rotated_touching", o, ppi, scale, 4, 0));
  o = Options(5, 14);
  o.clutter = true;
  seeds.push_back(SlapSeed("left_clutter", o, ppi, scale, 4, 14));
  o = Options(6, 13);
  o.bilevel = true;
  o.missingFinger = 1;
  seeds.push_back(SlapSeed("right_bilevel_missing", o, ppi, scale, 4, 13));
  o = Options(7, 13);
  o.contrast = 0.4;
  o.noise = 0.1;
  seeds.push_back(SlapSeed("right_faint_five", o, ppi, scale, 5, 0));
  o = Options(8, 15);
  o.rotationDeg = -15;
  seeds.push_back(SlapSeed("thumbs_rotated_one", o, ppi, scale, 1, 0));
  return seeds;
}

// Degenerate images: blank, one pixel, stripes, a checkerboard.
std::vector<Seed> Degenerate() {
  std::vector<Seed> seeds;
  Seed blank;
  blank.name = "blank";
  blank.rows = blank.columns = 96;
  blank.xres = blank.yres = 201;
  seeds.push_back(blank);

  Seed one;
  one.name = "one_pixel";
  one.rows = one.columns = 1;
  one.stored = {0};
  one.fingers = 1;
  seeds.push_back(one);

  Seed stripes;
  stripes.name = "stripes";
  stripes.rows = 300;
  stripes.columns = 400;
  stripes.xres = stripes.yres = 250;
  stripes.stored.resize(400);
  for (int x = 0; x < 400; ++x) stripes.stored[x] = (x / 20) % 2 ? 255 : 0;
  stripes.fingers = 6;
  seeds.push_back(stripes);

  Seed board;
  board.name = "checkerboard_thumbs";
  board.rows = board.columns = 256;
  board.scale = 4;
  board.xres = 300;
  board.yres = 900;
  board.stored.resize(64 * 64);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) board.stored[y * 64 + x] = ((x / 8 + y / 8) % 2) ? 230 : 20;
  }
  board.fingers = 2;
  board.hand = 15;
  seeds.push_back(board);
  return seeds;
}

void Write(const fs::path& dir, const Seed& seed) {
  fs::create_directories(dir);
  const std::vector<uint8_t> bytes = Encode(seed);
  std::ofstream out(dir / seed.name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  std::printf("%s/%s: %d x %d, %zu bytes\n", dir.filename().c_str(), seed.name.c_str(), seed.rows,
              seed.columns, bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  // The quick segmenters and the separator work at 62 ppi: slaps generated
  // at 101 ppi and doubled carry everything they look at.
  std::vector<Seed> coarse = Slaps(101, 2);
  for (const Seed& d : Degenerate()) coarse.push_back(d);
  for (const char* target : {"quick", "quick_new", "separate"}) {
    for (const Seed& s : coarse) Write(root / target, s);
  }
  // The texture segmenter needs the ridges: thumbs at their own resolution.
  std::vector<Seed> fine;
  for (const Seed& s : Slaps(202, 1)) {
    if (s.name.rfind("thumbs", 0) == 0 || s.name == "right") fine.push_back(s);
  }
  for (const Seed& d : Degenerate()) fine.push_back(d);
  for (const Seed& s : fine) Write(root / "slap", s);
  // VantrelCent2 takes 500 ppi images: generated at 125 ppi, enlarged four
  // times; the mask byte selects the fingers.
  std::vector<Seed> cent;
  for (Seed s : Slaps(125, 4)) {
    if (s.name != "right" && s.name != "left_open" && s.name != "thumbs" &&
        s.name != "right_rotated_touching") {
      continue;
    }
    s.mask = s.hand == 15 ? 0x03 : 0x0F;
    s.hand = s.hand == 0 ? 13 : s.hand;
    cent.push_back(s);
  }
  for (const Seed& d : Degenerate()) cent.push_back(d);
  for (const Seed& s : cent) Write(root / "cent2", s);
  return 0;
}
