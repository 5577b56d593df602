#include "location/RecordSource.h"

QWidget* CEmptyRecordSource::CreateWindow(QWidget*) { return nullptr; }

void CEmptyRecordSource::DestroyWindow() {}

void CEmptyRecordSource::EnumerateAll(CRecordOutputIteratorRef) {}

int32_t CEmptyRecordSource::Count() const { return 0; }

void CEmptyRecordSource::GetRecords(CIntIteratorRef, CIntIteratorRef, CRecordOutputIteratorRef) {}

void CEmptyRecordSource::ReplaceRecords(CIntIteratorRef first, CIntIteratorRef last,
                                        CRecordIteratorRef) {
  if (!first.Equals(last)) ThrowReadOnly();
}

void CEmptyRecordSource::RemoveRecords(CIntIteratorRef first, CIntIteratorRef last) {
  if (!first.Equals(last)) ThrowReadOnly();
}

void CEmptyRecordSource::InsertRecords(int32_t, CRecordIteratorRef, CRecordIteratorRef) {
  ThrowReadOnly();
}

void CEmptyRecordSource::SetSelection(CIntIteratorRef, CIntIteratorRef) {}

void CEmptyRecordSource::GetSelection(CIntOutputIteratorRef) {}

bool CEmptyRecordSource::IsReadOnly() const { return true; }

void CEmptyRecordSource::Refresh() {}

CEmptyRecordSource& GetEmptyRecordSource() {
  // Built on first use, destroyed at exit like every function-local static.
  static CEmptyRecordSource source;
  return source;
}
