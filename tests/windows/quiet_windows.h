// A window system for handlers built in the tests: no pointers, no dialog (as if cancelled), and
// the messages it was asked to show, recorded as "caption: text", and how often it was told
// that associations changed.
#pragma once

#include <string>
#include <vector>

#include "platform/window_system.h"

namespace pivora::testing {

class QuietWindows final : public WindowSystem {
 public:
  PointerHandle LoadStockPointer(std::uint16_t) override { return 0; }
  PointerHandle LoadPointerFile(std::u16string_view) override { return 0; }
  void DestroyPointer(PointerHandle) override {}
  std::optional<std::u16string> AskSavePath(WindowHandle, std::u16string_view, std::u16string_view,
                                            std::u16string_view, std::u16string_view) override {
    return std::nullopt;
  }
  void ShowMessage(WindowHandle, std::u16string_view text, std::u16string_view caption,
                   MessageKind kind) override {
    messages.push_back(std::u16string(caption) + u": " + std::u16string(text));
    kinds.push_back(kind);
  }
  void NotifyAssociationsChanged() override { ++associationChanges; }

  std::vector<std::u16string> messages;
  std::vector<MessageKind> kinds;
  int associationChanges = 0;
};

}  // namespace pivora::testing
