#include "test_images.h"

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace testimg {

Pixels GreyRamp(int width, int height) {
  Pixels p{width, height, 1, std::vector<uint8_t>(static_cast<size_t>(width) * height)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) p.data[y * width + x] = static_cast<uint8_t>(7 * x + 13 * y);
  }
  return p;
}

Pixels ColourBands(int width, int height) {
  Pixels p{width, height, 3, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3, 0)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) p.data[(y * width + x) * 3 + (3 * x / width)] = 255;
  }
  return p;
}

uint8_t Luma(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<uint8_t>((299 * r + 587 * g + 114 * b + 500) / 1000);
}

namespace {

void AppendBytes(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void Flush(png_structp) {}

void PutLittle(std::vector<uint8_t>* out, size_t offset, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) (*out)[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t PerMetre(double value, bool perCm) {
  return static_cast<uint32_t>(std::lround(perCm ? value * 100 : value / 0.0254));
}

}  // namespace

std::vector<uint8_t> EncodePng(const Pixels& pixels, const Resolution& resolution,
                               const PngOptions& options) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) throw std::runtime_error("png encode failed");
  png_set_write_fn(png, &out, AppendBytes, Flush);
  int colourType = pixels.channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY;
  if (options.alpha) colourType |= PNG_COLOR_MASK_ALPHA;
  if (options.palette) colourType = PNG_COLOR_TYPE_PALETTE;
  png_set_IHDR(png, info, pixels.width, pixels.height, options.palette ? 8 : options.bitDepth,
               colourType, options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  if (options.palette) {
    palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  }
  if (resolution.x > 0) {
    png_set_pHYs(png, info, PerMetre(resolution.x, resolution.perCm),
                 PerMetre(resolution.y, resolution.perCm), PNG_RESOLUTION_METER);
  }
  png_write_info(png, info);
  const int samples = options.palette ? 1 : pixels.channels + (options.alpha ? 1 : 0);
  const int bytesPerSample = options.bitDepth == 16 ? 2 : 1;
  std::vector<uint8_t> row;
  std::vector<std::vector<uint8_t>> rows(pixels.height);
  for (int y = 0; y < pixels.height; ++y) {
    row.assign(static_cast<size_t>(pixels.width) * samples * bytesPerSample, 0);
    for (int x = 0; x < pixels.width; ++x) {
      const uint8_t* p =
          &pixels.data[(static_cast<size_t>(y) * pixels.width + x) * pixels.channels];
      if (options.palette) {
        row[x] = p[0] ? 1 : p[1] ? 2 : p[2] ? 3 : 0;
        continue;
      }
      for (int s = 0; s < samples; ++s) {
        const uint8_t v = s < pixels.channels ? p[s] : 255;  // alpha opaque
        if (bytesPerSample == 2) {
          row[(x * samples + s) * 2] = v;  // v * 257, big-endian
          row[(x * samples + s) * 2 + 1] = v;
        } else {
          row[x * samples + s] = v;
        }
      }
    }
    if (options.bitDepth == 1) {
      std::vector<uint8_t> packed((pixels.width + 7) / 8, 0);
      for (int x = 0; x < pixels.width; ++x) {
        if (row[x] >= 128) packed[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
      row = packed;
    }
    rows[y] = row;
  }
  std::vector<png_bytep> pointers;
  for (auto& r : rows) pointers.push_back(r.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::vector<uint8_t> EncodeJpeg(const Pixels& pixels, const Resolution& resolution) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = pixels.width;
  info.image_height = pixels.height;
  info.input_components = pixels.channels;
  info.in_color_space = pixels.channels == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  info.write_JFIF_header = TRUE;
  if (resolution.x > 0) {
    info.density_unit = resolution.perCm ? 2 : 1;
    info.X_density = static_cast<UINT16>(std::lround(resolution.x));
    info.Y_density = static_cast<UINT16>(std::lround(resolution.y));
  }
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(
        &pixels.data[static_cast<size_t>(info.next_scanline) * pixels.width * pixels.channels]);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

std::vector<uint8_t> EncodeTiff(const Pixels& pixels, const Resolution& resolution,
                                const TiffOptions& options) {
  const std::string path = MakeTempDir("tiff_encode") + "/image.tif";
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  if (tiff == nullptr) throw std::runtime_error("cannot create " + path);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, pixels.width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, pixels.height);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, pixels.channels);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, options.bitsPerSample);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
               pixels.channels == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, options.lzw ? COMPRESSION_LZW : COMPRESSION_NONE);
  if (resolution.x > 0) {
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT,
                 resolution.perCm ? RESUNIT_CENTIMETER : RESUNIT_INCH);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, static_cast<float>(resolution.x));
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<float>(resolution.y));
  }
  const int bytes = options.bitsPerSample / 8;
  const size_t rowBytes = static_cast<size_t>(pixels.width) * pixels.channels * bytes;
  auto sample = [&](int x, int y, int s) {
    return pixels.data[(static_cast<size_t>(y) * pixels.width + x) * pixels.channels + s];
  };
  auto fill = [&](uint8_t* out, int x, int y) {
    for (int s = 0; s < pixels.channels; ++s) {
      const uint8_t v = sample(x, y, s);
      for (int b = 0; b < bytes; ++b) out[s * bytes + b] = v;  // 16-bit: v * 257
    }
  };
  if (options.tiled) {
    const int tile = 16;
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, tile);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, tile);
    const size_t pixelBytes = static_cast<size_t>(pixels.channels) * bytes;
    std::vector<uint8_t> buffer(tile * tile * pixelBytes);
    for (int ty = 0; ty < pixels.height; ty += tile) {
      for (int tx = 0; tx < pixels.width; tx += tile) {
        std::fill(buffer.begin(), buffer.end(), 0);
        for (int y = 0; y < tile && ty + y < pixels.height; ++y) {
          for (int x = 0; x < tile && tx + x < pixels.width; ++x) {
            fill(&buffer[(y * tile + x) * pixelBytes], tx + x, ty + y);
          }
        }
        TIFFWriteTile(tiff, buffer.data(), tx, ty, 0, 0);
      }
    }
  } else {
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, options.rowsPerStrip);
    std::vector<uint8_t> row(rowBytes);
    for (int y = 0; y < pixels.height; ++y) {
      for (int x = 0; x < pixels.width; ++x) fill(&row[x * pixels.channels * bytes], x, y);
      TIFFWriteScanline(tiff, row.data(), y, 0);
    }
  }
  TIFFClose(tiff);
  return ReadFile(path);
}

std::vector<uint8_t> EncodeBmp(const Pixels& pixels, const Resolution& resolution) {
  // Bottom-up rows padded to four bytes, a 40-byte info header.
  const uint32_t rowBytes = (pixels.width * 24 + 31) / 32 * 4;
  const uint32_t dataOffset = 14 + 40;
  std::vector<uint8_t> out(dataOffset + static_cast<size_t>(rowBytes) * pixels.height, 0);
  out[0] = 'B', out[1] = 'M';
  PutLittle(&out, 2, static_cast<uint32_t>(out.size()), 4);
  PutLittle(&out, 10, dataOffset, 4);
  PutLittle(&out, 14, 40, 4);
  PutLittle(&out, 18, pixels.width, 4);
  PutLittle(&out, 22, pixels.height, 4);
  PutLittle(&out, 26, 1, 2);
  PutLittle(&out, 28, 24, 2);
  PutLittle(&out, 34, rowBytes * pixels.height, 4);
  if (resolution.x > 0) {
    PutLittle(&out, 38, PerMetre(resolution.x, resolution.perCm), 4);
    PutLittle(&out, 42, PerMetre(resolution.y, resolution.perCm), 4);
  }
  for (int y = 0; y < pixels.height; ++y) {
    uint8_t* row = &out[dataOffset + static_cast<size_t>(pixels.height - 1 - y) * rowBytes];
    for (int x = 0; x < pixels.width; ++x) {
      const uint8_t* p =
          &pixels.data[(static_cast<size_t>(y) * pixels.width + x) * pixels.channels];
      for (int c = 0; c < 3; ++c) row[x * 3 + c] = p[pixels.channels == 3 ? 2 - c : 0];  // BGR
    }
  }
  return out;
}

std::vector<uint8_t> BmpRle8(int width, int height, const std::vector<uint8_t>& stream) {
  // 40-byte info header, then a palette of 256 greys, then the stream.
  const uint32_t dataOffset = 14 + 40 + 256 * 4;
  std::vector<uint8_t> out(dataOffset, 0);
  out[0] = 'B', out[1] = 'M';
  PutLittle(&out, 10, dataOffset, 4);
  PutLittle(&out, 14, 40, 4);
  PutLittle(&out, 18, static_cast<uint32_t>(width), 4);
  PutLittle(&out, 22, static_cast<uint32_t>(height), 4);
  PutLittle(&out, 26, 1, 2);
  PutLittle(&out, 28, 8, 2);
  PutLittle(&out, 30, 1, 4);  // run-length, 8 bits
  PutLittle(&out, 34, static_cast<uint32_t>(stream.size()), 4);
  for (int i = 0; i < 256; ++i) {
    for (int c = 0; c < 3; ++c) out[54 + i * 4 + c] = static_cast<uint8_t>(i);
  }
  out.insert(out.end(), stream.begin(), stream.end());
  PutLittle(&out, 2, static_cast<uint32_t>(out.size()), 4);
  return out;
}

std::vector<uint8_t> EncodePnm(const Pixels& pixels, int maxValue) {
  const std::string header = std::string(pixels.channels == 3 ? "P6" : "P5") + "\n# test\n" +
                             std::to_string(pixels.width) + " " + std::to_string(pixels.height) +
                             "\n" + std::to_string(maxValue) + "\n";
  std::vector<uint8_t> out(header.begin(), header.end());
  for (uint8_t v : pixels.data) {
    out.push_back(v);
    if (maxValue > 255) out.push_back(v);  // big-endian v * 257
  }
  return out;
}

std::vector<uint8_t> PngHeaderOnly(uint32_t width, uint32_t height) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  std::vector<uint8_t> out;
  out.reserve(64);
  for (uint8_t byte : kSignature) out.push_back(byte);
  uint8_t chunk[4 + 4 + 13] = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (int i = 0; i < 4; ++i) {
    chunk[8 + i] = static_cast<uint8_t>(width >> (24 - 8 * i));
    chunk[12 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
  }
  chunk[16] = 8;  // bit depth; colour type grey, deflate, no filter, no interlace
  for (uint8_t byte : chunk) out.push_back(byte);
  const uLong crc = crc32(crc32(0, nullptr, 0), chunk + 4, sizeof chunk - 4);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(crc >> (24 - 8 * i)));
  // An empty IDAT chunk: the decoder reaches the image data as in a real file.
  static const uint8_t kIdat[12] = {0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x35, 0xaf, 0x06, 0x1e};
  for (uint8_t byte : kIdat) out.push_back(byte);
  return out;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFile(path);
  return std::string(bytes.begin(), bytes.end());
}

namespace {

// All folders of one test process live under one root, removed at exit.
const std::filesystem::path& TempRoot() {
  static const std::filesystem::path root = [] {
    const auto path =
        std::filesystem::temp_directory_path() / ("vantrel_test_" + std::to_string(getpid()));
    std::filesystem::remove_all(path);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(TempRoot(), ignored);
    });
    return path;
  }();
  return root;
}

}  // namespace

std::string MakeTempDir(const std::string& name) {
  static int counter = 0;
  const auto dir = TempRoot() / (name + "_" + std::to_string(counter++));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

}  // namespace testimg
