#include "app/AboutDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppIcons.h"

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("100"));
  setWindowTitle(QStringLiteral("バージョン情報"));
  auto* icon = new QLabel(this);
  icon->setPixmap(LoadAppIcon(IDI_PROGRAM).pixmap(48, 48));
  auto* text = new QLabel(QString::fromUtf8(kVersionText), this);
  auto* rights = new QLabel(QStringLiteral("Copyright (C) KESTOVAN\nAll rights reserved."), this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* texts = new QVBoxLayout;
  texts->addWidget(text);
  texts->addWidget(rights);
  auto* row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addLayout(texts, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
  setFixedSize(sizeHint());
  // Centred over the parent, as dialogs open.
  if (parent) move(parent->geometry().center() - rect().center());
}
