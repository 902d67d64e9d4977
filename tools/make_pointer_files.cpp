// make_pointer_files FOLDER: writes a sample pointer file for each of the system's pointer roles
// into FOLDER, creating it if needed.
#include <exception>
#include <iostream>

#include "tools/pointer_files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_pointer_files FOLDER\n";
    return 2;
  }
  try {
    const pivora::pointer_files::WriteReport report =
        pivora::pointer_files::WriteSamplePointers(argv[1]);
    for (const auto& path : report.written) std::cout << path.string() << '\n';
    if (!report.ok()) {
      std::cerr << "make_pointer_files: " << report.error << '\n';
      return 1;
    }
  } catch (const std::exception& e) {
    std::cerr << "make_pointer_files: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
