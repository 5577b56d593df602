// The small iterators and sinks through which the map view hands sequences
// to the record source and the map set.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <typeinfo>
#include <utility>

#include "location/Iterators.h"
#include "location/LocationRecord.h"
#include "mapview/MapViewState.h"

// Yields the integers from a start value upwards: an index range is
// [MakeCountingIterator(0), MakeCountingIterator(count)).
class CCountingIterator final : public CIterator<int32_t> {
 public:
  explicit CCountingIterator(int32_t value) noexcept : m_value(value) {}

  void Increment() override { ++m_value; }
  const int32_t* Get() const override { return &m_value; }
  bool Equals(const CIterator<int32_t>& other) const override {
    // Asked at every step of a range: the exact type is enough, and cheaper
    // to ask than a dynamic cast.
    return typeid(other) == typeid(CCountingIterator) &&
           static_cast<const CCountingIterator&>(other).m_value == m_value;
  }
  CRef<CIterator<int32_t>> Clone() const override {
    return CRef<CIterator<int32_t>>::Adopt(new CCountingIterator(*this));
  }

 private:
  int32_t m_value;
};

inline CIntIteratorRef MakeCountingIterator(int32_t value) {
  return CIntIteratorRef(CRef<CIterator<int32_t>>::Adopt(new CCountingIterator(value)));
}

// Hands every value to one visitor, which all copies of the sink share.
template <class T>
class CVisitorSink final : public COutputIterator<T> {
 public:
  using Visitor = std::function<void(const T&)>;
  explicit CVisitorSink(std::shared_ptr<Visitor> visitor) : m_visitor(std::move(visitor)) {}

  void Increment() override {}
  void Put(const T& value) override { (*m_visitor)(value); }
  CRef<COutputIterator<T>> Clone() const override {
    return CRef<COutputIterator<T>>::Adopt(new CVisitorSink(*this));
  }

 private:
  std::shared_ptr<Visitor> m_visitor;
};

template <class T>
COutputIteratorRef<T> MakeVisitorSink(std::function<void(const T&)> visitor) {
  auto shared = std::make_shared<std::function<void(const T&)>>(std::move(visitor));
  return COutputIteratorRef<T>(CRef<COutputIterator<T>>::Adopt(new CVisitorSink<T>(shared)));
}

// Walks records and yields each one moved by an offset; the moved copy of
// the current record is made when it is first asked for.
class CMovedRecordIterator final : public CIterator<CLocationRecord> {
 public:
  using Mover = CLocationRecord (*)(const CLocationRecord&, const LatLon&);
  CMovedRecordIterator(const CLocationRecord* position, LatLon offset, Mover mover) noexcept
      : m_position(position), m_offset(offset), m_mover(mover) {}

  void Increment() override {
    ++m_position;
    m_moved.reset();
  }
  const CLocationRecord* Get() const override {
    if (!m_moved) m_moved = m_mover(*m_position, m_offset);
    return &*m_moved;
  }
  bool Equals(const CIterator<CLocationRecord>& other) const override {
    auto* same = dynamic_cast<const CMovedRecordIterator*>(&other);
    return same && same->m_position == m_position;
  }
  CRef<CIterator<CLocationRecord>> Clone() const override {
    return CRef<CIterator<CLocationRecord>>::Adopt(
        new CMovedRecordIterator(m_position, m_offset, m_mover));
  }

 private:
  const CLocationRecord* m_position;
  LatLon m_offset;
  Mover m_mover;
  mutable std::optional<CLocationRecord> m_moved;
};

inline CRecordIteratorRef MakeMovedRecordIterator(const CLocationRecord* position,
                                                  const LatLon& offset,
                                                  CMovedRecordIterator::Mover mover) {
  return CRecordIteratorRef(
      CRef<CIterator<CLocationRecord>>::Adopt(new CMovedRecordIterator(position, offset, mover)));
}
