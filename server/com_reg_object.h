// The registry-script interpreter: the table of %NAME% replacements (CRegObject) and the parser
// that runs one script text against a registry in the register or the unregister pass.
//
// The Windows side loads a "REGISTRY" resource, converts it to UTF-16 and hands the text over:
//
//   CRegObject registrar;
//   registrar.DefineReplacement(u"Module", doubledPath);
//   ...
//   HRESULT hr = RunScriptText(win32Registry, registrar, text, doRegister);
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "server/com_module.h"
#include "server/com_types.h"

namespace pivora {

// DISP_E_EXCEPTION: what a malformed script fails with, under one name on both builds.
inline constexpr HRESULT kScriptMalformed = static_cast<HRESULT>(0x80020009u);

// The text of a "D" value as an unsigned 32-bit number. Bound at link time: the platform's OLE
// Automation conversion on Windows, plain decimal digits natively. Any failure rejects the text.
HRESULT ConvertNumber(std::u16string_view text, std::uint32_t& out);

// The replacement table. Not reference counted: it lives for one script run.
class CRegObject : public IRegistrarBase {
 public:
  CRegObject() = default;
  CRegObject(const CRegObject&) = delete;
  CRegObject& operator=(const CRegObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // Appends a copy of the pair; a name may repeat, and lookups see the first pair added.
  HRESULT STDMETHODCALLTYPE DefineReplacement(const char16_t* key, const char16_t* item) override;
  virtual HRESULT RemoveAllReplacements();
  // Declared after RemoveAllReplacements so that it takes the last slot.
  virtual ~CRegObject();

  // The value of the first pair whose name matches without regard to case; null when none.
  const char16_t* FindReplacement(std::u16string_view name) const;
  int ReplacementCount() const { return count_; }

 private:
  std::vector<std::unique_ptr<char16_t[]>> names_;
  std::vector<std::unique_ptr<char16_t[]>> values_;  // parallel to names_
  std::int32_t count_ = 0;
};

// Deletes the subkey `name` of `parent` with its whole subtree, deepest keys first. Returns the
// platform's code: 0, or the first failure.
Status DeleteKeyTree(Registry& registry, KeyHandle parent, std::u16string_view name);

// The state of one run over one expanded text.
class ScriptParser {
 public:
  // A token holds at most this many characters; its buffer has two places more.
  static constexpr std::size_t kMaxTokenLength = 4094;
  // Blocks nest at most this deep below a root block; the registry holds no deeper keys.
  static constexpr int kMaxNesting = 256;

  ScriptParser(Registry& registry, CRegObject& registrar);
  ScriptParser(const ScriptParser&) = delete;
  ScriptParser& operator=(const ScriptParser&) = delete;

  // Expands the replacements, then runs every root block in the given pass. A root block that
  // fails in the register pass is walked again in the unregister pass before the first failure
  // is returned; earlier root blocks stay. Besides the grammar's own rules, an empty key name,
  // "D" data the conversion rejects, a value name over 259 characters, a block after a "Val" or
  // "Delete" entry and blocks nested deeper than kMaxNesting make a script malformed.
  HRESULT RunScriptText(const char16_t* text, bool doRegister);

 private:
  HRESULT ExpandReplacements(const char16_t* text);
  HRESULT ReadToken();
  HRESULT ProcessKeyBlock(KeyHandle parentKey, bool doRegister, bool recovering, int depth);
  HRESULT WriteScriptValue(KeyHandle key, const char16_t* valueName);
  HRESULT SkipValueAssignment();
  void SkipWhitespace();

  std::u16string_view Token() const { return {token_, tokenLength_}; }
  bool TokenStartsWith(char16_t c) const { return tokenLength_ != 0 && token_[0] == c; }
  bool TokenIs(std::u16string_view word) const;

  Registry& registry_;
  CRegObject& registrar_;
  std::unique_ptr<char16_t[]> text_;  // the expanded text, terminated
  const char16_t* cursor_ = nullptr;
  // The current token. Each block reads its tokens into this one buffer: a nested block starts
  // after its parent's "{" and the parent reads afresh once it returns.
  char16_t token_[kMaxTokenLength + 2] = {};
  std::size_t tokenLength_ = 0;
  char16_t valueName_[260] = {};
};

// The entry point for a text already converted to UTF-16: runs it with `registrar`'s
// replacements against `registry`.
HRESULT RunScriptText(Registry& registry, CRegObject& registrar, const char16_t* text,
                      bool doRegister);

}  // namespace pivora
