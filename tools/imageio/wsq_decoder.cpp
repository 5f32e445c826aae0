// WSQ decoding: the marker loop, the entropy-coded blocks, dequantisation,
// wavelet reconstruction and the conversion to 8-bit grey, rounded as the
// reference decoder rounds. Coefficients are collected before the image is
// allocated, so a size field alone never drives an allocation.
#include <cstdio>

#include "decoders.h"
#include "wsq_codec.h"
#include "wsq_tables.h"

namespace vio {
namespace wsq {
namespace {

ReadStatus Corrupt(const std::string& why) {
  return detail::Failure(ReadError::kCorrupt, "corrupt WSQ: " + why);
}

std::string Hex(uint16_t marker) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", marker);
  return text;
}

// Bits of an entropy-coded block, most significant first, read ahead into a
// buffer. 0xFF 0x00 stands for a data byte 0xFF; 0xFF followed by anything
// else is a marker, which ends the block when a code needs bits beyond it.
class BitReader {
 public:
  enum Stop { kData, kMarker, kEnd };

  explicit BitReader(ByteReader* in) : in_(in) {}

  // Buffers at least 16 bits unless a marker or the end of the data comes
  // first.
  void Fill() {
    while (count_ <= 56 && stop_ == kData) {
      uint8_t byte = 0, next = 0;
      if (!in_->U8(&byte)) {
        stop_ = kEnd;
      } else if (byte == 0xFF && !in_->U8(&next)) {
        stop_ = kEnd;
      } else if (byte == 0xFF && next != 0) {
        marker_ = static_cast<uint16_t>(0xFF00 | next);
        stop_ = kMarker;
      } else {
        bits_ = bits_ << 8 | byte;
        count_ += 8;
      }
    }
  }
  int available() const { return count_; }
  uint32_t Peek(int n) const {
    return static_cast<uint32_t>(bits_ >> (count_ - n)) & ((1u << n) - 1);
  }
  void Skip(int n) { count_ -= n; }
  Stop stop() const { return stop_; }
  uint16_t marker() const { return marker_; }

 private:
  ByteReader* in_;
  uint64_t bits_ = 0;
  int count_ = 0;
  Stop stop_ = kData;
  uint16_t marker_ = 0;
};

struct Tables {
  FilterPair synthesis;
  bool haveTransform = false;
  QuantTable quant;
  bool haveQuant = false;
  std::array<HuffmanDecoder, kHuffmanTableIds> huffman;
  std::array<bool, kHuffmanTableIds> haveHuffman{};
  int32_t ppi = 0;
};

ReadStatus OutOfBits(const BitReader& bits) {
  if (bits.stop() == BitReader::kEnd) return Corrupt("truncated in the coded data");
  return Corrupt("marker inside a coded value");
}

// The next symbol: by table for short codes, bit by bit for long ones.
// Returns -1 at the marker that ends the block, -2 for an invalid code.
int NextSymbol(BitReader* bits, const HuffmanDecoder& table) {
  if (bits->available() < kMaxCodeLength) bits->Fill();
  if (bits->available() >= HuffmanDecoder::kFastBits) {
    const uint16_t entry = table.fast[bits->Peek(HuffmanDecoder::kFastBits)];
    if (entry != 0) {
      bits->Skip(entry >> 8);
      return entry & 0xFF;
    }
  }
  int32_t code = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    if (bits->available() == 0) return bits->stop() == BitReader::kMarker ? -1 : -2;
    code = code << 1 | static_cast<int32_t>(bits->Peek(1));
    bits->Skip(1);
    if (code <= table.maxCode[length]) {
      return table.values[table.valueIndex[length] + code - table.minCode[length]];
    }
  }
  return -2;
}

int ExtraBits(int symbol) {
  switch (symbol) {
    case kPlus8:
    case kMinus8:
    case kRun8: return 8;
    case kPlus16:
    case kMinus16:
    case kRun16: return 16;
    default: return 0;
  }
}

// Appends what a symbol (with its extra bits) stands for: zero runs or one
// value. The reference decoder's 16-bit wrap-around is kept.
ReadStatus AppendSymbol(int symbol, uint32_t extra, size_t capacity, std::vector<int16_t>* q) {
  size_t zeros = 0;
  if (symbol >= 1 && symbol <= kMaxZeroRunSymbol) {
    zeros = symbol;
  } else if (symbol == kRun8 || symbol == kRun16) {
    zeros = extra;
  } else {
    int32_t value = 0;
    if (symbol == kPlus8 || symbol == kPlus16) {
      value = static_cast<int16_t>(extra);
    } else if (symbol == kMinus8 || symbol == kMinus16) {
      value = static_cast<int16_t>(-static_cast<int32_t>(extra));
    } else if (symbol > kRun16 && symbol < 0xFF) {
      value = symbol - kValueOffset;
    } else {
      return Corrupt("invalid coefficient symbol " + std::to_string(symbol));
    }
    if (q->size() >= capacity) return Corrupt("more coefficients than the subbands hold");
    q->push_back(static_cast<int16_t>(value));
    return ReadStatus{};
  }
  if (capacity - q->size() < zeros) return Corrupt("more coefficients than the subbands hold");
  q->resize(q->size() + zeros, 0);
  return ReadStatus{};
}

// Coefficient symbols of one block until the marker that ends it, appended
// to `q` (at most `capacity` in all). *end receives that marker.
ReadStatus DecodeBlock(ByteReader* in, const HuffmanDecoder& table, size_t capacity,
                       std::vector<int16_t>* q, uint16_t* end) {
  BitReader bits(in);
  for (;;) {
    const int symbol = NextSymbol(&bits, table);
    if (symbol == -1) {
      *end = bits.marker();
      return ReadStatus{};
    }
    if (symbol == -2) {
      return bits.available() == 0 ? OutOfBits(bits) : Corrupt("invalid Huffman code");
    }
    const int extraBits = ExtraBits(symbol);
    if (bits.available() < extraBits) bits.Fill();
    if (bits.available() < extraBits) return OutOfBits(bits);
    const uint32_t extra = extraBits > 0 ? bits.Peek(extraBits) : 0;
    bits.Skip(extraBits);
    ReadStatus status = AppendSymbol(symbol, extra, capacity, q);
    if (!status.ok()) return status;
  }
}

ReadStatus ReadTable(uint16_t marker, ByteReader* in, Tables* t) {
  ByteReader body(nullptr, 0);
  ReadStatus status = ReadSegment(in, &body);
  if (!status.ok()) return status;
  switch (marker) {
    case kDtt: t->haveTransform = true; return ParseTransform(body, &t->synthesis);
    case kDqt: t->haveQuant = true; return ParseQuantisation(body, &t->quant);
    case kDht: return ParseHuffman(body, &t->huffman, &t->haveHuffman);
    case kDrt: return ReadStatus{};  // restart intervals are not used by the block coding
    case kCom:
      if (t->ppi == 0) t->ppi = NistcomPpi(body);
      return ReadStatus{};
  }
  return Corrupt("unexpected marker " + Hex(marker));
}

bool IsTable(uint16_t marker) {
  return marker >= kDtt && marker <= kCom;
}

ReadStatus ReadMarker(ByteReader* in, uint16_t* marker) {
  if (!in->U16(marker)) return Corrupt("truncated before a marker");
  return ReadStatus{};
}

// Tables and blocks after the frame header, up to the end marker.
ReadStatus ReadBlocks(ByteReader* in, const Layout& layout, Tables* t, std::vector<int16_t>* q) {
  uint16_t marker = 0;
  ReadStatus status = ReadMarker(in, &marker);
  size_t capacity = 0;
  bool started = false;
  while (status.ok() && marker != kEoi) {
    if (IsTable(marker)) {
      if (marker == kDqt && started) return Corrupt("quantisation table between blocks");
      status = ReadTable(marker, in, t);
      if (status.ok()) status = ReadMarker(in, &marker);
      continue;
    }
    if (marker != kSob) return Corrupt("unexpected marker " + Hex(marker));
    if (!t->haveQuant) return Corrupt("block before the quantisation table");
    if (!started) capacity = static_cast<size_t>(CodedCoefficients(layout, t->quant));
    started = true;
    ByteReader body(nullptr, 0);
    uint8_t id = 0;
    status = ReadSegment(in, &body);
    if (status.ok()) status = ParseBlockHeader(body, &id);
    if (status.ok() && !t->haveHuffman[id]) {
      return Corrupt("block uses undefined Huffman table " + std::to_string(id));
    }
    if (status.ok()) status = DecodeBlock(in, t->huffman[id], capacity, q, &marker);
  }
  if (!status.ok()) return status;
  if (!started || q->size() != capacity) return Corrupt("coded data ends early");
  return status;
}

// Tables up to and including the frame header.
ReadStatus ReadHeader(ByteReader* in, Tables* t, FrameHeader* frame) {
  uint16_t marker = 0;
  if (!in->U16(&marker) || marker != kSoi) return Corrupt("no start-of-image marker");
  for (;;) {
    ReadStatus status = ReadMarker(in, &marker);
    if (status.ok() && marker == kSof) {
      ByteReader body(nullptr, 0);
      status = ReadSegment(in, &body);
      return status.ok() ? ParseFrame(body, frame) : status;
    }
    if (status.ok()) {
      status =
          IsTable(marker) ? ReadTable(marker, in, t) : Corrupt("unexpected marker " + Hex(marker));
    }
    if (!status.ok()) return status;
  }
}

// Pixel = sample * scale + shift, rounded half up and clamped; single
// precision except for the half, which the reference adds in double.
void ToPixels(const std::vector<float>& samples, const FrameHeader& frame, uint8_t* out) {
  for (size_t i = 0; i < samples.size(); ++i) {
    float v = samples[i] * frame.scale + frame.shift;
    v = static_cast<float>(v + 0.5);
    out[i] = !(v >= 0) ? 0 : v > 255 ? 255 : static_cast<uint8_t>(v);
  }
}

}  // namespace
}  // namespace wsq

namespace detail {

ReadStatus DecodeWsq(const uint8_t* data, size_t size, GreyImage* image, FileResolution* res) {
  using namespace wsq;
  ByteReader in(data, size);
  Tables tables;
  FrameHeader frame;
  ReadStatus status = ReadHeader(&in, &tables, &frame);
  if (status.ok()) status = CheckDimensions(frame.width, frame.height);
  if (!status.ok()) return status;
  const Layout layout = MakeLayout(frame.width, frame.height);
  std::vector<int16_t> q;
  status = ReadBlocks(&in, layout, &tables, &q);
  if (!status.ok()) return status;
  if (!tables.haveTransform) return Corrupt("no transform table");
  if (!LayoutFits(layout, tables.synthesis, false)) {
    return detail::Failure(ReadError::kUnsupported,
                           "WSQ image of " + std::to_string(frame.width) + " x " +
                               std::to_string(frame.height) +
                               " pixels cannot be reconstructed with its wavelet filters "
                               "(image too small or unsupported filter pair)");
  }
  std::vector<float> samples(static_cast<size_t>(layout.nodes[0].rect.Area()), 0.0f);
  Dequantise(q.data(), layout, tables.quant, samples.data(), frame.width);
  Reconstruct(samples.data(), frame.width, layout, tables.synthesis);
  image->rows = frame.height;
  image->columns = frame.width;
  image->pixels.resize(samples.size());
  ToPixels(samples, frame, image->pixels.data());
  res->x = res->y = tables.ppi;
  return ReadStatus{};
}

}  // namespace detail
}  // namespace vio
