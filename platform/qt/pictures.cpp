#include "platform/qt/pictures.h"

#include <QPixmap>

namespace guizzolo::qt {

QCursor pointerCursor(Pointer pointer) {
  // The panel's controls point with the hand; the grab hand is the pet's.
  if (pointer == Pointer::PointingHand) return QCursor(QPixmap(QStringLiteral(":/assets/point_hand.png")), 14, 1);
  return QCursor(Qt::ArrowCursor);
}

QIcon panelIcon() { return QIcon(QStringLiteral(":/assets/panel_icon.png")); }

}  // namespace guizzolo::qt
