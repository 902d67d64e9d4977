// make_cursor_pack FOLDER NAME: writes a cursor pack of the sample pointers into FOLDER: the
// pointer files and an install.inf naming them in a scheme called NAME.
#include <exception>
#include <fstream>
#include <iostream>
#include <string>

#include "tools/pointer_files.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: make_cursor_pack FOLDER NAME\n";
    return 2;
  }
  try {
    namespace files = pivora::pointer_files;
    const files::WriteReport report = files::WriteSamplePointers(argv[1]);
    if (!report.ok()) {
      std::cerr << "make_cursor_pack: " << report.error << '\n';
      return 1;
    }
    std::ofstream inf(std::string(argv[1]) + "/install.inf", std::ios::binary);
    inf << files::SampleCursorPackInf(argv[2]);
    if (!inf) {
      std::cerr << "make_cursor_pack: cannot write install.inf\n";
      return 1;
    }
    std::cout << argv[1] << "/install.inf\n";
  } catch (const std::exception& e) {
    std::cerr << "make_cursor_pack: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
