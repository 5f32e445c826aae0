// The coefficient alphabet of WSQ's entropy-coded blocks (see ForEachSymbol
// in wsq_codec.h); shared by symbol counting and encoding.
#ifndef VANTREL_TOOLS_IMAGEIO_WSQ_SYMBOLS_H
#define VANTREL_TOOLS_IMAGEIO_WSQ_SYMBOLS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vio::wsq {

constexpr int kMaxZeroRunSymbol = 100;
constexpr int kPlus8 = 101, kMinus8 = 102, kPlus16 = 103, kMinus16 = 104;
constexpr int kRun8 = 105, kRun16 = 106;
constexpr int kValueOffset = 180;  // symbol of value v in [-73, 74]
constexpr int kLowestDirect = -73, kHighestDirect = 74;
constexpr uint32_t kLongestRun = 0xFFFF;

template <class Sink>
void EmitRun(uint32_t run, Sink& sink) {
  if (run <= kMaxZeroRunSymbol) {
    sink(CodedSymbol{static_cast<uint8_t>(run), 0, 0});
  } else if (run <= 0xFF) {
    sink(CodedSymbol{kRun8, 8, static_cast<uint16_t>(run)});
  } else {
    sink(CodedSymbol{kRun16, 16, static_cast<uint16_t>(run)});
  }
}

template <class Sink>
void EmitValue(int value, Sink& sink) {
  if (value > kHighestDirect) {
    if (value > 0xFF) {
      sink(CodedSymbol{kPlus16, 16, static_cast<uint16_t>(value)});
    } else {
      sink(CodedSymbol{kPlus8, 8, static_cast<uint16_t>(value)});
    }
  } else if (value < kLowestDirect) {
    if (value < -0xFF) {
      sink(CodedSymbol{kMinus16, 16, static_cast<uint16_t>(-value)});
    } else {
      sink(CodedSymbol{kMinus8, 8, static_cast<uint16_t>(-value)});
    }
  } else {
    sink(CodedSymbol{static_cast<uint8_t>(value + kValueOffset), 0, 0});
  }
}

// Length of the run of zeros starting at q[0] (count > 0), four at a time.
inline size_t ZeroRun(const int16_t* q, size_t count) {
  size_t n = 0;
  for (uint64_t four = 0; n + 4 <= count; n += 4) {
    std::memcpy(&four, q + n, sizeof four);
    if (four != 0) break;
  }
  while (n < count && q[n] == 0) ++n;
  return n;
}

template <class Sink>
void ForEachSymbol(const int16_t* q, size_t count, Sink sink) {
  for (size_t i = 0; i < count;) {
    if (q[i] != 0) {
      EmitValue(q[i++], sink);
      continue;
    }
    size_t run = ZeroRun(q + i, count - i);
    i += run;
    for (; run > kLongestRun; run -= kLongestRun) EmitRun(kLongestRun, sink);
    EmitRun(static_cast<uint32_t>(run), sink);
  }
}

}  // namespace vio::wsq

#endif  // VANTREL_TOOLS_IMAGEIO_WSQ_SYMBOLS_H
