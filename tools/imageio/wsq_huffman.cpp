// Huffman tables of WSQ's entropy-coded blocks: canonical codes from the
// stored counts, optimal length-limited tables from symbol frequencies, and
// block encoding with 0xFF byte stuffing.
#include <algorithm>
#include <numeric>
#include <queue>

#include "wsq_codec.h"

namespace vio::wsq {

bool HuffmanDecoder::Build(const HuffmanCodeTable& codes) {
  values = codes.values;
  fast.fill(0);
  int32_t code = 0, index = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    const int32_t n = codes.counts[length - 1];
    valueIndex[length] = index;
    minCode[length] = code;
    maxCode[length] = n == 0 ? -1 : code + n - 1;
    if (code + n > (int32_t{1} << length) || index + n > static_cast<int32_t>(values.size())) {
      return false;
    }
    for (int32_t i = 0; i < n && length <= kFastBits; ++i) {
      const int spare = kFastBits - length;
      for (int32_t tail = 0; tail < (1 << spare); ++tail) {
        fast[(code + i) << spare | tail] = static_cast<uint16_t>(length << 8 | values[index + i]);
      }
    }
    code += n;
    index += n;
    code <<= 1;
  }
  return index == static_cast<int32_t>(values.size());
}

void HuffmanEncoder::Build(const HuffmanCodeTable& codes) {
  code.fill(0);
  length.fill(0);
  uint32_t next = 0;
  size_t v = 0;
  for (int bits = 1; bits <= kMaxCodeLength; ++bits) {
    for (int i = 0; i < codes.counts[bits - 1] && v < codes.values.size(); ++i, ++v) {
      code[codes.values[v]] = static_cast<uint16_t>(next++);
      length[codes.values[v]] = static_cast<uint8_t>(bits);
    }
    next <<= 1;
  }
}

namespace {

// Depth of every leaf of a Huffman tree over `weight` (two lightest merged
// first, ties by index).
std::vector<int> TreeDepths(const std::vector<uint64_t>& weight) {
  const size_t n = weight.size();
  using Entry = std::pair<uint64_t, size_t>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> live;
  for (size_t i = 0; i < n; ++i) live.emplace(weight[i], i);
  std::vector<size_t> parent(2 * n, 0);
  size_t next = n;
  while (live.size() > 1) {
    const Entry a = live.top();
    live.pop();
    const Entry b = live.top();
    live.pop();
    parent[a.second] = parent[b.second] = next;
    live.emplace(a.first + b.first, next++);
  }
  // Parents come after their children, so depths fill from the root down.
  std::vector<int> depth(next, 0);
  for (size_t i = next - 1; i-- > 0;) depth[i] = depth[parent[i]] + 1;
  depth.resize(n);
  return depth;
}

// Codes per length limited to 16 bits: pairs of the deepest codes move up,
// a shorter code splitting to make room; then the reserved code, one of the
// longest, is dropped.
void LimitLengths(std::vector<int>* counts) {
  std::vector<int>& bits = *counts;
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
}

}  // namespace

HuffmanCodeTable CodeTableFromFrequencies(
    const std::array<uint32_t, kMaxHuffmanValues>& frequency) {
  HuffmanCodeTable codes;
  std::vector<int> symbols;
  std::vector<uint64_t> weight;
  for (int s = 0; s < kMaxHuffmanValues; ++s) {
    if (frequency[s] == 0) continue;
    symbols.push_back(s);
    weight.push_back(frequency[s]);
  }
  if (symbols.empty()) return codes;
  // A reserved symbol of the lowest weight takes the all-ones code.
  weight.push_back(1);
  const std::vector<int> depth = TreeDepths(weight);
  std::vector<int> bits(std::max(*std::max_element(depth.begin(), depth.end()), kMaxCodeLength) + 1,
                        0);
  for (int d : depth) ++bits[d];
  LimitLengths(&bits);
  std::vector<size_t> order(symbols.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return depth[a] != depth[b] ? depth[a] < depth[b] : symbols[a] < symbols[b];
  });
  for (int l = 1; l <= kMaxCodeLength; ++l) codes.counts[l - 1] = static_cast<uint8_t>(bits[l]);
  for (size_t i : order) codes.values.push_back(static_cast<uint8_t>(symbols[i]));
  return codes;
}

namespace {

class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>* out) : out_(out) {}
  void Put(uint32_t value, int bits) {
    pending_ = pending_ << bits | value;
    count_ += bits;
    while (count_ >= 8) {
      count_ -= 8;
      const uint8_t byte = static_cast<uint8_t>(pending_ >> count_);
      out_->push_back(byte);
      if (byte == 0xFF) out_->push_back(0);  // a stuffed zero keeps it from reading as a marker
    }
  }
  // Pads the last byte with ones.
  void Finish() {
    if (count_ > 0) Put((1u << (8 - count_)) - 1, 8 - count_);
  }

 private:
  std::vector<uint8_t>* out_;
  uint64_t pending_ = 0;
  int count_ = 0;
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
