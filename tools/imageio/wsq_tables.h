// Reading the marker segments of a WSQ file: frame header, transform,
// quantisation and Huffman tables, block headers and the NISTCOM comment.
// Every field is bounds-checked; a failure says which and why.
#ifndef VANTREL_TOOLS_IMAGEIO_WSQ_TABLES_H
#define VANTREL_TOOLS_IMAGEIO_WSQ_TABLES_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "image_io.h"
#include "wsq_codec.h"

namespace vio::wsq {

// Big-endian reads from a byte range; each returns false past its end.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool U8(uint8_t* v);
  bool U16(uint16_t* v);
  bool U32(uint32_t* v);
  bool AtEnd() const { return pos_ == size_; }
  size_t Remaining() const { return size_ - pos_; }
  const uint8_t* Here() const { return data_ + pos_; }
  // The next `length` bytes as a reader of their own, skipping them here.
  bool Take(size_t length, ByteReader* part);

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

struct FrameHeader {
  uint8_t black = 0, white = 0;
  int32_t width = 0, height = 0;
  float shift = 0, scale = 0;  // pixel = wavelet sample * scale + shift
};

// A segment: its 16-bit length (which counts itself) and body.
ReadStatus ReadSegment(ByteReader* in, ByteReader* body);

ReadStatus ParseFrame(ByteReader body, FrameHeader* frame);
ReadStatus ParseTransform(ByteReader body, FilterPair* synthesis);
ReadStatus ParseQuantisation(ByteReader body, QuantTable* table);
// Stores each table of the segment under its id and marks it defined.
ReadStatus ParseHuffman(ByteReader body, std::array<HuffmanDecoder, kHuffmanTableIds>* tables,
                        std::array<bool, kHuffmanTableIds>* defined);
ReadStatus ParseBlockHeader(ByteReader body, uint8_t* tableId);
// The PPI of a NISTCOM comment; 0 if the comment is not one or has none.
int32_t NistcomPpi(ByteReader body);

}  // namespace vio::wsq

#endif  // VANTREL_TOOLS_IMAGEIO_WSQ_TABLES_H
