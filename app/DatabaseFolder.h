// The folder of the location database, titled "マイルモ": it owns the open
// database, opens or offers to create it, answers searches, makes the day
// folders that show it, and receives the waiting messages into it.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/TreeNode.h"

class CDatabaseOperation;
class CLocationDatabase;

// A database index that is there but cannot be read; what() says so in the
// user's words, with the reason. It is the user's to mend: nothing is ever
// created over it.
class CUnreadableDatabase : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class CDatabaseFolder : public CTreeNode {
 public:
  // Opens the database named by "LocationDatabaseFile", or asks to create it
  // at the default place when the setting is empty. Declining, or an index
  // that cannot be read (shown in a box), leaves the folder without a
  // database.
  CDatabaseFolder();
  // Releases the database, which saves what it holds modified.
  ~CDatabaseFolder() override;

  std::string GetTitle() const override;
  QIcon GetIcon() const override;
  void EnumChildren(CNodeOutputIteratorRef sink) override;
  void Search(const CSearchCriteria& criteria, CRecordOutputIteratorRef sink) override;
  // A day folder showing today.
  std::unique_ptr<CRecordSource> CreateView(CRecordSourceObserver* observer) override;

  // The "LocationDatabaseFile" value; empty when absent.
  std::string GetDatabasePath() const;
  // Opens the database at path when it differs from the setting; asks before
  // creating a missing one. An index there that cannot be read throws
  // CUnreadableDatabase with nothing changed.
  void SetDatabasePath(const std::string& path);
  // The same in three steps, so that other settings can be checked between
  // them. Opening asks before creating a missing database and throws when
  // creating it fails, and throws CUnreadableDatabase for an index there
  // that cannot be read. It shows no box and writes and replaces nothing;
  // it gives null when the user declined.
  std::unique_ptr<CLocationDatabase> OpenDatabaseAt(const std::string& path, bool automatic);
  // Writes path as the "LocationDatabaseFile" setting.
  void WriteDatabasePath(const std::string& path);
  // The opened database, unless null, takes the open one's place; the days
  // shown are read from it.
  void UseDatabase(std::unique_ptr<CLocationDatabase> database);
  // Throws "Database Not Ready" without a database.
  void RunQuery(CDatabaseOperation& operation);
  bool HasDatabase() const { return m_database != nullptr; }

  // Fetches the waiting messages, files them, saves, then deletes them on the
  // server and refreshes the day folders; returns their number.
  int32_t ReceiveLocationMessages();

  // "<application data>/KESTOVAN/Quor Lumo Folvane/LocationDatabase/index.xml".
  static std::string DefaultDatabasePath();

 private:
  void OpenDatabase(const std::string& path, bool automatic);
  // Every live day view reads its day again.
  void RefreshViews();
  // The new database takes the old one's place; the old one then saves what
  // it holds and goes, a failure to save thrown with the new one in place.
  void ReplaceDatabase(std::unique_ptr<CLocationDatabase> database);

  std::unique_ptr<CLocationDatabase> m_database;
};
