// Inputs the reader fuzz targets found harmful, as plain cases. The fuzz
// inputs themselves are kept under fuzz/regressions and replayed as well.
#include <gtest/gtest.h>

#if defined(VANTREL_HAVE_IMAGEIO)
#include <string>

#include "image_io.h"

namespace {

vio::ReadStatus Decode(const std::string& bytes, vio::GreyImage* image) {
  return vio::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), {}, image);
}

// A PGM header number of ten or more digits overflowed the decoder's int
// (undefined behaviour, then a garbage size). It is refused as corrupt.
TEST(ReaderRegression, LongHeaderNumbersAreRefused) {
  const std::string pixels(64, '\x80');
  const std::string cases[] = {
      "P5\n8 55555555555555555555 255\n" + pixels,
      "P5\n8\r\r\r5555555555\n255\n" + pixels,
      "P5 2147483648 1 255\n" + pixels,
      "P6\n4 4 99999999999\n" + pixels,
      "P5\n# comment 1234567890123\n8 8 2550000000\n" + pixels,
      // A comment ends at a carriage return too: the digits after it count.
      "P6\n# s\r88888888888888\r6\n# s\n" + pixels,
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.substr(0, 40));
    vio::GreyImage image;
    const vio::ReadStatus status = Decode(bytes, &image);
    EXPECT_EQ(status.error, vio::ReadError::kCorrupt) << status.message;
    EXPECT_TRUE(image.pixels.empty());
  }
  // Nine digits are still read as a number; this one is far too large.
  vio::GreyImage image;
  EXPECT_FALSE(Decode("P5\n8 999999999 255\n" + pixels, &image).ok());
  // An ordinary header still decodes.
  ASSERT_TRUE(Decode("P5\n8 8 255\n" + pixels, &image).ok());
  EXPECT_EQ(image.rows, 8);
  EXPECT_EQ(image.columns, 8);
}

}  // namespace
#endif
