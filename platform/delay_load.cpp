#include "platform/delay_load.h"

namespace pivora {
namespace {

thread_local unsigned failedLibraryCalls = 0;

}  // namespace

unsigned FailedLibraryCalls() noexcept { return failedLibraryCalls; }

void NoteFailedLibraryCall() noexcept { ++failedLibraryCalls; }

}  // namespace pivora
