// The root folder's view: a page with one button for each of its two folders.
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/EmptyView.h"

class CRootFolder;
class QToolButton;

// The page itself (dialog 212).
class CHomePageForm : public QWidget {
 public:
  enum { IDC_DATABASE_BUTTON = 1048, IDC_FILE_BUTTON = 1049 };

  CHomePageForm(CRootFolder& root, QWidget* parent);
  QToolButton* GetDatabaseButton() const { return m_databaseButton; }
  QToolButton* GetFileButton() const { return m_fileButton; }

 private:
  QToolButton* m_databaseButton;
  QToolButton* m_fileButton;
};

class CHomePage : public CEmptyView {
 public:
  explicit CHomePage(CRootFolder& root);
  ~CHomePage() override;

  // A new page replaces any previous one.
  QWidget* CreateWindow(QWidget* parent) override;
  void DestroyWindow() override;
  CHomePageForm* GetForm() const { return m_form; }

 private:
  CRootFolder& m_root;
  QPointer<CHomePageForm> m_form;
};
