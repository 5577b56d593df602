#include "app/HomePage.h"

#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/AppCore.h"
#include "app/AppIcons.h"
#include "app/AppStrings.h"
#include "app/PaneWindow.h"
#include "app/RootFolder.h"
#include "app/RunGuarded.h"

namespace {

QToolButton* MakeFolderButton(QWidget* parent, uint32_t icon, uint32_t text, int id) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::number(id));
  button->setIcon(LoadAppIcon(icon));
  button->setIconSize(QSize(32, 32));
  button->setFixedSize(QSize(40, 40));
  // An icon button: its text is what tools and tooltips show.
  button->setToolTip(QString::fromStdString(LoadAppString(text)));
  button->setAccessibleName(button->toolTip());
  return button;
}

}  // namespace

CHomePageForm::CHomePageForm(CRootFolder& root, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("212"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->setSpacing(6);
  layout->addWidget(new QLabel(QString::fromStdString(LoadAppString(IDS_TITLE)), this));
  m_databaseButton = MakeFolderButton(this, IDI_DATABASE, IDS_DATABASE_FOLDER, IDC_DATABASE_BUTTON);
  m_fileButton = MakeFolderButton(this, IDI_FILE_FOLDER, IDS_FILE_FOLDER, IDC_FILE_BUTTON);
  layout->addWidget(m_databaseButton);
  layout->addWidget(m_fileButton);
  layout->addStretch(1);
  CRootFolder* rootFolder = &root;
  connect(m_databaseButton, &QToolButton::clicked, this, [this, rootFolder] {
    RunGuarded(this, [&] { GetAppCore()->SetCurrentNode(&rootFolder->GetDatabaseFolder()); });
  });
  connect(m_fileButton, &QToolButton::clicked, this, [this, rootFolder] {
    RunGuarded(this, [&] { GetAppCore()->SetCurrentNode(&rootFolder->GetFileFolder()); });
  });
}

CHomePage::CHomePage(CRootFolder& root) : m_root(root) {}

CHomePage::~CHomePage() { DestroyPaneWindow(m_form); }

QWidget* CHomePage::CreateWindow(QWidget* parent) {
  DestroyPaneWindow(m_form);
  m_form = new CHomePageForm(m_root, parent);
  return m_form;
}

void CHomePage::DestroyWindow() { DestroyPaneWindow(m_form); }
