// The view of an open location file: its records in the record list, with a
// selection of its own. The only writable record source: every edit goes
// through the node's EditRecords and so marks the file modified.
#pragma once

#include <QPointer>
#include <cstdint>

#include "app/RecordListForm.h"
#include "location/RecordListSource.h"

class CLocationFileNode;

class CLocationFileView : public CRecordListSource {
 public:
  // Starts with observer and tells it of the records and the selection at
  // once. The node must outlive the view.
  CLocationFileView(CLocationFileNode& node, CRecordSourceObserver* observer);
  ~CLocationFileView() override;

  // A new record-list form replaces any previous one.
  QWidget* CreateWindow(QWidget* parent) override;
  void DestroyWindow() override;
  // The editing operations check every index (std::out_of_range) before
  // changing anything. A replacement tells the observers which records it
  // replaced (OnRecordsReplaced).
  void ReplaceRecords(CIntIteratorRef first, CIntIteratorRef last,
                      CRecordIteratorRef records) override;
  // Removes each index once; the selection loses the removed records and
  // keeps naming the same records above them.
  void RemoveRecords(CIntIteratorRef first, CIntIteratorRef last) override;
  // position from 0 to Count; selected indices from position on move up by
  // the number inserted, and the new records are not selected.
  void InsertRecords(int32_t position, CRecordIteratorRef first, CRecordIteratorRef last) override;
  bool IsReadOnly() const override { return false; }
  void Refresh() override;

  CLocationFileNode& GetNode() const { return m_node; }
  CRecordListForm* GetForm() const { return m_form; }

 private:
  const std::vector<CLocationRecord>& ListedRecords() const override;
  void ShowSelection() override;
  // The list shows the records and selection again; then the observers hear.
  void AfterRecordsChanged();

  CLocationFileNode& m_node;
  QPointer<CRecordListForm> m_form;
};
