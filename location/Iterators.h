// Polymorphic, reference-counted input iterators and sinks (output
// iterators), and the copy-on-write handles through which callers use them.
// A range is a pair of input handles [first, last). Handles are one pointer
// and are passed by value; an object is cloned only when a handle that shares
// it is about to advance or write, so advancing one copy of a position never
// moves another.
#pragma once

#include <cstdint>
#include <utility>

#include "location/LocationRecord.h"
#include "location/RefCounted.h"

template <class T>
class CIterator : public CRefCounted {
 public:
  using value_type = T;

  virtual void Increment() = 0;
  // The current element; null where the iterator has none to show.
  virtual const T* Get() const = 0;
  // True when both stand at the same position. Iterators of different kinds
  // are never equal.
  virtual bool Equals(const CIterator& other) const = 0;
  // A new, independent iterator at the same position.
  virtual CRef<CIterator> Clone() const = 0;
};

template <class T>
class COutputIterator : public CRefCounted {
 public:
  using value_type = T;

  // Advances the output position (nothing for inserters).
  virtual void Increment() = 0;
  virtual void Put(const T& value) = 0;
  virtual CRef<COutputIterator> Clone() const = 0;
};

// Handle to an input iterator.
template <class T>
class CIteratorRef {
 public:
  using value_type = T;

  CIteratorRef() noexcept = default;
  explicit CIteratorRef(CRef<CIterator<T>> ref) noexcept : m_ref(std::move(ref)) {}

  CIterator<T>* GetObject() const noexcept { return m_ref.Get(); }
  explicit operator bool() const noexcept { return static_cast<bool>(m_ref); }
  void CopyTo(CIteratorRef& out) const noexcept { out = *this; }

  const T* Get() const { return m_ref->Get(); }
  const T& operator*() const { return *m_ref->Get(); }
  const T* operator->() const { return m_ref->Get(); }
  bool Equals(const CIteratorRef& other) const { return m_ref->Equals(*other.m_ref); }
  friend bool operator==(const CIteratorRef& a, const CIteratorRef& b) { return a.Equals(b); }

  // Replaces a shared object with a clone of it; returns the unshared object.
  CIterator<T>* MakeUnique() {
    if (m_ref.IsShared()) m_ref = m_ref->Clone();
    return m_ref.Get();
  }
  CIteratorRef& operator++() {
    MakeUnique()->Increment();
    return *this;
  }
  // it++: the handle moves on, the returned handle keeps the old position.
  CIteratorRef PostIncrement() {
    CIteratorRef old(*this);
    MakeUnique()->Increment();
    return old;
  }
  CIteratorRef operator++(int) { return PostIncrement(); }

 private:
  CRef<CIterator<T>> m_ref;
};

// Handle to a sink.
template <class T>
class COutputIteratorRef {
 public:
  using value_type = T;

  COutputIteratorRef() noexcept = default;
  explicit COutputIteratorRef(CRef<COutputIterator<T>> ref) noexcept : m_ref(std::move(ref)) {}

  COutputIterator<T>* GetObject() const noexcept { return m_ref.Get(); }
  explicit operator bool() const noexcept { return static_cast<bool>(m_ref); }
  void CopyTo(COutputIteratorRef& out) const noexcept { out = *this; }

  COutputIterator<T>* MakeUnique() {
    if (m_ref.IsShared()) m_ref = m_ref->Clone();
    return m_ref.Get();
  }
  // *it = value: hands the value over and returns a copy of the handle.
  COutputIteratorRef Put(const T& value) {
    MakeUnique()->Put(value);
    return *this;
  }
  COutputIteratorRef& operator++() {
    MakeUnique()->Increment();
    return *this;
  }
  COutputIteratorRef PostIncrement() {
    COutputIteratorRef old(*this);
    MakeUnique()->Increment();
    return old;
  }
  COutputIteratorRef operator++(int) { return PostIncrement(); }

 private:
  CRef<COutputIterator<T>> m_ref;
};

// Record indices are 32-bit ints.
using CIntIterator = CIterator<int32_t>;
using CIntIteratorRef = CIteratorRef<int32_t>;
using CIntOutputIterator = COutputIterator<int32_t>;
using CIntOutputIteratorRef = COutputIteratorRef<int32_t>;

using CRecordIterator = CIterator<CLocationRecord>;
using CRecordIteratorRef = CIteratorRef<CLocationRecord>;
using CRecordOutputIterator = COutputIterator<CLocationRecord>;
using CRecordOutputIteratorRef = COutputIteratorRef<CLocationRecord>;
