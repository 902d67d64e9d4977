#include "server/com_reg_object.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/text.h"
#include "server/com_barrier.h"

namespace pivora {
namespace {

constexpr std::size_t kMaxReplacementName = 31;
constexpr std::size_t kValueNameCapacity = 260;     // MAX_PATH, terminator included
constexpr std::size_t kRememberedKeyName = 259;     // a key name kept for deletion is cut here
constexpr std::size_t kMaxEnumeratedKeyName = 255;  // what the registry's enumeration holds

struct RootKeyName {
  std::u16string_view name;
  KeyHandle key;
};

// First match wins.
constexpr RootKeyName kRootKeyNames[] = {
    {u"HKCR", root_key::kClassesRoot},
    {u"HKCU", root_key::kCurrentUser},
    {u"HKLM", root_key::kLocalMachine},
    {u"HKU", root_key::kUsers},
    {u"HKPD", root_key::kPerformanceData},
    {u"HKDD", root_key::kDynData},
    {u"HKCC", root_key::kCurrentConfig},
    {u"HKEY_CLASSES_ROOT", root_key::kClassesRoot},
    {u"HKEY_CURRENT_USER", root_key::kCurrentUser},
    {u"HKEY_LOCAL_MACHINE", root_key::kLocalMachine},
    {u"HKEY_USERS", root_key::kUsers},
    {u"HKEY_PERFORMANCE_DATA", root_key::kPerformanceData},
    {u"HKEY_DYN_DATA", root_key::kDynData},
    {u"HKEY_CURRENT_CONFIG", root_key::kCurrentConfig},
};

// Keys that ForceRemove and Delete never delete, whatever their place in the script.
constexpr std::u16string_view kProtectedKeyNames[] = {
    u"AppID",    u"CLSID",     u"Component Categories",
    u"FileType", u"Interface", u"Hardware",
    u"Mime",     u"SAM",       u"SECURITY",
    u"SYSTEM",   u"Software",  u"TypeLib",
};

bool IsProtectedKeyName(std::u16string_view name) {
  return std::any_of(
      std::begin(kProtectedKeyNames), std::end(kProtectedKeyNames),
      [name](std::u16string_view entry) { return EqualsIgnoringAsciiCase(entry, name); });
}

// One key below the current one. An empty name would open the current key itself, and the
// registry's delete would then remove that key, NoRemove or protected as it may be.
bool IsKeyName(std::u16string_view name) {
  return !name.empty() && name.find(u'\\') == std::u16string_view::npos;
}

bool IsWhitespace(char16_t c) { return c == u'\t' || c == u'\n' || c == u'\r' || c == u' '; }

// The table's and the expansion's text: running out of memory is an HRESULT here, not an
// exception.
std::unique_ptr<char16_t[]> AllocateText(std::size_t count) {
  return std::unique_ptr<char16_t[]>(new (std::nothrow) char16_t[count]);
}

std::unique_ptr<char16_t[]> CopyText(const char16_t* text) {
  const std::size_t length = std::char_traits<char16_t>::length(text);
  std::unique_ptr<char16_t[]> copy = AllocateText(length + 1);
  if (copy) std::memcpy(copy.get(), text, (length + 1) * sizeof(char16_t));
  return copy;
}

// Small value data is converted in place; only larger data goes to the heap.
template <class T, std::size_t kLocal>
class DataBuffer {
 public:
  bool Reserve(std::size_t count) {
    if (count <= kLocal) return true;
    heap_.reset(new (std::nothrow) T[count]);
    data_ = heap_.get();
    return data_ != nullptr;
  }
  T* data() { return data_; }

 private:
  T local_[kLocal] = {};
  std::unique_ptr<T[]> heap_;
  T* data_ = local_;
};

// Any character that is not a hexadecimal digit counts as 0.
std::uint8_t HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return static_cast<std::uint8_t>(c - u'0');
  if (c >= u'A' && c <= u'F') return static_cast<std::uint8_t>(c - u'A' + 10);
  if (c >= u'a' && c <= u'f') return static_cast<std::uint8_t>(c - u'a' + 10);
  return 0;
}

}  // namespace

HRESULT CRegObject::QueryInterface(REFIID, void**) { return E_NOTIMPL; }

ULONG CRegObject::AddRef() { return 1; }

ULONG CRegObject::Release() { return 0; }

HRESULT CRegObject::DefineReplacement(const char16_t* key, const char16_t* item) {
  return ComBarrier(kOutOfMemoryOrUnexpected, [&] {
    if (key == nullptr || item == nullptr) return E_INVALIDARG;
    std::unique_ptr<char16_t[]> name = CopyText(key);
    if (!name) return E_OUTOFMEMORY;
    std::unique_ptr<char16_t[]> value = CopyText(item);
    if (!value) return E_OUTOFMEMORY;
    // Both arrays grow before either takes its string, so a failure never leaves half a pair.
    names_.reserve(names_.size() + 1);
    values_.reserve(values_.size() + 1);
    names_.push_back(std::move(name));
    values_.push_back(std::move(value));
    ++count_;
    return S_OK;
  });
}

HRESULT CRegObject::RemoveAllReplacements() {
  names_.clear();
  values_.clear();
  count_ = 0;
  return S_OK;
}

CRegObject::~CRegObject() { CRegObject::RemoveAllReplacements(); }

const char16_t* CRegObject::FindReplacement(std::u16string_view name) const {
  for (std::int32_t i = 0; i < count_; ++i) {
    if (EqualsIgnoringAsciiCase(names_[i].get(), name)) return values_[i].get();
  }
  return nullptr;
}

Status DeleteKeyTree(Registry& registry, KeyHandle parent, std::u16string_view name) {
  RegistryKey key(registry);
  if (const Status opened = registry.Open(parent, name, key_access::kReadWrite, key.put());
      opened != status::kSuccess) {
    return opened;
  }
  // Always index 0: deleting the first subkey moves the next one into its place.
  std::u16string subKey;
  while (registry.EnumKey(key.get(), 0, subKey) == status::kSuccess &&
         subKey.size() <= kMaxEnumeratedKeyName) {
    if (const Status deleted = DeleteKeyTree(registry, key.get(), subKey);
        deleted != status::kSuccess) {
      return deleted;
    }
  }
  key.Reset();
  return registry.DeleteKey(parent, name);
}

ScriptParser::ScriptParser(Registry& registry, CRegObject& registrar)
    : registry_(registry), registrar_(registrar) {}

bool ScriptParser::TokenIs(std::u16string_view word) const {
  return EqualsIgnoringAsciiCase(Token(), word);
}

HRESULT ScriptParser::ExpandReplacements(const char16_t* text) {
  const std::size_t length = std::char_traits<char16_t>::length(text);
  std::size_t capacity = length * 2 < 100 ? 1000 : length * 2;
  std::unique_ptr<char16_t[]> out = AllocateText(capacity);
  if (!out) return E_OUTOFMEMORY;
  std::size_t used = 0;
  // Keeps one place free for the terminator.
  auto append = [&](std::u16string_view piece) {
    while (used + piece.size() + 1 > capacity) {
      std::unique_ptr<char16_t[]> larger = AllocateText(capacity * 2);
      if (!larger) return false;
      std::memcpy(larger.get(), out.get(), used * sizeof(char16_t));
      out = std::move(larger);
      capacity *= 2;
    }
    std::memcpy(out.get() + used, piece.data(), piece.size() * sizeof(char16_t));
    used += piece.size();
    return true;
  };

  for (const char16_t* p = text; *p != 0; ++p) {
    std::u16string_view piece(p, 1);
    if (*p == u'%') {
      if (p[1] == u'%') {
        ++p;
      } else {
        const char16_t* end =
            std::char_traits<char16_t>::find(p + 1, length - (p + 1 - text), u'%');
        if (end == nullptr) return kScriptMalformed;
        const std::u16string_view name(p + 1, static_cast<std::size_t>(end - p - 1));
        if (name.size() > kMaxReplacementName) return E_FAIL;
        const char16_t* value = registrar_.FindReplacement(name);
        if (value == nullptr) return kScriptMalformed;
        // Copied unchanged: a value meant for a quoted token comes with its quotes doubled.
        piece = value;
        p = end;
      }
    }
    if (!append(piece)) return E_OUTOFMEMORY;
  }
  out[used] = 0;
  text_ = std::move(out);
  cursor_ = text_.get();
  return S_OK;
}

void ScriptParser::SkipWhitespace() {
  while (IsWhitespace(*cursor_)) ++cursor_;
}

HRESULT ScriptParser::ReadToken() {
  SkipWhitespace();
  tokenLength_ = 0;
  token_[0] = 0;
  if (*cursor_ == 0) return kScriptMalformed;
  auto take = [this](char16_t c) {
    if (tokenLength_ == kMaxTokenLength) return false;
    token_[tokenLength_++] = c;
    return true;
  };
  if (*cursor_ == u'\'') {
    ++cursor_;
    for (;;) {
      if (*cursor_ == 0) return kScriptMalformed;
      if (*cursor_ == u'\'') {
        if (cursor_[1] != u'\'') break;
        ++cursor_;  // a doubled quote stands for one
      }
      if (!take(*cursor_)) return kScriptMalformed;
      ++cursor_;
    }
    ++cursor_;  // the closing quote; what follows needs no separator
  } else {
    while (*cursor_ != 0 && !IsWhitespace(*cursor_)) {
      if (!take(*cursor_)) return kScriptMalformed;
      ++cursor_;
    }
  }
  token_[tokenLength_] = 0;
  return S_OK;
}

HRESULT ScriptParser::SkipValueAssignment() {
  if (!TokenStartsWith(u'=')) return S_OK;
  PIVORA_RETURN_IF_FAILED(ReadToken());  // the type letter, whatever it is
  PIVORA_RETURN_IF_FAILED(ReadToken());  // the data
  return ReadToken();
}

HRESULT ScriptParser::WriteScriptValue(KeyHandle key, const char16_t* valueName) {
  PIVORA_RETURN_IF_FAILED(ReadToken());
  std::uint32_t type = value_type::kNone;
  if (TokenIs(u"S")) {
    type = value_type::kString;
  } else if (TokenIs(u"M")) {
    type = value_type::kMultiString;
  } else if (TokenIs(u"D")) {
    type = value_type::kDword;
  } else if (TokenIs(u"B")) {
    type = value_type::kBinary;
  } else {
    return kScriptMalformed;
  }
  PIVORA_RETURN_IF_FAILED(ReadToken());

  const std::u16string_view name = valueName != nullptr ? valueName : u"";
  const std::u16string_view data = Token();
  Status written = status::kSuccess;
  switch (type) {
    case value_type::kString:
      written = registry_.SetValue(key, name, type, token_,
                                   static_cast<std::uint32_t>((data.size() + 1) * 2));
      break;
    case value_type::kMultiString: {
      // The items never take more than the text plus the two final nulls.
      DataBuffer<char16_t, 128> items;
      if (!items.Reserve(data.size() + 2)) return E_OUTOFMEMORY;
      std::size_t used = 0;
      std::u16string_view rest = data;
      for (;;) {
        const std::size_t separator = rest.find(u"\\0");
        const std::u16string_view item = rest.substr(0, separator);
        if (item.empty()) break;  // an empty item ends the list
        std::memcpy(items.data() + used, item.data(), item.size() * sizeof(char16_t));
        used += item.size();
        items.data()[used++] = 0;
        if (separator == std::u16string_view::npos) break;
        rest.remove_prefix(separator + 2);
      }
      items.data()[used++] = 0;
      written = registry_.SetValue(key, name, type, items.data(),
                                   static_cast<std::uint32_t>(used * sizeof(char16_t)));
      break;
    }
    case value_type::kDword: {
      std::uint32_t number = 0;
      // Text the conversion rejects has no defined number, so nothing is written.
      if (FAILED(ConvertNumber(data, number))) return kScriptMalformed;
      const std::uint8_t bytes[4] = {
          static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
          static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
      written = registry_.SetValue(key, name, type, bytes, sizeof bytes);
      break;
    }
    default: {  // value_type::kBinary
      if (data.size() % 2 != 0) return E_FAIL;
      const std::size_t count = data.size() / 2;
      DataBuffer<std::uint8_t, 256> bytes;
      if (!bytes.Reserve(count)) return E_OUTOFMEMORY;
      for (std::size_t i = 0; i < count; ++i) {
        bytes.data()[i] =
            static_cast<std::uint8_t>(HexValue(data[2 * i]) << 4 | HexValue(data[2 * i + 1]));
      }
      written =
          registry_.SetValue(key, name, type, bytes.data(), static_cast<std::uint32_t>(count));
      break;
    }
  }
  if (written != status::kSuccess) return HResultFromStatus(written);
  return ReadToken();
}

HRESULT ScriptParser::ProcessKeyBlock(KeyHandle parentKey, bool doRegister, bool recovering,
                                      int depth) {
  // Each level holds a frame of the stack; a deeper script is malformed.
  if (depth > kMaxNesting) return kScriptMalformed;
  RegistryKey currentKey(registry_);
  PIVORA_RETURN_IF_FAILED(ReadToken());

  while (!TokenStartsWith(u'}')) {
    bool keep = false;
    const bool forceRemove = TokenIs(u"ForceRemove");
    const bool isDelete = !forceRemove && TokenIs(u"Delete");
    if (forceRemove || isDelete) {
      PIVORA_RETURN_IF_FAILED(ReadToken());
      if (doRegister) {
        if (!IsKeyName(Token())) return kScriptMalformed;
        // The outcome does not matter: most often there is nothing to delete.
        if (!IsProtectedKeyName(Token())) DeleteKeyTree(registry_, parentKey, Token());
        if (isDelete) {
          PIVORA_RETURN_IF_FAILED(ReadToken());
          PIVORA_RETURN_IF_FAILED(SkipValueAssignment());
          if (TokenIs(u"{")) return kScriptMalformed;  // a deleted key has no block
          continue;
        }
      }
    }

    if (TokenIs(u"NoRemove")) {
      keep = true;
      PIVORA_RETURN_IF_FAILED(ReadToken());
    }

    if (TokenIs(u"Val")) {
      PIVORA_RETURN_IF_FAILED(ReadToken());
      if (tokenLength_ >= kValueNameCapacity) return kScriptMalformed;
      std::memcpy(valueName_, token_, (tokenLength_ + 1) * sizeof(char16_t));
      PIVORA_RETURN_IF_FAILED(ReadToken());
      if (!TokenStartsWith(u'=')) return kScriptMalformed;
      if (doRegister) {
        PIVORA_RETURN_IF_FAILED(WriteScriptValue(parentKey, valueName_));
      } else {
        if (!recovering && !keep) {
          RegistryKey key(registry_);
          if (const Status opened = registry_.Open(parentKey, u"", key_access::kWrite, key.put());
              opened != status::kSuccess) {
            return HResultFromStatus(opened);
          }
          if (const Status deleted = registry_.DeleteValue(key.get(), valueName_);
              deleted != status::kSuccess && deleted != status::kFileNotFound) {
            return HResultFromStatus(deleted);
          }
        }
        PIVORA_RETURN_IF_FAILED(SkipValueAssignment());
      }
      if (TokenIs(u"{")) return kScriptMalformed;  // a value has no block
      continue;
    }

    if (!IsKeyName(Token())) return kScriptMalformed;

    if (doRegister) {
      Status opened = registry_.Open(parentKey, Token(), key_access::kReadWrite, currentKey.put());
      if (opened != status::kSuccess) {
        opened = registry_.Open(parentKey, Token(), key_access::kRead, currentKey.put());
      }
      if (opened != status::kSuccess) {
        if (const Status created =
                registry_.Create(parentKey, Token(), key_access::kReadWrite, currentKey.put());
            created != status::kSuccess) {
          return HResultFromStatus(created);
        }
      }
      PIVORA_RETURN_IF_FAILED(ReadToken());
      if (TokenStartsWith(u'=')) {
        PIVORA_RETURN_IF_FAILED(WriteScriptValue(currentKey.get(), nullptr));
      }
      if (TokenIs(u"{")) {
        PIVORA_RETURN_IF_FAILED(ProcessKeyBlock(currentKey.get(), true, false, depth + 1));
        PIVORA_RETURN_IF_FAILED(ReadToken());
      }
      continue;
    }

    // Unregister pass. A key that does not open has its block walked without touching the
    // registry.
    RegistryKey key(registry_);
    Status opened = status::kFileNotFound;
    if (!recovering) opened = registry_.Open(parentKey, Token(), key_access::kRead, key.put());
    const bool entryRecovering = recovering || opened != status::kSuccess;
    char16_t keyName[kRememberedKeyName + 1];
    const std::size_t keyNameLength = std::min(tokenLength_, kRememberedKeyName);
    std::memcpy(keyName, token_, keyNameLength * sizeof(char16_t));
    keyName[keyNameLength] = 0;

    PIVORA_RETURN_IF_FAILED(ReadToken());
    PIVORA_RETURN_IF_FAILED(SkipValueAssignment());
    if (TokenIs(u"{")) {
      if (isDelete) return kScriptMalformed;
      const HRESULT block = ProcessKeyBlock(key.get(), false, entryRecovering, depth + 1);
      if (FAILED(block) && !entryRecovering) return block;
      PIVORA_RETURN_IF_FAILED(ReadToken());
    }
    if (opened == status::kFileNotFound) continue;
    if (opened != status::kSuccess) return HResultFromStatus(opened);
    std::uint32_t subKeys = 0;
    if (registry_.QuerySubKeyCount(key.get(), subKeys) != status::kSuccess) subKeys = 0;
    key.Reset();
    // Keys that hold subkeys the script does not name belong to someone else as well.
    if (!keep && subKeys == 0) {
      if (const Status deleted =
              registry_.DeleteKey(parentKey, std::u16string_view(keyName, keyNameLength));
          deleted != status::kSuccess) {
        return HResultFromStatus(deleted);
      }
    }
  }
  return S_OK;
}

HRESULT ScriptParser::RunScriptText(const char16_t* text, bool doRegister) {
  if (text == nullptr) return E_POINTER;
  PIVORA_RETURN_IF_FAILED(ExpandReplacements(text));

  while (*cursor_ != 0) {
    PIVORA_RETURN_IF_FAILED(ReadToken());
    const auto root =
        std::find_if(std::begin(kRootKeyNames), std::end(kRootKeyNames),
                     [this](const RootKeyName& entry) { return TokenIs(entry.name); });
    if (root == std::end(kRootKeyNames)) return kScriptMalformed;
    PIVORA_RETURN_IF_FAILED(ReadToken());
    if (!TokenStartsWith(u'{')) return kScriptMalformed;

    if (doRegister) {
      const char16_t* blockStart = cursor_;
      const HRESULT hr = ProcessKeyBlock(root->key, true, false, 0);
      if (FAILED(hr)) {
        // Undo what this block created; earlier blocks stay registered.
        cursor_ = blockStart;
        ProcessKeyBlock(root->key, false, false, 0);
        return hr;
      }
    } else {
      PIVORA_RETURN_IF_FAILED(ProcessKeyBlock(root->key, false, false, 0));
    }
    SkipWhitespace();
  }
  return S_OK;
}

HRESULT RunScriptText(Registry& registry, CRegObject& registrar, const char16_t* text,
                      bool doRegister) {
  ScriptParser parser(registry, registrar);
  return parser.RunScriptText(text, doRegister);
}

}  // namespace pivora
