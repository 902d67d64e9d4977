// The platform the core tests run against. Natively: the in-memory registry and files, with an
// account whose "Control Panel" key exists and is empty. Under Wine: the real registry with
// HKEY_CURRENT_USER redirected to a scratch key for the life of the object, real files in a
// scratch folder, and shlwapi's path functions. Either way the reload notification is recorded,
// since Wine's SPI_SETCURSORS does nothing that can be seen.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace pivora::testing {

class RecordingReloader final : public PointerReloader {
 public:
  void ReloadPointers() override { ++count; }
  int count = 0;
};

// Passes every call on, records the ones that change something ("SetValue Arrow"), and fails
// the calls `fault` picks by returning a non-zero code for them.
class RecordingRegistry final : public Registry {
 public:
  explicit RecordingRegistry(Registry& inner) : inner_(inner) {}

  Status Open(KeyHandle parent, std::u16string_view subKey, std::uint32_t access,
              KeyHandle& out) override;
  Status Create(KeyHandle parent, std::u16string_view subKey, std::uint32_t access,
                KeyHandle& out) override;
  Status QueryValue(KeyHandle key, std::u16string_view name, std::uint32_t* type, void* data,
                    std::uint32_t& byteCount) override;
  Status SetValue(KeyHandle key, std::u16string_view name, std::uint32_t type, const void* data,
                  std::uint32_t byteCount) override;
  Status DeleteValue(KeyHandle key, std::u16string_view name) override;
  Status DeleteKey(KeyHandle parent, std::u16string_view subKey) override;
  Status DeleteTree(KeyHandle parent, std::u16string_view subKey) override;
  Status EnumKey(KeyHandle key, std::uint32_t index, std::u16string& name) override;
  Status QuerySubKeyCount(KeyHandle key, std::uint32_t& count) override;
  Status QueryValueCount(KeyHandle key, std::uint32_t& count) override;
  void Close(KeyHandle key) override;

  std::vector<std::string> log;
  std::function<Status(std::string_view call, std::u16string_view name)> fault;
  int openHandles = 0;

 private:
  Status Fault(std::string_view call, std::u16string_view name);
  Status Opened(Status result);
  void Record(std::string_view call, std::u16string_view name);
  Registry& inner_;
};

struct StoredValue {
  std::uint32_t type = 0;
  std::u16string text;  // the bytes as UTF-16, terminator included
  std::uint32_t byteCount = 0;
};

// What differs between the two builds: files and the registry underneath.
class TestHost {
 public:
  virtual ~TestHost() = default;
  virtual Registry& registry() = 0;
  virtual FileSystem& files() = 0;
  virtual const PathRules& paths() = 0;
  virtual std::u16string folder() = 0;
  virtual void WriteFile(std::u16string_view path, std::string_view bytes) = 0;
  virtual void MakeFolder(std::u16string_view path) = 0;
  // Holds the file open for writing, as another program would, until the result goes.
  virtual std::shared_ptr<void> HoldOpenForWriting(std::u16string_view path) = 0;
  // Holds the file open for reading, sharing reading only, until the result goes.
  virtual std::shared_ptr<void> HoldOpenForReading(std::u16string_view path) = 0;
  // The file's bytes; nothing when there is no such file.
  virtual std::optional<std::string> ReadFile(std::u16string_view path) = 0;
  // The names of the files directly in folder(), sorted.
  virtual std::vector<std::u16string> FileNames() = 0;
};

std::unique_ptr<TestHost> MakeTestHost();

class TestPlatform {
 public:
  TestPlatform();

  RecordingRegistry& registry() { return registry_; }
  FileSystem& files() { return host_->files(); }
  const PathRules& paths() { return host_->paths(); }
  RecordingReloader& reloader() { return reloader_; }
  Platform Seams() { return Platform{registry_, host_->files(), host_->paths(), reloader_}; }

  // A folder of its own (Windows form, no trailing backslash), and paths inside it. Its path is
  // also the environment variable PIVORA_SCRATCH; its subfolder "Local" is LOCALAPPDATA.
  std::u16string folder() { return host_->folder(); }
  std::u16string PathOf(std::u16string_view relative) {
    return folder() + u'\\' + std::u16string(relative);
  }
  void WriteFile(std::u16string_view path, std::string_view bytes) {
    host_->WriteFile(path, bytes);
  }
  void MakeFolder(std::u16string_view path) { host_->MakeFolder(path); }
  std::shared_ptr<void> HoldOpenForWriting(std::u16string_view path) {
    return host_->HoldOpenForWriting(path);
  }
  std::shared_ptr<void> HoldOpenForReading(std::u16string_view path) {
    return host_->HoldOpenForReading(path);
  }
  std::optional<std::string> ReadFile(std::u16string_view path) { return host_->ReadFile(path); }
  std::vector<std::u16string> FileNames() { return host_->FileNames(); }

  // The store as it is, read and changed past the recording; `subKey` is under the Cursors key.
  std::optional<StoredValue> Stored(std::u16string_view valueName,
                                    std::u16string_view subKey = u"");
  void Store(std::u16string_view valueName, std::u16string_view text,
             std::uint32_t type = 2 /* REG_EXPAND_SZ */);
  void StoreBytes(std::u16string_view valueName, std::uint32_t type, const void* data,
                  std::uint32_t byteCount);
  bool CursorsKeyExists();
  bool ControlPanelKeyExists();
  void RemoveCursorsKey();
  void RemoveControlPanelKey();

 private:
  std::unique_ptr<TestHost> host_;
  RecordingRegistry registry_;
  RecordingReloader reloader_;
};

// Text helpers for readable expectations.
std::string Narrow(std::u16string_view text);

// The code page AnsiToUtf16 converts from on this thread: under Wine the thread locale's, which
// follows the Unix locale Wine starts under; natively always 1252, the one the native conversion
// reproduces.
unsigned ThreadAnsiCodePage();

}  // namespace pivora::testing
