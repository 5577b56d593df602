#include "app/FilePane.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppStrings.h"
#include "app/FileFolder.h"
#include "app/PaneWindow.h"
#include "app/RunGuarded.h"

CFilePaneForm::CFilePaneForm(CFileFolder& folder, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("213"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->setSpacing(6);
  layout->addWidget(new QLabel(QString::fromStdString(LoadAppString(IDS_FILE_FOLDER)), this));
  m_newButton = new QPushButton(QStringLiteral("新規作成(&N)"), this);
  m_newButton->setObjectName(QString::number(IDC_NEW));
  m_openButton = new QPushButton(QStringLiteral("開く(&O)..."), this);
  m_openButton->setObjectName(QString::number(IDC_OPEN));
  layout->addWidget(m_newButton, 0, Qt::AlignLeft);
  layout->addWidget(m_openButton, 0, Qt::AlignLeft);
  layout->addStretch(1);
  CFileFolder* files = &folder;
  connect(m_newButton, &QPushButton::clicked, this,
          [this, files] { RunGuarded(this, [&] { files->New(); }); });
  connect(m_openButton, &QPushButton::clicked, this,
          [this, files] { RunGuarded(this, [&] { files->Open(); }); });
}

CFilePane::CFilePane(CFileFolder& folder) : m_folder(folder) {}

CFilePane::~CFilePane() { DestroyPaneWindow(m_form); }

QWidget* CFilePane::CreateWindow(QWidget* parent) {
  DestroyPaneWindow(m_form);
  m_form = new CFilePaneForm(m_folder, parent);
  return m_form;
}

void CFilePane::DestroyWindow() { DestroyPaneWindow(m_form); }
