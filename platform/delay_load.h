// Calls into system libraries that could not be loaded when first needed: the library's
// delay-load failure hook answers each with a failure value and notes it here, per thread, so
// that the exception barrier can tell that a body's success was not one.
#pragma once

namespace pivora {

// How many such calls this thread has made so far.
unsigned FailedLibraryCalls() noexcept;
void NoteFailedLibraryCall() noexcept;

}  // namespace pivora
