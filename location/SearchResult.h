// The records a query found, ordered by time lazily: each Seek orders only as
// far as the index it asks for. The result holds the decoded records only, not
// the documents they came from, so it stays small and stays valid after the
// database goes.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "location/LocationRecord.h"

class CFoundRecords;

class CSearchResult {
 public:
  virtual ~CSearchResult() = default;

  // The record at the index last sought (valid until the result is deleted).
  // Throws std::out_of_range when nothing has been sought.
  virtual const CLocationRecord& GetCurrent() = 0;
  virtual std::size_t GetCount() const = 0;
  // Makes the record at index (in the result's order) current; index must be
  // below the count (std::out_of_range otherwise).
  virtual void Seek(std::size_t index) = 0;

  // A result over the matching records, in any order.
  static std::unique_ptr<CSearchResult> Create(bool oldestFirst,
                                               std::vector<CLocationRecord> records);
  // The same over records a search gathered.
  static std::unique_ptr<CSearchResult> Create(bool oldestFirst, CFoundRecords records);
};

// Records gathered one by one into blocks of a fixed count: a search does not
// know how many it will find, and a vector that grows moves them all and
// faults in fresh pages each time. The blocks are large, so that the pages
// of the documents freed between them go back to the system whole.
class CFoundRecords {
 public:
  void Add(CLocationRecord record) {
    if (m_count % kBlock == 0) {
      m_blocks.emplace_back();
      m_blocks.back().reserve(kBlock);
    }
    m_blocks.back().push_back(std::move(record));
    ++m_count;
  }
  std::size_t size() const noexcept { return m_count; }
  const CLocationRecord& operator[](std::size_t index) const {
    return m_blocks[index / kBlock][index % kBlock];
  }

 private:
  static constexpr std::size_t kBlock = 512;
  std::vector<std::vector<CLocationRecord>> m_blocks;
  std::size_t m_count = 0;
};
