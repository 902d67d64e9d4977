// The pictures of the handler's menu: a 13 x 13 preview of the pointer each role uses now, and
// the glyph of "Change Cursor". The drawing resources live for one menu; the bitmaps belong to
// the handler object and are redrawn in place by later menus.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

#include "shellext/gdi.h"
#include "shellext/shell_seams.h"

namespace pivora {

class PreviewPainter {
 public:
  // Takes the screen context, two memory contexts, the menu-colour brush and the 32 x 32 canvas.
  explicit PreviewPainter(ShellSeams& seams);
  PreviewPainter(const PreviewPainter&) = delete;
  PreviewPainter& operator=(const PreviewPainter&) = delete;
  ~PreviewPainter();

  // Draws the role's pointer into `preview` (created on first need) and attaches it to the item
  // at position `role` of `submenu`. A pointer that cannot be loaded leaves both alone.
  void DrawRole(std::size_t role, HMENU submenu, UniqueBitmap& preview);

  // Builds the glyph once into `glyph`, releases the drawing resources and attaches the glyph to
  // the item at `position` of `menu`.
  void Finish(HMENU menu, UINT position, UniqueBitmap& glyph);

 private:
  struct Resources;
  HCURSOR LoadRolePointer(std::size_t role, bool& owned);
  void BuildGlyph(UniqueBitmap& glyph);

  ShellSeams& seams_;
  std::unique_ptr<Resources> resources_;  // null once released
};

}  // namespace pivora
