// Range operations over iterator handles and containers. Each walks its input
// in order, hands every element over, and returns the sink in its final
// position so the caller can go on writing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "location/Iterators.h"

// Calls visit with every element of [first, last).
template <class T, class Visit>
void ForEachInIteratorRange(CIteratorRef<T> first, const CIteratorRef<T>& last, Visit&& visit) {
  while (!first.Equals(last)) {
    visit(*first.Get());
    ++first;
  }
}

// Puts every element of a container range into the sink.
template <class InputIt, class T>
COutputIteratorRef<T> CopyToOutputIterator(InputIt first, InputIt last, COutputIteratorRef<T> out) {
  for (; first != last; ++first) {
    out.Put(*first);
    ++out;
  }
  return out;
}

// Adds the elements to an ascending set; duplicates are dropped.
template <class T, class Compare>
void InsertRangeIntoSet(CIteratorRef<T> first, const CIteratorRef<T>& last,
                        std::set<T, Compare>& set) {
  ForEachInIteratorRange(std::move(first), last, [&](const T& value) { set.insert(value); });
}

// Adds the elements to any container with insert(position, value), e.g. a set
// ordered descending so that records can be removed from the highest index down.
template <class T, class Container>
void InsertRangeIntoContainer(CIteratorRef<T> first, const CIteratorRef<T>& last,
                              Container& container) {
  ForEachInIteratorRange(std::move(first), last,
                         [&](const T& value) { container.insert(container.end(), value); });
}

template <class T, class Compare>
COutputIteratorRef<T> CopySetToOutputIterator(const std::set<T, Compare>& set,
                                              COutputIteratorRef<T> out) {
  return CopyToOutputIterator(set.begin(), set.end(), std::move(out));
}

inline CRecordOutputIteratorRef CopyRecordsToOutputIterator(
    const std::vector<CLocationRecord>& records, CRecordOutputIteratorRef out) {
  return CopyToOutputIterator(records.begin(), records.end(), std::move(out));
}

// Throws std::out_of_range unless index names one of count records.
inline void CheckRecordIndex(int32_t index, std::size_t count) {
  if (index < 0 || static_cast<std::size_t>(index) >= count)
    throw std::out_of_range("Invalid Record Index: " + std::to_string(index));
}

// Puts the records at the indices of [first, last) into the sink, in that
// order; an index that names no record throws as CheckRecordIndex.
inline void CopyIndexedRecords(const std::vector<CLocationRecord>& records, CIntIteratorRef first,
                               const CIntIteratorRef& last, CRecordOutputIteratorRef sink) {
  ForEachInIteratorRange(std::move(first), last, [&](int32_t index) {
    CheckRecordIndex(index, records.size());
    sink.Put(records[static_cast<std::size_t>(index)]);
    ++sink;
  });
}

// The indices of [first, last) that name one of count records: a selection
// never holds an index past the end.
inline std::set<int32_t> IndicesBelow(CIntIteratorRef first, const CIntIteratorRef& last,
                                      std::size_t count) {
  std::set<int32_t> indices;
  ForEachInIteratorRange(std::move(first), last, [&](int32_t index) {
    if (index >= 0 && static_cast<std::size_t>(index) < count) indices.insert(index);
  });
  return indices;
}

// Inserts the records of [first, last) before position, keeping their order.
// The range is read completely first, so it may point into the vector itself,
// and a failure while reading leaves the vector unchanged; the copies are then
// moved in, which cannot fail half-way.
inline void InsertRecordsAt(CRecordIteratorRef first, const CRecordIteratorRef& last,
                            std::vector<CLocationRecord>& records, std::size_t position) {
  static_assert(std::is_nothrow_move_constructible_v<CLocationRecord> &&
                std::is_nothrow_move_assignable_v<CLocationRecord>);
  std::vector<CLocationRecord> incoming;
  ForEachInIteratorRange(std::move(first), last,
                         [&](const CLocationRecord& record) { incoming.push_back(record); });
  records.insert(records.begin() + static_cast<std::ptrdiff_t>(position),
                 std::make_move_iterator(incoming.begin()), std::make_move_iterator(incoming.end()));
}

// Puts every element of an array range into the sink.
template <class T>
COutputIteratorRef<T> ForEachInRange(const T* first, const T* last, COutputIteratorRef<T> out) {
  if (!first || last <= first) return out;
  return CopyToOutputIterator(first, last, std::move(out));
}

template <class T>
COutputIteratorRef<T> CopyRangeToOutputIterator(const T* first, const T* last,
                                                COutputIteratorRef<T> out) {
  return ForEachInRange(first, last, std::move(out));
}

// Hands every object of the set to the sink, typically a CMemberCallSink that
// calls one operation on each. Walks a copy, so a call may change the set.
template <class C, class Compare>
COutputIteratorRef<C*> ApplyToEach(const std::set<C*, Compare>& objects,
                                   COutputIteratorRef<C*> sink) {
  const std::vector<C*> snapshot(objects.begin(), objects.end());
  return CopyToOutputIterator(snapshot.begin(), snapshot.end(), std::move(sink));
}
