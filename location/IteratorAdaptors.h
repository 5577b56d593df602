// The concrete iterators and sinks over arrays, vectors and ordered sets, and
// their factories. None owns the container it points into: the container must
// outlive every iterator or sink over it.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "location/Iterators.h"

// Input iterator over a contiguous array; the position is an element pointer.
// Two null positions make an empty range.
template <class T>
class CArrayIterator final : public CIterator<T> {
 public:
  explicit CArrayIterator(const T* position) noexcept : m_position(position) {}

  void Increment() override { ++m_position; }
  const T* Get() const override { return m_position; }
  bool Equals(const CIterator<T>& other) const override {
    auto* same = dynamic_cast<const CArrayIterator*>(&other);
    return same && same->m_position == m_position;
  }
  CRef<CIterator<T>> Clone() const override {
    return CRef<CIterator<T>>::Adopt(new CArrayIterator(*this));
  }

 private:
  const T* m_position;
};

template <class T>
CIteratorRef<T> MakeArrayIterator(const T* position) {
  return CIteratorRef<T>(CRef<CIterator<T>>::Adopt(new CArrayIterator<T>(position)));
}

inline CIntIteratorRef MakeIntPtrIterator(const int32_t* position) {
  return MakeArrayIterator(position);
}
inline CIntIteratorRef MakeNullIntIterator() { return MakeArrayIterator<int32_t>(nullptr); }
inline CRecordIteratorRef MakeRecordPtrIterator(const CLocationRecord* position) {
  return MakeArrayIterator(position);
}
inline CRecordIteratorRef MakeEmptyRecordIterator() {
  return MakeArrayIterator<CLocationRecord>(nullptr);
}

// Input iterator over an ordered set of object pointers, yielding the pointers.
template <class P, class Compare = std::less<P>>
class CPointerSetIterator final : public CIterator<P> {
 public:
  using Position = typename std::set<P, Compare>::const_iterator;
  explicit CPointerSetIterator(Position position) : m_position(position) {}

  void Increment() override { ++m_position; }
  const P* Get() const override { return &*m_position; }
  bool Equals(const CIterator<P>& other) const override {
    auto* same = dynamic_cast<const CPointerSetIterator*>(&other);
    return same && same->m_position == m_position;
  }
  CRef<CIterator<P>> Clone() const override {
    return CRef<CIterator<P>>::Adopt(new CPointerSetIterator(*this));
  }

 private:
  Position m_position;
};

template <class P, class Compare>
CIteratorRef<P> MakePointerSetIterator(typename std::set<P, Compare>::const_iterator position) {
  return CIteratorRef<P>(CRef<CIterator<P>>::Adopt(new CPointerSetIterator<P, Compare>(position)));
}
// [begin, end) of a whole set.
template <class P, class Compare>
std::pair<CIteratorRef<P>, CIteratorRef<P>> MakePointerSetRange(const std::set<P, Compare>& set) {
  return {MakePointerSetIterator<P, Compare>(set.begin()),
          MakePointerSetIterator<P, Compare>(set.end())};
}

// Sink appending every value to a vector.
template <class T>
class CBackInserter final : public COutputIterator<T> {
 public:
  explicit CBackInserter(std::vector<T>& target) noexcept : m_target(&target) {}

  void Increment() override {}
  void Put(const T& value) override { m_target->push_back(value); }
  CRef<COutputIterator<T>> Clone() const override {
    return CRef<COutputIterator<T>>::Adopt(new CBackInserter(*this));
  }

 private:
  std::vector<T>* m_target;
};

template <class T>
COutputIteratorRef<T> MakeBackInserter(std::vector<T>& target) {
  return COutputIteratorRef<T>(CRef<COutputIterator<T>>::Adopt(new CBackInserter<T>(target)));
}

inline CIntOutputIteratorRef MakeIntBackInserter(std::vector<int32_t>& target) {
  return MakeBackInserter(target);
}
// Folder-tree node lists: the nodes are held as full pointers.
template <class Node>
COutputIteratorRef<Node*> MakeNodeBackInserter(std::vector<Node*>& target) {
  return MakeBackInserter(target);
}
inline CRecordOutputIteratorRef MakeRecordBackInserter(std::vector<CLocationRecord>& target) {
  return MakeBackInserter(target);
}

// Sink assigning each value to the current element of an existing array and
// moving to the next on Increment.
template <class T>
class CArrayOutputIterator final : public COutputIterator<T> {
 public:
  explicit CArrayOutputIterator(T* position) noexcept : m_position(position) {}

  void Increment() override { ++m_position; }
  void Put(const T& value) override { *m_position = value; }
  CRef<COutputIterator<T>> Clone() const override {
    return CRef<COutputIterator<T>>::Adopt(new CArrayOutputIterator(*this));
  }

 private:
  T* m_position;
};

template <class T>
COutputIteratorRef<T> MakeArrayOutputIterator(T* position) {
  return COutputIteratorRef<T>(
      CRef<COutputIterator<T>>::Adopt(new CArrayOutputIterator<T>(position)));
}
inline CRecordOutputIteratorRef MakeRecordOutputIterator(CLocationRecord* position) {
  return MakeArrayOutputIterator(position);
}
