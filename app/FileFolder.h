// The "ファイル" folder: the location files opened or created in this run.
//
// This build cannot open location files yet: the folder has no children and
// its commands are not offered.
#pragma once

#include <memory>
#include <vector>

#include "app/TreeNode.h"

// An open location file in the folder.
class CLocationFileNode : public CTreeNode {
 public:
  // False when the user cancelled the save dialog.
  virtual bool Save() = 0;
  virtual bool SaveAs() = 0;
};

class CFileFolder : public CTreeNode {
 public:
  CFileFolder();
  ~CFileFolder() override;

  std::string GetTitle() const override;
  QIcon GetIcon() const override;
  void EnumChildren(CNodeOutputIteratorRef sink) override;
  void Search(const CSearchCriteria& criteria, CRecordOutputIteratorRef sink) override;
  std::unique_ptr<CRecordSource> CreateView(CRecordSourceObserver* observer) override;

  void New();
  void Open();
  // Closes a file of this folder without asking it; others are ignored.
  void Close(CLocationFileNode* node);
  // The node when it is one of this folder's files, else null.
  CLocationFileNode* Find(CTreeNode* node) const;

 private:
  std::vector<std::unique_ptr<CLocationFileNode>> m_children;
};
