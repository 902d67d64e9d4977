// Failures injected one at a time: every registry and file call a run makes is counted, and the
// chosen one fails; or the chosen allocation of the calling thread throws std::bad_alloc. A
// counting run first tells how many calls (or allocations) there are to walk.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "tests/support/test_platform.h"

namespace pivora::testing {

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
  int openHandles = 0;

 private:
  Status Fault(std::string_view call) { return fault ? fault(call) : status::kSuccess; }
  FileSystem& inner_;
};

// Makes call number `failAt` (from 0) of the registry and the files fail with an error the
// platform gives; -1 fails none. Counts every call in `calls` and names the failed one.
class SeamFault {
 public:
  SeamFault(RecordingRegistry& registry, FaultyFiles& files, int failAt);
  ~SeamFault();
  SeamFault(const SeamFault&) = delete;
  SeamFault& operator=(const SeamFault&) = delete;

  int calls = 0;
  std::string failed;

 private:
  Status Next(std::string_view call);
  RecordingRegistry& registry_;
  FaultyFiles& files_;
  int failAt_;
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

}  // namespace pivora::testing
