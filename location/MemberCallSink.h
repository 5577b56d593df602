// Sinks that call member functions: one bound to an object, called with each
// value; and one that calls a member function, without arguments, on each
// object it receives.
#pragma once

#include <type_traits>

#include "location/Iterators.h"

// A member function bound to its object.
template <class C, class Arg>
struct CMemberCall {
  void (C::*function)(Arg) = nullptr;
  C* object = nullptr;

  CMemberCall(void (C::*function)(Arg), C* object) noexcept : function(function), object(object) {}
  void operator()(Arg value) const { (object->*function)(value); }
};

template <class C, class Arg>
CMemberCall<C, Arg> BindMemberCall(C* object, void (C::*function)(Arg)) noexcept {
  return CMemberCall<C, Arg>(function, object);
}

template <class C, class Arg>
class CBoundMemberCallSink final : public COutputIterator<std::remove_cvref_t<Arg>> {
 public:
  using Value = std::remove_cvref_t<Arg>;
  explicit CBoundMemberCallSink(const CMemberCall<C, Arg>& call) noexcept : m_call(call) {}

  void Increment() override {}
  void Put(const Value& value) override { m_call(value); }
  CRef<COutputIterator<Value>> Clone() const override {
    return CRef<COutputIterator<Value>>::Adopt(new CBoundMemberCallSink(*this));
  }

 private:
  CMemberCall<C, Arg> m_call;
};

template <class C, class Arg>
COutputIteratorRef<std::remove_cvref_t<Arg>> MakeMemberCallSink(const CMemberCall<C, Arg>& call) {
  using Value = std::remove_cvref_t<Arg>;
  return COutputIteratorRef<Value>(
      CRef<COutputIterator<Value>>::Adopt(new CBoundMemberCallSink<C, Arg>(call)));
}

// A member function without arguments, not yet bound to an object.
template <class C>
struct CBoundFunction {
  void (C::*function)() = nullptr;
};

template <class C>
CBoundFunction<C> BindFunction(void (C::*function)()) noexcept {
  return CBoundFunction<C>{function};
}

// Calls the bound function on every object pointer put into it.
template <class C>
class CMemberCallSink final : public COutputIterator<C*> {
 public:
  explicit CMemberCallSink(CBoundFunction<C> function) noexcept : m_function(function) {}

  void Increment() override {}
  void Put(C* const& object) override { (object->*m_function.function)(); }
  CRef<COutputIterator<C*>> Clone() const override {
    return CRef<COutputIterator<C*>>::Adopt(new CMemberCallSink(*this));
  }

 private:
  CBoundFunction<C> m_function;
};

template <class C>
COutputIteratorRef<C*> MakeMemberCallSink(CBoundFunction<C> function) {
  return COutputIteratorRef<C*>(CRef<COutputIterator<C*>>::Adopt(new CMemberCallSink<C>(function)));
}
