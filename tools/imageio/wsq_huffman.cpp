// Huffman tables of WSQ's entropy-coded blocks: canonical codes from the
// stored counts, optimal length-limited tables from symbol frequencies, and
// block encoding with 0xFF byte stuffing.
#include <algorithm>
#include <numeric>

#include "wsq_codec.h"

namespace vio::wsq {

bool HuffmanDecoder::Build(const HuffmanSpec& spec) {
  values = spec.values;
  int32_t code = 0, index = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    const int32_t n = spec.counts[length - 1];
    valueIndex[length] = index;
    minCode[length] = code;
    maxCode[length] = n == 0 ? -1 : code + n - 1;
    code += n;
    index += n;
    if (code > (int32_t{1} << length)) return false;
    code <<= 1;
  }
  return index == static_cast<int32_t>(values.size());
}

void HuffmanEncoder::Build(const HuffmanSpec& spec) {
  code.fill(0);
  length.fill(0);
  uint32_t next = 0;
  size_t v = 0;
  for (int bits = 1; bits <= kMaxCodeLength; ++bits) {
    for (int i = 0; i < spec.counts[bits - 1] && v < spec.values.size(); ++i, ++v) {
      code[spec.values[v]] = static_cast<uint16_t>(next++);
      length[spec.values[v]] = static_cast<uint8_t>(bits);
    }
    next <<= 1;
  }
}

namespace {

// Depth of every leaf of a Huffman tree over `weight` (two smallest merged
// first, ties by order).
std::vector<int> TreeDepths(const std::vector<uint64_t>& weight) {
  const size_t n = weight.size();
  std::vector<uint64_t> w = weight;
  std::vector<int> parent(2 * n, -1);
  std::vector<size_t> live(n);
  std::iota(live.begin(), live.end(), 0);
  while (live.size() > 1) {
    std::sort(live.begin(), live.end(),
              [&](size_t a, size_t b) { return w[a] != w[b] ? w[a] < w[b] : a < b; });
    const size_t merged = w.size();
    w.push_back(w[live[0]] + w[live[1]]);
    parent[live[0]] = parent[live[1]] = static_cast<int>(merged);
    live.erase(live.begin(), live.begin() + 2);
    live.push_back(merged);
  }
  std::vector<int> depth(n, 0);
  for (size_t i = 0; i < n; ++i) {
    for (int p = parent[i]; p >= 0; p = parent[p]) ++depth[i];
  }
  return depth;
}

}  // namespace

HuffmanSpec SpecFromFrequencies(const std::array<uint32_t, kMaxHuffmanValues>& frequency) {
  HuffmanSpec spec;
  std::vector<int> symbols;
  std::vector<uint64_t> weight;
  for (int s = 0; s < kMaxHuffmanValues; ++s) {
    if (frequency[s] == 0) continue;
    symbols.push_back(s);
    weight.push_back(frequency[s]);
  }
  if (symbols.empty()) return spec;
  // A reserved symbol of the lowest weight takes the all-ones code.
  weight.push_back(1);
  const std::vector<int> depth = TreeDepths(weight);
  std::vector<int> bits(std::max(*std::max_element(depth.begin(), depth.end()), 16) + 1, 0);
  for (int d : depth) ++bits[d];
  // Limit to 16 bits: move pairs of the deepest codes up, splitting a
  // shorter code to make room.
  for (size_t i = bits.size() - 1; i > kMaxCodeLength; --i) {
    while (bits[i] > 0) {
      size_t j = i - 2;
      while (bits[j] == 0) --j;
      bits[i] -= 2;
      bits[i - 1] += 1;
      bits[j + 1] += 2;
      bits[j] -= 1;
    }
  }
  int last = kMaxCodeLength;
  while (bits[last] == 0) --last;
  --bits[last];
  std::vector<size_t> order(symbols.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return depth[a] != depth[b] ? depth[a] < depth[b] : symbols[a] < symbols[b];
  });
  for (int l = 1; l <= kMaxCodeLength; ++l) spec.counts[l - 1] = static_cast<uint8_t>(bits[l]);
  for (size_t i : order) spec.values.push_back(static_cast<uint8_t>(symbols[i]));
  return spec;
}

namespace {

class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>* out) : out_(out) {}
  void Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) PutBit((value >> i) & 1);
  }
  // Pads the last byte with ones.
  void Finish() {
    while (used_ != 0) PutBit(1);
  }

 private:
  void PutBit(uint32_t bit) {
    byte_ = (byte_ << 1) | bit;
    if (++used_ < 8) return;
    out_->push_back(static_cast<uint8_t>(byte_));
    if (byte_ == 0xFF) out_->push_back(0);  // a stuffed zero keeps it from reading as a marker
    byte_ = 0;
    used_ = 0;
  }
  std::vector<uint8_t>* out_;
  uint32_t byte_ = 0;
  int used_ = 0;
};

}  // namespace

void EncodeBlock(const int16_t* q, size_t count, const HuffmanEncoder& encoder,
                 std::vector<uint8_t>* out) {
  BitWriter writer(out);
  ForEachSymbol(q, count, [&](const CodedSymbol& s) {
    writer.Put(encoder.code[s.symbol], encoder.length[s.symbol]);
    if (s.extraBits > 0) writer.Put(s.extra, s.extraBits);
  });
  writer.Finish();
}

}  // namespace vio::wsq
