// What the handler reaches outside itself, passed in so that tests can record it: the pointer
// settings, the reload notification, the path rules of the scheme writer and the window system.
// The library's handlers use the real ones.
#pragma once

#include "platform/path_rules.h"
#include "platform/registry.h"
#include "platform/reloader.h"
#include "platform/window_system.h"

namespace pivora {

struct ShellSeams {
  Registry& registry;
  PointerReloader& reloader;
  const PathRules& paths;
  WindowSystem& windows;
};

// The Win32 bindings, shared by every handler of the process (they hold no state).
ShellSeams& Win32ShellSeams();

}  // namespace pivora
