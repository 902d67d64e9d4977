// One small move-only owner per kind of Win32 handle; the traits say what is invalid, how a
// handle is released, and what of the thread's state a release must leave as it was (`Kept`, a
// guard held across the close: the Win32 traits keep the last error, see unique_handle_win32.h).
#pragma once

#include <utility>

namespace pivora {

template <typename Traits>
class UniqueHandle {
 public:
  using type = typename Traits::type;

  UniqueHandle() = default;
  explicit UniqueHandle(type handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  type get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::invalid(); }
  type release() { return std::exchange(handle_, Traits::invalid()); }
  void reset(type handle = Traits::invalid()) {
    if (handle_ != Traits::invalid()) {
      [[maybe_unused]] const typename Traits::Kept kept{};
      Traits::close(handle_);
    }
    handle_ = handle;
  }
  // For the calls that hand out a handle through a pointer; closes what was held before.
  type* put() {
    reset();
    return &handle_;
  }

 private:
  type handle_ = Traits::invalid();
};

// Runs `undo` when it goes, unless dismissed: the one guard for paired state that is no handle
// of its own (a lock to release, a medium to give back, a result to clear on failure).
template <typename Undo>
class ScopeGuard {
 public:
  explicit ScopeGuard(Undo undo) : undo_(std::move(undo)) {}
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;
  ~ScopeGuard() {
    if (armed_) undo_();
  }
  void Dismiss() { armed_ = false; }

 private:
  Undo undo_;
  bool armed_ = true;
};

}  // namespace pivora
