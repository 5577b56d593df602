#include "location/SearchResult.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "location/LocationFile.h"

namespace {

// Ordered: the comparison that keeps the record to take next on top of the
// heap (the earliest for oldest first, the latest for newest first).
template <class Ordered>
class COrderedSearchResult final : public CSearchResult {
 public:
  explicit COrderedSearchResult(bool oldestFirst) noexcept : CSearchResult(oldestFirst) {}

  const CLocationRecord& GetCurrent() override {
    if (m_requested >= m_taken) throw std::out_of_range("No search result sought");
    m_current = GetRecord(m_entries[m_entries.size() - 1 - m_requested].record);
    return m_current;
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

 protected:
  void Push(CEntry entry) override {
    m_entries.push_back(std::move(entry));
    std::push_heap(m_entries.begin(), m_entries.end(), Ordered());
  }

 private:
  std::vector<CEntry> m_entries;
  std::size_t m_requested = 0;
  std::size_t m_taken = 0;
  CLocationRecord m_current;
};

struct CLaterFirst {
  template <class E>
  bool operator()(const E& a, const E& b) const noexcept {
    return a.time > b.time;
  }
};
struct CEarlierFirst {
  template <class E>
  bool operator()(const E& a, const E& b) const noexcept {
    return a.time < b.time;
  }
};

}  // namespace

void CSearchResult::Add(int32_t time, CXmlElementRef record) {
  Push(CEntry{time, std::move(record)});
}

std::unique_ptr<CSearchResult> CSearchResult::Create(bool oldestFirst) {
  // std heaps keep the greatest on top: for oldest first, "greater" means earlier.
  if (oldestFirst) return std::make_unique<COrderedSearchResult<CLaterFirst>>(true);
  return std::make_unique<COrderedSearchResult<CEarlierFirst>>(false);
}
