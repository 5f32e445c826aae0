// Portable random numbers for the generator: a seeded sequence (xoshiro256**
// seeded through splitmix64), a stateless per-pixel hash and smooth value
// noise. Only integer arithmetic and plain double operations, so the draws are
// the same on every platform and library version.
#ifndef VANTREL_TOOLS_SYNTH_RANDOM_H
#define VANTREL_TOOLS_SYNTH_RANDOM_H

#include <cstdint>
#include <vector>

namespace vsynth {

inline uint64_t SplitMix(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Stateless mix of a key, for values tied to a place rather than to an order.
inline uint64_t Hash64(uint64_t key) {
  uint64_t state = key;
  return SplitMix(state);
}

inline uint64_t HashPixel(uint64_t seed, uint32_t x, uint32_t y) {
  return Hash64(seed ^ ((static_cast<uint64_t>(y) << 32) | x));
}

class Rng {
 public:
  explicit Rng(uint64_t seed) {
    uint64_t s = seed;
    for (auto& word : s_) word = SplitMix(s);
  }
  uint64_t Next() {
    const uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
  }
  // Uniform in [0, 1) with 53 random bits.
  double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
  double Uniform(double lo, double hi) { return lo + (hi - lo) * Unit(); }
  // Uniform integer in [lo, hi].
  int Int(int lo, int hi) {
    const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(hi) - lo + 1);
    return lo + static_cast<int>(Next() % span);
  }
  bool Chance(double p) { return Unit() < p; }
  // Bell-shaped draw with mean 0 and standard deviation 1, cut at +-3 (sum of
  // four uniforms, which needs no library function).
  double Normal() {
    const double sum = Unit() + Unit() + Unit() + Unit();
    return (sum - 2.0) * 1.7320508075688772;
  }
  // A child sequence, so that adding draws to one part of the generator does
  // not shift the draws of another.
  uint64_t Fork() { return Next() ^ 0xA0761D6478BD642Full; }

 private:
  static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  uint64_t s_[4];
};

// Smooth random field over a rectangle: values in [0, 1] on a grid of cells,
// interpolated with a smoothstep so that the field has no visible creases.
class ValueNoise {
 public:
  ValueNoise() = default;
  // Covers [0, width] x [0, height] (any unit) with square cells of `cell`.
  ValueNoise(uint64_t seed, double width, double height, double cell) {
    inverseCell_ = 1.0 / cell;
    columns_ = static_cast<int>(width * inverseCell_) + 3;
    rows_ = static_cast<int>(height * inverseCell_) + 3;
    values_.resize(static_cast<size_t>(columns_) * rows_);
    Rng rng(seed);
    for (auto& v : values_) v = static_cast<float>(rng.Unit());
  }
  double At(double x, double y) const {
    double gx = x * inverseCell_, gy = y * inverseCell_;
    if (gx < 0) gx = 0;
    if (gy < 0) gy = 0;
    int ix = static_cast<int>(gx), iy = static_cast<int>(gy);
    if (ix > columns_ - 2) ix = columns_ - 2, gx = ix + 1.0;
    if (iy > rows_ - 2) iy = rows_ - 2, gy = iy + 1.0;
    double fx = gx - ix, fy = gy - iy;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    const float* p = &values_[static_cast<size_t>(iy) * columns_ + ix];
    const double top = p[0] + (p[1] - p[0]) * fx;
    const double bottom = p[columns_] + (p[columns_ + 1] - p[columns_]) * fx;
    return top + (bottom - top) * fy;
  }

 private:
  double inverseCell_ = 1;
  int columns_ = 2, rows_ = 2;
  std::vector<float> values_ = std::vector<float>(4, 0.5f);
};

}  // namespace vsynth

#endif  // VANTREL_TOOLS_SYNTH_RANDOM_H
