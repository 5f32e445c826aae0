// Truth as JSON, written by hand so that the output does not depend on the
// locale or on a JSON library.
#include <cmath>
#include <cstdint>
#include <string>

#include "slap_generator.h"

namespace vsynth {
namespace {

// Fixed-point decimal with `decimals` digits, '.' as separator whatever the
// locale; non-finite values become 0.
void AppendNumber(std::string& out, double value, int decimals) {
  if (!std::isfinite(value)) value = 0;
  int64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const double scaled = std::round(std::fabs(value) * static_cast<double>(scale));
  const uint64_t units = scaled < 9e18 ? static_cast<uint64_t>(scaled) : 9000000000000000000ull;
  if (value < 0 && units != 0) out += '-';
  out += std::to_string(units / scale);
  if (decimals > 0) {
    std::string fraction = std::to_string(units % scale);
    out += '.';
    out.append(decimals - fraction.size(), '0');
    out += fraction;
  }
}

void Field(std::string& out, const char* name, double value, int decimals, bool comma = true) {
  out += '"';
  out += name;
  out += "\":";
  AppendNumber(out, value, decimals);
  if (comma) out += ',';
}

}  // namespace

std::string ToJson(const Slap& slap) {
  std::string out = "{";
  Field(out, "rows", slap.rows, 0);
  Field(out, "columns", slap.columns, 0);
  Field(out, "xppi", slap.xppi, 3);
  Field(out, "yppi", slap.yppi, 3);
  Field(out, "hand", slap.hand, 0);
  out += "\"fingers\":[";
  for (size_t i = 0; i < slap.fingers.size(); ++i) {
    const FingerTruth& f = slap.fingers[i];
    if (i) out += ',';
    out += '{';
    Field(out, "position", f.position, 0);
    Field(out, "fromLeft", f.fromLeft, 0);
    Field(out, "cx", f.cx, 3);
    Field(out, "cy", f.cy, 3);
    Field(out, "width", f.width, 3);
    Field(out, "height", f.height, 3);
    Field(out, "angle", f.angle, 6);
    Field(out, "tipX", f.tipX, 3);
    Field(out, "tipY", f.tipY, 3);
    Field(out, "visible", f.visible, 3, false);
    out += '}';
  }
  out += "]}";
  return out;
}

}  // namespace vsynth
