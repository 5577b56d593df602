// The records a query found, ordered by time lazily: each Seek orders only as
// far as the index it asks for. The result holds the decoded records only, not
// the documents they came from, so it stays small and stays valid after the
// database goes.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "location/LocationRecord.h"

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
};
