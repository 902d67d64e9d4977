// A critical section whose set-up can fail and is reported, deleted only if it was set up.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#endif

namespace pivora {

class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  ~CriticalSection() { Delete(); }

  // False when the platform cannot set the section up.
  bool Setup() {
    if (ready_) return true;
#ifdef _WIN32
    if (!InitializeCriticalSectionEx(&section_, 0, 0)) return false;
#endif
    ready_ = true;
    return true;
  }
  void Delete() {
#ifdef _WIN32
    if (ready_) DeleteCriticalSection(&section_);
#endif
    ready_ = false;
  }
  bool ready() const { return ready_; }
#ifdef _WIN32
  void Enter() { EnterCriticalSection(&section_); }
  void Leave() { LeaveCriticalSection(&section_); }
#else
  void Enter() { section_.lock(); }
  void Leave() { section_.unlock(); }
#endif

 private:
#ifdef _WIN32
  CRITICAL_SECTION section_{};
#else
  // A mutex needs no set-up that could fail; ready_ still records Setup and Delete so that
  // both builds follow the same rules.
  std::mutex section_;
#endif
  bool ready_ = false;
};

// Holds a critical section for the life of a scope.
class SectionGuard {
 public:
  explicit SectionGuard(CriticalSection& section) : section_(section) { section_.Enter(); }
  SectionGuard(const SectionGuard&) = delete;
  SectionGuard& operator=(const SectionGuard&) = delete;
  ~SectionGuard() { section_.Leave(); }

 private:
  CriticalSection& section_;
};

}  // namespace pivora
