#include "app/EmptyView.h"

QWidget* CEmptyView::CreateWindow(QWidget*) { return nullptr; }
void CEmptyView::DestroyWindow() {}
void CEmptyView::EnumerateAll(CRecordOutputIteratorRef) {}
int32_t CEmptyView::Count() const { return 0; }
void CEmptyView::GetRecords(CIntIteratorRef, CIntIteratorRef, CRecordOutputIteratorRef) {}

void CEmptyView::ReplaceRecords(CIntIteratorRef first, CIntIteratorRef last,
                                CRecordIteratorRef records) {
  GetEmptyRecordSource().ReplaceRecords(first, last, records);
}

void CEmptyView::RemoveRecords(CIntIteratorRef first, CIntIteratorRef last) {
  GetEmptyRecordSource().RemoveRecords(first, last);
}

void CEmptyView::InsertRecords(int32_t position, CRecordIteratorRef first,
                               CRecordIteratorRef last) {
  GetEmptyRecordSource().InsertRecords(position, first, last);
}

void CEmptyView::SetSelection(CIntIteratorRef, CIntIteratorRef) {}
void CEmptyView::GetSelection(CIntOutputIteratorRef) {}
bool CEmptyView::IsReadOnly() const { return true; }
void CEmptyView::Refresh() {}
