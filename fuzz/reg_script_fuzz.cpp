// Any bytes are a registry script to the interpreter: UTF-16LE when they open with its byte
// order mark, UTF-8 otherwise. Each input runs in the register and then the unregister pass
// against a fresh in-memory registry. Neither pass may crash, leave a key open or give a result
// outside the interpreter's set.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/memory_registry.h"
#include "platform/text.h"
#include "server/com_reg_object.h"

namespace {

using namespace pivora;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::u16string ScriptText(const std::uint8_t* data, std::size_t size) {
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    std::u16string text;
    for (std::size_t i = 2; i + 1 < size; i += 2) {
      text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    }
    return text;
  }
  return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
}

bool KnownResult(HRESULT hr) {
  const auto code = static_cast<std::uint32_t>(hr);
  return hr == S_OK || hr == E_FAIL || hr == E_OUTOFMEMORY || hr == kScriptMalformed ||
         (code & 0xFFFF0000u) == 0x80070000u;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string text = ScriptText(data, size);

  MemoryRegistry registry;
  // Something for ForceRemove and Delete to find.
  KeyHandle existing = 0;
  registry.Create(root_key::kCurrentUser, u"Software\\Existing\\Inner", key_access::kReadWrite,
                  existing);
  registry.Close(existing);

  CRegObject registrar;
  registrar.DefineReplacement(u"Module", u"C:\\Pivora''s\\Pivora.dll");
  registrar.DefineReplacement(u"Module_Raw", u"C:\\Pivora''s\\Pivora.dll");
  registrar.DefineReplacement(u"APPID", u"{6E1B9F34-C2A7-45D0-8B6E-7F3A210C94D5}");
  registrar.DefineReplacement(u"Braces", u"{ }");

  for (const bool doRegister : {true, false}) {
    const HRESULT hr = RunScriptText(registry, registrar, text.c_str(), doRegister);
    Check(KnownResult(hr));
    Check(registry.OpenHandleCount() == 0);
  }
  return 0;
}
