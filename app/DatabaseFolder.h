// The folder of the location database, titled "マイルモ".
//
// This build has no location database yet: the folder opens none, its view
// holds no records, and receiving and searching report "Database Not Ready",
// as they do whenever no database is open.
#pragma once

#include <cstdint>
#include <string>

#include "app/TreeNode.h"

class CDatabaseFolder : public CTreeNode {
 public:
  CDatabaseFolder();

  std::string GetTitle() const override;
  QIcon GetIcon() const override;
  void EnumChildren(CNodeOutputIteratorRef sink) override;
  void Search(const CSearchCriteria& criteria, CRecordOutputIteratorRef sink) override;
  std::unique_ptr<CRecordSource> CreateView(CRecordSourceObserver* observer) override;

  // The "LocationDatabaseFile" value; empty when absent.
  std::string GetDatabasePath() const;
  void SetDatabasePath(const std::string& path);
  // Receives the waiting messages into the database; returns their number.
  int32_t ReceiveLocationMessages();
};
