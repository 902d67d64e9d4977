#include "shellext/previews.h"

#include "core/pointer_roles.h"
#include "core/pointer_settings.h"
#include "module/module_records.h"
#include "resources/resource_ids.h"

namespace pivora {
namespace {

constexpr int kPreviewSize = 13;
constexpr int kCanvasSize = 32;

}  // namespace

// Declared in the order that makes their reverse destruction right: the canvas is selected out
// of its context before the canvas and the context are deleted, and the screen context goes
// last.
struct PreviewPainter::Resources {
  UniqueScreenDc screen{GetDC(nullptr)};
  UniqueMemoryDc small{CreateCompatibleDC(screen.get())};
  UniqueMemoryDc canvasDc{CreateCompatibleDC(screen.get())};
  UniqueBrush background{CreateSolidBrush(GetSysColor(COLOR_MENU))};
  UniqueBitmap canvas{CreateCompatibleBitmap(screen.get(), kCanvasSize, kCanvasSize)};
  Selection canvasSelected{Select(canvasDc.get(), canvas.get())};
};

PreviewPainter::PreviewPainter(ShellSeams& seams)
    : seams_(seams), resources_(std::make_unique<Resources>()) {}

PreviewPainter::~PreviewPainter() = default;

HCURSOR PreviewPainter::LoadRolePointer(std::size_t role, bool& owned) {
  owned = false;
  if (const std::uint16_t id = PointerRoles[role].systemCursorId; id != 0) {
    // The system's own pointer for the role at this moment: shared, never destroyed.
    if (const PointerHandle stock = seams_.windows.LoadStockPointer(id)) {
      return reinterpret_cast<HCURSOR>(stock);
    }
  }
  CPointerSettings store(seams_.registry, seams_.reloader);
  if (!store.OpenForReading()) return nullptr;
  const std::u16string path = store.ReadRolePath(role);
  store.Close();
  if (path.empty()) return nullptr;
  // The system's own scheme stores its pointers as "%SystemRoot%\cursors\...": the file is what
  // the expanded text names, as when the system loads it. Only the text read here is expanded.
  const PointerHandle loaded = seams_.windows.LoadPointerFile(seams_.paths.ExpandEnvironment(path));
  owned = loaded != 0;
  return reinterpret_cast<HCURSOR>(loaded);
}

void PreviewPainter::DrawRole(std::size_t role, HMENU submenu, UniqueBitmap& preview) {
  if (!resources_) return;
  Resources& r = *resources_;
  bool owned = false;
  const HCURSOR pointer = LoadRolePointer(role, owned);
  if (pointer == nullptr) return;
  // The brush fills the canvas before the pointer is drawn, so nothing of the last role stays.
  DrawIconEx(r.canvasDc.get(), 0, 0, pointer, kCanvasSize, kCanvasSize, 0, r.background.get(),
             DI_NORMAL);
  if (!preview) {
    preview.reset(CreateCompatibleBitmap(r.screen.get(), kPreviewSize, kPreviewSize));
  }
  {
    const Selection selected = Select(r.small.get(), preview.get());
    const StretchMode halftone = SetStretchMode(r.small.get(), HALFTONE);
    StretchBlt(r.small.get(), 0, 0, kPreviewSize, kPreviewSize, r.canvasDc.get(), 0, 0, kCanvasSize,
               kCanvasSize, SRCCOPY);
  }
  SetMenuItemBitmaps(submenu, static_cast<UINT>(role), MF_BYPOSITION, preview.get(), nullptr);
  if (owned) seams_.windows.DestroyPointer(reinterpret_cast<PointerHandle>(pointer));
}

void PreviewPainter::BuildGlyph(UniqueBitmap& glyph) {
  Resources& r = *resources_;
  UniqueBitmap picture(CreateCompatibleBitmap(r.screen.get(), kPreviewSize, kPreviewSize));
  UniqueBitmap resource(LoadBitmapW(baseModule.resourceInstance, MAKEINTRESOURCEW(IDB_MENU_GLYPH)));
  {
    const Selection target = Select(r.small.get(), picture.get());
    const Selection source = Select(r.canvasDc.get(), resource.get());
    const RECT area{0, 0, kPreviewSize, kPreviewSize};
    FillRect(r.small.get(), &area, reinterpret_cast<HBRUSH>(COLOR_MENU + 1));
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(r.small.get(), 0, 0, kPreviewSize, kPreviewSize, r.canvasDc.get(), 0, 0,
               kPreviewSize, kPreviewSize, blend);
  }
  glyph = std::move(picture);
}

void PreviewPainter::Finish(HMENU menu, UINT position, UniqueBitmap& glyph) {
  if (resources_ && !glyph) BuildGlyph(glyph);
  resources_.reset();
  if (glyph) SetMenuItemBitmaps(menu, position, MF_BYPOSITION, glyph.get(), nullptr);
}

}  // namespace pivora
