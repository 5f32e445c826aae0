// Writes the seed corpora of the image reader fuzz targets: a small piece of a
// generated slap in the layouts each format allows (grey, colour, palette,
// 16-bit, 1-bit, interlaced or progressive, compressed, tiled), with and
// without resolution metadata, through the encoders of the reader's tests.
//
//   fuzz_make_reader_corpus OUTPUT_DIR   (writes OUTPUT_DIR/<format>/<name>)
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "slap_generator.h"
#include "test_images.h"

namespace {

namespace fs = std::filesystem;
using testimg::Pixels;
using testimg::TiffCompression;

constexpr int kRows = 40, kColumns = 48;

struct Piece {
  Pixels grey;
  Pixels rgb;  // the same, tinted
};

Piece MakePiece() {
  vsynth::SlapOptions o;
  o.seed = 21;
  o.xppi = o.yppi = 150;
  const vsynth::Slap slap = vsynth::GenerateSlap(o);
  Piece p{{kColumns, kRows, 1, {}}, {kColumns, kRows, 3, {}}};
  // A piece of the first fingertip: ridges and background.
  const int top = static_cast<int>(slap.fingers.front().tipY) - 8;
  const int left = static_cast<int>(slap.fingers.front().tipX) - kColumns / 2;
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kColumns; ++x) {
      const int sy = std::min(std::max(top + y, 0), slap.rows - 1);
      const int sx = std::min(std::max(left + x, 0), slap.columns - 1);
      const uint8_t v = slap.pixels[static_cast<std::size_t>(sy) * slap.columns + sx];
      p.grey.data.push_back(v);
      p.rgb.data.insert(p.rgb.data.end(),
                        {v, static_cast<uint8_t>(v * 3 / 4), static_cast<uint8_t>(255 - v / 2)});
    }
  }
  return p;
}

// The piece in the four colours of the test encoder's palette (black, red,
// green, blue), by grey level.
Pixels PaletteColours(const Pixels& grey) {
  Pixels out{grey.width, grey.height, 3, {}};
  for (uint8_t v : grey.data) {
    const int level = v / 64;
    out.data.insert(out.data.end(), {uint8_t(level == 1 ? 255 : 0), uint8_t(level == 2 ? 255 : 0),
                                     uint8_t(level == 3 ? 255 : 0)});
  }
  return out;
}

void Write(const fs::path& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
  fs::create_directories(dir);
  testimg::WriteFile((dir / name).string(), bytes);
  std::printf("%s/%s: %zu bytes\n", dir.filename().c_str(), name.c_str(), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  const Piece p = MakePiece();
  const testimg::Resolution ppi500{500, 500}, none{};
  using testimg::EncodePng;
  Write(root / "png", "grey8_phys", EncodePng(p.grey, ppi500));
  Write(root / "png", "grey16_interlaced", EncodePng(p.grey, none, {16, true}));
  Write(root / "png", "grey1", EncodePng(p.grey, none, {1}));
  Write(root / "png", "grey_alpha", EncodePng(p.grey, ppi500, {8, false, false, true}));
  Write(root / "png", "rgb8", EncodePng(p.rgb, none));
  Write(root / "png", "palette", EncodePng(PaletteColours(p.grey), ppi500, {8, false, true}));

  Write(root / "jpeg", "grey_density", testimg::EncodeJpeg(p.grey, ppi500, 85));
  Write(root / "jpeg", "rgb_progressive", testimg::EncodeJpeg(p.rgb, none, 85, true));

  using testimg::EncodeTiff;
  Write(root / "tiff", "grey8_resolution", EncodeTiff(p.grey, ppi500, {8, 8}));
  Write(root / "tiff", "grey8_lzw_tiled",
        EncodeTiff(p.grey, none, {8, 8, true, TiffCompression::kLzw}));
  Write(root / "tiff", "grey16_deflate",
        EncodeTiff(p.grey, ppi500, {16, 8, false, TiffCompression::kDeflate}));
  Write(root / "tiff", "bilevel_packbits",
        EncodeTiff(p.grey, ppi500, {1, 8, false, TiffCompression::kPackBits}));
  Write(root / "tiff", "rgb_lzw", EncodeTiff(p.rgb, none, {8, 8, false, TiffCompression::kLzw}));

  Write(root / "bmp", "grey8_resolution", testimg::EncodeBmp(p.grey, ppi500, 8));
  Write(root / "bmp", "rgb24", testimg::EncodeBmp(p.rgb, none));
  Write(root / "bmp", "bilevel", testimg::EncodeBmp(p.grey, ppi500, 1));
  Write(root / "bmp", "grey8_run_length", testimg::EncodeBmpRle8(p.grey, ppi500));

  Write(root / "pnm", "pgm8", testimg::EncodePnm(p.grey));
  Write(root / "pnm", "pgm16", testimg::EncodePnm(p.grey, 65535));
  Write(root / "pnm", "ppm", testimg::EncodePnm(p.rgb));
  return 0;
}
