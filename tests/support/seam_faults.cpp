#include "tests/support/seam_faults.h"

#include <cstdlib>
#include <new>
#include <string>

#include <gtest/gtest.h>

namespace pivora::testing {
namespace {

// The allocation counter of the thread that armed it; off elsewhere.
thread_local bool allocationsArmed = false;
thread_local long allocationsMade = 0;
thread_local long allocationToFail = -1;

void* Allocate(std::size_t size) {
  if (allocationsArmed && allocationsMade++ == allocationToFail) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

}  // namespace

Status FaultyFiles::OpenForReading(std::u16string_view path, FileHandle& out) {
  const AllocationPause pause;
  if (const Status f = Fault("OpenForReading", path)) return f;
  const Status result = inner_.OpenForReading(path, out);
  if (result == status::kSuccess) ++openHandles;
  return result;
}

Status FaultyFiles::Size(FileHandle file, std::uint64_t& size) {
  const AllocationPause pause;
  if (const Status f = Fault("Size", {})) return f;
  return inner_.Size(file, size);
}

Status FaultyFiles::Read(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t& read) {
  const AllocationPause pause;
  if (const Status f = Fault("Read", {})) return f;
  return inner_.Read(file, buffer, size, read);
}

void FaultyFiles::Close(FileHandle file) {
  const AllocationPause pause;
  --openHandles;
  inner_.Close(file);
}

bool FaultyFiles::Exists(std::u16string_view path) {
  const AllocationPause pause;
  return Fault("Exists", path) == status::kSuccess && inner_.Exists(path);
}

Status FaultyFiles::Attributes(std::u16string_view path, std::uint32_t& attributes) {
  const AllocationPause pause;
  if (const Status f = Fault("Attributes", path)) return f;
  return inner_.Attributes(path, attributes);
}

Status FaultyFiles::ReparseTag(std::u16string_view path, std::uint32_t& tag) {
  const AllocationPause pause;
  if (const Status f = Fault("ReparseTag", path)) return f;
  return inner_.ReparseTag(path, tag);
}

DriveType FaultyFiles::DriveTypeOf(std::u16string_view root) {
  const AllocationPause pause;
  return Fault("DriveTypeOf", root) == status::kSuccess ? inner_.DriveTypeOf(root)
                                                        : DriveType::kUnknown;
}

Status FaultyFiles::CreateNew(std::u16string_view path, FileHandle& out) {
  const AllocationPause pause;
  if (const Status f = Fault("CreateNew", path)) return f;
  const Status result = inner_.CreateNew(path, out);
  if (result == status::kSuccess) ++openHandles;
  return result;
}

Status FaultyFiles::Write(FileHandle file, const void* data, std::uint32_t size,
                          std::uint32_t& written) {
  const AllocationPause pause;
  if (const Status f = Fault("Write", {})) {
    written = 0;
    return f;
  }
  return inner_.Write(file, data, size, written);
}

Status FaultyFiles::Flush(FileHandle file) {
  const AllocationPause pause;
  if (const Status f = Fault("Flush", {})) return f;
  return inner_.Flush(file);
}

Status FaultyFiles::ProbeReplace(std::u16string_view path) {
  const AllocationPause pause;
  if (const Status f = Fault("ProbeReplace", path)) return f;
  return inner_.ProbeReplace(path);
}

Status FaultyFiles::Replace(std::u16string_view target, std::u16string_view replacement,
                            std::u16string_view backup) {
  const AllocationPause pause;
  if (const Status f = Fault("Replace", target)) return f;
  return inner_.Replace(target, replacement, backup);
}

Status FaultyFiles::Move(std::u16string_view from, std::u16string_view to, bool replaceExisting) {
  const AllocationPause pause;
  if (const Status f = Fault("Move", from)) return f;
  return inner_.Move(from, to, replaceExisting);
}

Status FaultyFiles::Delete(std::u16string_view path) {
  const AllocationPause pause;
  if (const Status f = Fault("Delete", path)) return f;
  return inner_.Delete(path);
}

Status FaultyFiles::Copy(std::u16string_view from, std::u16string_view to) {
  const AllocationPause pause;
  if (const Status f = Fault("Copy", from)) return f;
  return inner_.Copy(from, to);
}

Status FaultyFiles::CreateFolder(std::u16string_view path) {
  const AllocationPause pause;
  if (const Status f = Fault("CreateFolder", path)) return f;
  return inner_.CreateFolder(path);
}

Status FaultyFiles::RemoveFolder(std::u16string_view path) {
  const AllocationPause pause;
  if (const Status f = Fault("RemoveFolder", path)) return f;
  return inner_.RemoveFolder(path);
}

Status FaultyFiles::FilesIn(std::u16string_view folder, std::vector<std::u16string>& names) {
  const AllocationPause pause;
  if (const Status f = Fault("FilesIn", folder)) return f;
  return inner_.FilesIn(folder, names);
}

SeamFault::SeamFault(RecordingRegistry& registry, FaultyFiles& files, int failAt, int repeats)
    : registry_(registry), files_(files), failAt_(failAt), repeats_(repeats) {
  registry_.fault = [this](std::string_view call, std::u16string_view name) {
    return Next(call, name);
  };
  files_.faultOn = [this](std::string_view call, std::u16string_view path) {
    return Next(call, path);
  };
}

SeamFault::~SeamFault() {
  registry_.fault = nullptr;
  files_.faultOn = nullptr;
}

Status SeamFault::Next(std::string_view call, std::u16string_view path) {
  const bool again = repeatsLeft_ > 0 && call == failed && path == failedPath_;
  if (calls++ == failAt_) {
    failed = std::string(call);
    failedPath_ = path;
    repeatsLeft_ = repeats_;
  } else if (again) {
    --repeatsLeft_;
  } else {
    // Another call between: the one that failed is not being tried again.
    repeatsLeft_ = 0;
    return status::kSuccess;
  }
  // What a registry or a disk gives when it refuses: access denied, a failing device, or a full
  // disk.
  if (call == "Read") return Status{1117};
  if (call == "Write") return status::kDiskFull;
  return status::kAccessDenied;
}

AllocationFault::AllocationFault(long failAt) {
  allocationsMade = 0;
  allocationToFail = failAt;
  allocationsArmed = true;
}

AllocationFault::~AllocationFault() { allocationsArmed = false; }

long AllocationFault::count() const { return allocationsMade; }

AllocationPause::AllocationPause() : wasArmed_(allocationsArmed) { allocationsArmed = false; }

AllocationPause::~AllocationPause() { allocationsArmed = wasArmed_; }

namespace {

void WalkCalls(const std::function<void(TestPlatform&)>& prepare,
               const std::function<void(TestPlatform&, FileSystem&)>& run,
               const std::function<void(TestPlatform&, const std::string&)>& check, int repeats) {
  int calls = 0;
  {
    TestPlatform bed;
    prepare(bed);
    FaultyFiles files(bed.files());
    SeamFault counting(bed.registry(), files, -1);
    run(bed, files);
    calls = counting.calls;
  }
  ASSERT_GT(calls, 0);
  for (int k = 0; k < calls; ++k) {
    TestPlatform bed;
    prepare(bed);
    FaultyFiles files(bed.files());
    std::string failed;
    {
      SeamFault fault(bed.registry(), files, k, repeats);
      try {
        run(bed, files);
      } catch (const std::bad_alloc&) {
        ADD_FAILURE() << "a failing call is not running out of memory";
      } catch (...) {
        ADD_FAILURE() << "an exception left after call " << k;
      }
      failed = fault.failed;
    }
    EXPECT_EQ(files.openHandles, 0) << "call " << k << " (" << failed << ")";
    check(bed, "call " + std::to_string(k) + " (" + failed + ")");
  }
}

}  // namespace

bool IsRetried(const std::string& what) {
  for (const char* call :
       {"(OpenForReading)", "(ProbeReplace)", "(CreateNew)", "(CreateFolder)", "(FilesIn)",
        "(Replace)", "(Move)", "(Delete)", "(Copy)", "(RemoveFolder)"}) {
    if (what.ends_with(call)) return true;
  }
  return false;
}

void WalkHeldFiles(const std::function<void(TestPlatform&)>& prepare,
                   const std::function<void(TestPlatform&, FileSystem&)>& run,
                   const std::function<void(TestPlatform&, const std::string&)>& check,
                   int repeats) {
  WalkCalls(prepare, run, check, repeats);
}

void WalkFaults(const std::function<void(TestPlatform&)>& prepare,
                const std::function<void(TestPlatform&, FileSystem&)>& run,
                const std::function<void(TestPlatform&, const std::string&)>& check) {
  WalkCalls(prepare, run, check, 0);

  long allocations = 0;
  {
    TestPlatform bed;
    prepare(bed);
    FaultyFiles files(bed.files());
    AllocationFault counting(-1);
    run(bed, files);
    allocations = counting.count();
  }
  ASSERT_GT(allocations, 0);
  for (long k = 0; k < allocations; ++k) {
    TestPlatform bed;
    prepare(bed);
    FaultyFiles files(bed.files());
    bool ranOut = false;
    {
      AllocationFault fault(k);
      try {
        run(bed, files);
      } catch (const std::bad_alloc&) {
        ranOut = true;
      } catch (...) {
        ADD_FAILURE() << "an exception other than std::bad_alloc after allocation " << k;
      }
    }
    EXPECT_EQ(files.openHandles, 0) << "allocation " << k;
    check(bed, "allocation " + std::to_string(k) + (ranOut ? " (thrown on)" : ""));
  }
}

}  // namespace pivora::testing

// The test program's allocations go through the counter above; the non-throwing forms fail
// with a null pointer.
void* operator new(std::size_t size) { return pivora::testing::Allocate(size); }
void* operator new[](std::size_t size) { return pivora::testing::Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return pivora::testing::Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
