// Owners of the GDI state the previews use: each is released in one place, and selections and
// stretch modes are put back in the reverse order of their setting.
#pragma once

#include <windows.h>

#include "platform/unique_handle_win32.h"

namespace pivora {

struct BitmapTraits : Win32Traits {
  using type = HBITMAP;
  static HBITMAP invalid() { return nullptr; }
  static void close(HBITMAP bitmap) { DeleteObject(bitmap); }
};
using UniqueBitmap = UniqueHandle<BitmapTraits>;

struct BrushTraits : Win32Traits {
  using type = HBRUSH;
  static HBRUSH invalid() { return nullptr; }
  static void close(HBRUSH brush) { DeleteObject(brush); }
};
using UniqueBrush = UniqueHandle<BrushTraits>;

struct MemoryDcTraits : Win32Traits {
  using type = HDC;
  static HDC invalid() { return nullptr; }
  static void close(HDC dc) { DeleteDC(dc); }
};
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;

// The screen's device context (GetDC of no window).
struct ScreenDcTraits : Win32Traits {
  using type = HDC;
  static HDC invalid() { return nullptr; }
  static void close(HDC dc) { ReleaseDC(nullptr, dc); }
};
using UniqueScreenDc = UniqueHandle<ScreenDcTraits>;

// State of a context that a call set, set back when its owner goes: `set` returns what it
// replaced (the object a select put out, the stretch mode before).
template <typename Value, Value(WINAPI* set)(HDC, Value)>
struct DcStateTraits : Win32Traits {
  struct type {
    HDC dc;
    Value previous;
    bool operator==(const type&) const = default;
  };
  static type invalid() { return {}; }
  static void close(type state) { set(state.dc, state.previous); }
};
using Selection = UniqueHandle<DcStateTraits<HGDIOBJ, SelectObject>>;
using StretchMode = UniqueHandle<DcStateTraits<int, SetStretchBltMode>>;

// Nothing is put back after a failed call: a select that gave no object or HGDI_ERROR, a mode
// change that gave 0.
inline Selection Select(HDC dc, HGDIOBJ object) {
  const HGDIOBJ previous = SelectObject(dc, object);
  return previous == nullptr || previous == HGDI_ERROR ? Selection() : Selection({dc, previous});
}
inline StretchMode SetStretchMode(HDC dc, int mode) {
  const int previous = SetStretchBltMode(dc, mode);
  return previous == 0 ? StretchMode() : StretchMode({dc, previous});
}

}  // namespace pivora
