// Writes the seed corpora of the image reader fuzz targets: a small piece of a
// generated slap in the layouts each format allows (grey, colour, palette,
// 16-bit, 1-bit, interlaced or progressive, compressed, tiled), with and
// without resolution metadata.
//
//   fuzz_make_reader_corpus OUTPUT_DIR   (writes OUTPUT_DIR/<format>/<name>)
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "slap_generator.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr int kRows = 40, kColumns = 48;

struct Piece {
  Bytes grey;  // kRows x kColumns
  Bytes rgb;   // the same, tinted, three samples per pixel
};

Piece MakePiece() {
  vsynth::SlapOptions o;
  o.seed = 21;
  o.xppi = o.yppi = 150;
  const vsynth::Slap slap = vsynth::GenerateSlap(o);
  Piece p;
  // A piece of the first fingertip: ridges and background.
  const int top = static_cast<int>(slap.fingers.front().tipY) - 8;
  const int left = static_cast<int>(slap.fingers.front().tipX) - kColumns / 2;
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kColumns; ++x) {
      const int sy = std::min(std::max(top + y, 0), slap.rows - 1);
      const int sx = std::min(std::max(left + x, 0), slap.columns - 1);
      const uint8_t v = slap.pixels[static_cast<std::size_t>(sy) * slap.columns + sx];
      p.grey.push_back(v);
      p.rgb.insert(p.rgb.end(),
                   {v, static_cast<uint8_t>(v * 3 / 4), static_cast<uint8_t>(255 - v / 2)});
    }
  }
  return p;
}

void Write(const fs::path& dir, const std::string& name, const Bytes& bytes) {
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  std::printf("%s/%s: %zu bytes\n", dir.filename().c_str(), name.c_str(), bytes.size());
}

// ---- PNG through libpng, written to memory.
void PngAppend(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

// colorType: PNG_COLOR_TYPE_*; depth 1, 8 or 16; rows of packed samples.
Bytes Png(const Piece& p, int colorType, int depth, bool interlaced, bool pixelsPerMetre) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, PngAppend, nullptr);
  png_set_IHDR(png, info, kColumns, kRows, depth, colorType,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_color palette[16];
    for (int i = 0; i < 16; ++i) {
      palette[i] = {static_cast<png_byte>(i * 17), static_cast<png_byte>(i * 17),
                    static_cast<png_byte>(255 - i * 17)};
    }
    png_set_PLTE(png, info, palette, 16);
  }
  if (pixelsPerMetre) png_set_pHYs(png, info, 19685, 19685, PNG_RESOLUTION_METER);  // 500 ppi
  png_write_info(png, info);
  std::vector<Bytes> rows(kRows);
  for (int y = 0; y < kRows; ++y) {
    Bytes& row = rows[y];
    for (int x = 0; x < kColumns; ++x) {
      const uint8_t g = p.grey[y * kColumns + x];
      switch (colorType) {
        case PNG_COLOR_TYPE_GRAY:
          if (depth == 16) {
            row.insert(row.end(), {g, static_cast<uint8_t>(x)});
          } else if (depth == 1) {
            if (x % 8 == 0) row.push_back(0);
            if (g >= 128) row.back() |= static_cast<uint8_t>(0x80 >> (x % 8));
          } else {
            row.push_back(g);
          }
          break;
        case PNG_COLOR_TYPE_GRAY_ALPHA: row.insert(row.end(), {g, 200}); break;
        case PNG_COLOR_TYPE_RGB:
          row.insert(row.end(), p.rgb.begin() + (y * kColumns + x) * 3,
                     p.rgb.begin() + (y * kColumns + x) * 3 + 3);
          break;
        case PNG_COLOR_TYPE_PALETTE:  // 4-bit indices
          if (x % 2 == 0) row.push_back(0);
          row.back() |= static_cast<uint8_t>((g >> 4) << (x % 2 ? 0 : 4));
          break;
      }
    }
  }
  std::vector<png_bytep> pointers;
  for (Bytes& row : rows) pointers.push_back(row.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// ---- JPEG through libjpeg, written to memory.
Bytes Jpeg(const Piece& p, bool colour, bool progressive, bool density) {
  jpeg_compress_struct c;
  jpeg_error_mgr error;
  c.err = jpeg_std_error(&error);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = kColumns;
  c.image_height = kRows;
  c.input_components = colour ? 3 : 1;
  c.in_color_space = colour ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 85, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  if (density) {
    c.density_unit = 1;  // dots per inch
    c.X_density = 500;
    c.Y_density = 500;
  }
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    const Bytes& source = colour ? p.rgb : p.grey;
    JSAMPROW row = const_cast<JSAMPROW>(
        source.data() + c.next_scanline * kColumns * static_cast<std::size_t>(c.input_components));
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&c);
  free(buffer);
  return out;
}

// ---- TIFF through libtiff, written to a scratch file.
Bytes Tiff(const Piece& p, const fs::path& scratch, int samples, int bits, uint16_t compression,
           bool tiled, bool resolution) {
  TIFF* t = TIFFOpen(scratch.c_str(), "w");
  if (t == nullptr) return {};
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kColumns);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, kRows);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
  if (resolution) {
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 500.0f);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 500.0f);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  }
  // One row of packed samples.
  const auto row = [&](int y) {
    Bytes r;
    for (int x = 0; x < kColumns; ++x) {
      const uint8_t g = p.grey[y * kColumns + x];
      if (samples == 3) {
        r.insert(r.end(), p.rgb.begin() + (y * kColumns + x) * 3,
                 p.rgb.begin() + (y * kColumns + x) * 3 + 3);
      } else if (bits == 16) {
        r.insert(r.end(), {static_cast<uint8_t>(x), g});  // little-endian
      } else if (bits == 1) {
        if (x % 8 == 0) r.push_back(0);
        if (g >= 128) r.back() |= static_cast<uint8_t>(0x80 >> (x % 8));
      } else {
        r.push_back(g);
      }
    }
    return r;
  };
  bool ok = true;
  if (tiled) {
    constexpr int kTile = 16;
    TIFFSetField(t, TIFFTAG_TILEWIDTH, kTile);
    TIFFSetField(t, TIFFTAG_TILELENGTH, kTile);
    for (int ty = 0; ty < kRows; ty += kTile) {
      for (int tx = 0; tx < kColumns; tx += kTile) {
        Bytes tile(static_cast<std::size_t>(kTile) * kTile, 255);
        for (int y = 0; y < kTile && ty + y < kRows; ++y) {
          for (int x = 0; x < kTile && tx + x < kColumns; ++x) {
            tile[y * kTile + x] = p.grey[(ty + y) * kColumns + tx + x];
          }
        }
        ok = ok && TIFFWriteTile(t, tile.data(), tx, ty, 0, 0) >= 0;
      }
    }
  } else {
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 8);
    for (int y = 0; y < kRows; ++y) {
      Bytes r = row(y);
      ok = ok && TIFFWriteScanline(t, r.data(), y, 0) >= 0;
    }
  }
  TIFFClose(t);
  if (!ok) return {};
  std::ifstream in(scratch, std::ios::binary);
  Bytes out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  fs::remove(scratch);
  return out;
}

// ---- BMP by hand: bottom-up rows padded to four bytes.
void Put16(Bytes* b, uint32_t v) {
  b->insert(b->end(), {uint8_t(v), uint8_t(v >> 8)});
}
void Put32(Bytes* b, uint32_t v) {
  b->insert(b->end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}

Bytes Bmp(const Piece& p, int bits, bool resolution) {
  const int paletteSize = bits <= 8 ? (1 << bits) : 0;
  const int stride = ((kColumns * bits + 31) / 32) * 4;
  const uint32_t offset = 14 + 40 + paletteSize * 4;
  Bytes b = {'B', 'M'};
  Put32(&b, offset + stride * kRows);
  Put32(&b, 0);
  Put32(&b, offset);
  Put32(&b, 40);
  Put32(&b, kColumns);
  Put32(&b, kRows);
  Put16(&b, 1);
  Put16(&b, static_cast<uint32_t>(bits));
  Put32(&b, 0);  // uncompressed
  Put32(&b, static_cast<uint32_t>(stride * kRows));
  Put32(&b, resolution ? 19685 : 0);  // pixels per metre
  Put32(&b, resolution ? 19685 : 0);
  Put32(&b, static_cast<uint32_t>(paletteSize));
  Put32(&b, 0);
  for (int i = 0; i < paletteSize; ++i) {
    const auto v = static_cast<uint8_t>(i * 255 / (paletteSize - 1));
    b.insert(b.end(), {v, v, v, 0});
  }
  for (int y = kRows - 1; y >= 0; --y) {
    Bytes row;
    for (int x = 0; x < kColumns; ++x) {
      const uint8_t g = p.grey[y * kColumns + x];
      if (bits == 24) {
        const uint8_t* c = &p.rgb[(y * kColumns + x) * 3];
        row.insert(row.end(), {c[2], c[1], c[0]});
      } else if (bits == 8) {
        row.push_back(g);
      } else if (bits == 1) {
        if (x % 8 == 0) row.push_back(0);
        if (g >= 128) row.back() |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
    }
    row.resize(static_cast<std::size_t>(stride), 0);
    b.insert(b.end(), row.begin(), row.end());
  }
  return b;
}

// 8-bit run-length BMP: the header of the 8-bit layout, then per row (bottom
// up) runs of equal greys, the top row as one literal stretch, an end of
// row each, and the end mark.
Bytes BmpRle8(const Piece& p) {
  Bytes b = Bmp(p, 8, true);
  const uint32_t offset = 14 + 40 + 256 * 4;
  b.resize(offset);
  b[30] = 1;  // run-length, 8 bits
  for (int y = kRows - 1; y >= 0; --y) {
    const uint8_t* row = &p.grey[y * kColumns];
    if (y == 0) {
      b.insert(b.end(), {0, static_cast<uint8_t>(kColumns)});
      b.insert(b.end(), row, row + kColumns);
    }
    for (int x = 0; y > 0 && x < kColumns;) {
      int run = 1;
      while (x + run < kColumns && row[x + run] == row[x]) ++run;
      b.insert(b.end(), {static_cast<uint8_t>(run), row[x]});
      x += run;
    }
    b.insert(b.end(), {0, 0});
  }
  b.insert(b.end(), {0, 1});
  return b;
}

// ---- Binary PGM / PPM.
Bytes Pnm(const Piece& p, bool colour, int maxValue) {
  const std::string header = std::string(colour ? "P6" : "P5") + "\n# seed\n" +
                             std::to_string(kColumns) + " " + std::to_string(kRows) + "\n" +
                             std::to_string(maxValue) + "\n";
  Bytes b(header.begin(), header.end());
  for (std::size_t i = 0; i < p.grey.size(); ++i) {
    if (colour) {
      b.insert(b.end(), p.rgb.begin() + i * 3, p.rgb.begin() + i * 3 + 3);
    } else if (maxValue > 255) {
      b.insert(b.end(), {p.grey[i], static_cast<uint8_t>(i)});  // big-endian
    } else {
      b.push_back(p.grey[i]);
    }
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  const Piece p = MakePiece();
  Write(root / "png", "grey8_phys", Png(p, PNG_COLOR_TYPE_GRAY, 8, false, true));
  Write(root / "png", "grey16_interlaced", Png(p, PNG_COLOR_TYPE_GRAY, 16, true, false));
  Write(root / "png", "grey1", Png(p, PNG_COLOR_TYPE_GRAY, 1, false, false));
  Write(root / "png", "grey_alpha", Png(p, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, true));
  Write(root / "png", "rgb8", Png(p, PNG_COLOR_TYPE_RGB, 8, false, false));
  Write(root / "png", "palette4", Png(p, PNG_COLOR_TYPE_PALETTE, 4, false, true));

  Write(root / "jpeg", "grey_density", Jpeg(p, false, false, true));
  Write(root / "jpeg", "rgb_progressive", Jpeg(p, true, true, false));

  const fs::path scratch = fs::temp_directory_path() / "vantrel_seed.tif";
  Write(root / "tiff", "grey8_resolution", Tiff(p, scratch, 1, 8, COMPRESSION_NONE, false, true));
  Write(root / "tiff", "grey8_lzw_tiled", Tiff(p, scratch, 1, 8, COMPRESSION_LZW, true, false));
  Write(root / "tiff", "grey16_deflate",
        Tiff(p, scratch, 1, 16, COMPRESSION_ADOBE_DEFLATE, false, true));
  Write(root / "tiff", "bilevel_packbits",
        Tiff(p, scratch, 1, 1, COMPRESSION_PACKBITS, false, true));
  Write(root / "tiff", "rgb_lzw", Tiff(p, scratch, 3, 8, COMPRESSION_LZW, false, false));

  Write(root / "bmp", "grey8_resolution", Bmp(p, 8, true));
  Write(root / "bmp", "rgb24", Bmp(p, 24, false));
  Write(root / "bmp", "bilevel", Bmp(p, 1, true));
  Write(root / "bmp", "grey8_run_length", BmpRle8(p));

  Write(root / "pnm", "pgm8", Pnm(p, false, 255));
  Write(root / "pnm", "pgm16", Pnm(p, false, 65535));
  Write(root / "pnm", "ppm", Pnm(p, true, 255));
  return 0;
}
