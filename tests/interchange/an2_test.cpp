#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "an2_images.h"
#include "an2_segments.h"
#include "an2_transaction.h"

namespace {

using an2::Record;
using an2::Transaction;

std::string Load(const std::string& name, const std::string& dir = VANTREL_AN2_DATA_DIR) {
  std::ifstream in(dir + "/" + name, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

vio::ReadStatus Parse(const std::string& bytes, Transaction* t) {
  return an2::ParseTransaction(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), t);
}

std::string Serialize(const Transaction& t) {
  std::string bytes, error;
  EXPECT_TRUE(an2::SerializeTransaction(t, &bytes, &error)) << error;
  return bytes;
}

// Serialised and parsed again.
Transaction Reparsed(const Transaction& t) {
  Transaction back;
  const vio::ReadStatus status = Parse(Serialize(t), &back);
  EXPECT_TRUE(status.ok()) << status.message;
  return back;
}

Record Tagged(int type, std::vector<std::pair<int, std::string>> fields) {
  Record record;
  record.type = type;
  an2::SetField(&record, an2::kLengthField, "0");
  for (const auto& [number, value] : fields) an2::SetField(&record, number, value);
  return record;
}

// Type-1, Type-2, a 3 x 2 uncompressed Type-4 slap (FGP 13) and a 3 x 2
// uncompressed Type-14 slap (FGP 14, 197 pixels per cm, finger 7 amputated).
Transaction Small() {
  Transaction t;
  t.records.push_back(Tagged(1, {{2, "0400"}, {3, ""}, {11, "19.69"}, {12, "19.69"}}));
  t.records.push_back(Tagged(2, {{2, "00"}}));
  Record type4;
  type4.type = 4;
  type4.header = std::string("\x01\x01\x0d\xff\xff\xff\xff\xff\x00\x00\x03\x00\x02\x00", 14);
  type4.data = "\x10\x20\x30\x40\x50\x60";
  t.records.push_back(type4);
  t.records.push_back(Tagged(14, {{2, "02"},
                                  {3, "0"},
                                  {6, "3"},
                                  {7, "2"},
                                  {8, "2"},
                                  {9, "197"},
                                  {10, "197"},
                                  {11, "NONE"},
                                  {12, "8"},
                                  {13, "14"},
                                  {18, "7\x1fXX"},
                                  {999, "abcdef"}}));
  return t;
}

TEST(An2Test, RealTransactionsRoundTripByteForByte) {
  const struct {
    const char* file;
    size_t records;
  } cases[] = {{"nist_sample.an2", 16}, {"nist_type-4-14-slaps.an2", 5}, {"valid1.8.an2", 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string bytes = Load(c.file);
    Transaction t;
    const vio::ReadStatus status = Parse(bytes, &t);
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(t.records.size(), c.records);
    EXPECT_TRUE(Serialize(t) == bytes);
  }
}

// Each slap record is described from its fields; where a reference image of
// it exists, it decodes to that image (WSQ is lossy: within one grey level).
TEST(An2Test, SlapRecordsAreDescribedAndDecodeToTheReferenceImages) {
  const std::string real = std::string(VANTREL_SOURCE_DIR) + "/samples/real/";
  const struct {
    const char* file;
    size_t record;  // 1-based, the Type-1 record being 1
    int type, position, columns, rows;
    std::string reference;  // empty: none
  } cases[] = {
      {"nist_sample.an2", 13, 4, 14, 1608, 1000, real + "nist_card_left_500ppi.png"},
      {"nist_sample.an2", 16, 4, 13, 1572, 1000, real + "nist_card_right_500ppi.png"},
      {"nist_type-4-14-slaps.an2", 3, 4, 14, 1608, 1000, ""},
      {"nist_type-4-14-slaps.an2", 5, 14, 15, 804, 1000,
       std::string(VANTREL_AN2_DATA_DIR) + "/nist_card_thumbs_500ppi.png"},
      {"valid1.8.an2", 3, 14, 13, 1800, 1000, ""},
      {"valid1.8.an2", 5, 14, 15, 1800, 900, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " record " + std::to_string(c.record));
    Transaction t;
    ASSERT_TRUE(Parse(Load(c.file), &t).ok());
    an2::ImageRecord description;
    ASSERT_TRUE(an2::DescribeImageRecord(t, c.record - 1, &description).ok());
    EXPECT_EQ(description.type, c.type);
    EXPECT_EQ(description.positions, std::vector<int>{c.position});
    EXPECT_EQ(std::vector<int>(
                  {description.columns, description.rows, description.xppi, description.yppi}),
              std::vector<int>({c.columns, c.rows, 500, 500}));
    EXPECT_EQ(description.compression, an2::Compression::kWsq);
    if (c.reference.empty()) continue;
    vio::GreyImage image, reference;
    const vio::ReadStatus status = an2::DecodeImageRecord(t, description, &image);
    ASSERT_TRUE(status.ok()) << status.message;
    ASSERT_TRUE(vio::ReadImage(c.reference, {}, &reference).ok());
    ASSERT_EQ(std::make_pair(image.columns, image.rows),
              std::make_pair(reference.columns, reference.rows));
    size_t identical = 0, near = 0;
    for (size_t i = 0; i < image.pixels.size(); ++i) {
      const int difference = std::abs(image.pixels[i] - reference.pixels[i]);
      identical += difference == 0;
      near += difference <= 1;
    }
    EXPECT_EQ(near, image.pixels.size());
    EXPECT_GE(identical, image.pixels.size() * 999 / 1000);
  }
}

// Uncompressed Type-4 and Type-14 records (the latter in pixels per cm, with
// an amputated finger) and a lossless JPEG 2000 one (the fuzz seed's ramp of
// 5 levels a pixel) decode exactly.
TEST(An2Test, UncompressedAndJpeg2000RecordsDecodeWithTheirResolution) {
  std::vector<uint8_t> ramp(24 * 16);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(i * 5);
  Transaction jpeg2000;
  ASSERT_TRUE(Parse(Load("jpeg2000", VANTREL_SOURCE_DIR "/fuzz/corpus/an2"), &jpeg2000).ok());
  const Transaction small = Reparsed(Small());
  const struct {
    Transaction t;
    size_t index;
    int columns, rows;
    std::vector<uint8_t> pixels;
    std::vector<int> missing;
  } cases[] = {{small, 2, 3, 2, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60}, {}},
               {small, 3, 3, 2, {'a', 'b', 'c', 'd', 'e', 'f'}, {7}},
               {jpeg2000, 1, 24, 16, ramp, {2}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index * 100 + c.columns);
    an2::ImageRecord description;
    ASSERT_TRUE(an2::DescribeImageRecord(c.t, c.index, &description).ok());
    vio::GreyImage image;
    const vio::ReadStatus status = an2::DecodeImageRecord(c.t, description, &image);
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(std::make_pair(image.columns, image.rows), std::make_pair(c.columns, c.rows));
    EXPECT_EQ(image.pixels, c.pixels);
    EXPECT_EQ(image.xppi, 500);
    EXPECT_EQ(description.missing, c.missing);
  }
}

TEST(An2Test, ChangedRecordsGetTheirLengthsAndTheRecordListRecomputed) {
  const std::string original = Load("nist_sample.an2");
  Transaction t;
  ASSERT_TRUE(Parse(original, &t).ok());
  // Type-2's length of 57 grows to three digits.
  an2::SetField(&t.records[1], 10, std::string(60, 'x'));
  const std::string slapData = t.records[12].data;
  ASSERT_TRUE(an2::CarryAsType14(&t, 12).ok());
  const Transaction back = Reparsed(t);
  ASSERT_EQ(back.records.size(), 16u);
  EXPECT_EQ(an2::FindField(back.records[1], 1)->value, "125");
  EXPECT_EQ(an2::FindField(back.records[0], 3)->value.substr(0, 9),
            "1\x1f"
            "15\x1e"
            "2\x1f"
            "00");
  EXPECT_NE(an2::FindField(back.records[0], 3)
                ->value.find("\x1e"
                             "14\x1f"
                             "11\x1e"),
            std::string::npos);
  an2::ImageRecord slap;
  ASSERT_TRUE(an2::DescribeImageRecord(back, 12, &slap).ok());
  EXPECT_EQ(slap.type, 14);
  EXPECT_EQ(slap.idc, 11);
  EXPECT_EQ(slap.impression, 2);
  EXPECT_EQ(slap.positions, std::vector<int>{14});
  EXPECT_EQ(slap.columns, 1608);
  EXPECT_EQ(slap.xppi, 500);
  EXPECT_EQ(slap.compressionCode, "WSQ20");
  EXPECT_TRUE(an2::FindField(back.records[12], an2::kDataField)->value == slapData);
  // The records left alone keep their bytes.
  EXPECT_TRUE(back.records[15].data == t.records[15].data);
}

TEST(An2Test, SegmentsAndFingerRecordsReadBack) {
  Transaction t;
  ASSERT_TRUE(Parse(Load("valid1.8.an2"), &t).ok());
  const std::vector<an2::FingerSegment> segments = {
      {2, 180, 470, 280, 690, {{180, 300}, {460, 280}, {470, 670}, {190, 690}}},
      {3, 470, 760, 0, 360, {}},
  };
  an2::SetSegments(&t.records[2], segments);
  an2::FingerImage finger{2, 290, 410, 500, an2::Compression::kWsq, std::string("\xff\xa0", 2)};
  ASSERT_TRUE(an2::AppendFingerRecord(&t, 2, finger).ok());
  const Transaction back = Reparsed(t);
  ASSERT_EQ(back.records.size(), 6u);
  std::vector<an2::FingerSegment> read;
  ASSERT_TRUE(an2::ReadSegments(back.records[2], &read).ok());
  ASSERT_EQ(read.size(), 2u);
  for (size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].position, segments[i].position);
    EXPECT_EQ(std::vector<int>({read[i].left, read[i].right, read[i].top, read[i].bottom}),
              std::vector<int>(
                  {segments[i].left, segments[i].right, segments[i].top, segments[i].bottom}));
    EXPECT_EQ(read[i].outline, segments[i].outline);
  }
  an2::ImageRecord added;
  ASSERT_TRUE(an2::DescribeImageRecord(back, 5, &added).ok());
  EXPECT_EQ(added.idc, 4);
  EXPECT_EQ(added.impression, 0);
  EXPECT_EQ(added.positions, std::vector<int>{2});
  EXPECT_EQ(std::vector<int>({added.columns, added.rows, added.xppi}),
            std::vector<int>({290, 410, 500}));
  EXPECT_EQ(an2::FindField(back.records[5], 4)->value, "123456789");
}

std::string Replaced(std::string bytes, const std::string& from, const std::string& to) {
  const size_t at = bytes.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? bytes : bytes.replace(at, from.size(), to);
}

TEST(An2Test, DamagedTransactionsGiveAClearError) {
  const std::string good = Serialize(Small());
  const std::string length = "1.001:" + an2::FindField(Reparsed(Small()).records[0], 1)->value;
  const size_t type4 = good.find(std::string("\x01\x01\x0d\xff", 4)) - 4;
  const auto withBinaryLength = [&](uint32_t length) {
    std::string bytes = good;
    for (int i = 0; i < 4; ++i) bytes[type4 + i] = static_cast<char>(length >> (24 - 8 * i));
    return bytes;
  };
  const struct {
    const char* name;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"empty", "", "does not begin with field 1.001"},
      {"another format", "\x89PNG\r\n\x1a\n", "does not begin with field 1.001"},
      {"length not a number", Replaced(good, "1.001:", "1.001:x"), "is not a number"},
      {"length beyond the end", Replaced(good, "1.001:", "1.001:9"), "(truncated?)"},
      {"length inside its own field",
       Replaced(good, length, "1.001:" + std::string(length.size() - 7, '0') + "5"),
       "shorter than its own length field"},
      {"no record list", Replaced(good, "1.003:", "1.033:"), "lacks its record list"},
      {"record count",
       Replaced(good,
                "1\x1f"
                "3\x1e",
                "1\x1f"
                "4\x1e"),
       "does not begin with 1 and the count"},
      {"record type",
       Replaced(good,
                "\x1e"
                "2\x1f",
                "\x1e"
                "0\x1f"),
       "not a record type"},
      {"IDC unlike the list", Replaced(good, "2.002:00", "2.002:07"), "where field 1.003 lists 0"},
      {"record missing", good.substr(0, good.find("14.001:")), "ends before record 4 (Type-14)"},
      {"trailing bytes", good + "xyz", "3 bytes follow the last record"},
      {"early end", Replaced(good, "2.002:00\x1c", "2.002:0\x1c\x1c"), "ends at byte"},
      {"no end", Replaced(good, "2.002:00\x1c", "2.002:000"), "does not end with a file"},
      {"foreign field", Replaced(good, "2.002:", "3.002:"), "of another record type"},
      {"no IDC", Replaced(good, "2.002:", "2.003:"), "lacks its IDC"},
      {"malformed tag", Replaced(good, "2.002:", "2x002:"), "malformed field tag"},
      {"binary length beyond the end", withBinaryLength(0xFFFFFF), "(truncated?)"},
      {"binary length inside the header", withBinaryLength(17), "shorter than its header"},
      {"binary header cut", good.substr(0, type4 + 10), "is cut short"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Transaction t;
    const vio::ReadStatus status = Parse(c.bytes, &t);
    EXPECT_EQ(status.error, vio::ReadError::kCorrupt);
    EXPECT_NE(status.message.find(c.message), std::string::npos) << status.message;
    EXPECT_TRUE(t.records.empty());
  }
  // Every shorter prefix fails the same way.
  for (size_t size = 0; size < good.size(); ++size) {
    Transaction t;
    const vio::ReadStatus status = Parse(good.substr(0, size), &t);
    EXPECT_FALSE(status.ok() || status.message.empty()) << size;
  }
}

TEST(An2Test, DamagedImageFieldsGiveAClearError) {
  const struct {
    const char* name;
    int field;
    const char* value;
    const char* message;
  } cases[] = {
      {"width", 6, "wide", "field 14.006 is not a number"},
      {"no pixels", 7, "0", "image has no pixels"},
      {"beyond the size limit", 6, "900000", "beyond the size limit"},
      {"short data", 999, "abc", "holds 3 bytes, 6 expected"},
      {"unknown compression", 11, "LZW", "compression LZW is not read"},
      {"damaged JPEG 2000", 11, "JP2", "corrupt JPEG 2000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Transaction t = Small();
    an2::SetField(&t.records[3], c.field, c.value);
    t = Reparsed(t);
    an2::ImageRecord description;
    vio::GreyImage image;
    vio::ReadStatus status = an2::DescribeImageRecord(t, 3, &description);
    if (status.ok()) status = an2::DecodeImageRecord(t, description, &image);
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.message.find(c.message), std::string::npos) << status.message;
    EXPECT_TRUE(image.pixels.empty());
  }
}

}  // namespace
