// The file manager's side of a context menu, from the command line:
//   shell_host <file> [<file>...] [--picture <png>] [<choice> [--save-as <path>]]
//   shell_host <file> --verb <verb>
//   shell_host <file> --thumbnail <size> --picture <png>
// where <choice> is --choose <id> or --choose-text <text>.
// Several files of one folder are a selection, given whole to the handlers of the first one's
// type. Prints the handlers the registry names for the file and the menu they build (identifier,
// [*] for an item with a picture, text, help text); --picture photographs the menu with its
// first submenu open (needs a display); --choose runs the item with that identifier, and
// --choose-text the one item whose text is exactly that (in the menu's language), answering the
// save dialog it may open with --save-as, or else pressing OK in each message box it shows (its
// text printed). --verb runs a static verb of the file the way a double click does.
// --thumbnail saves the picture the file type's thumbnail provider draws.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "tools/shell_host.h"

namespace {

using namespace pivora::host;

// Output is UTF-8 whatever the console's code page, so Czech texts arrive whole.
void Print(const std::wstring& line) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
  std::fwrite(utf8.data(), 1, utf8.size() - 1, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::wstring Hex(HRESULT result) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(result));
  return text;
}

struct Options {
  std::vector<std::wstring> files;
  std::wstring file;  // the first, whose type's handlers are asked
  std::wstring picture;
  std::wstring verb;
  std::wstring saveAs;
  UINT choose = 0;
  std::wstring chooseText;
  UINT thumbnail = 0;
};

bool Parse(int argc, wchar_t** argv, Options& options) {
  int i = 1;
  for (; i < argc && std::wcsncmp(argv[i], L"--", 2) != 0; ++i) options.files.push_back(argv[i]);
  if (options.files.empty()) return false;
  options.file = options.files.front();
  for (; i < argc; i += 2) {
    if (i + 1 >= argc) return false;
    const std::wstring name = argv[i];
    const wchar_t* value = argv[i + 1];
    if (name == L"--picture") {
      options.picture = value;
    } else if (name == L"--choose") {
      options.choose = static_cast<UINT>(std::wcstoul(value, nullptr, 10));
      if (options.choose == 0) return false;
    } else if (name == L"--choose-text") {
      options.chooseText = value;
      if (options.chooseText.empty()) return false;
    } else if (name == L"--save-as") {
      options.saveAs = value;
    } else if (name == L"--verb") {
      options.verb = value;
    } else if (name == L"--thumbnail") {
      options.thumbnail = static_cast<UINT>(std::wcstoul(value, nullptr, 10));
      if (options.thumbnail == 0) return false;
    } else {
      return false;
    }
  }
  if (options.thumbnail != 0 && options.picture.empty()) return false;
  // A verb and a thumbnail are of one file.
  if ((options.thumbnail != 0 || !options.verb.empty()) && options.files.size() > 1) return false;
  return options.choose == 0 || options.chooseText.empty();
}

int SaveThumbnailOf(const Options& options) {
  std::wstring key;
  const HRESULT result = SaveThumbnail(options.file, options.thumbnail, options.picture, key);
  Print(L"Thumbnail of " + options.file + L", " + std::to_wstring(options.thumbnail) +
        L" pixels, by the class HKCR\\" + key + L" names: " + Hex(result));
  if (SUCCEEDED(result)) Print(L"Picture of the thumbnail: " + options.picture);
  return SUCCEEDED(result) ? 0 : 1;
}

// The identifier of the item to choose: the one given, or the one item that reads the text
// given. 0, with the reason printed, when the text names no item or several.
UINT ChosenId(const Options& options, const ContextMenu& menu) {
  if (options.chooseText.empty()) return options.choose;
  const std::vector<UINT> ids = IdsOfText(menu.Items(), options.chooseText);
  if (ids.size() == 1) return ids.front();
  if (ids.empty()) {
    Print(L"No item of the menu reads \"" + options.chooseText + L"\"");
  } else {
    std::wstring list;
    for (const UINT id : ids) list += L" " + std::to_wstring(id);
    Print(L"Several items of the menu read \"" + options.chooseText + L"\":" + list);
  }
  return 0;
}

int RunVerbOf(const Options& options) {
  DWORD exitCode = 0;
  const HRESULT result = RunVerb(options.file, options.verb, &exitCode);
  Print(L"Verb \"" + options.verb + L"\" of " + options.file + L": " + Hex(result) +
        L", the program it started ended with " + std::to_wstring(exitCode));
  return SUCCEEDED(result) && exitCode == 0 ? 0 : 1;
}

int ShowMenu(const Options& options) {
  const ContextMenu menu(options.files);
  Print(L"Context menu of " + options.file +
        (options.files.size() > 1
             ? L" and " + std::to_wstring(options.files.size() - 1) + L" more files beside it"
             : L""));
  for (std::size_t i = 0; i < menu.handlers().size(); ++i) {
    const HandlerEntry& handler = menu.handlers()[i];
    const auto [first, last] = menu.RangeOf(i);
    Print(L"  handler \"" + handler.name + L"\" from HKCR\\" + handler.key +
          (menu.CountOf(i) == 0
               ? L", no items"
               : L", identifiers " + std::to_wstring(first) + L"-" + std::to_wstring(last)));
  }
  for (const std::wstring& problem : menu.problems()) Print(L"  problem: " + problem);
  if (menu.handlers().empty()) return 1;
  for (const std::wstring& line : Describe(menu.Items())) Print(L"  " + line);

  int status = 0;
  if (!options.picture.empty()) {
    const bool saved = PhotographMenu(menu.handle(), options.picture, true);
    Print(std::wstring(saved ? L"Picture of the menu: " : L"No picture could be taken: ") +
          options.picture);
    if (!saved) status = 1;
  }
  if (options.choose != 0 || !options.chooseText.empty()) {
    const UINT id = ChosenId(options, menu);
    if (id == 0) return 1;
    std::unique_ptr<SaveDialogAnswer> answer;
    std::unique_ptr<MessageAnswers> messages;
    if (!options.saveAs.empty()) {
      answer = std::make_unique<SaveDialogAnswer>(options.saveAs);
    } else {
      messages = std::make_unique<MessageAnswers>();
    }
    const HRESULT result = menu.Choose(id, nullptr);
    if (answer) {
      const bool answered = answer->Finish();
      Print(std::wstring(answered ? L"Save dialog answered with " : L"No save dialog for ") +
            options.saveAs);
    }
    if (messages) {
      for (const std::wstring& text : messages->Finish()) Print(L"Message: " + text);
    }
    const std::wstring named =
        options.chooseText.empty() ? L"" : L" (\"" + options.chooseText + L"\")";
    Print(L"Chose item " + std::to_wstring(id) + named + L": " + Hex(result));
    if (FAILED(result)) status = 1;
  }
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!Parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: shell_host <file> [<file>...] [--picture <png>] [<choice> [--save-as "
                 "<path>]]\n"
                 "       shell_host <file> --verb <verb>\n"
                 "       shell_host <file> --thumbnail <size> --picture <png>\n"
                 "<choice>: --choose <id> (the item's identifier) or --choose-text <text> (its\n"
                 "          exact text)\n");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int status = options.thumbnail != 0 ? SaveThumbnailOf(options)
                     : options.verb.empty() ? ShowMenu(options)
                                            : RunVerbOf(options);
  CoUninitialize();
  return status;
}
