#include "segmentation.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vtool {

namespace {

void SetOrientedCorners(Finger* finger) {
  const SegmentedFinger& r = finger->record;
  const double c = std::cos(static_cast<double>(r.angle));
  const double s = std::sin(static_cast<double>(r.angle));
  // One box column right moves (c, -s), one box row down moves (s, c).
  const double halfW = r.boxWidth / 2.0, halfH = r.boxHeight / 2.0;
  const double offsets[4][2] = {{-halfW, -halfH}, {halfW, -halfH}, {halfW, halfH}, {-halfW, halfH}};
  for (int k = 0; k < 4; ++k) {
    const double u = offsets[k][0], v = offsets[k][1];
    finger->corners[k][0] = r.centerX + u * c + v * s;
    finger->corners[k][1] = r.centerY - u * s + v * c;
  }
}

void SetEdgeCorners(Finger* finger) {
  const SegmentedFinger& r = finger->record;
  const double box[4][2] = {{double(r.left), double(r.top)},
                            {double(r.right), double(r.top)},
                            {double(r.right), double(r.bottom)},
                            {double(r.left), double(r.bottom)}};
  std::memcpy(finger->corners, box, sizeof box);
}

Segmentation RunCent2(const vio::GreyImage& image, Segmentation out) {
  // Hands 13 and 14 visit four mask bits, thumbs two; the fingers asked for
  // are the lowest bits.
  out.fingerMask = ventry::Cent2Mask(out.fingerCount);
  const ventry::Cent2Records records = ventry::RunCent2(
      image.pixels.data(), image.rows, image.columns, out.handRequested, out.fingerMask);
  const int32_t count = records.count;
  const FingerInfo* info = records.info;
  out.hasStatus = false;
  out.status = count > 0 ? VANTREL_OK : VANTREL_NO_FINGER;
  for (int32_t i = 0; i < std::min(count, 4); ++i) {
    const FingerInfo& f = info[i];
    Finger finger;
    finger.info = f;
    SegmentedFinger& r = finger.record;
    r.position = f.position;
    r.boxHeight = f.boxHeight;
    r.boxWidth = f.boxWidth;
    r.centerX = f.centerColumn;
    r.centerY = f.centerRow;
    // Units of 2 degrees back to radians.
    r.angle = static_cast<float>(f.angleTwoDegrees * 2.0 * M_PI / 180.0);
    r.fixedValue = static_cast<float>(f.fixedValue);
    r.top = f.upperLeftRow;
    r.left = f.upperLeftColumn;
    r.bottom = f.lowerRightRow;
    r.right = f.lowerRightColumn;
    SetEdgeCorners(&finger);
    // No finger images on this path: cut the box out of the input.
    const int32_t top = std::max(0, r.top), left = std::max(0, r.left);
    const int32_t bottom = std::min(image.rows - 1, r.bottom);
    const int32_t right = std::min(image.columns - 1, r.right);
    if (bottom >= top && right >= left) {
      const int32_t w = right - left + 1;
      finger.pixels.resize(static_cast<size_t>(w) * (bottom - top + 1));
      for (int32_t y = top; y <= bottom; ++y) {
        std::memcpy(finger.pixels.data() + static_cast<size_t>(y - top) * w,
                    image.pixels.data() + static_cast<size_t>(y) * image.columns + left, w);
      }
    }
    out.fingers.push_back(std::move(finger));
  }
  return out;
}

}  // namespace

Segmentation Segment(const vio::GreyImage& image, Method method, int32_t fingerCount,
                     int32_t handCode) {
  Segmentation out;
  out.method = method;
  out.fingerCount = fingerCount;
  out.handRequested = handCode;
  if (method == Method::kCent2) return RunCent2(image, out);

  const ventry::Entry& entry = ventry::EntryOf(method);
  ventry::ResultCopy copy = ventry::RunEntry(entry, image.xppi, image.yppi, image.pixels.data(),
                                             image.rows, image.columns, fingerCount, handCode);
  out.status = copy.status;
  out.orientedBoxes = entry.orientedBoxes;
  out.handCode = copy.handCode;
  for (ventry::FingerCopy& copied : copy.fingers) {
    Finger finger;
    finger.record = copied.record;
    finger.imageFromLibrary = !copied.pixels.empty();
    finger.pixels = std::move(copied.pixels);
    if (out.orientedBoxes) {
      SetOrientedCorners(&finger);
    } else {
      SetEdgeCorners(&finger);
    }
    out.fingers.push_back(std::move(finger));
  }
  return out;
}

}  // namespace vtool
