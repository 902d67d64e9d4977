#include "platform/path_reach.h"

#include <algorithm>
#include <vector>

#include "platform/text.h"

namespace pivora {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// The digits a COM or LPT device name may end with: 0 to 9, and the superscripts 1, 2 and 3,
// which Windows takes as the same digits.
bool IsDeviceDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || c == u'\u00B9' || c == u'\u00B2' || c == u'\u00B3';
}

bool EndsInDotOrSpace(std::u16string_view name) {
  return !name.empty() && (name.back() == u'.' || name.back() == u' ');
}

}  // namespace

bool IsDeviceName(std::u16string_view component) {
  // Windows drops trailing dots and spaces from a name, then reads a device name from what
  // stands before the first dot (an extension) or colon (a stream), spaces before it dropped.
  while (!component.empty() && (component.back() == u'.' || component.back() == u' ')) {
    component.remove_suffix(1);
  }
  component = component.substr(0, component.find_first_of(u".:"));
  while (!component.empty() && component.back() == u' ') component.remove_suffix(1);

  constexpr std::array<std::u16string_view, 6> kNames = {u"CON", u"PRN",    u"AUX",
                                                         u"NUL", u"CONIN$", u"CONOUT$"};
  for (const std::u16string_view name : kNames) {
    if (EqualsIgnoringAsciiCase(component, name)) return true;
  }
  if (component.size() != 4 || !IsDeviceDigit(component[3])) return false;
  const std::u16string_view stem = component.substr(0, 3);
  return EqualsIgnoringAsciiCase(stem, u"COM") || EqualsIgnoringAsciiCase(stem, u"LPT");
}

DriveType DriveTypes::Of(char16_t letter) {
  const std::size_t index = static_cast<std::size_t>((letter | 0x20) - u'a');
  std::optional<DriveType>& known = known_.at(index);
  if (!known) {
    const char16_t root[] = {static_cast<char16_t>(u'A' + index), u':', u'\\'};
    known = files_.DriveTypeOf(std::u16string_view(root, 3));
  }
  return *known;
}

PathReach PreviewReach(std::u16string_view path, DriveTypes& drives) {
  if (path.find(u'\0') != std::u16string_view::npos) return PathReach::kElsewhere;
  // "X:\" and nothing else: every other start leans on a server, a device or a current folder.
  if (path.size() < 3 || !IsAsciiLetter(path[0]) || path[1] != u':' || !IsSeparator(path[2])) {
    return PathReach::kElsewhere;
  }
  std::size_t start = 3;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (IsDeviceName(path.substr(start, end - start))) return PathReach::kElsewhere;
    start = end + 1;
  }
  switch (drives.Of(path[0])) {
    case DriveType::kFixed:
    case DriveType::kRemovable:
    case DriveType::kCdRom:
    case DriveType::kRamDisk:
      return PathReach::kHere;
    default:
      return PathReach::kElsewhere;
  }
}

EntryReach EntryOf(FileSystem& files, std::u16string_view path, bool folder) {
  std::uint32_t attributes = 0;
  if (files.Attributes(path, attributes) != status::kSuccess) return EntryReach::kMissing;
  if (DataIsElsewhere(attributes)) return EntryReach::kElsewhere;
  if ((attributes & file_attribute::kReparsePoint) != 0) {
    std::uint32_t tag = 0;
    if (files.ReparseTag(path, tag) != status::kSuccess || LeadsToAnotherName(tag)) {
      return EntryReach::kElsewhere;
    }
  }
  return ((attributes & file_attribute::kDirectory) != 0) == folder ? EntryReach::kHere
                                                                    : EntryReach::kMissing;
}

EntryReach PathEntries::Of(std::u16string_view path) {
  std::vector<std::u16string_view> names;
  for (std::size_t start = 3; start <= path.size();) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::u16string_view name = path.substr(start, end - start);
    if (name == u"..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != u".") {
      names.push_back(name);
    }
    start = end + 1;
  }
  while (!names.empty() && EndsInDotOrSpace(names.back())) names.back().remove_suffix(1);
  if (names.empty() || names.back().empty()) return EntryReach::kMissing;

  std::u16string walked(path.substr(0, 2));
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    if (EndsInDotOrSpace(names[i])) return EntryReach::kElsewhere;
    walked += u'\\';
    walked += names[i];
    std::u16string key = walked;
    std::transform(key.begin(), key.end(), key.begin(), AsciiUpper);
    auto known = folders_.find(key);
    if (known == folders_.end()) {
      known = folders_.emplace(std::move(key), EntryOf(files_, walked, true)).first;
    }
    if (known->second != EntryReach::kHere) return known->second;
  }
  walked += u'\\';
  walked += names.back();
  return EntryOf(files_, walked, false);
}

}  // namespace pivora
