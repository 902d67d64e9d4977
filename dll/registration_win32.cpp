#include "dll/registration.h"

#include <new>
#include <optional>
#include <string>

#include "dll/object_map.h"
#include "module/module_records.h"
#include "platform/platform_win32.h"
#include "platform/unique_handle.h"
#include "resources/resource_ids.h"
#include "resources/resource_text.h"
#include "server/com_barrier.h"
#include "server/com_module.h"
#include "server/identifiers.h"
#include "server/registry_script.h"

namespace pivora {
namespace {

constexpr std::u16string_view kProgId = u"Pivora.crs.1";
constexpr std::u16string_view kSchemeExtension = u".crs";
constexpr std::u16string_view kHandlersKey = u"\\ShellEx\\ContextMenuHandlers\\";
// Where the shell looks for every file of an extension, whatever its file type.
constexpr std::u16string_view kExtensionAssociations = u"SystemFileAssociations\\";

constexpr KeyHandle kClassesRoot = root_key::kClassesRoot;

std::u16string FromWide(const std::wstring& text) {
  return std::u16string(text.begin(), text.end());
}

std::wstring LibraryPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(baseModule.moduleInstance, path, MAX_PATH);
  return path;
}

// The 8.3 form of the library's path; the full path where the volume has none.
std::wstring ShortLibraryPath() {
  const std::wstring full = LibraryPath();
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetShortPathNameW(full.c_str(), path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return full;
  return path;
}

// The pack handler's key: under every INF file, whatever its file type (the key named by the
// class id, as for the cursor file types).
std::u16string PackHandlerKey() {
  return std::u16string(kExtensionAssociations) + u".inf" + std::u16string(kHandlersKey) +
         kCursorPackClassIdText;
}

// Appended to a file type's key: where the shell finds the type's menu handler.
std::u16string HandlerKeySuffix() { return std::u16string(kHandlersKey) + kContextMenuClassIdText; }

Status SetText(Registry& registry, KeyHandle key, std::u16string_view name,
               std::u16string_view text) {
  const std::u16string data(text);
  return registry.SetValue(key, name, value_type::kString, data.c_str(),
                           static_cast<std::uint32_t>((data.size() + 1) * sizeof(char16_t)));
}

// The key's default value, read into a zero-filled buffer of `units`; a missing value reads as
// empty. Nothing when the read fails for another reason.
std::optional<std::u16string> DefaultValue(Registry& registry, KeyHandle key, std::size_t units) {
  std::u16string buffer(units, u'\0');
  auto bytes = static_cast<std::uint32_t>(units * sizeof(char16_t));
  const Status result = registry.QueryValue(key, u"", nullptr, buffer.data(), bytes);
  if (result == status::kFileNotFound) return std::u16string();
  if (result != status::kSuccess) return std::nullopt;
  buffer.resize(std::min<std::size_t>(units, bytes / sizeof(char16_t)));
  return std::u16string(buffer.c_str());
}

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return CompareStringOrdinal(AsWide(a.data()), static_cast<int>(a.size()), AsWide(b.data()),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Creates `subKey` under `parent` and sets its default value.
void WriteKey(Registry& registry, KeyHandle parent, std::u16string_view subKey,
              std::u16string_view value, RegistryKey& key) {
  if (registry.Create(parent, subKey, key_access::kReadWrite, key.put()) == status::kSuccess) {
    SetText(registry, key.get(), u"", value);
  }
}

void WriteVerb(Registry& registry, KeyHandle shell, std::u16string_view verb,
               std::u16string_view name, std::u16string_view command) {
  RegistryKey verbKey(registry);
  WriteKey(registry, shell, verb, name, verbKey);
  if (!verbKey.is_open()) return;
  RegistryKey commandKey(registry);
  WriteKey(registry, verbKey.get(), u"command", command, commandKey);
}

// Binds .crs to the ProgID, keeping a previous owner in OpenWithProgids to hand it back later.
// The extension is taken over only once its owner is on record: an owner that cannot be read or
// recorded keeps it, rather than being lost.
void BindSchemeExtension(Registry& registry) {
  RegistryKey extension(registry);
  if (registry.Create(kClassesRoot, kSchemeExtension, key_access::kReadWrite, extension.put()) !=
      status::kSuccess) {
    return;
  }
  const std::optional<std::u16string> owner = DefaultValue(registry, extension.get(), MAX_PATH);
  if (!owner || EqualsIgnoringCase(*owner, kProgId)) return;
  if (!owner->empty()) {
    RegistryKey progIds(registry);
    RegistryKey previous(registry);
    if (registry.Create(extension.get(), u"OpenWithProgids", key_access::kReadWrite,
                        progIds.put()) != status::kSuccess ||
        registry.Create(progIds.get(), *owner, key_access::kRead, previous.put()) !=
            status::kSuccess) {
      return;
    }
  }
  SetText(registry, extension.get(), u"", kProgId);
}

void RegisterSchemeFileType(Registry& registry) {
  const std::u16string shortPath = FromWide(ShortLibraryPath());
  const std::u16string icon = shortPath + u",0";
  const std::u16string apply = FromWide(ApplyCommand(ShortLibraryPath()));
  const std::u16string edit = u"notepad.exe \"%1\"";
  const std::u16string description = ResourceText(IDS_SCHEME_FILE_TYPE, 64);
  const std::u16string applyName = ResourceText(IDS_APPLY_SCHEME_VERB, 32);
  const std::u16string editName = ResourceText(IDS_MODIFY_SCHEME_VERB, 32);

  BindSchemeExtension(registry);

  RegistryKey progId(registry);
  WriteKey(registry, kClassesRoot, kProgId, description, progId);
  if (!progId.is_open()) return;
  RegistryKey defaultIcon(registry);
  WriteKey(registry, progId.get(), u"DefaultIcon", icon, defaultIcon);
  RegistryKey shell(registry);
  if (registry.Create(progId.get(), u"shell", key_access::kReadWrite, shell.put()) !=
      status::kSuccess)
    return;
  WriteVerb(registry, shell.get(), u"apply", applyName, apply);
  WriteVerb(registry, shell.get(), u"edit", editName, edit);
}

// The thumbnail handler of the file type; it goes with the ProgID's tree.
bool RegisterSchemeThumbnails(Registry& registry) {
  RegistryKey provider(registry);
  WriteKey(registry, kClassesRoot,
           std::u16string(kProgId) + u"\\ShellEx\\" + kThumbnailProviderIidText,
           kSchemeThumbnailClassIdText, provider);
  return provider.is_open();
}

// The file type of an extension's key; empty when it names none.
std::u16string FileTypeOf(Registry& registry, std::u16string_view dottedExtension) {
  RegistryKey extension(registry);
  if (registry.Open(kClassesRoot, dottedExtension, key_access::kRead, extension.put()) !=
      status::kSuccess) {
    return {};
  }
  std::u16string buffer(256, u'\0');
  std::uint32_t bytes = 512;
  if (registry.QueryValue(extension.get(), u"", nullptr, buffer.data(), bytes) !=
          status::kSuccess ||
      bytes <= 2) {
    return {};
  }
  return std::u16string(buffer.c_str());
}

bool RegisterMenuHandlerForExtension(Registry& registry, std::u16string_view extension) {
  const std::u16string dotted = u"." + std::u16string(extension);
  std::u16string fileType = FileTypeOf(registry, dotted);
  // Without a file type, the key that reaches every file of the extension.
  if (fileType.empty()) fileType = std::u16string(kExtensionAssociations) + dotted;
  RegistryKey handler(registry);
  return registry.Create(kClassesRoot, fileType + HandlerKeySuffix(), key_access::kRead,
                         handler.put()) == status::kSuccess;
}

// Deletes the handler key at `path` under HKCR if it is there; false when it is and stays.
bool RemoveHandlerKey(Registry& registry, const std::u16string& path) {
  RegistryKey handler(registry);
  if (registry.Open(kClassesRoot, path, key_access::kRead, handler.put()) != status::kSuccess) {
    return true;
  }
  handler.Reset();
  return registry.DeleteKey(kClassesRoot, path) == status::kSuccess;
}

bool RemoveMenuHandlerKeys(Registry& registry) {
  const std::u16string suffix = HandlerKeySuffix();
  bool removed = true;
  for (std::uint32_t index = 0;; ++index) {
    std::u16string name;
    const Status result = registry.EnumKey(kClassesRoot, index, name);
    if (result != status::kSuccess && result != status::kMoreData) break;
    if (result == status::kSuccess && !RemoveHandlerKey(registry, name + suffix)) {
      removed = false;
    }
  }
  for (std::u16string_view extension : {u".cur", u".ani"}) {
    const std::u16string path =
        std::u16string(kExtensionAssociations) + std::u16string(extension) + suffix;
    if (!RemoveHandlerKey(registry, path)) removed = false;
  }
  return removed;
}

// Hands .crs back to the owner it had before, when it is still ours. The owner's record goes
// only once the hand-back is written, so that a failure never loses it.
void UnregisterSchemeFileType(Registry& registry) {
  RegistryKey extension(registry);
  if (registry.Open(kClassesRoot, kSchemeExtension, key_access::kReadWrite, extension.put()) ==
      status::kSuccess) {
    const std::optional<std::u16string> owner = DefaultValue(registry, extension.get(), MAX_PATH);
    if (owner && EqualsIgnoringCase(*owner, kProgId)) {
      std::u16string previous;
      RegistryKey progIds(registry);
      std::uint32_t count = 0;
      if (registry.Open(extension.get(), u"OpenWithProgids", key_access::kReadWrite,
                        progIds.put()) == status::kSuccess &&
          registry.QuerySubKeyCount(progIds.get(), count) == status::kSuccess && count > 0 &&
          registry.EnumKey(progIds.get(), count - 1, previous) != status::kSuccess) {
        previous.clear();
      }
      if (SetText(registry, extension.get(), u"", previous) == status::kSuccess &&
          !previous.empty()) {
        registry.DeleteKey(progIds.get(), previous);
      }
    }
  }
  registry.DeleteTree(kClassesRoot, kProgId);
}

const ReplacementEntry kAppIdReplacement[] = {
    {u"APPID", CPivoraModule::appId},
    {nullptr, nullptr},
};

// The scripts are ANSI text read in the system's default code page, whatever the caller's: the
// caller's locale comes back when the guard goes.
auto SystemLocale() {
  const LCID previous = GetThreadLocale();
  SetThreadLocale(LOCALE_SYSTEM_DEFAULT);
  return ScopeGuard([previous] { SetThreadLocale(previous); });
}

HRESULT UpdateClasses(bool doRegister) {
  for (ObjectMapEntry& row : comModule.objectMap) {
    if (row.clsid == nullptr || row.UpdateClassRegistry == nullptr) continue;
    if (const HRESULT result = row.UpdateClassRegistry(doRegister ? TRUE : FALSE); FAILED(result)) {
      return result;
    }
  }
  return S_OK;
}

}  // namespace

std::wstring ApplyCommand(const std::wstring& shortPath) {
  const std::wstring library =
      shortPath.find(L' ') != std::wstring::npos ? L"\"" + shortPath + L"\"" : shortPath;
  return L"rundll32.exe " + library + L",ApplySet %1";
}

bool RegisterAssociations(Registry& registry) {
  RegisterSchemeFileType(registry);
  const bool thumbnails = RegisterSchemeThumbnails(registry);
  const bool cursors = RegisterMenuHandlerForExtension(registry, u"cur");
  const bool animated = RegisterMenuHandlerForExtension(registry, u"ani");
  RegistryKey packs(registry);
  const bool infs = registry.Create(kClassesRoot, PackHandlerKey(), key_access::kRead,
                                    packs.put()) == status::kSuccess;
  // An installed pack's scheme offers its uninstall; the key goes with the ProgID's tree.
  RegistryKey packSchemes(registry);
  const bool schemes = registry.Create(kClassesRoot,
                                       std::u16string(kProgId) + std::u16string(kHandlersKey) +
                                           kCursorPackClassIdText,
                                       key_access::kRead, packSchemes.put()) == status::kSuccess;
  return cursors && animated && infs && thumbnails && schemes;
}

bool UnregisterAssociations(Registry& registry) {
  const bool removed = RemoveMenuHandlerKeys(registry);
  const bool packsRemoved = RemoveHandlerKey(registry, PackHandlerKey());
  // The two keys above it, made for it, go too while nothing else is in them (a key with
  // subkeys is not deleted); .inf's own key, which may carry values of others, stays.
  for (std::u16string_view parent : {u"SystemFileAssociations\\.inf\\ShellEx\\ContextMenuHandlers",
                                     u"SystemFileAssociations\\.inf\\ShellEx"}) {
    RegistryKey key(registry);
    std::uint32_t subKeys = 0;
    if (registry.Open(kClassesRoot, parent, key_access::kRead, key.put()) != status::kSuccess ||
        registry.QuerySubKeyCount(key.get(), subKeys) != status::kSuccess || subKeys != 0) {
      break;
    }
    key.Reset();
    registry.DeleteKey(kClassesRoot, parent);
  }
  UnregisterSchemeFileType(registry);
  return removed && packsRemoved;
}

HRESULT RegisterServer(WindowSystem& windows) {
  {
    const auto locale = SystemLocale();
    PIVORA_RETURN_IF_FAILED(RunRegistryScript(IDR_APPID_SCRIPT, true, kAppIdReplacement));
    PIVORA_RETURN_IF_FAILED(UpdateClasses(true));
  }
  // The association steps answer any exception alike, as registration has always reported them.
  PIVORA_RETURN_IF_FAILED(ComBarrier(kAlwaysUnexpected, [] {
    Win32Registry registry;
    return RegisterAssociations(registry) ? S_OK : E_FAIL;
  }));
  windows.NotifyAssociationsChanged();
  return S_OK;
}

HRESULT UnregisterServer(WindowSystem& windows) {
  // Every later step runs even when this one fails; a handler key that stays fails the whole.
  const HRESULT associations = ComBarrier(kAlwaysFail, [] {
    Win32Registry registry;
    return UnregisterAssociations(registry) ? S_OK : E_FAIL;
  });
  HRESULT result = S_OK;
  {
    const auto locale = SystemLocale();
    result = UpdateClasses(false);
    if (SUCCEEDED(result)) result = RunRegistryScript(IDR_APPID_SCRIPT, false, kAppIdReplacement);
  }
  PIVORA_RETURN_IF_FAILED(associations);
  PIVORA_RETURN_IF_FAILED(result);
  windows.NotifyAssociationsChanged();
  return S_OK;
}

}  // namespace pivora
