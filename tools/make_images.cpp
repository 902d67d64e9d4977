// make_images FOLDER: writes glyph.bmp and pivora.ico, the pictures the resource script includes,
// into FOLDER. make_images --png FOLDER: writes enlarged PNG views of them for a person to check.
#include <exception>
#include <iostream>
#include <string>
#include <string_view>

#include "tools/images.h"

int main(int argc, char** argv) {
  const bool png = argc == 3 && std::string_view(argv[1]) == "--png";
  if (argc != 2 && !png) {
    std::cerr << "usage: make_images FOLDER\n       make_images --png FOLDER\n";
    return 2;
  }
  try {
    const std::string error = png ? pivora::images::WriteRenderings(argv[2])
                                  : pivora::images::WriteResourceFiles(argv[1]);
    if (!error.empty()) {
      std::cerr << "make_images: " << error << '\n';
      return 1;
    }
  } catch (const std::exception& e) {
    std::cerr << "make_images: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
