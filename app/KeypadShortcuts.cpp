#include "app/KeypadShortcuts.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "app/RunGuarded.h"

CKeypadShortcuts::CKeypadShortcuts(QWidget* window) : QObject(window), m_window(window) {
  QCoreApplication::instance()->installEventFilter(this);
}

CKeypadShortcuts::~CKeypadShortcuts() {
  if (QCoreApplication* application = QCoreApplication::instance())
    application->removeEventFilter(this);
}

void CKeypadShortcuts::Add(QAction* action) {
  const QKeySequence keys = action->shortcut();
  if (keys.count() == 1 && (keys[0].keyboardModifiers() & Qt::KeypadModifier))
    m_actions.emplace_back(action);
}

bool CKeypadShortcuts::HasWindowKeys() const {
  // As for the window's other shortcuts: they count while it is active or
  // one of its tool windows is, not while a popup menu or a dialog has the keys.
  QWidget* active = QApplication::activePopupWidget();
  if (active == nullptr) active = QApplication::activeWindow();
  if (active != nullptr && active != m_window) {
    if (active->windowType() == Qt::Tool && active->parentWidget())
      active = active->parentWidget()->window();
    else if (active->windowType() == Qt::Popup && active->focusProxy())
      active = active->focusProxy()->window();
  }
  return active == m_window && m_window->isVisible() && m_window->isEnabled();
}

bool CKeypadShortcuts::eventFilter(QObject* receiver, QEvent* event) {
  // A key press arrives here only when no shortcut took it. Made-up key
  // events and other platforms match the shortcuts themselves and never
  // get this far with these keys.
  if (event->type() != QEvent::KeyPress || !receiver->isWidgetType()) return false;
  const auto* key = static_cast<const QKeyEvent*>(event);
  if (!(key->modifiers() & Qt::KeypadModifier)) return false;
  bool taken = false;
  RunGuarded(m_window, [&] {
    if (!HasWindowKeys()) return;
    for (const QPointer<QAction>& action : m_actions) {
      if (!action || action->shortcut()[0] != key->keyCombination()) continue;
      if (!action->isEnabled() || (key->isAutoRepeat() && !action->autoRepeat())) return;
      taken = true;
      action->trigger();
      return;
    }
  });
  return taken;
}
