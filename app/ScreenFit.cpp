#include "app/ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

QSize FitSizeInto(const QSize& wanted, const QRect& available) {
  const QSize room = available.size().shrunkBy(kWindowFrameAllowance).expandedTo(QSize(1, 1));
  return wanted.boundedTo(room);
}

QRect FitRectInto(const QRect& client, const QRect& available) {
  if (available.contains(client)) return client;
  QRect outer(client.topLeft(), FitSizeInto(client.size(), available));
  outer = outer.marginsAdded(kWindowFrameAllowance);
  outer.moveLeft(std::clamp(outer.left(), available.left(),
                            std::max(available.left(), available.right() + 1 - outer.width())));
  outer.moveTop(std::clamp(outer.top(), available.top(),
                           std::max(available.top(), available.bottom() + 1 - outer.height())));
  return outer.marginsRemoved(kWindowFrameAllowance);
}

QRect PlaceOnScreen(const QRect& client) {
  const QScreen* screen = QGuiApplication::screenAt(client.center());
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen ? FitRectInto(client, screen->availableGeometry()) : client;
}
