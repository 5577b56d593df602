// The search results: the records the last search found in the folder tree,
// the active record source in search mode. Read-only; its pane is the search
// pane, where the user states the next search.
#pragma once

#include <QPointer>
#include <cstdint>
#include <vector>

#include "app/SearchPane.h"
#include "location/LocationRecord.h"
#include "location/RecordListSource.h"

class CBusyScope;
class CTreeNode;
struct CSearchCriteria;

class CSearchFolder : public CReadOnlyRecordListSource {
 public:
  // Starts empty and reports to observer.
  explicit CSearchFolder(CRecordSourceObserver* observer);
  ~CSearchFolder() override;

  // A new search pane replaces any previous one; it starts without a range.
  QWidget* CreateWindow(QWidget* parent) override;
  void DestroyWindow() override;
  // Shows the results in the pane and tells the observers; does not search.
  void Refresh() override;

  // Empties the results (and refreshes) and asks every node of the
  // application core's folder tree, depth first, for its matching records.
  // The folder refreshes after each node's subtree. A node whose search fails
  // ends the walk: the results found so far stay and are shown, and the error
  // is thrown.
  void RunQuery(const CSearchCriteria& criteria);
  // The same over the tree below root.
  void RunQuery(const CSearchCriteria& criteria, CTreeNode& root);

  const std::vector<CLocationRecord>& GetResults() const { return m_results; }
  CSearchPane* GetPane() const { return m_pane; }

 private:
  const std::vector<CLocationRecord>& ListedRecords() const override { return m_results; }
  void ShowSelection() override;
  void SearchTree(CTreeNode& node, const CSearchCriteria& criteria, CBusyScope& busy);

  QPointer<CSearchPane> m_pane;
  std::vector<CLocationRecord> m_results;
};
