// Any bytes are an INF to the cursor-pack reader: it must not crash, every pointer it names must
// be a bare file name, and the folder name it makes of the scheme must be one a file system
// takes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/cursor_pack.h"

namespace {

using namespace pivora;

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsUsableFolderName(std::u16string_view name) {
  if (name.empty()) return true;  // unusable: the caller falls back to another name
  if (name.size() > 100) return false;
  for (const char16_t c : name) {
    if (c < 0x20 || std::u16string_view(u"<>:\"/\\|?*").find(c) != std::u16string_view::npos) {
      return false;
    }
  }
  constexpr std::u16string_view kEnds = u" .";
  return kEnds.find(name.front()) == std::u16string_view::npos &&
         kEnds.find(name.back()) == std::u16string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<CursorPack> pack = ReadCursorPack(DecodeInfText(bytes));
  if (!pack) return 0;
  bool namesAFile = false;
  for (const std::optional<std::u16string>& file : pack->files) {
    if (!file) continue;
    Check(file->find_first_of(u"\\/") == std::u16string::npos);
    if (!file->empty()) namesAFile = true;
  }
  Check(namesAFile);
  Check(IsUsableFolderName(FolderNameFor(pack->schemeName)));
  return 0;
}
