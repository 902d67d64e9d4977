// Any bytes are an install's record to its reader: a person can edit the file in their own
// folder. Reading must not crash; every file it takes for the install's must be a name inside
// the pack's folder; and what it read, written again, reads back as the same bytes, so that a
// reinstall never drifts from what the record held.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/pack_record.h"

namespace {

using namespace pivora;

void Check(bool condition) {
  if (!condition) std::abort();
}

// The bytes an install writes for what was read: without the record's own name, which reading
// adds.
std::string Rewritten(Record record) {
  Check(!record.files.empty() && record.files.back() == kRecordFile);
  record.files.pop_back();
  return RecordBytes(record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Record record = ParseRecord(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const std::u16string& file : record.files) {
    Check(!file.empty() && file != u"." && file != u"..");
    Check(file.find_first_of(u"\\/:") == std::u16string::npos || file == kRecordFile);
  }
  Check(record.before || !record.listEntry);
  const std::string once = Rewritten(record);
  Check(Rewritten(ParseRecord(once)) == once);
  return 0;
}
