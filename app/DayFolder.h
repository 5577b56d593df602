// The database folder's view: the records of one local calendar day, read
// from the database, shown by the day view. Read-only.
#pragma once

#include <QPointer>
#include <cstdint>
#include <set>
#include <vector>

#include "app/DayView.h"
#include "location/LocationRecord.h"
#include "location/RecordSource.h"

class CDatabaseFolder;

class CDayFolder : public CRecordSource {
 public:
  // Registers observer, then shows the current local day. A failure to read
  // that day (no database, a bad section) leaves the folder without records.
  CDayFolder(CDatabaseFolder& folder, CRecordSourceObserver* observer);
  ~CDayFolder() override;

  // A new day view replaces any previous one.
  QWidget* CreateWindow(QWidget* parent) override;
  void DestroyWindow() override;
  void EnumerateAll(CRecordOutputIteratorRef sink) override;
  int32_t Count() const override;
  // Throws std::out_of_range for an index that is not a record's.
  void GetRecords(CIntIteratorRef first, CIntIteratorRef last,
                  CRecordOutputIteratorRef sink) override;
  // The three editing operations throw "readonly", also for empty ranges.
  void ReplaceRecords(CIntIteratorRef first, CIntIteratorRef last,
                      CRecordIteratorRef records) override;
  void RemoveRecords(CIntIteratorRef first, CIntIteratorRef last) override;
  void InsertRecords(int32_t position, CRecordIteratorRef first, CRecordIteratorRef last) override;
  // Indices that are not a record's are left out.
  void SetSelection(CIntIteratorRef first, CIntIteratorRef last) override;
  void GetSelection(CIntOutputIteratorRef sink) override;
  bool IsReadOnly() const override { return true; }
  // Reads the day's records again; the selection keeps the indices that
  // still name a record.
  void Refresh() override;

  // The local midnight that starts the shown day; setting it refreshes.
  void SetDate(int32_t date);
  int32_t GetDate() const { return m_date; }
  const std::vector<CLocationRecord>& GetDayRecords() const { return m_records; }
  const std::set<int32_t>& GetSelectionSet() const { return m_selection; }
  CDayView* GetView() const { return m_view; }

 private:
  void ShowInView();

  CDatabaseFolder& m_folder;
  QPointer<CDayView> m_view;
  std::vector<CLocationRecord> m_records;
  std::set<int32_t> m_selection;
  int32_t m_date = 0;
};
