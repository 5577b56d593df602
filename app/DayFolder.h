// The database folder's view: the records of one local calendar day, read
// from the database, shown by the day view. Read-only.
#pragma once

#include <QPointer>
#include <cstdint>
#include <vector>

#include "app/DayView.h"
#include "location/LocationRecord.h"
#include "location/RecordListSource.h"

class CDatabaseFolder;

class CDayFolder : public CReadOnlyRecordListSource {
 public:
  // Registers observer, then shows the current local day. A failure to read
  // that day (no database, a bad section) leaves the folder without records.
  CDayFolder(CDatabaseFolder& folder, CRecordSourceObserver* observer);
  ~CDayFolder() override;

  // A new day view replaces any previous one.
  QWidget* CreateWindow(QWidget* parent) override;
  void DestroyWindow() override;
  // Reads the day's records again; the selection keeps the indices that
  // still name a record.
  void Refresh() override;

  // The local midnight that starts the shown day; setting it refreshes.
  void SetDate(int32_t date);
  int32_t GetDate() const { return m_date; }
  const std::vector<CLocationRecord>& GetDayRecords() const { return m_records; }
  CDayView* GetView() const { return m_view; }

 private:
  const std::vector<CLocationRecord>& ListedRecords() const override { return m_records; }
  void ShowSelection() override;
  void ShowInView();

  CDatabaseFolder& m_folder;
  QPointer<CDayView> m_view;
  std::vector<CLocationRecord> m_records;
  int32_t m_date = 0;
};
