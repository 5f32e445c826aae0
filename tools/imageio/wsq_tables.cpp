#include "wsq_tables.h"

#include <cstdlib>

#include "decoders.h"

namespace vio::wsq {

bool ByteReader::U8(uint8_t* v) {
  if (pos_ >= size_) return false;
  *v = data_[pos_++];
  return true;
}

bool ByteReader::U16(uint16_t* v) {
  if (size_ - pos_ < 2) return false;
  *v = static_cast<uint16_t>(data_[pos_] << 8 | data_[pos_ + 1]);
  pos_ += 2;
  return true;
}

bool ByteReader::U32(uint32_t* v) {
  uint16_t high = 0, low = 0;
  if (size_ - pos_ < 4 || !U16(&high) || !U16(&low)) return false;
  *v = uint32_t{high} << 16 | low;
  return true;
}

bool ByteReader::Take(size_t length, ByteReader* part) {
  if (size_ - pos_ < length) return false;
  *part = ByteReader(data_ + pos_, length);
  pos_ += length;
  return true;
}

float ScaledValue(uint32_t digits, uint8_t scale) {
  float value = static_cast<float>(digits);
  for (int i = 0; i < scale; ++i) value = static_cast<float>(value / 10.0);
  return value;
}

namespace {

const char* const kShort = "segment too short";

ReadStatus Corrupt(const std::string& why) {
  return detail::Failure(ReadError::kCorrupt, "corrupt WSQ: " + why);
}

bool ReadScaled(ByteReader* in, float* value) {
  uint8_t scale = 0;
  uint16_t digits = 0;
  if (!in->U8(&scale) || !in->U16(&digits)) return false;
  *value = ScaledValue(digits, scale);
  return true;
}

// One half of a symmetric filter (centre tap first) from the file, unfolded
// with alternating signs: the file holds the other filter of the analysis
// pair, which becomes this synthesis filter by modulation.
bool ReadFilter(ByteReader* in, int taps, std::vector<float>* filter) {
  filter->assign(taps, 0);
  const int half = (taps - 1) / 2;
  for (int i = 0; i <= half; ++i) {
    uint8_t sign = 0, scale = 0;
    uint32_t digits = 0;
    if (!in->U8(&sign) || !in->U8(&scale) || !in->U32(&digits)) return false;
    float tap = ScaledValue(digits, scale);
    if (sign != 0) tap = -tap;
    if (i % 2 == 1) tap = -tap;
    (*filter)[half + i] = (*filter)[half - i] = tap;
  }
  return true;
}

}  // namespace

ReadStatus ReadSegment(ByteReader* in, ByteReader* body) {
  uint16_t length = 0;
  if (!in->U16(&length)) return Corrupt("truncated in a segment length");
  if (length < 2) return Corrupt("segment length " + std::to_string(length) + " below 2");
  if (!in->Take(length - 2u, body)) return Corrupt("truncated in a segment");
  return ReadStatus{};
}

ReadStatus ParseFrame(ByteReader body, FrameHeader* frame) {
  uint16_t height = 0, width = 0;
  if (!body.U8(&frame->black) || !body.U8(&frame->white) || !body.U16(&height) ||
      !body.U16(&width) || !ReadScaled(&body, &frame->shift) || !ReadScaled(&body, &frame->scale)) {
    return Corrupt(std::string("frame header: ") + kShort);
  }
  frame->width = width;
  frame->height = height;
  return ReadStatus{};
}

ReadStatus ParseTransform(ByteReader body, FilterPair* synthesis) {
  uint8_t highTaps = 0, lowTaps = 0;
  if (!body.U8(&highTaps) || !body.U8(&lowTaps))
    return Corrupt(std::string("transform table: ") + kShort);
  if (highTaps % 2 == 0 || lowTaps % 2 == 0 || highTaps < 3 || lowTaps < 3 ||
      highTaps > kMaxFilterTaps || lowTaps > kMaxFilterTaps) {
    return detail::Failure(ReadError::kUnsupported, "unsupported WSQ wavelet filter lengths " +
                                                        std::to_string(highTaps) + " and " +
                                                        std::to_string(lowTaps));
  }
  // The analysis low pass comes first and gives the synthesis high pass.
  if (!ReadFilter(&body, highTaps, &synthesis->high) ||
      !ReadFilter(&body, lowTaps, &synthesis->low)) {
    return Corrupt(std::string("transform table: ") + kShort);
  }
  return ReadStatus{};
}

ReadStatus ParseQuantisation(ByteReader body, QuantTable* table) {
  if (!ReadScaled(&body, &table->binCenter))
    return Corrupt(std::string("quantisation table: ") + kShort);
  for (int s = 0; s < kSubbandCount; ++s) {
    if (!ReadScaled(&body, &table->bin[s]) || !ReadScaled(&body, &table->zeroBin[s])) {
      return Corrupt(std::string("quantisation table: ") + kShort);
    }
  }
  return ReadStatus{};
}

ReadStatus ParseHuffman(ByteReader body, std::array<HuffmanDecoder, kHuffmanTableIds>* tables,
                        std::array<bool, kHuffmanTableIds>* defined) {
  do {
    uint8_t id = 0;
    HuffmanCodeTable codes;
    if (!body.U8(&id)) return Corrupt(std::string("Huffman table: ") + kShort);
    if (id >= kHuffmanTableIds)
      return Corrupt("Huffman table id " + std::to_string(id) + " out of range");
    size_t total = 0;
    for (uint8_t& count : codes.counts) {
      if (!body.U8(&count)) return Corrupt(std::string("Huffman table: ") + kShort);
      total += count;
    }
    if (total > kMaxHuffmanValues)
      return Corrupt("Huffman table with " + std::to_string(total) + " codes");
    codes.values.resize(total);
    for (uint8_t& v : codes.values) {
      if (!body.U8(&v)) return Corrupt(std::string("Huffman table: ") + kShort);
    }
    if (!(*tables)[id].Build(codes))
      return Corrupt("Huffman table " + std::to_string(id) + " over-full");
    (*defined)[id] = true;
  } while (!body.AtEnd());
  return ReadStatus{};
}

ReadStatus ParseBlockHeader(ByteReader body, uint8_t* tableId) {
  if (!body.U8(tableId)) return Corrupt(std::string("block header: ") + kShort);
  if (*tableId >= kHuffmanTableIds) {
    return Corrupt("block Huffman table id " + std::to_string(*tableId) + " out of range");
  }
  return ReadStatus{};
}

int32_t NistcomPpi(ByteReader body) {
  const std::string text(reinterpret_cast<const char*>(body.Here()), body.Remaining());
  if (text.compare(0, 8, "NIST_COM") != 0) return 0;
  for (size_t line = 0; line < text.size();) {
    size_t end = text.find('\n', line);
    if (end == std::string::npos) end = text.size();
    if (text.compare(line, 4, "PPI ") == 0) {
      const long ppi = std::strtol(text.substr(line + 4, end - line - 4).c_str(), nullptr, 10);
      return ppi > 0 && ppi <= 1000000 ? static_cast<int32_t>(ppi) : 0;
    }
    line = end + 1;
  }
  return 0;
}

}  // namespace vio::wsq
