// Test images in every format the tool reads, each with a known resolution
// in its own metadata.
#ifndef VANTREL_TESTS_TOOLS_TEST_IMAGES_H
#define VANTREL_TESTS_TOOLS_TEST_IMAGES_H

#include <cstdint>
#include <string>
#include <vector>

namespace testimg {

// Row-major samples, channels 1 (grey) or 3 (RGB), 8-bit.
struct Pixels {
  int width = 0;
  int height = 0;
  int channels = 1;
  std::vector<uint8_t> data;
};

// Grey ramp whose values differ between neighbours: (7x + 13y) mod 256.
Pixels GreyRamp(int width, int height);
// RGB image: left third pure red, middle pure green, right pure blue.
Pixels ColourBands(int width, int height);

// Resolution to store: pixels per inch, or per centimetre when perCm is set;
// none when x and y are 0.
struct Resolution {
  double x = 0;
  double y = 0;
  bool perCm = false;
};

struct PngOptions {
  int bitDepth = 8;  // 8 or 16 (grey and RGB), 1 for grey only
  bool interlaced = false;
  bool palette = false;  // RGB input stored as a palette image
  bool alpha = false;
};

std::vector<uint8_t> EncodePng(const Pixels& pixels, const Resolution& resolution,
                               const PngOptions& options = {});
std::vector<uint8_t> EncodeJpeg(const Pixels& pixels, const Resolution& resolution);
struct TiffOptions {
  int bitsPerSample = 8;  // 8 or 16
  int rowsPerStrip = 16;
  bool tiled = false;
  bool lzw = false;
};
std::vector<uint8_t> EncodeTiff(const Pixels& pixels, const Resolution& resolution,
                                const TiffOptions& options = {});
// 24-bit BMP; grey samples are repeated in the three channels.
std::vector<uint8_t> EncodeBmp(const Pixels& pixels, const Resolution& resolution);
// A run-length 8-bit BMP around the given stream, with a palette of 256 greys.
std::vector<uint8_t> BmpRle8(int width, int height, const std::vector<uint8_t>& stream);
// Binary PGM (grey) or PPM (RGB); maxValue above 255 writes 16-bit samples
// (value x 257).
std::vector<uint8_t> EncodePnm(const Pixels& pixels, int maxValue = 255);

// A PNG whose header claims the given size, with no pixel data after it.
std::vector<uint8_t> PngHeaderOnly(uint32_t width, uint32_t height);

// Expected 8-bit grey of an RGB sample (BT.601, rounded).
uint8_t Luma(uint8_t r, uint8_t g, uint8_t b);

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFile(const std::string& path);
// The file as text; empty when it cannot be read.
std::string ReadText(const std::string& path);

// A fresh empty folder under the test's temporary folder.
std::string MakeTempDir(const std::string& name);

}  // namespace testimg

#endif  // VANTREL_TESTS_TOOLS_TEST_IMAGES_H
