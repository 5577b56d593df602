// The record sources of the folder views that list records: one vector of
// records in index order and a selection of indices below their count. The
// reading half of the operations is the same for all of them; the read-only
// ones (a day of the database, the search results) also refuse every edit
// alike, while an open file edits its records itself.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "location/LocationRecord.h"
#include "location/RecordSource.h"

class CRecordListSource : public CRecordSource {
 public:
  void EnumerateAll(CRecordOutputIteratorRef sink) override;
  int32_t Count() const override;
  // Throws std::out_of_range for an index that is not a record's.
  void GetRecords(CIntIteratorRef first, CIntIteratorRef last,
                  CRecordOutputIteratorRef sink) override;
  // Indices that are not a record's are left out. The pane shows the new
  // selection before the observers hear of it.
  void SetSelection(CIntIteratorRef first, CIntIteratorRef last) override;
  void GetSelection(CIntOutputIteratorRef sink) override;

  const std::set<int32_t>& GetSelectionSet() const { return m_selection; }

 protected:
  // The records, in index order.
  virtual const std::vector<CLocationRecord>& ListedRecords() const = 0;
  // Shows the selection in the pane, when there is one.
  virtual void ShowSelection() = 0;

  std::set<int32_t> m_selection;
};

class CReadOnlyRecordListSource : public CRecordListSource {
 public:
  // The three editing operations throw "readonly", also for empty ranges.
  void ReplaceRecords(CIntIteratorRef first, CIntIteratorRef last,
                      CRecordIteratorRef records) override;
  void RemoveRecords(CIntIteratorRef first, CIntIteratorRef last) override;
  void InsertRecords(int32_t position, CRecordIteratorRef first, CRecordIteratorRef last) override;
  bool IsReadOnly() const override { return true; }
};
