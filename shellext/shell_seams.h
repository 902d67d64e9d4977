// What the handler reaches outside itself, passed in so that tests can record it: the pointer
// settings, the reload notification, the path rules of the scheme writer, the files it saves,
// the window system and the thumbnail's image decoding.
// The library's handlers use the real ones.
#pragma once

#include <memory>

#include "core/scheme_picture.h"
#include "platform/files.h"
#include "platform/path_rules.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/reloader.h"
#include "platform/retrying_files.h"
#include "platform/window_system.h"

namespace pivora {

// Makes the PNG decoder of one thumbnail's drawing; what the decoder holds goes with it.
class PngDecoders {
 public:
  virtual ~PngDecoders() = default;
  virtual std::unique_ptr<PngDecoder> Make() = 0;
};

struct ShellSeams {
  Registry& registry;
  PointerReloader& reloader;
  const PathRules& paths;
  WindowSystem& windows;
  FileSystem& files;
  PngDecoders& pngDecoders;
  // The wait between attempts of a file call in a command the person chose (see
  // RetryingFileSystem); never used to build a menu or a thumbnail.
  RetryPause& pause;

  // The ones the core's operations take.
  Platform Core() const { return Platform{registry, files, paths, reloader}; }
};

// The Win32 bindings, shared by every handler of the process (they hold no state).
ShellSeams& Win32ShellSeams();

}  // namespace pivora
