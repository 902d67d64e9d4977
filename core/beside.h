// Names of our own beside a target, for what is made before it takes the target's place.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/files.h"
#include "platform/text.h"

namespace pivora {

// How many suffixes are tried before giving up on finding a free name.
inline constexpr int kNameAttempts = 64;

// A new file or folder of ours beside the target, named after it with a short suffix nothing had
// (".~1", ".~2", ...): made by the file system itself, so no two callers ever get the same name.
// It is removed when this goes, whatever happened on the way, unless it was kept. `Kind`, made
// from the file system, makes the entry (`Status Make(const std::u16string&)`), removes it
// (`void Remove(const std::u16string&)`) and holds whatever the entry needs while it lives.
template <typename Kind>
class Beside : public Kind {
 public:
  explicit Beside(FileSystem& files) : Kind(files) {}
  Beside(const Beside&) = delete;
  Beside& operator=(const Beside&) = delete;
  ~Beside() {
    if (!name_.empty() && !kept_) this->Remove(name_);
  }

  // False when no name could be had.
  bool Create(std::u16string_view target) {
    for (int number = 1; number <= kNameAttempts; ++number) {
      std::u16string name = std::u16string(target) + u".~" + DecimalText(number);
      failure_ = this->Make(name);
      if (failure_ == status::kSuccess) {
        name_ = std::move(name);
        return true;
      }
      if (failure_ != status::kFileExists && failure_ != status::kAlreadyExists) return false;
    }
    return false;
  }
  // Why Create gave false: the code of the last name tried (kFileExists or kAlreadyExists when
  // every name was taken).
  Status failure() const { return failure_; }
  const std::u16string& name() const { return name_; }
  // It now holds content that must stay: the new content under the target's name, or the only
  // copy of the old one.
  void Keep() { kept_ = true; }

 private:
  std::u16string name_;
  Status failure_ = status::kSuccess;
  bool kept_ = false;
};

}  // namespace pivora
