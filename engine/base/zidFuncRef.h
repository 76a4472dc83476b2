#pragma once

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace zid {

// A callable borrowed for the length of a call: no copy and no allocation,
// where a std::function would allocate for a lambda with many captures (once
// per entry in the extract loop). An empty std::function gives an empty ref.
template <class Sig>
class TFuncRef;

template <class R, class... Args>
class TFuncRef<R(Args...)> {
 public:
  TFuncRef() = default;
  TFuncRef(std::nullptr_t) {}
  TFuncRef(const std::function<R(Args...)>& f) {
    if (f) Bind(f);
  }
  template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, TFuncRef> &&
                                              !std::is_same_v<std::decay_t<F>, std::function<R(Args...)>> &&
                                              std::is_invocable_r_v<R, F&, Args...>>>
  TFuncRef(F&& f) {
    Bind(f);
  }
  explicit operator bool() const { return call_ != nullptr; }
  R operator()(Args... args) const { return call_(obj_, std::forward<Args>(args)...); }

 private:
  template <class F>
  void Bind(F& f) {
    obj_ = const_cast<void*>(static_cast<const void*>(std::addressof(f)));
    call_ = [](void* o, Args... args) -> R { return (*static_cast<F*>(o))(std::forward<Args>(args)...); };
  }
  void* obj_ = nullptr;
  R (*call_)(void*, Args...) = nullptr;
};

}  // namespace zid
