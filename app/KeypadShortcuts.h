// The frame's keys that need the numeric keypad (Ctrl with keypad +, -, /
// and *). Qt's shortcut matching never fires them under X11: the keyboard
// layer offers a key press to it without the keypad modifier, so a
// shortcut that carries the modifier is never found, while a plain one
// (Ctrl+Minus) would fire from the main keyboard too. Their actions keep
// their shortcuts, for the menu texts and for platforms where they match;
// this filter runs them when such a key press comes through unmatched.
#pragma once

#include <QObject>
#include <QPointer>
#include <vector>

class QAction;
class QWidget;

class CKeypadShortcuts : public QObject {
 public:
  // Watches the application's key presses for the window's actions.
  explicit CKeypadShortcuts(QWidget* window);
  ~CKeypadShortcuts() override;
  CKeypadShortcuts(const CKeypadShortcuts&) = delete;
  CKeypadShortcuts& operator=(const CKeypadShortcuts&) = delete;

  // Takes the action when its shortcut needs the keypad; others are left to Qt.
  void Add(QAction* action);

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override;

 private:
  // Whether the key presses of the moment may run the window's shortcuts.
  bool HasWindowKeys() const;

  QWidget* m_window;
  std::vector<QPointer<QAction>> m_actions;
};
