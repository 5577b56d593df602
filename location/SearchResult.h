// The records a query found, ordered by time lazily: each Seek orders only as
// far as the index it asks for. The result shares ownership of the documents
// its records lie in, so it stays valid after the database goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "location/LocationRecord.h"
#include "location/XmlFile.h"

class CSearchResult {
 public:
  virtual ~CSearchResult() = default;

  // The record at the index last sought, decoded and copied into a cache
  // (valid until the next call). Throws the decoding error of a malformed
  // record, and std::out_of_range when nothing valid was sought.
  virtual const CLocationRecord& GetCurrent() = 0;
  virtual std::size_t GetCount() const = 0;
  // Makes the record at index (in the result's order) current; index must be
  // below the count (std::out_of_range otherwise).
  virtual void Seek(std::size_t index) = 0;

  bool IsOldestFirst() const noexcept { return m_oldestFirst; }
  // Adds a matching record with its time in seconds.
  void Add(int32_t time, CXmlElementRef record);

  static std::unique_ptr<CSearchResult> Create(bool oldestFirst);

 protected:
  struct CEntry {
    int32_t time;
    CXmlElementRef record;
  };
  explicit CSearchResult(bool oldestFirst) noexcept : m_oldestFirst(oldestFirst) {}
  virtual void Push(CEntry entry) = 0;

 private:
  bool m_oldestFirst;
};
