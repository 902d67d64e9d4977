#include "dll/object_map.h"

#include <windows.h>

#include "shellext/context_menu_ext.h"
#include "shellext/cursor_pack_ext.h"
#include "shellext/scheme_thumbnail.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace pivora {
namespace {
ObjectMapEntry objectMap[] = {MakeObjectMapEntry<CContextMenuExt>(),
                              MakeObjectMapEntry<CCursorPackExt>(),
                              MakeObjectMapEntry<CSchemeThumbnail>()};
}  // namespace

// Built in this order when the library is loaded, torn down in the reverse order.
ComModule comModule(&__ImageBase, objectMap);
CPivoraModule pivoraModule(comModule);

}  // namespace pivora
