#include "quick/finger_info.h"

namespace vtl {

int32_t AngleInTwoDegrees(float angle) {
  const float degrees = angle * 180.0f;
  return static_cast<int32_t>(static_cast<double>(degrees) * 0.15915494309189535);
}

FingerInfo ToFingerInfo(const SegmentedFinger& finger) {
  FingerInfo info{};
  info.centerRow = finger.centerY;
  info.centerColumn = finger.centerX;
  info.angleTwoDegrees = AngleInTwoDegrees(finger.angle);
  info.fixedValue = static_cast<int32_t>(finger.fixedValue);
  info.boxHeight = finger.boxHeight;
  info.boxWidth = finger.boxWidth;
  info.position = finger.position;
  info.upperLeftRow = finger.top;
  info.upperLeftColumn = finger.left;
  info.upperRightRow = finger.top;
  info.upperRightColumn = finger.right;
  info.lowerLeftRow = finger.bottom;
  info.lowerLeftColumn = finger.left;
  info.lowerRightRow = finger.bottom;
  info.lowerRightColumn = finger.right;
  return info;
}

}  // namespace vtl
