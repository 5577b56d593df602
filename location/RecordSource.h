// An observable, indexed list of records with a selection and, optionally, a
// pane that shows it. Index ranges yield 32-bit record indices; every handle
// is taken by value and released when the operation returns or throws.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

#include "location/Iterators.h"

class QWidget;  // the pane; this library does not link Qt
class CRecordSource;

class CRecordSourceObserver {
 public:
  virtual ~CRecordSourceObserver() = default;
  // The source is being destroyed; drop every reference to it.
  virtual void OnSourceDestroyed(CRecordSource& source) = 0;
  // Records were inserted, replaced, removed or re-read.
  virtual void OnRecordsChanged(CRecordSource& source) = 0;
  virtual void OnSelectionChanged(CRecordSource& source) = 0;
  // Only the records at indices (ascending, each once) were replaced: the
  // count and the other records are as they were. An observer that reads
  // every record again anyway leaves this to OnRecordsChanged.
  virtual void OnRecordsReplaced(CRecordSource& source, const std::vector<int32_t>& indices) {
    (void)indices;
    OnRecordsChanged(source);
  }
};

class CRecordSource {
 public:
  CRecordSource() = default;
  CRecordSource(const CRecordSource&) = delete;
  CRecordSource& operator=(const CRecordSource&) = delete;
  // Tells every observer, in pointer order, that the source goes away. An
  // observer that throws ends the walk; the exception goes no further.
  virtual ~CRecordSource();

  // Creates the pane as a child of parent; null when the source has no pane.
  virtual QWidget* CreateWindow(QWidget* parent) = 0;
  virtual void DestroyWindow() = 0;
  // Every record, in index order.
  virtual void EnumerateAll(CRecordOutputIteratorRef sink) = 0;
  virtual int32_t Count() const = 0;
  // The records at the indices of [first, last), in that order.
  virtual void GetRecords(CIntIteratorRef first, CIntIteratorRef last,
                          CRecordOutputIteratorRef sink) = 0;
  // Assigns the records of the range, one by one, to the indices of [first, last).
  virtual void ReplaceRecords(CIntIteratorRef first, CIntIteratorRef last,
                              CRecordIteratorRef records) = 0;
  virtual void RemoveRecords(CIntIteratorRef first, CIntIteratorRef last) = 0;
  // Inserts [first, last) before the record at position (the end when it
  // equals the count).
  virtual void InsertRecords(int32_t position, CRecordIteratorRef first,
                             CRecordIteratorRef last) = 0;
  virtual void SetSelection(CIntIteratorRef first, CIntIteratorRef last) = 0;
  // The selected indices, ascending.
  virtual void GetSelection(CIntOutputIteratorRef sink) = 0;
  // True when ReplaceRecords, RemoveRecords and InsertRecords are refused.
  virtual bool IsReadOnly() const = 0;
  // Re-reads the records from where they come from and redraws the pane.
  virtual void Refresh() = 0;

  // An observer is held at most once; adding it again does nothing. Remove it
  // before it is destroyed.
  void AddObserver(CRecordSourceObserver* observer);
  void RemoveObserver(CRecordSourceObserver* observer) noexcept;
  bool HasObserver(CRecordSourceObserver* observer) const noexcept;

 protected:
  // Each walks a copy of the observer set in pointer order, skipping observers
  // removed during the walk.
  void NotifyRecordsChanged();
  void NotifySelectionChanged();
  // After records were replaced in place: OnRecordsReplaced on every observer.
  void NotifyRecordsReplaced(const std::vector<int32_t>& indices);
  // After a change of records: OnRecordsChanged on every observer, then
  // OnSelectionChanged on every observer.
  void NotifyRecordsAndSelectionChanged();

 private:
  void NotifyAll(const std::function<void(CRecordSourceObserver&)>& notification);

  std::set<CRecordSourceObserver*> m_observers;
};

// The refusal of every read-only source: std::runtime_error "readonly".
[[noreturn]] void ThrowReadOnly();

// The empty, read-only source: no records, no pane, no selection. Views that
// only show a pane derive from it.
class CEmptyRecordSource : public CRecordSource {
 public:
  QWidget* CreateWindow(QWidget* parent) override;
  void DestroyWindow() override;
  void EnumerateAll(CRecordOutputIteratorRef sink) override;
  int32_t Count() const override;
  void GetRecords(CIntIteratorRef first, CIntIteratorRef last,
                  CRecordOutputIteratorRef sink) override;
  // Throw std::runtime_error "readonly" unless the index range is empty.
  void ReplaceRecords(CIntIteratorRef first, CIntIteratorRef last,
                      CRecordIteratorRef records) override;
  void RemoveRecords(CIntIteratorRef first, CIntIteratorRef last) override;
  // Always throws std::runtime_error "readonly".
  void InsertRecords(int32_t position, CRecordIteratorRef first, CRecordIteratorRef last) override;
  void SetSelection(CIntIteratorRef first, CIntIteratorRef last) override;
  void GetSelection(CIntOutputIteratorRef sink) override;
  bool IsReadOnly() const override;
  void Refresh() override;
};

// The process-wide empty source, created on first use and destroyed at exit.
CEmptyRecordSource& GetEmptyRecordSource();
