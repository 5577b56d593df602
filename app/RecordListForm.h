// A whole record source in a pane: the record list, filled from the source
// and passing the user's selection back to it.
#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

#include "app/RecordListDialog.h"

class CRecordSource;

class CRecordListForm : public QWidget, public CRecordListOwner {
 public:
  enum { IDC_PLACEHOLDER = 1027 };

  CRecordListForm(CRecordSource& source, QWidget* parent);

  // All records of the source into the list; the view calls it after every
  // change of its records.
  void Refill();
  // The source's records at indices (each once) into the list, in place;
  // after records were replaced.
  void RefillRecords(const std::vector<int32_t>& indices);
  // The source's selection into the list; after every change of the selection.
  void SyncSelection();
  void OnListSelectionChanged() override;
  CRecordListDialog* GetList() const { return m_list; }

 private:
  CRecordSource& m_source;
  CRecordListDialog* m_list;
};
