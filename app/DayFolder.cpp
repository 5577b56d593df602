#include "app/DayFolder.h"

#include <exception>
#include <string>

#include "app/DatabaseFolder.h"
#include "app/DayView.h"
#include "app/LocalDay.h"
#include "app/PaneWindow.h"
#include "location/IteratorAdaptors.h"
#include "location/LocationQuery.h"

CDayFolder::CDayFolder(CDatabaseFolder& folder, CRecordSourceObserver* observer)
    : m_folder(folder) {
  AddObserver(observer);
  try {
    SetDate(TodayLocalMidnight());
  } catch (const std::exception&) {
    // The folder shows whatever it got: without a database, nothing.
  }
}

CDayFolder::~CDayFolder() {
  DestroyWindow();
  m_selection.clear();
  m_records.clear();
}

QWidget* CDayFolder::CreateWindow(QWidget* parent) {
  DestroyWindow();
  m_view = new CDayView(*this, parent);
  return m_view;
}

void CDayFolder::DestroyWindow() {
  DestroyPaneWindow(m_view);
  m_view = nullptr;
}

void CDayFolder::ShowSelection() {
  if (m_view) m_view->SyncSelection();
}

void CDayFolder::SetDate(int32_t date) {
  m_date = date;
  Refresh();
}

void CDayFolder::Refresh() {
  m_records.clear();
  std::vector<CLocationRecord> found;
  std::exception_ptr failure;
  try {
    // The day ends at the next local midnight, 23 or 25 hours later on the
    // days daylight saving begins or ends.
    CSearchCriteria criteria;
    criteria.begin = m_date;
    criteria.end = AddLocalDays(m_date, 1);
    m_folder.Search(criteria, MakeRecordBackInserter(found));
    m_records = std::move(found);
  } catch (...) {
    // The pane and the observers still learn that the records are gone.
    failure = std::current_exception();
  }
  // Kept indices that no longer name a record would be read past the end.
  m_selection.erase(m_selection.lower_bound(Count()), m_selection.end());
  ShowInView();
  NotifyRecordsAndSelectionChanged();
  if (failure) std::rethrow_exception(failure);
}

void CDayFolder::ShowInView() {
  if (!m_view) return;
  m_view->Refill();
  m_view->SyncSelection();
}
