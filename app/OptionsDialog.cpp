#include "app/OptionsDialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppCore.h"
#include "app/AppStrings.h"
#include "app/DialogParts.h"
#include "app/FileDialogs.h"
#include "app/RunGuarded.h"

COptionsDialog::COptionsDialog(CAppCore& core, QWidget* parent)
    : QDialog(parent), m_core(core), m_previousOwner(core.GetMainWindow()) {
  setObjectName(QStringLiteral("209"));
  setWindowTitle(QStringLiteral("オプション"));

  QLineEdit* url = AddEdit(IDC_SERVER_URL);
  QLineEdit* userName = AddEdit(IDC_USER_NAME);
  QLineEdit* password = AddEdit(IDC_PASSWORD);
  password->setEchoMode(QLineEdit::Password);
  QLineEdit* database = AddEdit(IDC_DATABASE_FILE);
  QLineEdit* maps = AddEdit(IDC_MAP_FILE);
  url->setText(QString::fromStdString(core.GetServerUrl()));
  userName->setText(QString::fromStdString(core.GetServerUserName()));
  password->setText(QString::fromStdString(core.GetServerPassword()));
  database->setText(QString::fromStdString(core.GetDatabasePath()));
  maps->setText(QString::fromStdString(core.GetMapFilePath()));
  // Paths are long; their edits leave room for them.
  for (QLineEdit* path : {database, maps}) path->setMinimumWidth(320);

  auto* server = new QGroupBox(QStringLiteral("メッセージサーバー"), this);
  auto* serverGrid = new QGridLayout(server);
  serverGrid->addWidget(BuddyLabel("アドレス(&D) :", url, server), 0, 0);
  serverGrid->addWidget(url, 0, 1);
  serverGrid->addWidget(BuddyLabel("ユーザー名(&U) :", userName, server), 1, 0);
  serverGrid->addWidget(userName, 1, 1);
  serverGrid->addWidget(BuddyLabel("パスワード(&P) :", password, server), 2, 0);
  serverGrid->addWidget(password, 2, 1);

  auto* databaseGroup = new QGroupBox(QStringLiteral("位置記録データベース"), this);
  auto* databaseRow = new QHBoxLayout(databaseGroup);
  databaseRow->addWidget(BuddyLabel("ファイル名(&F) :", database, databaseGroup));
  databaseRow->addWidget(database, 1);
  databaseRow->addWidget(AddBrowseButton(IDC_BROWSE_DATABASE, "参照(&B)...", database));

  auto* mapGroup = new QGroupBox(QStringLiteral("地図設定"), this);
  auto* mapRow = new QHBoxLayout(mapGroup);
  mapRow->addWidget(BuddyLabel("ファイル名(&I) :", maps, mapGroup));
  mapRow->addWidget(maps, 1);
  mapRow->addWidget(AddBrowseButton(IDC_BROWSE_MAP, "参照(&R)...", maps));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(server);
  layout->addWidget(databaseGroup);
  layout->addWidget(mapGroup);
  layout->addLayout(MakeOkCancelRow(this, QStringLiteral("ｷｬﾝｾﾙ")));
  // Last: a dialog whose settings could not be read never took the role, and
  // the destructor that gives it back runs only for a finished dialog.
  m_core.SetMainWindow(this);
}

COptionsDialog::~COptionsDialog() {
  if (m_core.GetMainWindow() == this) m_core.SetMainWindow(m_previousOwner);
}

QLineEdit* COptionsDialog::AddEdit(int id) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QString::number(id));
  return edit;
}

QPushButton* COptionsDialog::AddBrowseButton(int id, const char* text, QLineEdit* edit) {
  auto* button = new QPushButton(QString::fromUtf8(text), this);
  button->setObjectName(QString::number(id));
  button->setAutoDefault(false);
  connect(button, &QPushButton::clicked, this,
          [this, edit] { RunGuarded(this, [&] { Browse(edit); }); });
  return button;
}

QLineEdit* COptionsDialog::GetEdit(int id) const {
  return findChild<QLineEdit*>(QString::number(id));
}

void COptionsDialog::Browse(QLineEdit* edit) {
  const std::string chosen = GetFileDialogs().GetBrowseFileName(
      this, LoadAppString(IDS_FILE_FILTER), "xml", edit->text().toStdString());
  if (!chosen.empty()) edit->setText(QString::fromStdString(chosen));
}

void COptionsDialog::accept() {
  const bool applied = RunGuarded(this, [&] {
    COptionValues values;
    values.serverUrl = GetEdit(IDC_SERVER_URL)->text().toStdString();
    values.serverUserName = GetEdit(IDC_USER_NAME)->text().toStdString();
    values.serverPassword = GetEdit(IDC_PASSWORD)->text().toStdString();
    values.databasePath = GetEdit(IDC_DATABASE_FILE)->text().toStdString();
    values.mapFile = GetEdit(IDC_MAP_FILE)->text().toStdString();
    // The database reopens and the maps reload only when their paths
    // changed, with their own questions; a refused path changes nothing.
    m_core.SetOptions(values);
  });
  if (applied) QDialog::accept();
}

void ShowOptions(CAppCore& core) {
  COptionsDialog dialog(core, ActiveWindowOr(core.GetMainWindow()));
  dialog.exec();
}
