#include "app/DialogParts.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

QWidget* ActiveWindowOr(QWidget* fallback) {
  QWidget* active = QApplication::activeWindow();
  return active ? active : fallback;
}

QLabel* BuddyLabel(const char* text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setBuddy(buddy);
  return label;
}

QHBoxLayout* MakeOkCancelRow(QDialog* dialog, const QString& cancelText) {
  auto* ok = new QPushButton(QStringLiteral("OK"), dialog);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(cancelText, dialog);
  cancel->setObjectName(QStringLiteral("2"));
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(ok);
  row->addWidget(cancel);
  return row;
}
