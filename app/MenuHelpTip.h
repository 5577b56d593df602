// The menu-help tip: resting on a menu item shows the item's long prompt in a
// tip below the frame's caption, after the tooltip delay for the first item
// and at once for the next ones, until the menu closes.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>

class QAction;
class QMenu;
class QWidget;

class CMenuHelpTip : public QObject {
 public:
  explicit CMenuHelpTip(QWidget* frame);

  // Follows the items of menu and of its sub-menus.
  void Watch(QMenu* menu);

  // The tip's text while it is shown, else empty.
  QString GetShownText() const { return m_shown ? m_text : QString(); }
  int GetInitialDelay() const { return m_timer.interval(); }

 private:
  void OnHovered(QAction* action);
  void OnMenuClosed();
  void ShowTip();
  void HideTip();

  QWidget* m_frame;
  QTimer m_timer;
  uint32_t m_commandId = 0;
  bool m_tipShownSinceOpen = false;
  bool m_shown = false;
  QString m_text;
};
