#include "location/RecordListSource.h"

#include <utility>

#include "location/IteratorRanges.h"

void CRecordListSource::EnumerateAll(CRecordOutputIteratorRef sink) {
  CopyRecordsToOutputIterator(ListedRecords(), std::move(sink));
}

int32_t CRecordListSource::Count() const { return static_cast<int32_t>(ListedRecords().size()); }

void CRecordListSource::GetRecords(CIntIteratorRef first, CIntIteratorRef last,
                                   CRecordOutputIteratorRef sink) {
  CopyIndexedRecords(ListedRecords(), std::move(first), last, std::move(sink));
}

void CRecordListSource::SetSelection(CIntIteratorRef first, CIntIteratorRef last) {
  m_selection = IndicesBelow(std::move(first), last, ListedRecords().size());
  ShowSelection();
  NotifySelectionChanged();
}

void CRecordListSource::GetSelection(CIntOutputIteratorRef sink) {
  CopySetToOutputIterator(m_selection, std::move(sink));
}

void CReadOnlyRecordListSource::ReplaceRecords(CIntIteratorRef, CIntIteratorRef,
                                               CRecordIteratorRef) {
  ThrowReadOnly();
}

void CReadOnlyRecordListSource::RemoveRecords(CIntIteratorRef, CIntIteratorRef) { ThrowReadOnly(); }

void CReadOnlyRecordListSource::InsertRecords(int32_t, CRecordIteratorRef, CRecordIteratorRef) {
  ThrowReadOnly();
}
