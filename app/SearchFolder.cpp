#include "app/SearchFolder.h"

#include <exception>
#include <string>
#include <utility>

#include "app/AppCore.h"
#include "app/BusyScope.h"
#include "app/PaneWindow.h"
#include "app/RootFolder.h"
#include "app/SearchPane.h"
#include "location/IteratorAdaptors.h"
#include "location/LocationQuery.h"

CSearchFolder::CSearchFolder(CRecordSourceObserver* observer) {
  if (observer) AddObserver(observer);
}

CSearchFolder::~CSearchFolder() {
  DestroyWindow();
  m_selection.clear();
  m_results.clear();
}

QWidget* CSearchFolder::CreateWindow(QWidget* parent) {
  DestroyWindow();
  m_pane = new CSearchPane(*this, parent);
  return m_pane;
}

void CSearchFolder::DestroyWindow() {
  // The pane ends a pick it has running before it leaves: the map must not
  // call back into a pane that is gone.
  if (m_pane) m_pane->CancelPick();
  DestroyPaneWindow(m_pane);
  m_pane = nullptr;
}

void CSearchFolder::ShowSelection() {
  if (m_pane) m_pane->SyncSelection();
}

void CSearchFolder::Refresh() {
  // Kept indices that no longer name a result would be read past the end.
  m_selection.erase(m_selection.lower_bound(Count()), m_selection.end());
  if (m_pane) {
    m_pane->Refill();
    m_pane->SyncSelection();
  }
  NotifyRecordsAndSelectionChanged();
}

void CSearchFolder::RunQuery(const CSearchCriteria& criteria) {
  RunQuery(criteria, GetAppCore()->GetRootFolder());
}

void CSearchFolder::RunQuery(const CSearchCriteria& criteria, CTreeNode& root) {
  // The old results go with their memory: a search that finds fewer records
  // must not keep the room of a larger one.
  std::vector<CLocationRecord>().swap(m_results);
  m_selection.clear();
  // The map keeps painting while the nodes search: it must know at once
  // that the records it drew are gone.
  Refresh();
  CBusyScope busy;
  try {
    SearchTree(root, criteria, busy);
  } catch (...) {
    // What was found so far stays; the list and the map show exactly that,
    // so that an index picked in the list names the same record here.
    Refresh();
    throw;
  }
}

void CSearchFolder::SearchTree(CTreeNode& node, const CSearchCriteria& criteria, CBusyScope& busy) {
  // A node's search may read a whole database: it runs on a worker thread
  // while the windows keep painting, into a list of its own, and only this
  // thread touches the results that the list and the map read.
  std::vector<CLocationRecord> found;
  busy.Run([&] { node.Search(criteria, MakeRecordBackInserter(found)); });
  if (m_results.empty()) {
    m_results = std::move(found);
  } else {
    m_results.insert(m_results.end(), std::make_move_iterator(found.begin()),
                     std::make_move_iterator(found.end()));
  }
  std::vector<CLocationRecord>().swap(found);
  for (CTreeNode* child : GetChildren(node)) SearchTree(*child, criteria, busy);
  Refresh();
}
