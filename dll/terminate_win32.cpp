// The C++ runtime's default terminate handler prints the type of the exception, demangled:
// linked in statically, that alone brings a demangler and a printf, about 55 KB, into a library
// whose every COM method and export is an exception barrier and whose host shows no console.
// This definition stands in for the runtime's, which is then not linked.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
