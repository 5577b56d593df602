// The "ファイル" folder: the location files opened or created in this run,
// one node each, in the order they came.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/LocationFileNode.h"
#include "app/TreeNode.h"

class CFileFolder : public CTreeNode {
 public:
  CFileFolder();
  ~CFileFolder() override;

  std::string GetTitle() const override;
  QIcon GetIcon() const override;
  void EnumChildren(CNodeOutputIteratorRef sink) override;
  void Search(const CSearchCriteria& criteria, CRecordOutputIteratorRef sink) override;
  // The pane with the New and Open buttons.
  std::unique_ptr<CRecordSource> CreateView(CRecordSourceObserver* observer) override;

  // Adds an empty file that was never saved.
  void New();
  // Asks for files and opens them in the dialog's order; the first that
  // fails to load throws, after the ones before it were opened.
  void Open();
  // Adds the location file at path; throws its load error and adds nothing.
  void OpenFile(const std::string& path);
  // Closes a file of this folder without asking it; others are ignored.
  void Close(CLocationFileNode* node);
  // The node when it is one of this folder's files, else null.
  CLocationFileNode* Find(CTreeNode* node) const;
  // writer has just written path: every other file open on the same file
  // (by any name or link) no longer holds what is on disk.
  void OnFileWritten(const CLocationFileNode& writer, const std::string& path);

 private:
  void Append(std::unique_ptr<CLocationFileNode> node);

  std::vector<std::unique_ptr<CLocationFileNode>> m_children;
};
