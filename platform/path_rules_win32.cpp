// The path rules bound to shlwapi (relative forms) and the process environment.
#include <windows.h>

#include <shlwapi.h>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/path_rules_win32.h"
#include "platform/platform_win32.h"
#include "platform/portable_path_rules.h"

namespace pivora {

namespace {

// The Windows functions see a string up to its first zero unit; so do we.
std::u16string_view UpToZero(std::u16string_view text) { return text.substr(0, text.find(u'\0')); }

// A terminated copy of `text`, with one more zero unit after the terminator: PathRelativePathToW
// looks one unit past the end of a file path such as "C:" whose drive it shares with the folder.
std::vector<wchar_t> Terminated(std::u16string_view text) {
  std::vector<wchar_t> buffer(text.size() + 2, L'\0');
  for (std::size_t i = 0; i < text.size(); ++i) buffer[i] = static_cast<wchar_t>(text[i]);
  return buffer;
}

std::u16string FromWide(const wchar_t* text) { return std::u16string(AsUtf16(text)); }

// A path buffer with one zero unit in front of it: shlwapi's canonicalisation looks
// one unit before the buffer for some inputs (":\.." for one), and the guard makes what it finds
// there the same on every call.
struct GuardedPathBuffer {
  // Room past MAX_PATH: Wine 8's PathRelativePathToW writes one "..\" per folder component left
  // over without looking at the buffer size, up to about 390 units for a 259-unit folder.
  std::array<wchar_t, 1 + 4 * MAX_PATH> units{};
  wchar_t* path() { return units.data() + 1; }
};

// The longest "name=value" entry the environment holds; a longer reference cannot name a variable
// and is kept as written, as it would be in a shorter text.
constexpr std::size_t kMaxEnvironmentEntry = 32767;

// One "%NAME%" reference through ExpandEnvironmentStringsW, with a buffer that grows to the
// value's length.
std::u16string ExpandReference(std::u16string_view reference) {
  if (reference.size() > kMaxEnvironmentEntry) return std::u16string(reference);
  const auto source = Terminated(reference);
  std::vector<wchar_t> buffer(MAX_PATH);
  // The variable may change between two calls, so ask again until the value fits.
  for (;;) {
    const auto capacity = static_cast<DWORD>(buffer.size());
    const DWORD needed = ExpandEnvironmentStringsW(source.data(), buffer.data(), capacity);
    if (needed == 0) return std::u16string(reference);
    if (needed <= capacity) return FromWide(buffer.data());
    buffer.assign(needed, L'\0');
  }
}

}  // namespace

std::optional<std::u16string> Win32PathRules::RelativePathTo(std::u16string_view folder,
                                                             std::u16string_view file) const {
  folder = UpToZero(folder);
  file = UpToZero(file);
  // Wine 8 cuts longer inputs to MAX_PATH - 1 units without saying so and answers for the cut
  // paths.
  if (folder.size() > kMaxPathUnits || file.size() > kMaxPathUnits) return std::nullopt;
  const auto from = Terminated(folder);
  const auto to = Terminated(file);
  GuardedPathBuffer out;
  if (!PathRelativePathToW(out.path(), from.data(), FILE_ATTRIBUTE_DIRECTORY, to.data(), 0)) {
    return std::nullopt;
  }
  std::u16string result = FromWide(out.path());
  if (result.size() > kMaxPathUnits) return std::nullopt;
  return result;
}

// Not shlwapi's: the two rules that applying a scheme uses are our own, which follow shlwapi's
// (the path tests hold both builds to the same cases), so that the apply road does not load
// shlwapi and what it brings (shcore), which costs more than applying itself.
bool Win32PathRules::IsRelative(std::u16string_view path) const { return IsRelativePath(path); }

std::optional<std::u16string> Win32PathRules::Append(std::u16string_view folder,
                                                     std::u16string_view more) const {
  return AppendPath(folder, more);
}

std::u16string Win32PathRules::ExpandEnvironment(std::u16string_view text) const {
  // Wine 8 cuts the whole result of ExpandEnvironmentStringsW at 32766 units, so the text is
  // handed over one "%NAME%" reference at a time; each expands alone as it would within the
  // whole, and text outside the pairs is never changed.
  return ExpandEachReference(UpToZero(text), ExpandReference);
}

}  // namespace pivora
