#include "platform/qt/key_mask.h"

namespace guizzolo::qt {

QRegion pixelsOtherThan(const QImage& drawn, QRgb key) {
  const QImage image = drawn.convertToFormat(QImage::Format_RGB32);
  const QRgb opaqueKey = key | 0xFF000000u;
  QRegion region;
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    QRegion row;
    int x = 0;
    while (x < image.width()) {
      while (x < image.width() && line[x] == opaqueKey) ++x;
      const int start = x;
      while (x < image.width() && line[x] != opaqueKey) ++x;
      if (x > start) row += QRect(start, y, x - start, 1);
    }
    region += row;
  }
  return region;
}

QRegion nothingVisible() { return QRegion(-1, -1, 1, 1); }

}  // namespace guizzolo::qt
