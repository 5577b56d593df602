// The options dialog (209): the message server's address, user name and
// password, the location database file and the map catalogue file. While it
// is open it owns the shell's boxes, so the prompts its OK raises (a database
// or catalogue to create) stand over it.
#pragma once

#include <QDialog>
#include <QPointer>

class CAppCore;
class QLineEdit;
class QPushButton;

class COptionsDialog : public QDialog {
 public:
  enum {
    IDC_SERVER_URL = 1029,
    IDC_USER_NAME = 1030,
    IDC_PASSWORD = 1031,
    IDC_DATABASE_FILE = 1032,
    IDC_BROWSE_DATABASE = 1033,
    IDC_MAP_FILE = 1034,
    IDC_BROWSE_MAP = 1035,
  };

  COptionsDialog(CAppCore& core, QWidget* parent);
  // Gives the owner role back to the window that had it.
  ~COptionsDialog() override;

  QLineEdit* GetEdit(int id) const;
  // A file dialog for the edit; the chosen path replaces its text.
  void Browse(QLineEdit* edit);
  // Applies the settings when every one is accepted, then closes. A refused
  // one leaves the dialog open and every setting as it was.
  void accept() override;

 private:
  QLineEdit* AddEdit(int id);
  QPushButton* AddBrowseButton(int id, const char* text, QLineEdit* edit);

  CAppCore& m_core;
  QPointer<QWidget> m_previousOwner;
};

// Shows the options dialog, owned by the active window.
void ShowOptions(CAppCore& core);
