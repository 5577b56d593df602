// An open location file in the "ファイル" folder: its records in memory,
// whether they changed since the last save, and saving them back. Its view
// is the one record source of the program that can be edited.
#pragma once

#include <string>
#include <vector>

#include "app/TreeNode.h"
#include "location/LocationRecord.h"

class CFileFolder;

class CLocationFileNode : public CTreeNode {
 public:
  // A new file that was never saved: no path, no records.
  CLocationFileNode();
  // Reads every record of the location file at path. Throws the load errors
  // of the file layer and of the point reader; nothing is written.
  explicit CLocationFileNode(const std::string& path);
  ~CLocationFileNode() override;

  // "新規ファイル" for a file never saved, else the file name.
  std::string GetTitle() const override;
  QIcon GetIcon() const override;
  // A file has no children.
  void EnumChildren(CNodeOutputIteratorRef sink) override;
  void Search(const CSearchCriteria& criteria, CRecordOutputIteratorRef sink) override;
  std::unique_ptr<CRecordSource> CreateView(CRecordSourceObserver* observer) override;
  // Asks whether to save a modified file: Yes saves (false when the save
  // dialog is cancelled), No lets the changes go, Cancel keeps the file open.
  bool CanClose() override;

  // Save As for a file never saved, else writes it where it is. False when
  // the user cancelled the save dialog.
  bool Save();
  // Asks for a path and writes there; the file then goes by that path.
  bool SaveAs();
  // Writes every record to path in one atomic replacement; the file counts
  // as saved only once it is safely there. A failure throws and leaves both
  // the file on disk and the modified flag as they were. The other files of
  // the folder open on that file count as modified from then on.
  void Write(const std::string& path);
  // Another node wrote this node's file: the records here are no longer what
  // the file holds, so closing asks again.
  void MarkReplacedOnDisk() { m_modified = true; }
  // The folder told of every write; set by the folder that holds the node.
  void SetFolder(CFileFolder* folder) { m_folder = folder; }

  const std::vector<CLocationRecord>& Records() const { return m_records; }
  // The records for changing: marks the file modified, also when the caller
  // then changes nothing.
  std::vector<CLocationRecord>& EditRecords();
  bool IsModified() const { return m_modified; }
  const std::string& GetPath() const { return m_path; }

 private:
  bool m_modified = false;
  CFileFolder* m_folder = nullptr;
  std::string m_path;
  std::vector<CLocationRecord> m_records;
};
