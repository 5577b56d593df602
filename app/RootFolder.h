// The root of the folder tree: the home of the program, with the database
// folder and the "ファイル" folder as its children. Its view is the home page.
#pragma once

#include <memory>

#include "app/DatabaseFolder.h"
#include "app/FileFolder.h"
#include "app/TreeNode.h"

class CRootFolder : public CTreeNode {
 public:
  // Builds the database folder (which opens the database) and the file folder.
  CRootFolder();
  // Closes the files first, then the database.
  ~CRootFolder() override;

  std::string GetTitle() const override;
  QIcon GetIcon() const override;
  void EnumChildren(CNodeOutputIteratorRef sink) override;
  void Search(const CSearchCriteria& criteria, CRecordOutputIteratorRef sink) override;
  std::unique_ptr<CRecordSource> CreateView(CRecordSourceObserver* observer) override;

  CDatabaseFolder& GetDatabaseFolder() { return *m_databaseFolder; }
  CFileFolder& GetFileFolder() { return *m_fileFolder; }

 private:
  std::unique_ptr<CDatabaseFolder> m_databaseFolder;
  std::unique_ptr<CFileFolder> m_fileFolder;
};

// The one root folder, built on first use.
CRootFolder& GetRootFolder();
// Tears the tree down; the next GetRootFolder builds a new one. The program
// calls it after the main frame and the application core are gone.
void ReleaseRootFolder();
