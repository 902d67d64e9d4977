#include "shellext/command_string.h"

#include <shlobj.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "core/pointer_roles.h"
#include "platform/platform_win32.h"
#include "resources/resource_ids.h"
#include "resources/resource_text.h"
#include "shellext/menu_command.h"

namespace pivora {
namespace {

std::u16string Text(std::uint32_t id) { return ResourceText(id, kTextUnits); }

std::u16string HelpText(UINT_PTR idCmd) {
  if (idCmd <= MenuCommandOffset::RoleLast) {
    return FormatText(Text(IDS_ROLE_HELP), Text(PointerRoles[idCmd].displayStringId));
  }
  return Text(IDS_SAVE_SCHEME_HELP);
}

}  // namespace

HRESULT CommandString(UINT_PTR idCmd, UINT type, CHAR* name, UINT size) {
  if (type == GCS_VALIDATEA || type == GCS_VALIDATEW) {
    return idCmd < MenuCommandOffset::Count ? S_OK : S_FALSE;
  }
  if (type != GCS_HELPTEXTA && type != GCS_HELPTEXTW) return E_INVALIDARG;
  return CopyHelpText(HelpText(idCmd), type, name, size);
}

HRESULT CopyHelpText(std::u16string_view help, UINT type, CHAR* name, UINT size) {
  if (name == nullptr || size == 0) return E_INVALIDARG;
  const std::wstring text(help.begin(), help.end());
  const int capacity = static_cast<int>(std::min<UINT>(size, INT_MAX));
  if (type == GCS_HELPTEXTW) {
    lstrcpynW(reinterpret_cast<wchar_t*>(name), text.c_str(), capacity);
    return S_OK;
  }
  // Sized by the conversion itself: a code page such as UTF-8 needs more than two bytes for
  // some characters.
  const int bytes =
      WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::vector<char> narrow(static_cast<std::size_t>(std::max(bytes, 1)), '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), -1, narrow.data(), bytes, nullptr, nullptr);
  lstrcpynA(name, narrow.data(), capacity);
  return S_OK;
}

}  // namespace pivora
