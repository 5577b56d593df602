// A collection of records to hand to the database, and its enumerator. Not
// reference-counted: each has one owner.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "location/LocationRecord.h"

class CRecordEnumerator {
 public:
  virtual ~CRecordEnumerator() = default;
  virtual bool HasNext() const = 0;
  // Copies the current record into record and advances.
  virtual void Next(CLocationRecord& record) = 0;
};

class CRecordCollection {
 public:
  virtual ~CRecordCollection() = default;
  virtual bool IsEmpty() const = 0;
  virtual std::unique_ptr<CRecordEnumerator> MakeIterator() const = 0;
  virtual std::size_t Count() const = 0;
};

// Enumerates [current, end) of a record array.
class CRecordPtrEnumerator final : public CRecordEnumerator {
 public:
  CRecordPtrEnumerator(const CLocationRecord* current, const CLocationRecord* end) noexcept
      : m_current(current), m_end(end) {}

  bool HasNext() const override { return m_current != m_end; }
  void Next(CLocationRecord& record) override { record = *m_current++; }

 private:
  const CLocationRecord* m_current;
  const CLocationRecord* m_end;
};

// A view of a vector of records that it does not own.
class CRecordVectorCollection final : public CRecordCollection {
 public:
  explicit CRecordVectorCollection(const std::vector<CLocationRecord>& records) noexcept
      : m_records(&records) {}

  bool IsEmpty() const override { return m_records->empty(); }
  std::unique_ptr<CRecordEnumerator> MakeIterator() const override {
    const CLocationRecord* begin = m_records->data();
    return std::make_unique<CRecordPtrEnumerator>(begin, begin + m_records->size());
  }
  std::size_t Count() const override { return m_records->size(); }

 private:
  const std::vector<CLocationRecord>* m_records;
};
