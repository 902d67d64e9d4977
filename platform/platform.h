// The set of seams one operation works with; the exported entry points bind the real ones.
#pragma once

#include "platform/files.h"
#include "platform/path_rules.h"
#include "platform/registry.h"
#include "platform/reloader.h"

namespace pivora {

struct Platform {
  Registry& registry;
  FileSystem& files;
  const PathRules& paths;
  PointerReloader& reloader;
};

}  // namespace pivora
