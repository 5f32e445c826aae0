// WSQ encoding: the image is normalised, decomposed with the standard 9/7
// filters into the 64 subbands and quantised with variance-based bin widths
// for the requested rate, all scaled by one factor searched until the file
// lands within half a per cent of the requested size.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "decoders.h"
#include "wsq_codec.h"
#include "wsq_tables.h"

namespace vio {
namespace wsq {
namespace {

constexpr double kZeroBinRatio = 1.2;      // zero bin width over bin width
constexpr uint16_t kBinCentreDigits = 44;  // bin centre 0.44
constexpr uint8_t kBinCentreScale = 2;
// Normalised samples span about +-kSampleRange.
constexpr double kSampleRange = 128.0;
// The rate search stops within this share of the target size or after
// kMaxRateRounds encodings.
constexpr double kSizeTolerance = 0.005;
constexpr int kMaxRateRounds = 8;
constexpr double kMaxBitRate = 8.0;
constexpr uint8_t kEncoderNumber = 2;
constexpr uint32_t kMax16 = 0xFFFF, kMax32 = 0xFFFFFFFF;

void Put8(std::vector<uint8_t>* out, uint32_t v) {
  out->push_back(static_cast<uint8_t>(v));
}
void Put16(std::vector<uint8_t>* out, uint32_t v) {
  Put8(out, v >> 8);
  Put8(out, v);
}
void Put32(std::vector<uint8_t>* out, uint32_t v) {
  Put16(out, v >> 16);
  Put16(out, v);
}
void PutScaled16(std::vector<uint8_t>* out, const Scaled& s) {
  Put8(out, s.scale);
  Put16(out, s.digits);
}
void PutSegment(std::vector<uint8_t>* out, uint16_t marker, const std::vector<uint8_t>& body) {
  Put16(out, marker);
  Put16(out, static_cast<uint32_t>(body.size() + 2));
  out->insert(out->end(), body.begin(), body.end());
}

std::vector<uint8_t> TransformTable(const FilterPair& analysis) {
  std::vector<uint8_t> body;
  Put8(&body, static_cast<uint32_t>(analysis.low.size()));
  Put8(&body, static_cast<uint32_t>(analysis.high.size()));
  for (const std::vector<float>* filter : {&analysis.low, &analysis.high}) {
    for (size_t i = filter->size() / 2; i < filter->size(); ++i) {
      const double tap = (*filter)[i];
      const Scaled s = ToScaled(std::fabs(tap), kMax32);
      Put8(&body, tap < 0);
      Put8(&body, s.scale);
      Put32(&body, s.digits);
    }
  }
  return body;
}

std::string NistcomText(int32_t columns, int32_t rows, int32_t ppi, double bitsPerPixel) {
  char text[256];
  std::snprintf(text, sizeof text,
                "NIST_COM 9\nPIX_WIDTH %d\nPIX_HEIGHT %d\nPIX_DEPTH 8\nPPI %d\nLOSSY 1\n"
                "COLORSPACE GRAY\nCOMPRESSION WSQ\nWSQ_BITRATE %f",
                columns, rows, ppi, bitsPerPixel);
  return text;
}

struct Normalised {
  Scaled shift, scale;
  std::vector<float> samples;
};

// Samples = (pixel - mean) / scale, with the mean and scale as stored.
Normalised Normalise(const uint8_t* pixels, size_t count) {
  double sum = 0;
  uint8_t low = 255, high = 0;
  for (size_t i = 0; i < count; ++i) {
    sum += pixels[i];
    low = std::min(low, pixels[i]);
    high = std::max(high, pixels[i]);
  }
  const double mean = sum / count;
  double scale = std::max(mean - low, high - mean) / kSampleRange;
  if (!(scale > 0)) scale = 1;
  Normalised n{ToScaled(mean, kMax16), ToScaled(scale, kMax16), {}};
  const float shift = ScaledValue(n.shift.digits, n.shift.scale);
  const float factor = ScaledValue(n.scale.digits, n.scale.scale);
  n.samples.resize(count);
  for (size_t i = 0; i < count; ++i) n.samples[i] = (pixels[i] - shift) / factor;
  return n;
}

struct Quantiser {
  QuantTable table;
  std::array<Scaled, kSubbandCount> bin{}, zeroBin{};
};

Quantiser QuantiserFor(const std::array<double, kCodedSubbands>& widths) {
  Quantiser q;
  q.table.binCenter = ScaledValue(kBinCentreDigits, kBinCentreScale);
  for (int s = 0; s < kCodedSubbands; ++s) {
    if (widths[s] <= 0) continue;
    q.bin[s] = ToScaled(std::min<double>(widths[s], kMax16), kMax16);
    q.zeroBin[s] = ToScaled(std::min<double>(kZeroBinRatio * widths[s], kMax16), kMax16);
    q.table.bin[s] = ScaledValue(q.bin[s].digits, q.bin[s].scale);
    q.table.zeroBin[s] = ScaledValue(q.zeroBin[s].digits, q.zeroBin[s].scale);
  }
  return q;
}

std::vector<uint8_t> QuantisationTable(const Quantiser& q) {
  std::vector<uint8_t> body;
  PutScaled16(&body, Scaled{kBinCentreScale, kBinCentreDigits});
  for (int s = 0; s < kSubbandCount; ++s) {
    PutScaled16(&body, q.bin[s]);
    PutScaled16(&body, q.zeroBin[s]);
  }
  return body;
}

std::vector<uint8_t> FrameTable(int32_t rows, int32_t columns, const Normalised& n) {
  std::vector<uint8_t> body;
  Put8(&body, 0);    // black
  Put8(&body, 255);  // white
  Put16(&body, rows);
  Put16(&body, columns);
  PutScaled16(&body, n.shift);
  PutScaled16(&body, n.scale);
  Put8(&body, kEncoderNumber);
  Put16(&body, 0);  // software
  return body;
}

// Coefficient offsets where the three blocks start and end.
std::array<size_t, 4> BlockBounds(const Layout& layout, const QuantTable& table) {
  std::array<size_t, 4> bounds{};
  for (int b = 0; b < 3; ++b) {
    bounds[b + 1] = bounds[b];
    for (int s = kBlockFirstSubband[b]; s < kBlockFirstSubband[b + 1]; ++s) {
      if (table.bin[s] != 0) bounds[b + 1] += static_cast<size_t>(layout.subbands[s].Area());
    }
  }
  return bounds;
}

// Table 0 codes the first block, table 1 the other two.
constexpr int kTableFirstBlock[2] = {0, 1}, kTableEndBlock[2] = {1, 3};

// The table of a block group; adds the bits the group's blocks take to *bits.
HuffmanCodeTable TableFor(int tableId, const std::vector<int16_t>& q,
                          const std::array<size_t, 4>& bounds, uint64_t* bits) {
  std::array<uint32_t, kMaxHuffmanValues> frequency{};
  for (int b = kTableFirstBlock[tableId]; b < kTableEndBlock[tableId]; ++b) {
    ForEachSymbol(q.data() + bounds[b], bounds[b + 1] - bounds[b], [&](const CodedSymbol& s) {
      ++frequency[s.symbol];
      *bits += s.extraBits;
    });
  }
  const HuffmanCodeTable codes = CodeTableFromFrequencies(frequency);
  HuffmanEncoder encoder;
  encoder.Build(codes);
  for (int s = 0; s < kMaxHuffmanValues; ++s) *bits += uint64_t{frequency[s]} * encoder.length[s];
  return codes;
}

void PutBlocks(const std::vector<int16_t>& q, const Layout& layout, const QuantTable& table,
               std::vector<uint8_t>* out) {
  const std::array<size_t, 4> bounds = BlockBounds(layout, table);
  for (int tableId = 0; tableId < 2; ++tableId) {
    uint64_t bits = 0;
    const HuffmanCodeTable codes = TableFor(tableId, q, bounds, &bits);
    std::vector<uint8_t> body{static_cast<uint8_t>(tableId)};
    body.insert(body.end(), codes.counts.begin(), codes.counts.end());
    body.insert(body.end(), codes.values.begin(), codes.values.end());
    PutSegment(out, kDht, body);
    HuffmanEncoder encoder;
    encoder.Build(codes);
    for (int b = kTableFirstBlock[tableId]; b < kTableEndBlock[tableId]; ++b) {
      PutSegment(out, kSob, {static_cast<uint8_t>(tableId)});
      EncodeBlock(q.data() + bounds[b], bounds[b + 1] - bounds[b], encoder, out);
    }
  }
}

// Bytes of the coded blocks with their tables, without writing them: a
// table segment takes 4 + 1 + 16 bytes and its values, a block header 5, and
// stuffed zeros follow about one byte in 256.
double CodedBytes(const std::vector<int16_t>& q, const Layout& layout, const QuantTable& table) {
  constexpr double kStuffing = 1.0 + 1.0 / 256;
  const std::array<size_t, 4> bounds = BlockBounds(layout, table);
  double bytes = 0;
  for (int tableId = 0; tableId < 2; ++tableId) {
    uint64_t bits = 0;
    const HuffmanCodeTable codes = TableFor(tableId, q, bounds, &bits);
    bytes += 4 + 1 + kMaxCodeLength + codes.values.size() + bits / 8.0 * kStuffing +
             5.0 * (kTableEndBlock[tableId] - kTableFirstBlock[tableId]);
  }
  return bytes;
}

struct Encoding {
  int32_t rows, columns, ppi;
  double bitsPerPixel;
  Layout layout;
  Normalised normalised;  // decomposed in place
  std::array<double, kCodedSubbands> variance, peak;
};

// Everything before the coded blocks.
std::vector<uint8_t> Header(const Encoding& e, const Quantiser& quant) {
  std::vector<uint8_t> out;
  Put16(&out, kSoi);
  const std::string comment = NistcomText(e.columns, e.rows, e.ppi, e.bitsPerPixel);
  PutSegment(&out, kCom, std::vector<uint8_t>(comment.begin(), comment.end()));
  PutSegment(&out, kDtt, TransformTable(StandardAnalysisFilters()));
  PutSegment(&out, kDqt, QuantisationTable(quant));
  PutSegment(&out, kSof, FrameTable(e.rows, e.columns, e.normalised));
  return out;
}

std::vector<uint8_t> Encode(const Encoding& e, const Quantiser& quant,
                            const std::vector<int16_t>& q) {
  std::vector<uint8_t> out = Header(e, quant);
  PutBlocks(q, e.layout, quant.table, &out);
  Put16(&out, kEoi);
  return out;
}

// The allocation's widths times e^logScale, never so narrow that a peak
// overflows the 16-bit levels (two levels spare for the stored rounding).
Quantiser ScaledQuantiser(const Encoding& e, const std::array<double, kCodedSubbands>& base,
                          double logScale) {
  std::array<double, kCodedSubbands> widths = base;
  for (int s = 0; s < kCodedSubbands; ++s) {
    const double narrowest = e.peak[s] / (kLargestLevel - 2);
    if (widths[s] > 0) widths[s] = std::max(widths[s] * std::exp(logScale), narrowest);
  }
  return QuantiserFor(widths);
}

// Secant steps on log size against log scale, kept inside the bracket of
// scales known to give too large and too small a file (the size falls as
// the bins widen).
class ScaleSearch {
 public:
  explicit ScaleSearch(double target) : logTarget_(std::log(target)) {}

  double Next(double logScale, double size) {
    (std::log(size) > logTarget_ ? tooFine_ : tooCoarse_) = logScale;
    const double logSize = std::log(size);
    double next = logScale + logSize - logTarget_;
    if (rounds_++ > 0 && logSize != lastLogSize_) {
      next =
          logScale + (logTarget_ - logSize) * (logScale - lastLogScale_) / (logSize - lastLogSize_);
    }
    if (!(next > tooFine_ && next < tooCoarse_) && std::isfinite(tooFine_) &&
        std::isfinite(tooCoarse_)) {
      next = (tooFine_ + tooCoarse_) / 2;
    }
    lastLogScale_ = logScale;
    lastLogSize_ = logSize;
    return next;
  }

 private:
  double logTarget_, lastLogScale_ = 0, lastLogSize_ = 0;
  double tooFine_ = -HUGE_VAL, tooCoarse_ = HUGE_VAL;
  int rounds_ = 0;
};

// The allocation's bin widths for the requested rate, all scaled by one
// factor searched until the file comes within kSizeTolerance of the target.
// Each trial is sized from its symbol statistics; the closest is written.
std::vector<uint8_t> EncodeToSize(const Encoding& e) {
  const double target = e.bitsPerPixel * e.rows * e.columns / 8;
  const double headers = Header(e, Quantiser{}).size() + 2;  // and the end marker
  const std::array<double, kCodedSubbands> base = BinWidthsForRate(e.variance, e.bitsPerPixel);
  ScaleSearch search(target);
  double logScale = 0, bestError = HUGE_VAL;
  std::vector<int16_t> q, bestQ;
  Quantiser best;
  for (int round = 0; round < kMaxRateRounds; ++round) {
    const Quantiser quant = ScaledQuantiser(e, base, logScale);
    Quantise(e.normalised.samples.data(), e.columns, e.layout, quant.table, &q);
    const double size = headers + CodedBytes(q, e.layout, quant.table);
    if (std::fabs(size - target) < bestError) {
      best = quant;
      bestError = std::fabs(size - target);
      std::swap(q, bestQ);
    }
    if (bestError <= kSizeTolerance * target) break;
    logScale = search.Next(logScale, size);
  }
  return Encode(e, best, bestQ);
}

}  // namespace

Scaled ToScaled(double value, uint32_t limit) {
  if (!(value > 0)) return Scaled{};
  if (value >= limit) return Scaled{0, limit};
  uint8_t scale = 0;
  while (value * 10 < limit && scale < 255) {
    value *= 10;
    ++scale;
  }
  return Scaled{scale, static_cast<uint32_t>(std::min<double>(std::round(value), limit))};
}

}  // namespace wsq

std::string EncodeWsq(const uint8_t* pixels, int32_t rows, int32_t columns, int32_t ppi,
                      double bitsPerPixel, std::vector<uint8_t>* out) {
  using namespace wsq;
  out->clear();
  const ReadStatus size = detail::CheckDimensions(columns, rows);
  if (!size.ok()) return size.message;
  if (!(bitsPerPixel > 0 && bitsPerPixel <= kMaxBitRate)) {
    return "WSQ bit rate must be above 0 and at most " + std::to_string(kMaxBitRate);
  }
  if (ppi < 1 || rows > int32_t{kMax16} || columns > int32_t{kMax16})
    return "WSQ: invalid resolution or size";
  Encoding e{rows, columns, ppi, bitsPerPixel, MakeLayout(columns, rows), {}, {}, {}};
  FilterPair synthesis;
  const std::vector<uint8_t> dtt = TransformTable(StandardAnalysisFilters());
  if (!ParseTransform(ByteReader(dtt.data(), dtt.size()), &synthesis).ok() ||
      !LayoutFits(e.layout, StandardAnalysisFilters(), true) ||
      !LayoutFits(e.layout, synthesis, false)) {
    return "image of " + std::to_string(columns) + " x " + std::to_string(rows) +
           " pixels is too small for WSQ";
  }
  e.normalised = Normalise(pixels, static_cast<size_t>(rows) * columns);
  Decompose(e.normalised.samples.data(), columns, e.layout, StandardAnalysisFilters());
  e.variance = SubbandVariances(e.normalised.samples.data(), columns, e.layout);
  e.peak = SubbandPeaks(e.normalised.samples.data(), columns, e.layout);
  *out = EncodeToSize(e);
  return {};
}

std::string WriteWsq(const std::string& path, const uint8_t* pixels, int32_t rows, int32_t columns,
                     int32_t ppi, double bitsPerPixel) {
  std::vector<uint8_t> bytes;
  std::string error = EncodeWsq(pixels, rows, columns, ppi, bitsPerPixel, &bytes);
  if (!error.empty()) return error;
  std::ofstream file(path, std::ios::binary);
  if (!file.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size())) ||
      !file.flush()) {
    return "cannot write " + path;
  }
  return {};
}

}  // namespace vio
