// Pivora.dll as the shell uses it: loaded by path, reached through its exported functions.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <filesystem>

namespace pivora::testing {

std::filesystem::path LibraryPath();

class Library {
 public:
  Library() : module_(LoadLibraryW(LibraryPath().c_str())) {}
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  ~Library() {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  HMODULE get() const { return module_; }

  template <typename Function>
  Function* Export(const char* name) const {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
    return Export<HRESULT STDAPICALLTYPE(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, iid,
                                                                                         out);
  }
  HRESULT CanUnloadNow() const { return Export<HRESULT STDAPICALLTYPE()>("DllCanUnloadNow")(); }

 private:
  HMODULE module_;
};

// {3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}, written out here rather than taken from the library.
inline constexpr CLSID kHandlerClass = {
    0x3A7C52E1, 0x9D04, 0x4B8E, {0xA6, 0xF3, 0x1C, 0x2D, 0x8E, 0x90, 0x5B, 0x47}};

}  // namespace pivora::testing
