// The WSQ codec: decoding against the reference decoder's output, encoding
// real slaps at the usual rate, and damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>

#include "image_io.h"
#include "wsq_codec.h"
#include "wsq_tables.h"

namespace {

const std::string kData = VANTREL_SOURCE_DIR "/tests/tools/wsq_data/";
const std::string kReal = VANTREL_SOURCE_DIR "/samples/real/";

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}

vio::GreyImage Read(const std::string& path) {
  vio::GreyImage image;
  const vio::ReadStatus status = vio::ReadImage(path, {}, &image);
  EXPECT_TRUE(status.ok()) << path << ": " << status.message;
  return image;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double squares = 0;
  for (size_t i = 0; i < a.size(); ++i) squares += (a[i] - b[i]) * (a[i] - b[i]);
  return 10 * std::log10(255.0 * 255.0 * a.size() / squares);
}

// Offset of the first occurrence of `marker` (with the first bytes of its
// segment, to skip look-alikes in table data).
size_t Find(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& marker) {
  const auto at = std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end());
  EXPECT_NE(at, bytes.end());
  return at - bytes.begin();
}

TEST(Wsq, DecodesAsTheReferenceDecoder) {
  const vio::GreyImage wsq = Read(kData + "finger_sample.wsq");
  const vio::GreyImage reference = Read(kData + "finger_sample_reference.png");
  EXPECT_EQ(wsq.format, vio::Format::kWsq);
  EXPECT_EQ(wsq.xppi, 500);
  EXPECT_EQ(wsq.resolutionSource, vio::ResolutionSource::kFile);
  ASSERT_EQ(wsq.rows, reference.rows);
  ASSERT_EQ(wsq.columns, reference.columns);
  size_t same = 0;
  for (size_t i = 0; i < wsq.pixels.size(); ++i) {
    ASSERT_LE(std::abs(wsq.pixels[i] - reference.pixels[i]), 1) << "pixel " << i;
    same += wsq.pixels[i] == reference.pixels[i];
  }
  EXPECT_GE(same, 0.999 * wsq.pixels.size());
}

TEST(Wsq, EncodesRealSlapsAtTheRequestedRate) {
  for (const char* name : {"nist_card_left_500ppi.png", "livescan_right_500ppi.png"}) {
    SCOPED_TRACE(name);
    const vio::GreyImage slap = Read(kReal + name);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(vio::EncodeWsq(slap.pixels.data(), slap.rows, slap.columns, 500, 0.75, &bytes), "");
    EXPECT_NEAR(bytes.size(), 0.75 * slap.pixels.size() / 8, 0.1 * 0.75 * slap.pixels.size() / 8);
    vio::GreyImage back;
    ASSERT_TRUE(vio::DecodeImage(bytes.data(), bytes.size(), {}, &back).ok());
    ASSERT_EQ(back.pixels.size(), slap.pixels.size());
    EXPECT_GE(Psnr(slap.pixels, back.pixels), 36.0);
    EXPECT_EQ(back.xppi, 500);
  }
}

TEST(Wsq, WrittenFileCarriesItsResolution) {
  const vio::GreyImage finger = Read(kData + "finger_sample_reference.png");
  const std::string path = ::testing::TempDir() + "/written.wsq";
  ASSERT_EQ(vio::WriteWsq(path, finger.pixels.data(), finger.rows, finger.columns, 1000, 2.0), "");
  const vio::GreyImage back = Read(path);
  EXPECT_EQ(back.format, vio::Format::kWsq);
  EXPECT_EQ(back.xppi, 1000);
  EXPECT_GT(Psnr(finger.pixels, back.pixels), 45.0);
  EXPECT_NE(vio::WriteWsq(path, finger.pixels.data(), 40, 40, 500, 0.75), "");  // too small
}

// Encodes and decodes; the decoded pixels, or empty on failure.
std::vector<uint8_t> RoundTrip(const std::vector<uint8_t>& pixels, int32_t rows, int32_t columns,
                               double bitsPerPixel, size_t* bytesOut = nullptr) {
  std::vector<uint8_t> bytes;
  EXPECT_EQ(vio::EncodeWsq(pixels.data(), rows, columns, 500, bitsPerPixel, &bytes), "");
  if (bytesOut) *bytesOut = bytes.size();
  vio::GreyImage back;
  const vio::ReadStatus status = vio::DecodeImage(bytes.data(), bytes.size(), {}, &back);
  EXPECT_TRUE(status.ok()) << status.message;
  return back.pixels;
}

// Flat and two-level images: no spread to scale by, no coefficients to code.
TEST(Wsq, ExtremeImagesSurviveTheRoundTrip) {
  const int32_t rows = 130, columns = 97;
  std::vector<uint8_t> flat(rows * columns, 77), stripes(rows * columns);
  for (size_t i = 0; i < stripes.size(); ++i) stripes[i] = (i % columns / 9) % 2 ? 255 : 0;
  EXPECT_EQ(RoundTrip(flat, rows, columns, 0.75), flat);
  const std::vector<uint8_t> back = RoundTrip(stripes, rows, columns, 3.0);
  ASSERT_EQ(back.size(), stripes.size());
  EXPECT_GT(Psnr(stripes, back), 25.0);
}

// Every prefix of a file (long enough to be recognised) fails cleanly.
TEST(Wsq, EveryTruncationFails) {
  const std::vector<uint8_t> good =
      ReadBytes(VANTREL_SOURCE_DIR "/fuzz/corpus/wsq/encoded_88x80.wsq");
  ASSERT_GT(good.size(), 500u);
  vio::GreyImage image;
  ASSERT_TRUE(vio::DecodeImage(good.data(), good.size(), {}, &image).ok());
  for (size_t n = 2; n < good.size(); ++n) {
    const vio::ReadStatus status = vio::DecodeImage(good.data(), n, {}, &image);
    ASSERT_EQ(status.error, vio::ReadError::kCorrupt) << n << ": " << status.message;
    ASSERT_TRUE(image.pixels.empty());
  }
}

// The resolution: NISTCOM's PPI when it has a usable one, else the default;
// a caller's override beats both.
TEST(Wsq, ResolutionComesFromTheNistcomComment) {
  const std::vector<uint8_t> good = ReadBytes(kData + "finger_sample.wsq");
  const size_t ppi = Find(good, {'P', 'P', 'I', ' '}) + 4;
  auto withPpi = [&](const char* digits) {
    std::vector<uint8_t> bytes = good;
    std::copy(digits, digits + 3, bytes.begin() + ppi);
    return bytes;
  };
  std::vector<uint8_t> noNistcom = good;
  noNistcom[6] = 'X';  // "NIST_COM" becomes "XIST_COM", an ordinary comment
  const struct {
    std::vector<uint8_t> bytes;
    vio::ResolutionOverride override;
    int32_t ppi;
    vio::ResolutionSource source;
  } cases[] = {
      {withPpi("600"), {}, 600, vio::ResolutionSource::kFile},
      {withPpi("-1\n"), {}, vio::kDefaultPpi, vio::ResolutionSource::kDefault},
      {noNistcom, {}, vio::kDefaultPpi, vio::ResolutionSource::kDefault},
      {good, {1000, 1000}, 1000, vio::ResolutionSource::kFlag},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    vio::GreyImage image;
    ASSERT_TRUE(vio::DecodeImage(c.bytes.data(), c.bytes.size(), c.override, &image).ok());
    EXPECT_EQ(image.xppi, c.ppi);
    EXPECT_EQ(image.yppi, c.ppi);
    EXPECT_EQ(image.resolutionSource, c.source);
  }
}

TEST(Wsq, DamagedFilesGiveAClearError) {
  const std::vector<uint8_t> good = ReadBytes(kData + "finger_sample.wsq");
  const size_t frame = Find(good, {0xff, 0xa2, 0x00, 0x11});
  const size_t transform = Find(good, {0xff, 0xa4, 0x00, 0x3a});
  const size_t huffman = Find(good, {0xff, 0xa6});
  const size_t block = Find(good, {0xff, 0xa3});
  auto cut = [&](size_t n) { return std::vector<uint8_t>(good.begin(), good.begin() + n); };
  auto patch = [&](size_t at, std::vector<uint8_t> with) {
    std::vector<uint8_t> bytes = good;
    std::copy(with.begin(), with.end(), bytes.begin() + at);
    return bytes;
  };
  using E = vio::ReadError;
  const struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    E error;
    const char* message;
  } cases[] = {
      {"start marker only", cut(2), E::kCorrupt, "truncated before a marker"},
      {"cut in the comment", cut(40), E::kCorrupt, "truncated in a segment"},
      {"cut in the frame header", cut(frame + 8), E::kCorrupt, "truncated in a segment"},
      {"cut in the first block", cut(block + 200), E::kCorrupt, "truncated in the coded data"},
      {"end marker missing", cut(good.size() - 2), E::kCorrupt, "truncated"},
      {"unknown marker", patch(transform, {0xff, 0xb0}), E::kCorrupt, "unexpected marker FFB0"},
      {"segment length 1", patch(transform + 2, {0, 1}), E::kCorrupt, "below 2"},
      {"zero width", patch(frame + 8, {0, 0}), E::kCorrupt, "no pixels"},
      {"too large", patch(frame + 6, {0xff, 0xff}), E::kTooLarge, "exceeds the limit"},
      {"even filter", patch(transform + 4, {8}), E::kUnsupported, "filter lengths"},
      {"Huffman table id 9", patch(huffman + 4, {9}), E::kCorrupt, "out of range"},
      {"over-full Huffman table", patch(huffman + 5, {3, 0, 0, 0}), E::kCorrupt, "over-full"},
      {"block with undefined table", patch(block + 4, {5}), E::kCorrupt, "undefined Huffman"},
      {"coded data damaged", patch(block + 300, std::vector<uint8_t>(64, 0)), E::kCorrupt,
       "coefficients"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    vio::GreyImage image;
    const vio::ReadStatus status = vio::DecodeImage(c.bytes.data(), c.bytes.size(), {}, &image);
    EXPECT_EQ(status.error, c.error) << status.message;
    EXPECT_NE(status.message.find(c.message), std::string::npos) << status.message;
    EXPECT_TRUE(image.pixels.empty());
  }
}

}  // namespace
