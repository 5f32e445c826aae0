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
  bool lossless;
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
  using testimg::PngOptions;
  using testimg::TiffOptions;
  const Resolution r500{500, 500};
  const Resolution r1000x500{1000, 500};
  const Resolution perCm{200, 200, true};  // 508 ppi
  return {
      {"png grey 8", testimg::EncodePng(grey, r500), vio::Format::kPng, 500, 500, true},
      {"png grey 16", testimg::EncodePng(grey, r1000x500, PngOptions{16}), vio::Format::kPng, 1000,
       500, true},
      {"png grey interlaced", testimg::EncodePng(grey, r500, PngOptions{8, true}),
       vio::Format::kPng, 500, 500, true},
      {"png rgb 8", testimg::EncodePng(colour, perCm), vio::Format::kPng, 508, 508, true},
      {"png rgb 16 alpha", testimg::EncodePng(colour, r500, PngOptions{16, false, false, true}),
       vio::Format::kPng, 500, 500, true},
      {"png palette", testimg::EncodePng(colour, {}, PngOptions{8, false, true}), vio::Format::kPng,
       0, 0, true},
      {"jpeg grey dpi", testimg::EncodeJpeg(grey, {600, 600}), vio::Format::kJpeg, 600, 600, false},
      {"jpeg rgb dots per cm", testimg::EncodeJpeg(colour, perCm), vio::Format::kJpeg, 508, 508,
       false},
      {"jpeg aspect only", testimg::EncodeJpeg(grey, {}), vio::Format::kJpeg, 0, 0, false},
      {"tiff grey 8 strips", testimg::EncodeTiff(grey, {333, 444}), vio::Format::kTiff, 333, 444,
       true},
      {"tiff grey 16 lzw", testimg::EncodeTiff(grey, r500, TiffOptions{16, 7, false, true}),
       vio::Format::kTiff, 500, 500, true},
      {"tiff grey tiled", testimg::EncodeTiff(grey, r500, TiffOptions{8, 16, true}),
       vio::Format::kTiff, 500, 500, true},
      {"tiff rgb per cm", testimg::EncodeTiff(colour, perCm), vio::Format::kTiff, 508, 508, true},
      {"tiff no resolution", testimg::EncodeTiff(grey, {}), vio::Format::kTiff, 0, 0, true},
      {"bmp grey", testimg::EncodeBmp(grey, {250, 250}), vio::Format::kBmp, 250, 250, true},
      {"bmp rgb", testimg::EncodeBmp(colour, r1000x500), vio::Format::kBmp, 1000, 500, true},
      {"bmp no resolution", testimg::EncodeBmp(grey, {}), vio::Format::kBmp, 0, 0, true},
      {"pgm 8", testimg::EncodePnm(grey), vio::Format::kPnm, 0, 0, true},
      {"pgm 16", testimg::EncodePnm(grey, 65535), vio::Format::kPnm, 0, 0, true},
      {"ppm 8", testimg::EncodePnm(colour), vio::Format::kPnm, 0, 0, true},
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
  const Pixels smooth_ = testimg::Blobs(45, 37);
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
    if (e.lossless) {
      // Colour may differ by one level between libraries' fixed-point weights.
      int worst = 0;
      for (size_t i = 0; i < expected.size(); ++i) {
        worst = std::max(worst, std::abs(int(image.pixels[i]) - int(expected[i])));
      }
      EXPECT_LE(worst, IsColour(e.name) ? 1 : 0);
    }
  }
}

TEST_F(ImageIoTest, LossyJpegStaysCloseToTheOriginal) {
  const auto bytes = testimg::EncodeJpeg(smooth_, {500, 500}, 98);
  vio::GreyImage image;
  ASSERT_TRUE(vio::DecodeImage(bytes.data(), bytes.size(), {}, &image).ok());
  double total = 0;
  for (size_t i = 0; i < smooth_.data.size(); ++i) {
    total += std::abs(int(image.pixels[i]) - int(smooth_.data[i]));
  }
  EXPECT_LT(total / smooth_.data.size(), 3.0);
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

TEST_F(ImageIoTest, AbsurdDimensionsAreRefusedBeforeDecoding) {
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"png wide", testimg::PngHeaderOnly(20001, 10)});
  cases.push_back({"png too many pixels", testimg::PngHeaderOnly(15000, 15000)});
  const std::string pgm = "P5\n30000 100\n255\n";
  cases.push_back({"pgm", std::vector<uint8_t>(pgm.begin(), pgm.end())});
  std::vector<uint8_t> bmp = testimg::EncodeBmp(grey_, {});
  bmp[18] = 0x20, bmp[19] = 0x4e, bmp[20] = 0, bmp[21] = 0;  // width 20000
  bmp[22] = 0x20, bmp[23] = 0x4e, bmp[24] = 0, bmp[25] = 0;  // height 20000
  cases.push_back({"bmp", bmp});
  std::vector<uint8_t> jpeg = testimg::EncodeJpeg(grey_, {});
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xff && jpeg[i + 1] == 0xc0) {  // start of frame: P, height, width
      jpeg[i + 5] = 0xea, jpeg[i + 6] = 0x60;      // 60000
      jpeg[i + 7] = 0x00, jpeg[i + 8] = 0x10;      // 16
      break;
    }
  }
  cases.push_back({"jpeg", jpeg});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vio::GreyImage image;
    const vio::ReadStatus status = vio::DecodeImage(c.bytes.data(), c.bytes.size(), {}, &image);
    EXPECT_EQ(status.error, vio::ReadError::kTooLarge) << status.message;
    EXPECT_NE(status.message.find("exceeds the limit"), std::string::npos) << status.message;
    EXPECT_TRUE(image.pixels.empty());
  }
  // Just inside the limit: the missing data is what is reported.
  const auto inside = testimg::PngHeaderOnly(20000, 10000);
  vio::GreyImage image;
  EXPECT_EQ(vio::DecodeImage(inside.data(), inside.size(), {}, &image).error,
            vio::ReadError::kCorrupt);
}

TEST_F(ImageIoTest, UnsupportedFormatsAreNamed) {
  struct Case {
    std::string bytes;
    std::string expected;
  };
  const Case cases[] = {
      {"GIF89a\x01\x00\x01\x00", "GIF"},
      {std::string("RIFF\x10\x00\x00\x00WEBPVP8 ", 16), "WebP"},
      {"P2\n2 2\n255\n0 0 0 0\n", "P1-P4"},
      {"hello, this is text", "unrecognised"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    vio::GreyImage image;
    const auto* data = reinterpret_cast<const uint8_t*>(c.bytes.data());
    const vio::ReadStatus status = vio::DecodeImage(data, c.bytes.size(), {}, &image);
    EXPECT_EQ(status.error, vio::ReadError::kUnsupported);
    EXPECT_NE(status.message.find(c.expected), std::string::npos) << status.message;
  }
  vio::GreyImage image;
  EXPECT_EQ(vio::DecodeImage(nullptr, 0, {}, &image).message, "file is empty");
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
  testimg::WriteFile(dir + "/really_a_bmp.png", testimg::EncodeBmp(grey_, {300, 300}));
  status = vio::ReadImage(dir + "/really_a_bmp.png", {}, &image);
  ASSERT_TRUE(status.ok()) << status.message;
  EXPECT_EQ(image.format, vio::Format::kBmp);
  EXPECT_EQ(image.xppi, 300);
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
