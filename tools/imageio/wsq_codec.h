// Internal pieces of the WSQ (wavelet scalar quantisation) fingerprint codec,
// shared by the decoder and the encoder: the 64-subband layout, the wavelet
// filter plans, quantisation, Huffman coding and the table segments.
#ifndef VANTREL_TOOLS_IMAGEIO_WSQ_CODEC_H
#define VANTREL_TOOLS_IMAGEIO_WSQ_CODEC_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vio::wsq {

enum Marker : uint16_t {
  kSoi = 0xFFA0,
  kEoi = 0xFFA1,
  kSof = 0xFFA2,
  kSob = 0xFFA3,
  kDtt = 0xFFA4,
  kDqt = 0xFFA5,
  kDht = 0xFFA6,
  kDrt = 0xFFA7,
  kCom = 0xFFA8,
};

constexpr int kNodeCount = 20;      // regions split by one two-dimensional transform step
constexpr int kSubbandCount = 64;   // leaves of the decomposition
constexpr int kCodedSubbands = 60;  // the four finest diagonal subbands are never coded
// Coded subbands per entropy-coded block: [0, 19), [19, 52), [52, 60).
constexpr std::array<int, 4> kBlockFirstSubband = {0, 19, 52, 60};
constexpr int kHuffmanTableIds = 8;
constexpr int kMaxCodeLength = 16;
constexpr int kMaxHuffmanValues = 256;
// Longest wavelet filter accepted from a file.
constexpr int kMaxFilterTaps = 31;

struct Rect {
  int32_t x = 0, y = 0, width = 0, height = 0;
  int64_t Area() const { return int64_t{width} * height; }
};

// One transform step splits a node into four quadrants; along an axis marked
// high-first the high-pass half comes first and is the shorter one.
struct Node {
  Rect rect;
  bool highFirstX = false;
  bool highFirstY = false;
};

struct Layout {
  std::array<Node, kNodeCount> nodes;
  std::array<Rect, kSubbandCount> subbands;
};

Layout MakeLayout(int32_t width, int32_t height);

// Odd-length, symmetric filter pair. For the decoder these are the synthesis
// filters, for the encoder the analysis filters.
struct FilterPair {
  std::vector<float> low, high;
};

// Output sample o of a line is the sum, in this order, of input sample
// index[k] times tap[k] for k in [start[o], start[o + 1]). The order is part
// of the result: reconstruction rounds exactly as the reference decoder.
struct LinePlan {
  std::vector<int32_t> start;
  std::vector<int32_t> index;
  std::vector<float> tap;
};

// Whether lines of `length` samples can be transformed with these filters.
bool SynthesisFits(int32_t length, const FilterPair& filters);
bool AnalysisFits(int32_t length, const FilterPair& filters);
// Whether every node of the layout fits.
bool LayoutFits(const Layout& layout, const FilterPair& filters, bool analysis);

LinePlan SynthesisPlan(int32_t length, bool highFirst, const FilterPair& filters);
LinePlan AnalysisPlan(int32_t length, bool highFirst, const FilterPair& filters);

// In-place transforms of a width x height float image, node by node.
void Decompose(float* image, int32_t width, const Layout& layout, const FilterPair& analysis);
void Reconstruct(float* image, int32_t width, const Layout& layout, const FilterPair& synthesis);

// The standard 9/7 analysis filters.
FilterPair StandardAnalysisFilters();

// Quantisation table: bin widths (0 = subband not coded), zero-bin widths and
// the bin centre.
struct QuantTable {
  std::array<float, kSubbandCount> bin{};
  std::array<float, kSubbandCount> zeroBin{};
  float binCenter = 0;
};

// Number of coefficients the coded subbands hold.
int64_t CodedCoefficients(const Layout& layout, const QuantTable& table);

// Coefficients, subband by subband in subband order (uncoded ones skipped),
// back to wavelet samples in the image.
void Dequantise(const int16_t* coefficients, const Layout& layout, const QuantTable& table,
                float* image, int32_t width);

// Variance of each coded subband of the decomposed image.
std::array<double, kCodedSubbands> SubbandVariances(const float* image, int32_t width,
                                                    const Layout& layout);
// Largest magnitude in each coded subband.
std::array<double, kCodedSubbands> SubbandPeaks(const float* image, int32_t width,
                                                const Layout& layout);
// Quantised levels are 16-bit; bins must be wide enough for the peaks.
constexpr int32_t kLargestLevel = 32767;
// Bin widths for a bit rate, as the variance-based allocation of the format.
std::array<double, kCodedSubbands> BinWidthsForRate(
    const std::array<double, kCodedSubbands>& variance, double bitsPerPixel);
// Quantises the coded subbands into `out` (subband order), each value to the
// level whose reconstruction is nearest beyond the zero bin.
void Quantise(const float* image, int32_t width, const Layout& layout, const QuantTable& table,
              std::vector<int16_t>* out);

// A number stored as a decimal scale byte and a 16- or 32-bit integer:
// value = digits / 10^scale, evaluated in single precision one division at a
// time as the reference decoder does.
float ScaledValue(uint32_t digits, uint8_t scale);
struct Scaled {
  uint8_t scale = 0;
  uint32_t digits = 0;
};
// The closest representable value with `limit` as the largest integer.
Scaled ToScaled(double value, uint32_t limit);

// Huffman table as stored: counts of codes per length 1..16 and the values
// in code order.
struct HuffmanCodeTable {
  std::array<uint8_t, kMaxCodeLength> counts{};
  std::vector<uint8_t> values;
};

// Canonical decoding table. Codes of up to kFastBits bits are also looked
// up directly: fast[next kFastBits bits] = length << 8 | value, 0 for longer
// codes.
struct HuffmanDecoder {
  static constexpr int kFastBits = 8;
  std::array<int32_t, kMaxCodeLength + 1> minCode{}, maxCode{}, valueIndex{};
  std::vector<uint8_t> values;
  std::array<uint16_t, 1 << kFastBits> fast{};
  // False for an over-full code.
  bool Build(const HuffmanCodeTable& codes);
};

// Optimal code lengths (at most 16 bits, no all-ones code) for symbol
// frequencies, as a stored table.
HuffmanCodeTable CodeTableFromFrequencies(const std::array<uint32_t, kMaxHuffmanValues>& frequency);

// Code and length of every symbol of a table.
struct HuffmanEncoder {
  std::array<uint16_t, kMaxHuffmanValues> code{};
  std::array<uint8_t, kMaxHuffmanValues> length{};
  void Build(const HuffmanCodeTable& codes);
};

// Symbols of the coefficient alphabet: 1-100 zero runs, 101/102 a positive or
// negative 8-bit value, 103/104 the same with 16 bits, 105/106 a zero run
// counted in 8 or 16 bits, 107-254 the values -73..74 (symbol - 180).
struct CodedSymbol {
  uint8_t symbol;
  uint8_t extraBits;  // 0, 8 or 16
  uint16_t extra;
};
// Calls sink(CodedSymbol) for each symbol of a run of coefficients.
template <class Sink>
void ForEachSymbol(const int16_t* q, size_t count, Sink sink);

// Entropy-codes coefficients (stuffed, padded with ones) and appends them.
void EncodeBlock(const int16_t* q, size_t count, const HuffmanEncoder& encoder,
                 std::vector<uint8_t>* out);

}  // namespace vio::wsq

#include "wsq_symbols.h"

#endif  // VANTREL_TOOLS_IMAGEIO_WSQ_CODEC_H
