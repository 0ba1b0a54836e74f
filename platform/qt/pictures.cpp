#include "platform/qt/pictures.h"

#include <QPixmap>

namespace guizzolo::qt {

QImage loadPicture(Picture picture) {
  const char* path = nullptr;
  switch (picture) {
    case Picture::FishLeft: path = ":/assets/fish_left.gif"; break;
    case Picture::FishRight: path = ":/assets/fish_right.gif"; break;
    case Picture::None: return {};
  }
  return QImage(QString::fromLatin1(path)).convertToFormat(QImage::Format_ARGB32);
}

QImage scaledNearest(const QImage& image, QSize size) {
  if (image.isNull() || size.isEmpty()) return {};
  return image.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QCursor pointerCursor(Pointer pointer) {
  switch (pointer) {
    case Pointer::GrabHand: return QCursor(QPixmap(QStringLiteral(":/assets/grab_hand.png")), 4, 16);
    case Pointer::PointingHand:
      return QCursor(QPixmap(QStringLiteral(":/assets/point_hand.png")), 14, 1);
    case Pointer::Arrow: break;
  }
  return QCursor(Qt::ArrowCursor);
}

QIcon panelIcon() { return QIcon(QStringLiteral(":/assets/panel_icon.png")); }

}  // namespace guizzolo::qt
