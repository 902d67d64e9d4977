// Owners of the GDI state the previews use: each is released in one place, and selections and
// stretch modes are put back in the reverse order of their setting.
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"

namespace pivora {

struct BitmapTraits {
  using type = HBITMAP;
  static HBITMAP invalid() { return nullptr; }
  static void close(HBITMAP bitmap) { DeleteObject(bitmap); }
};
using UniqueBitmap = UniqueHandle<BitmapTraits>;

struct BrushTraits {
  using type = HBRUSH;
  static HBRUSH invalid() { return nullptr; }
  static void close(HBRUSH brush) { DeleteObject(brush); }
};
using UniqueBrush = UniqueHandle<BrushTraits>;

struct MemoryDcTraits {
  using type = HDC;
  static HDC invalid() { return nullptr; }
  static void close(HDC dc) { DeleteDC(dc); }
};
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;

// The screen's device context (GetDC of no window).
struct ScreenDcTraits {
  using type = HDC;
  static HDC invalid() { return nullptr; }
  static void close(HDC dc) { ReleaseDC(nullptr, dc); }
};
using UniqueScreenDc = UniqueHandle<ScreenDcTraits>;

// An object selected into a context for as long as this lives.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
  ~Selection() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

class StretchMode {
 public:
  StretchMode(HDC dc, int mode) : dc_(dc), previous_(SetStretchBltMode(dc, mode)) {}
  StretchMode(const StretchMode&) = delete;
  StretchMode& operator=(const StretchMode&) = delete;
  ~StretchMode() {
    if (previous_ != 0) SetStretchBltMode(dc_, previous_);
  }

 private:
  HDC dc_;
  int previous_;
};

}  // namespace pivora
