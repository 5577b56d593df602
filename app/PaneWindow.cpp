#include "app/PaneWindow.h"

#include <QWidget>

void DestroyPaneWindow(QWidget* window) {
  if (window == nullptr) return;
  window->hide();
  window->setParent(nullptr);
  window->deleteLater();
}
