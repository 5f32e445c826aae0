#include "image_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>

#include "test_images.h"

namespace {

using testimg::Pixels;
using testimg::Resolution;

struct Encoded {
  std::string name;
  std::vector<uint8_t> bytes;
  vio::Format format;
  int32_t xppi, yppi;  // expected; 0 = the default applies
};

std::vector<uint8_t> ExpectedGrey(const Pixels& p) {
  if (p.channels == 1) return p.data;
  std::vector<uint8_t> grey(p.data.size() / 3);
  for (size_t i = 0; i < grey.size(); ++i) {
    grey[i] = testimg::Luma(p.data[3 * i], p.data[3 * i + 1], p.data[3 * i + 2]);
  }
  return grey;
}

std::vector<Encoded> AllEncodings(const Pixels& grey, const Pixels& colour) {
  using namespace testimg;
  using F = vio::Format;
  const Resolution r500{500, 500}, r1000x500{1000, 500}, perCm{200, 200, true};  // 508 ppi
  return {
      {"png grey 8", EncodePng(grey, r500), F::kPng, 500, 500},
      {"png grey 16", EncodePng(grey, r1000x500, PngOptions{16}), F::kPng, 1000, 500},
      {"png grey interlaced", EncodePng(grey, r500, PngOptions{8, true}), F::kPng, 500, 500},
      {"png rgb 8", EncodePng(colour, perCm), F::kPng, 508, 508},
      {"png rgb 16 alpha", EncodePng(colour, r500, {16, false, false, true}), F::kPng, 500, 500},
      {"png palette", EncodePng(colour, {}, PngOptions{8, false, true}), F::kPng, 0, 0},
      {"jpeg grey dpi", EncodeJpeg(grey, {600, 600}), F::kJpeg, 600, 600},
      {"jpeg rgb dots per cm", EncodeJpeg(colour, perCm), F::kJpeg, 508, 508},
      {"jpeg aspect only", EncodeJpeg(grey, {}), F::kJpeg, 0, 0},
      {"tiff grey 8 strips", EncodeTiff(grey, {333, 444}), F::kTiff, 333, 444},
      {"tiff grey 16 lzw", EncodeTiff(grey, r500, TiffOptions{16, 7, false, true}), F::kTiff, 500,
       500},
      {"tiff grey tiled", EncodeTiff(grey, r500, TiffOptions{8, 16, true}), F::kTiff, 500, 500},
      {"tiff rgb per cm", EncodeTiff(colour, perCm), F::kTiff, 508, 508},
      {"tiff no resolution", EncodeTiff(grey, {}), F::kTiff, 0, 0},
      {"bmp grey", EncodeBmp(grey, {250, 250}), F::kBmp, 250, 250},
      {"bmp rgb", EncodeBmp(colour, r1000x500), F::kBmp, 1000, 500},
      {"bmp no resolution", EncodeBmp(grey, {}), F::kBmp, 0, 0},
      {"pgm 8", EncodePnm(grey), F::kPnm, 0, 0},
      {"pgm 16", EncodePnm(grey, 65535), F::kPnm, 0, 0},
      {"ppm 8", EncodePnm(colour), F::kPnm, 0, 0},
  };
}

bool IsColour(const std::string& name) {
  return name.find("rgb") != std::string::npos || name.find("palette") != std::string::npos ||
         name.find("ppm") != std::string::npos;
}

class ImageIoTest : public ::testing::Test {
 protected:
  const Pixels grey_ = testimg::GreyRamp(45, 37);
  const Pixels colour_ = testimg::ColourBands(45, 37);
};

TEST_F(ImageIoTest, EveryFormatDecodesPixelsAndResolution) {
  for (const Encoded& e : AllEncodings(grey_, colour_)) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(vio::DetectFormat(e.bytes.data(), e.bytes.size()), e.format);
    vio::GreyImage image;
    const vio::ReadStatus status = vio::DecodeImage(e.bytes.data(), e.bytes.size(), {}, &image);
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(image.format, e.format);
    ASSERT_EQ(image.columns, 45);
    ASSERT_EQ(image.rows, 37);
    EXPECT_EQ(image.resolutionSource,
              e.xppi > 0 ? vio::ResolutionSource::kFile : vio::ResolutionSource::kDefault);
    EXPECT_EQ(image.xppi, e.xppi > 0 ? e.xppi : 500);
    EXPECT_EQ(image.yppi, e.yppi > 0 ? e.yppi : 500);
    const std::vector<uint8_t> expected = ExpectedGrey(IsColour(e.name) ? colour_ : grey_);
    if (e.format != vio::Format::kJpeg) {
      // Colour may differ by one level between libraries' fixed-point weights.
      int worst = 0;
      for (size_t i = 0; i < expected.size(); ++i) {
        worst = std::max(worst, std::abs(int(image.pixels[i]) - int(expected[i])));
      }
      EXPECT_LE(worst, IsColour(e.name) ? 1 : 0);
    }
  }
}

TEST_F(ImageIoTest, ResolutionFromOverrideFileOrDefault) {
  const auto bytes = testimg::EncodePng(grey_, {300, 300});
  vio::GreyImage image;
  ASSERT_TRUE(vio::DecodeImage(bytes.data(), bytes.size(), {600, 700}, &image).ok());
  EXPECT_EQ(image.resolutionSource, vio::ResolutionSource::kFlag);
  EXPECT_EQ(image.xppi, 600);
  EXPECT_EQ(image.yppi, 700);
  // Half an override (one axis) is ignored: both come from the file.
  ASSERT_TRUE(vio::DecodeImage(bytes.data(), bytes.size(), {600, 0}, &image).ok());
  EXPECT_EQ(image.resolutionSource, vio::ResolutionSource::kFile);
  // Implausible file resolutions (1 pixel per metre, 1.2 million ppi) fall back to the default.
  for (double ppi : {0.0254, 1.2e6}) {
    const auto odd = testimg::EncodePng(grey_, {ppi, ppi});
    ASSERT_TRUE(vio::DecodeImage(odd.data(), odd.size(), {}, &image).ok());
    EXPECT_EQ(image.resolutionSource, vio::ResolutionSource::kDefault) << ppi;
    EXPECT_EQ(image.xppi, vio::kDefaultPpi);
  }
}

TEST_F(ImageIoTest, OneBitPngExpandsToBlackAndWhite) {
  const auto bytes = testimg::EncodePng(grey_, {500, 500}, testimg::PngOptions{1});
  vio::GreyImage image;
  ASSERT_TRUE(vio::DecodeImage(bytes.data(), bytes.size(), {}, &image).ok());
  for (size_t i = 0; i < grey_.data.size(); ++i) {
    ASSERT_EQ(image.pixels[i], grey_.data[i] >= 128 ? 255 : 0) << i;
  }
}

// Every proper prefix of a valid file fails cleanly (or, where the cut only
// removes bytes the decoder does not need, gives the full image).
TEST_F(ImageIoTest, TruncatedFilesFailCleanly) {
  for (const Encoded& e : AllEncodings(grey_, colour_)) {
    SCOPED_TRACE(e.name);
    vio::GreyImage full;
    ASSERT_TRUE(vio::DecodeImage(e.bytes.data(), e.bytes.size(), {}, &full).ok());
    int failures = 0;
    const size_t step = std::max<size_t>(1, e.bytes.size() / 150);
    for (size_t length = 0; length < e.bytes.size(); length += step) {
      std::vector<uint8_t> cut(e.bytes.begin(), e.bytes.begin() + length);
      vio::GreyImage image;
      const vio::ReadStatus status = vio::DecodeImage(cut.data(), cut.size(), {}, &image);
      if (status.ok()) {
        EXPECT_EQ(image.pixels, full.pixels) << "length " << length;
      } else {
        ++failures;
        EXPECT_FALSE(status.message.empty());
        EXPECT_TRUE(image.pixels.empty());
        EXPECT_TRUE(status.error == vio::ReadError::kCorrupt ||
                    status.error == vio::ReadError::kUnsupported)
            << "length " << length << ": " << status.message;
      }
    }
    std::vector<uint8_t> half(e.bytes.begin(), e.bytes.begin() + e.bytes.size() * 3 / 4);
    vio::GreyImage image;
    EXPECT_EQ(vio::DecodeImage(half.data(), half.size(), {}, &image).error,
              vio::ReadError::kCorrupt);
    EXPECT_GT(failures, 0);
  }
}

// Absurd sizes are refused before decoding; unsupported formats are named.
TEST_F(ImageIoTest, RefusedInputsSayWhy) {
  std::vector<uint8_t> bmp = testimg::EncodeBmp(grey_, {});
  bmp[18] = 0x20, bmp[19] = 0x4e, bmp[20] = 0, bmp[21] = 0;  // width 20000
  bmp[22] = 0x20, bmp[23] = 0x4e, bmp[24] = 0, bmp[25] = 0;  // height 20000
  std::vector<uint8_t> jpeg = testimg::EncodeJpeg(grey_, {});
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xff && jpeg[i + 1] == 0xc0) {  // start of frame: P, height, width
      jpeg[i + 5] = 0xea, jpeg[i + 6] = 0x60;      // 60000
      jpeg[i + 7] = 0x00, jpeg[i + 8] = 0x10;      // 16
      break;
    }
  }
  auto bytes = [](const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
  };
  using E = vio::ReadError;
  const std::string kLimit = "exceeds the limit";
  struct Case {
    std::vector<uint8_t> bytes;
    vio::ReadError error;
    std::string message;
  } cases[] = {
      {testimg::PngHeaderOnly(20001, 10), E::kTooLarge, kLimit},
      {testimg::PngHeaderOnly(15000, 15000), E::kTooLarge, kLimit},
      {bytes("P5\n30000 100\n255\n"), E::kTooLarge, kLimit},
      {bmp, E::kTooLarge, kLimit},
      {jpeg, E::kTooLarge, kLimit},
      // Just inside the limit: the missing data is what is reported.
      {testimg::PngHeaderOnly(20000, 10000), E::kCorrupt, ""},
      {bytes("GIF89a\x01\x00\x01\x00"), E::kUnsupported, "GIF"},
      {bytes(std::string("RIFF\x10\x00\x00\x00WEBPVP8 ", 16)), E::kUnsupported, "WebP"},
      {bytes("P2\n2 2\n255\n0 0 0 0\n"), E::kUnsupported, "P1-P4"},
      {bytes("hello, this is text"), E::kUnsupported, "unrecognised"},
      {{}, E::kCorrupt, "file is empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases));
    vio::GreyImage image;
    const vio::ReadStatus status = vio::DecodeImage(c.bytes.data(), c.bytes.size(), {}, &image);
    EXPECT_EQ(status.error, c.error) << status.message;
    EXPECT_NE(status.message.find(c.message), std::string::npos) << status.message;
    EXPECT_TRUE(image.pixels.empty());
  }
}

// Run-length BMP: runs, literals with their padding, moves and early ends
// of rows and of the image (the pixels passed over keep palette index 0);
// runs and moves past the image are refused.
TEST_F(ImageIoTest, BmpRunLengthEscapesAndBadRuns) {
  const std::vector<uint8_t> stream = {3, 10, 0, 3, 20, 21, 22, 0,  0, 0,  // bottom row
                                       2, 30, 0, 2, 2,  1,  2,  40, 0, 0,  // move right 2, up 1
                                       1, 50, 0, 1};                       // end of image
  const auto bmp = testimg::BmpRle8(6, 4, stream);
  vio::GreyImage image;
  const vio::ReadStatus status = vio::DecodeImage(bmp.data(), bmp.size(), {}, &image);
  ASSERT_TRUE(status.ok()) << status.message;
  EXPECT_EQ(image.pixels, std::vector<uint8_t>({50, 0,  0, 0, 0, 0, 0,  0,  0,  0,  40, 40,
                                                30, 30, 0, 0, 0, 0, 10, 10, 10, 20, 21, 22}));
  auto rle4 = bmp;
  rle4[30] = 2;
  struct Case {
    std::vector<uint8_t> bytes;
    vio::ReadError error;
    std::string message;
  } cases[] = {
      {testimg::BmpRle8(6, 4, {7, 1, 0, 1}), vio::ReadError::kCorrupt, "past the end of a row"},
      {testimg::BmpRle8(6, 4, {3, 1, 0, 4, 1, 2, 3, 4, 0, 1}), vio::ReadError::kCorrupt,
       "past the end of a row"},
      {testimg::BmpRle8(6, 4, {0, 2, 7, 0, 0, 1}), vio::ReadError::kCorrupt, "edge"},
      {testimg::BmpRle8(6, 4, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1}), vio::ReadError::kCorrupt,
       "past the end of a row"},
      {testimg::BmpRle8(6, 4, {6, 1, 0, 0}), vio::ReadError::kCorrupt, "end mark"},
      {rle4, vio::ReadError::kUnsupported, "unsupported format"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases));
    vio::GreyImage refused;
    const vio::ReadStatus why = vio::DecodeImage(c.bytes.data(), c.bytes.size(), {}, &refused);
    EXPECT_EQ(why.error, c.error) << why.message;
    EXPECT_NE(why.message.find(c.message), std::string::npos) << why.message;
    EXPECT_TRUE(refused.pixels.empty());
  }
}

TEST_F(ImageIoTest, FileErrorsSayWhatIsWrong) {
  const std::string dir = testimg::MakeTempDir("file_errors");
  vio::GreyImage image;
  vio::ReadStatus status = vio::ReadImage(dir + "/missing.png", {}, &image);
  EXPECT_EQ(status.error, vio::ReadError::kNotFound);
  EXPECT_EQ(status.message, "no such file");
  status = vio::ReadImage(dir, {}, &image);
  EXPECT_EQ(status.error, vio::ReadError::kUnreadable);
  EXPECT_EQ(status.message, "is a folder");
  ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
  status = vio::ReadImage(dir + "/fifo", {}, &image);
  EXPECT_EQ(status.error, vio::ReadError::kUnreadable);
}

TEST_F(ImageIoTest, WrittenPngsReadBackWithTheirResolution) {
  const std::string dir = testimg::MakeTempDir("write");
  ASSERT_EQ(vio::WritePng(dir + "/grey.png", grey_.data.data(), 37, 45, 1, 500, 250), "");
  vio::GreyImage image;
  ASSERT_TRUE(vio::ReadImage(dir + "/grey.png", {}, &image).ok());
  EXPECT_EQ(image.pixels, grey_.data);
  EXPECT_EQ(image.yppi, 250);

  ASSERT_EQ(vio::WritePng(dir + "/rgb.png", colour_.data.data(), 37, 45, 3, 1000, 1000), "");
  ASSERT_TRUE(vio::ReadImage(dir + "/rgb.png", {}, &image).ok());
  EXPECT_EQ(image.xppi, 1000);
  EXPECT_EQ(image.pixels[0], testimg::Luma(255, 0, 0));
  EXPECT_EQ(image.pixels[44], testimg::Luma(0, 0, 255));

  EXPECT_NE(vio::WritePng(dir + "/no/such/folder.png", grey_.data.data(), 37, 45, 1, 500, 500)
                .find("cannot create file"),
            std::string::npos);
  EXPECT_FALSE(vio::WritePng(dir + "/x.png", grey_.data.data(), 0, 45, 1, 500, 500).empty());
  EXPECT_FALSE(vio::WritePng(dir + "/x.png", grey_.data.data(), 37, 45, 2, 500, 500).empty());
}

}  // namespace
