#include "app/PaneContainer.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/RunGuarded.h"

CPaneContainer::CPaneContainer(QWidget* parent)
    : QWidget(parent),
      m_title(new QLabel(this)),
      m_closeButton(new QToolButton(this)),
      m_clientArea(new QWidget(this)),
      m_clientLayout(new QVBoxLayout(m_clientArea)) {
  auto* header = new QWidget(this);
  header->setAutoFillBackground(true);
  header->setBackgroundRole(QPalette::Button);
  auto* headerLayout = new QHBoxLayout(header);
  headerLayout->setContentsMargins(4, 1, 1, 1);
  headerLayout->addWidget(m_title, 1);
  m_closeButton->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
  m_closeButton->setAutoRaise(true);
  m_closeButton->setIconSize(QSize(10, 10));
  headerLayout->addWidget(m_closeButton);
  m_clientLayout->setContentsMargins(0, 0, 0, 0);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(header);
  layout->addWidget(m_clientArea, 1);
  connect(m_closeButton, &QToolButton::clicked, this, [this] {
    RunGuarded(window(), [&] {
      if (m_onClose) m_onClose();
    });
  });
}

void CPaneContainer::SetTitle(const QString& title) { m_title->setText(title); }

QString CPaneContainer::GetTitle() const { return m_title->text(); }

void CPaneContainer::SetClient(QWidget* client) {
  if (client == m_client) return;
  if (m_client) {
    m_clientLayout->removeWidget(m_client);
    m_client->hide();
  }
  m_client = client;
  if (m_client) {
    m_client->setParent(m_clientArea);
    m_clientLayout->addWidget(m_client);
    m_client->show();
  }
}
