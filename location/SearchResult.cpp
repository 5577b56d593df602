#include "location/SearchResult.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <utility>

namespace {

// The heap orders small entries that name their record; the records stay put.
struct CEntry {
  int32_t time;
  uint32_t record;
};

// Ordered: the comparison that keeps the record to take next on top of the
// heap (the earliest for oldest first, the latest for newest first).
template <class Ordered>
class COrderedSearchResult final : public CSearchResult {
 public:
  explicit COrderedSearchResult(std::vector<CLocationRecord> records)
      : m_records(std::move(records)) {
    if (m_records.size() > UINT32_MAX) throw std::length_error("Too many search results");
    m_entries.reserve(m_records.size());
    for (std::size_t i = 0; i < m_records.size(); ++i) {
      m_entries.push_back({m_records[i].time.seconds, static_cast<uint32_t>(i)});
    }
    std::make_heap(m_entries.begin(), m_entries.end(), Ordered());
  }

  const CLocationRecord& GetCurrent() override {
    if (m_requested >= m_taken) throw std::out_of_range("No search result sought");
    return m_records[m_entries[m_entries.size() - 1 - m_requested].record];
  }
  std::size_t GetCount() const override { return m_entries.size(); }
  void Seek(std::size_t index) override {
    if (index >= m_entries.size()) throw std::out_of_range("Search result index out of range");
    m_requested = index;
    // The heap is the front part; what has been taken off lies behind it, the
    // first taken at the very end.
    while (m_taken <= index) {
      std::pop_heap(m_entries.begin(), m_entries.end() - static_cast<std::ptrdiff_t>(m_taken),
                    Ordered());
      ++m_taken;
    }
  }

 private:
  std::vector<CLocationRecord> m_records;
  std::vector<CEntry> m_entries;
  std::size_t m_requested = 0;
  std::size_t m_taken = 0;
};

struct CLaterFirst {
  bool operator()(const CEntry& a, const CEntry& b) const noexcept { return a.time > b.time; }
};
struct CEarlierFirst {
  bool operator()(const CEntry& a, const CEntry& b) const noexcept { return a.time < b.time; }
};

}  // namespace

std::unique_ptr<CSearchResult> CSearchResult::Create(bool oldestFirst,
                                                     std::vector<CLocationRecord> records) {
  // std heaps keep the greatest on top: for oldest first, "greater" means earlier.
  if (oldestFirst) {
    return std::make_unique<COrderedSearchResult<CLaterFirst>>(std::move(records));
  }
  return std::make_unique<COrderedSearchResult<CEarlierFirst>>(std::move(records));
}
