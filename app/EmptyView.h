// A read-only view without records: the base of the views that only show a
// pane, and the view of folders whose content is not available.
#pragma once

#include "location/RecordSource.h"

class CEmptyView : public CRecordSource {
 public:
  // No pane unless a derived view makes one.
  QWidget* CreateWindow(QWidget* parent) override;
  void DestroyWindow() override;
  void EnumerateAll(CRecordOutputIteratorRef sink) override;
  int32_t Count() const override;
  void GetRecords(CIntIteratorRef first, CIntIteratorRef last,
                  CRecordOutputIteratorRef sink) override;
  // The editing operations refuse with "readonly", as the empty source does.
  void ReplaceRecords(CIntIteratorRef first, CIntIteratorRef last,
                      CRecordIteratorRef records) override;
  void RemoveRecords(CIntIteratorRef first, CIntIteratorRef last) override;
  void InsertRecords(int32_t position, CRecordIteratorRef first, CRecordIteratorRef last) override;
  void SetSelection(CIntIteratorRef first, CIntIteratorRef last) override;
  void GetSelection(CIntOutputIteratorRef sink) override;
  bool IsReadOnly() const override;
  void Refresh() override;
};
