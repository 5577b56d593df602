// The "ファイル" folder's own view: a pane with New and Open buttons. It has
// no records and cannot be edited.
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/EmptyView.h"

class CFileFolder;
class QPushButton;

// The pane itself (dialog 213).
class CFilePaneForm : public QWidget {
 public:
  enum { IDC_OPEN = 1049, IDC_NEW = 1051 };

  CFilePaneForm(CFileFolder& folder, QWidget* parent);
  QPushButton* GetNewButton() const { return m_newButton; }
  QPushButton* GetOpenButton() const { return m_openButton; }

 private:
  QPushButton* m_newButton;
  QPushButton* m_openButton;
};

class CFilePane : public CEmptyView {
 public:
  explicit CFilePane(CFileFolder& folder);
  ~CFilePane() override;

  // A new pane replaces any previous one.
  QWidget* CreateWindow(QWidget* parent) override;
  void DestroyWindow() override;
  CFilePaneForm* GetForm() const { return m_form; }

 private:
  CFileFolder& m_folder;
  QPointer<CFilePaneForm> m_form;
};
