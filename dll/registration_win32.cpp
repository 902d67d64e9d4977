#include "dll/registration.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <vector>

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
constexpr KeyHandle kLocalMachine = root_key::kLocalMachine;

// The shell builds a file's association array from its effective file type (a person's "Always
// open with" choice wins over HKCR\<ext>) followed by SystemFileAssociations\<ext>, and gathers
// handlers from every element: keys there reach every file of the extension, whatever type a
// person or another program gives it later. Written under HKLM explicitly, as an HKCR write can
// land in the caller's own classes.
constexpr std::u16string_view kMachineExtensions = u"Software\\Classes\\SystemFileAssociations\\";
// In a key registration made there: how many of the keys above it (from the extension's down)
// registration made too, so that unregistration removes exactly those and keeps what was there.
constexpr std::u16string_view kMadeParents = u"PivoraMadeParents";

// One handler key below SystemFileAssociations\<extension>; `classId` is its default value, or
// empty for a key that names its class by its own name.
struct ExtensionHandler {
  std::u16string_view extension;
  std::u16string below;
  std::u16string_view classId;
};

// In the order they are made; unregistration goes backwards, so that a key shared by two is
// empty when the one that made it looks.
//
// The .crs verbs stay under the ProgID only: the shell lists the verbs of every element of the
// array, so "apply" and "edit" here as well would appear twice for as long as .crs is ours. A
// type reassigned by a person is theirs to open; the thumbnails and the pack handler, which
// name no verb, still reach the file from here.
std::vector<ExtensionHandler> ExtensionHandlers() {
  const std::u16string menus = u"ShellEx\\ContextMenuHandlers\\";
  return {
      {u".cur", menus + kContextMenuClassIdText, {}},
      {u".ani", menus + kContextMenuClassIdText, {}},
      {u".cur", menus + kCursorPackClassIdText, {}},
      {u".ani", menus + kCursorPackClassIdText, {}},
      {u".crs", u"ShellEx\\" + std::u16string(kThumbnailProviderIidText),
       kSchemeThumbnailClassIdText},
      {u".crs", menus + kCursorPackClassIdText, {}},
  };
}

std::u16string ExtensionHandlerPath(const ExtensionHandler& handler) {
  return std::u16string(kMachineExtensions) + std::u16string(handler.extension) + u"\\" +
         handler.below;
}

Status Probe(Registry& registry, std::u16string_view path) {
  RegistryKey key(registry);
  return registry.Open(kLocalMachine, path, key_access::kRead, key.put());
}

// The keys above the handler's from the extension's down, outermost first.
std::vector<std::u16string> ParentsOf(const std::u16string& path) {
  std::vector<std::u16string> parents;
  for (std::size_t at = path.find(u'\\', kMachineExtensions.size()); at != std::u16string::npos;
       at = path.find(u'\\', at + 1)) {
    parents.push_back(path.substr(0, at));
  }
  return parents;
}

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

// The menu handlers of the cursor file types: the role menu of one file, and the pack handler,
// which serves a selection of several.
constexpr std::u16string_view kPointerFileHandlers[] = {kContextMenuClassIdText,
                                                        kCursorPackClassIdText};

// Appended to a file type's key: where the shell finds the type's menu handler of this class.
std::u16string HandlerKeySuffix(std::u16string_view classId) {
  return std::u16string(kHandlersKey) + std::u16string(classId);
}

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

// "@<library>,-<id>": the shell loads the text from the library's string table in each user's
// own language, where the plain text was written once, in the language of whoever registered.
std::u16string IndirectText(std::u16string_view library, int id) {
  return u"@" + std::u16string(library) + u",-" + FromWide(std::to_wstring(id));
}

void WriteVerb(Registry& registry, KeyHandle shell, std::u16string_view verb,
               std::u16string_view name, std::u16string_view muiVerb, std::u16string_view command) {
  RegistryKey verbKey(registry);
  WriteKey(registry, shell, verb, name, verbKey);
  if (!verbKey.is_open()) return;
  // The default value stays beside it for hosts that read only that.
  SetText(registry, verbKey.get(), u"MUIVerb", muiVerb);
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
  // The icon, the verbs' command and the indirect texts name the library by one path.
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
  SetText(registry, progId.get(), u"FriendlyTypeName",
          IndirectText(shortPath, IDS_SCHEME_FILE_TYPE));
  RegistryKey defaultIcon(registry);
  WriteKey(registry, progId.get(), u"DefaultIcon", icon, defaultIcon);
  RegistryKey shell(registry);
  if (registry.Create(progId.get(), u"shell", key_access::kReadWrite, shell.put()) !=
      status::kSuccess)
    return;
  WriteVerb(registry, shell.get(), u"apply", applyName,
            IndirectText(shortPath, IDS_APPLY_SCHEME_VERB), apply);
  WriteVerb(registry, shell.get(), u"edit", editName,
            IndirectText(shortPath, IDS_MODIFY_SCHEME_VERB), edit);
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

bool RegisterMenuHandlersForExtension(Registry& registry, std::u16string_view extension) {
  const std::u16string dotted = u"." + std::u16string(extension);
  std::u16string fileType = FileTypeOf(registry, dotted);
  // Without a file type, the key that reaches every file of the extension.
  if (fileType.empty()) fileType = std::u16string(kExtensionAssociations) + dotted;
  bool registered = true;
  for (const std::u16string_view classId : kPointerFileHandlers) {
    RegistryKey handler(registry);
    if (registry.Create(kClassesRoot, fileType + HandlerKeySuffix(classId), key_access::kRead,
                        handler.put()) != status::kSuccess) {
      registered = false;
    }
  }
  return registered;
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
  bool removed = true;
  for (std::uint32_t index = 0;; ++index) {
    std::u16string name;
    const Status result = registry.EnumKey(kClassesRoot, index, name);
    if (result != status::kSuccess && result != status::kMoreData) break;
    if (result != status::kSuccess) continue;
    for (const std::u16string_view classId : kPointerFileHandlers) {
      if (!RemoveHandlerKey(registry, name + HandlerKeySuffix(classId))) removed = false;
    }
  }
  for (std::u16string_view extension : {u".cur", u".ani"}) {
    for (const std::u16string_view classId : kPointerFileHandlers) {
      const std::u16string path = std::u16string(kExtensionAssociations) +
                                  std::u16string(extension) + HandlerKeySuffix(classId);
      if (!RemoveHandlerKey(registry, path)) removed = false;
    }
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

// A key that holds nothing: no subkey and no value of anyone's.
bool IsEmptyKey(Registry& registry, std::u16string_view path) {
  RegistryKey key(registry);
  std::uint32_t subKeys = 0;
  std::uint32_t values = 0;
  return registry.Open(kLocalMachine, path, key_access::kRead, key.put()) == status::kSuccess &&
         registry.QuerySubKeyCount(key.get(), subKeys) == status::kSuccess && subKeys == 0 &&
         registry.QueryValueCount(key.get(), values) == status::kSuccess && values == 0;
}

// Deletes the handler's key at `path` and the innermost `made` of the keys above it, each while
// it holds nothing; false when the handler's key stays.
bool DeleteMadeKeys(Registry& registry, const std::u16string& path, std::uint32_t made) {
  if (registry.DeleteKey(kLocalMachine, path) != status::kSuccess) return false;
  const std::vector<std::u16string> parents = ParentsOf(path);
  made = std::min<std::uint32_t>(made, static_cast<std::uint32_t>(parents.size()));
  for (std::size_t i = parents.size(); i > parents.size() - made; --i) {
    if (!IsEmptyKey(registry, parents[i - 1])) break;
    registry.DeleteKey(kLocalMachine, parents[i - 1]);
  }
  return true;
}

// Makes the handler's key, recording in it how many keys above it were made with it. A key of
// the same name naming another class (another program's thumbnails) is left as it is. False when
// the key could not be made.
bool RegisterExtensionHandler(Registry& registry, const ExtensionHandler& handler) {
  const std::u16string path = ExtensionHandlerPath(handler);
  RegistryKey key(registry);
  if (registry.Open(kLocalMachine, path, key_access::kRead, key.put()) == status::kSuccess) {
    // Made before, by us or another: its record, if any, stays as it is.
    if (handler.classId.empty()) return true;
    const std::optional<std::u16string> named = DefaultValue(registry, key.get(), MAX_PATH);
    if (!named || (!named->empty() && !EqualsIgnoringCase(*named, handler.classId))) return true;
    key.Reset();
    if (registry.Open(kLocalMachine, path, key_access::kReadWrite, key.put()) != status::kSuccess) {
      return false;
    }
    return SetText(registry, key.get(), u"", handler.classId) == status::kSuccess;
  }
  const std::vector<std::u16string> parents = ParentsOf(path);
  std::uint32_t made = 0;
  for (std::size_t i = 0; i < parents.size(); ++i) {
    const Status probed = Probe(registry, parents[i]);
    if (probed == status::kFileNotFound) {
      made = static_cast<std::uint32_t>(parents.size() - i);
      break;
    }
    // What is there cannot be told: nothing is made rather than a wrong record.
    if (probed != status::kSuccess) return false;
  }
  if (registry.Create(kLocalMachine, path, key_access::kReadWrite, key.put()) != status::kSuccess) {
    return false;
  }
  // Without its record or its class, the key goes again with what was made for it.
  if (registry.SetValue(key.get(), kMadeParents, value_type::kDword, &made, sizeof made) !=
          status::kSuccess ||
      (!handler.classId.empty() &&
       SetText(registry, key.get(), u"", handler.classId) != status::kSuccess)) {
    key.Reset();
    DeleteMadeKeys(registry, path, made);
    return false;
  }
  return true;
}

// Deletes the handler's key where it is ours, then the keys registration made above it while
// they hold nothing; false when our key was found and stays.
bool UnregisterExtensionHandler(Registry& registry, const ExtensionHandler& handler) {
  const std::u16string path = ExtensionHandlerPath(handler);
  std::uint32_t made = 0;
  {
    RegistryKey key(registry);
    if (registry.Open(kLocalMachine, path, key_access::kRead, key.put()) != status::kSuccess) {
      return true;
    }
    if (!handler.classId.empty()) {
      const std::optional<std::u16string> named = DefaultValue(registry, key.get(), MAX_PATH);
      // Another program's provider stays; one naming no class (a registration cut short before
      // it named ours) draws nothing for anyone.
      if (!named || (!named->empty() && !EqualsIgnoringCase(*named, handler.classId))) return true;
    }
    std::uint32_t type = 0;
    std::uint32_t bytes = sizeof made;
    if (registry.QueryValue(key.get(), kMadeParents, &type, &made, bytes) != status::kSuccess ||
        type != value_type::kDword || bytes != sizeof made) {
      // No record (a registration cut short, or an older one): every key above that holds
      // nothing goes, up to the extension's.
      made = static_cast<std::uint32_t>(ParentsOf(path).size());
    }
  }
  return DeleteMadeKeys(registry, path, made);
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
  // First, so that a key the steps below reach through HKCR is found made and on record.
  bool extensionHandlers = true;
  for (const ExtensionHandler& handler : ExtensionHandlers()) {
    if (!RegisterExtensionHandler(registry, handler)) extensionHandlers = false;
  }
  RegisterSchemeFileType(registry);
  const bool thumbnails = RegisterSchemeThumbnails(registry);
  const bool cursors = RegisterMenuHandlersForExtension(registry, u"cur");
  const bool animated = RegisterMenuHandlersForExtension(registry, u"ani");
  RegistryKey packs(registry);
  const bool infs = registry.Create(kClassesRoot, PackHandlerKey(), key_access::kRead,
                                    packs.put()) == status::kSuccess;
  // An installed pack's scheme offers its uninstall; the key goes with the ProgID's tree.
  RegistryKey packSchemes(registry);
  const bool schemes = registry.Create(kClassesRoot,
                                       std::u16string(kProgId) + std::u16string(kHandlersKey) +
                                           kCursorPackClassIdText,
                                       key_access::kRead, packSchemes.put()) == status::kSuccess;
  return cursors && animated && infs && thumbnails && schemes && extensionHandlers;
}

bool UnregisterAssociations(Registry& registry) {
  // First, while the records are there: the sweep below reaches the same keys through HKCR.
  bool extensionHandlers = true;
  const std::vector<ExtensionHandler> handlers = ExtensionHandlers();
  for (auto handler = handlers.rbegin(); handler != handlers.rend(); ++handler) {
    if (!UnregisterExtensionHandler(registry, *handler)) extensionHandlers = false;
  }
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
  return removed && packsRemoved && extensionHandlers;
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
