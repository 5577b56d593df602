// Intrusive reference counting for the iterator family. Counts are plain
// integers: these objects live on the user-interface thread only.
#pragma once

#include <cstdint>
#include <utility>

class CRefCounted {
 public:
  CRefCounted() noexcept = default;
  // A copy (a clone) is a new object: it starts with its own count of 1.
  CRefCounted(const CRefCounted&) noexcept {}
  CRefCounted& operator=(const CRefCounted&) = delete;
  virtual ~CRefCounted() = default;

  void AddRef() noexcept { ++m_count; }
  // Drops one reference; the last one deletes the object.
  void Release() noexcept {
    if (--m_count == 0) delete this;
  }
  int32_t GetRefCount() const noexcept { return m_count; }

 private:
  int32_t m_count = 1;
};

// A handle sharing one counted object. A handle made from a new object adopts
// its initial reference; copies add one; destruction releases one.
template <class T>
class CRef {
 public:
  CRef() noexcept = default;
  // Takes over the initial reference of a freshly created object.
  static CRef Adopt(T* object) noexcept {
    CRef ref;
    ref.m_object = object;
    return ref;
  }

  CRef(const CRef& other) noexcept : m_object(other.m_object) {
    if (m_object) m_object->AddRef();
  }
  CRef(CRef&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
  CRef& operator=(CRef other) noexcept {
    std::swap(m_object, other.m_object);
    return *this;
  }
  ~CRef() {
    if (m_object) m_object->Release();
  }

  T* Get() const noexcept { return m_object; }
  T* operator->() const noexcept { return m_object; }
  T& operator*() const noexcept { return *m_object; }
  explicit operator bool() const noexcept { return m_object != nullptr; }
  bool IsShared() const noexcept { return m_object && m_object->GetRefCount() >= 2; }

  // Writes this handle's object into out, sharing it.
  void CopyTo(CRef& out) const noexcept { out = *this; }

  void Reset() noexcept { CRef().Swap(*this); }
  void Swap(CRef& other) noexcept { std::swap(m_object, other.m_object); }

 private:
  T* m_object = nullptr;
};
