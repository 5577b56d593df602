#include "app/MenuHelpTip.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QStyle>
#include <QToolTip>
#include <QWidget>

#include "app/AppStrings.h"
#include "app/RunGuarded.h"

CMenuHelpTip::CMenuHelpTip(QWidget* frame) : QObject(frame), m_frame(frame) {
  m_timer.setSingleShot(true);
  const int delay = frame->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, frame);
  m_timer.setInterval(delay > 0 ? delay : 700);
  connect(&m_timer, &QTimer::timeout, this, [this] {
    RunGuarded(m_frame, [&] {
      m_tipShownSinceOpen = true;
      ShowTip();
    });
  });
}

void CMenuHelpTip::Watch(QMenu* menu) {
  connect(menu, &QMenu::hovered, this,
          [this](QAction* action) { RunGuarded(m_frame, [&] { OnHovered(action); }); });
  connect(menu, &QMenu::aboutToHide, this,
          [this] { RunGuarded(m_frame, [&] { OnMenuClosed(); }); });
  for (QAction* action : menu->actions())
    if (action->menu()) Watch(action->menu());
}

void CMenuHelpTip::OnHovered(QAction* action) {
  HideTip();
  if (action == nullptr || action->isSeparator() || action->menu() != nullptr) {
    // A popup item: no tip of its own, and the next item waits again.
    m_timer.stop();
    m_tipShownSinceOpen = false;
    return;
  }
  m_commandId = action->data().toUInt();
  if (!m_tipShownSinceOpen)
    m_timer.start();
  else
    ShowTip();
}

void CMenuHelpTip::OnMenuClosed() {
  HideTip();
  m_timer.stop();
  m_tipShownSinceOpen = false;
}

void CMenuHelpTip::ShowTip() {
  if (m_commandId == 0) return;
  m_text = QString::fromStdString(CommandPrompt(m_commandId));
  if (m_text.isEmpty()) return;
  // Just below the frame's caption, at its left edge.
  const QPoint at = m_frame->mapToGlobal(QPoint(0, 0));
  QToolTip::showText(at, m_text, m_frame);
  m_shown = true;
}

void CMenuHelpTip::HideTip() {
  if (m_shown) QToolTip::hideText();
  m_shown = false;
}
