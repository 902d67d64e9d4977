#include "tests/windows/library.h"

namespace pivora::testing {

std::filesystem::path LibraryPath() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return std::filesystem::weakly_canonical(std::filesystem::path(self).parent_path() / L".." /
                                           L"Pivora.dll");
}

}  // namespace pivora::testing
