// The left pane's frame: a title with a close button above the shown pane.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

class QLabel;
class QToolButton;
class QVBoxLayout;

class CPaneContainer : public QWidget {
 public:
  explicit CPaneContainer(QWidget* parent);

  void SetTitle(const QString& title);
  QString GetTitle() const;
  // Shows client (which may be null) in the pane; the previous client stays
  // the caller's, hidden and back in the caller's hands.
  void SetClient(QWidget* client);
  QWidget* GetClient() const { return m_client; }
  QToolButton* GetCloseButton() const { return m_closeButton; }
  void SetCloseHandler(std::function<void()> onClose) { m_onClose = std::move(onClose); }

 private:
  QLabel* m_title;
  QToolButton* m_closeButton;
  QWidget* m_clientArea;
  QVBoxLayout* m_clientLayout;
  QPointer<QWidget> m_client;
  std::function<void()> m_onClose;
};
