// Any bytes are two paths and a text for the path rules: UTF-8, split at the first two NUL bytes
// into a folder, a file and an environment text. Every rule must end without a crash, keep its
// results within the platform's path length, and agree with itself: a relative form, appended
// to its folder, stays within bounds; identity expansion gives the text back. A preview's reach
// decides every expanded text, and a path it keeps here starts with a drive letter.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "platform/memory_files.h"
#include "platform/path_reach.h"
#include "platform/portable_path_rules.h"
#include "platform/text.h"

namespace {

using namespace pivora;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::u16string Part(std::string_view& bytes) {
  const std::size_t end = bytes.find('\0');
  const std::string_view part = bytes.substr(0, end);
  bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
  return Utf8ToUtf16(part);
}

const PortablePathRules& Rules() {
  static const PortablePathRules rules({{u"SYSTEMROOT", u"C:\\windows"},
                                        {u"EMPTY", u""},
                                        {u"LONG", std::u16string(300, u'x')},
                                        {u"PERCENT", u"%SYSTEMROOT%"}});
  return rules;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string folder = Part(bytes);
  const std::u16string file = Part(bytes);
  const std::u16string text = Part(bytes);
  const PortablePathRules& rules = Rules();

  if (const auto relative = rules.RelativePathTo(folder, file)) {
    Check(relative->size() <= kMaxPathUnits);
    if (const auto joined = rules.Append(folder, *relative)) {
      Check(joined->size() <= kMaxPathUnits);
    }
  }
  if (const auto joined = rules.Append(folder, file)) Check(joined->size() <= kMaxPathUnits);
  rules.IsRelative(folder);
  const std::u16string expanded = rules.ExpandEnvironment(text);
  Check(expanded.size() <= kMaxLongPathUnits + 1);
  // A link to a share at C:\L: no path that goes through it is here.
  static MemoryFileSystem files = [] {
    MemoryFileSystem made;
    made.MakeLink(u"C:\\L", u"\\\\host\\share", reparse_tag::kSymbolicLink, true);
    made.Put(u"\\\\host\\share\\x.cur", "x");
    made.Put(u"C:\\f\\x.cur", "x");
    return made;
  }();
  DriveTypes drives(files);
  PathEntries entries(files);
  for (const std::u16string* path : {&expanded, &file}) {
    if (PreviewReach(*path, drives) == PathReach::kHere) {
      Check(path->size() >= 3 && (*path)[1] == u':' && (*path)[0] != u'\\');
      Check(path->find(u'\0') == std::u16string::npos);
      std::u16string upper = *path;
      for (char16_t& c : upper) c = AsciiUpper(c);
      const bool throughLink =
          upper.starts_with(u"C:\\L\\") && upper.find(u"..") == std::u16string::npos;
      Check(!throughLink || entries.Of(*path) != EntryReach::kHere);
    }
  }
  const std::u16string same = ExpandEachReference(
      text, [](std::u16string_view reference) { return std::u16string(reference); });
  Check(same == text.substr(0, kMaxLongPathUnits + 1));
  return 0;
}
