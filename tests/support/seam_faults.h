// Failures injected one at a time: every registry and file call a run makes is counted, and the
// chosen one fails; or the chosen allocation of the calling thread throws std::bad_alloc. A
// counting run first tells how many calls (or allocations) there are to walk.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/retrying_files.h"
#include "tests/support/test_platform.h"

namespace pivora::testing {

// A pause that returns at once and counts: what a retried call waited, without the wait.
class CountingPause final : public RetryPause {
 public:
  void Wait(std::uint32_t milliseconds) override {
    ++waits;
    waited += milliseconds;
  }
  int waits = 0;
  std::uint32_t waited = 0;
};

// Passes every call on; fails the calls `fault` picks by returning a non-zero code for them
// (for Exists: reports the path missing).
class FaultyFiles final : public FileSystem {
 public:
  explicit FaultyFiles(FileSystem& inner) : inner_(inner) {}
  Status OpenForReading(std::u16string_view path, FileHandle& out) override;
  Status Size(FileHandle file, std::uint64_t& size) override;
  Status Read(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t& read) override;
  void Close(FileHandle file) override;
  bool Exists(std::u16string_view path) override;
  Status Attributes(std::u16string_view path, std::uint32_t& attributes) override;
  Status ReparseTag(std::u16string_view path, std::uint32_t& tag) override;
  DriveType DriveTypeOf(std::u16string_view root) override;
  Status CreateNew(std::u16string_view path, FileHandle& out) override;
  Status Write(FileHandle file, const void* data, std::uint32_t size,
               std::uint32_t& written) override;
  Status Flush(FileHandle file) override;
  Status ProbeReplace(std::u16string_view path) override;
  Status Replace(std::u16string_view target, std::u16string_view replacement,
                 std::u16string_view backup) override;
  Status Move(std::u16string_view from, std::u16string_view to, bool replaceExisting) override;
  Status Delete(std::u16string_view path) override;
  Status Copy(std::u16string_view from, std::u16string_view to) override;
  Status CreateFolder(std::u16string_view path) override;
  Status RemoveFolder(std::u16string_view path) override;
  Status FilesIn(std::u16string_view folder, std::vector<std::u16string>& names) override;

  std::function<Status(std::string_view call)> fault;
  // The same, told the path the call names (the first of two; empty for a call on a handle).
  std::function<Status(std::string_view call, std::u16string_view path)> faultOn;
  int openHandles = 0;

 private:
  Status Fault(std::string_view call, std::u16string_view path) {
    if (fault) return fault(call);
    return faultOn ? faultOn(call, path) : status::kSuccess;
  }
  FileSystem& inner_;
};

// Makes call number `failAt` (from 0) of the registry and the files fail with an error the
// platform gives; -1 fails none. Counts every call in `calls` and names the failed one. With
// `repeats`, the same call on the same path made again right after it (a retry) fails that many
// more times: a file held for a moment, or for good.
class SeamFault {
 public:
  SeamFault(RecordingRegistry& registry, FaultyFiles& files, int failAt, int repeats = 0);
  ~SeamFault();
  SeamFault(const SeamFault&) = delete;
  SeamFault& operator=(const SeamFault&) = delete;

  int calls = 0;
  std::string failed;

 private:
  Status Next(std::string_view call, std::u16string_view path);
  RecordingRegistry& registry_;
  FaultyFiles& files_;
  int failAt_;
  int repeats_;
  int repeatsLeft_ = 0;
  std::u16string failedPath_;
};

// While alive, allocation number `failAt` (from 0) of this thread throws std::bad_alloc; -1
// fails none. `count()` tells how many allocations were made so far.
class AllocationFault {
 public:
  explicit AllocationFault(long failAt);
  ~AllocationFault();
  AllocationFault(const AllocationFault&) = delete;
  AllocationFault& operator=(const AllocationFault&) = delete;
  long count() const;
};

// While alive, this thread's allocations never fail: the test's stand-ins for the platform
// allocate where the real one does not, and must not count as the code under test.
class AllocationPause {
 public:
  AllocationPause();
  ~AllocationPause();
  AllocationPause(const AllocationPause&) = delete;
  AllocationPause& operator=(const AllocationPause&) = delete;

 private:
  bool wasArmed_;
};

// Runs `run` on a fresh bed made by `prepare` once per seam call it makes, with that call
// failing, and once per allocation it makes, with that allocation failing; `check` then sees
// the bed, with a description of what failed. A failing call must not throw; a failing
// allocation may end the run with std::bad_alloc, nothing else. A first run fails nothing and
// counts.
void WalkFaults(const std::function<void(TestPlatform&)>& prepare,
                const std::function<void(TestPlatform&, FileSystem&)>& run,
                const std::function<void(TestPlatform&, const std::string&)>& check);

// The call walk of WalkFaults, each failing call failing `repeats` more times when it is made
// again right away on the same path: with a RetryingFileSystem in `run`, a file held for a moment
// (fewer repeats than attempts) or held for good.
void WalkHeldFiles(const std::function<void(TestPlatform&)>& prepare,
                   const std::function<void(TestPlatform&, FileSystem&)>& run,
                   const std::function<void(TestPlatform&, const std::string&)>& check,
                   int repeats);

// Whether the call a walk failed, as `check` is told it, is one a RetryingFileSystem tries again
// when it fails as the walk makes it fail (access denied).
bool IsRetried(const std::string& what);

}  // namespace pivora::testing
