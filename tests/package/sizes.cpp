// Loads each file named on the command line and prints its size.
#include <vexlane/core/bitmap.h>
#include <vexlane/io/vexlaneio.h>
#include <vexlane/vexlane.h>

#include <cstdio>

int main(int argc, char** argv) {
  TVexlaneLibrary library;
  TVexlaneIO io;
  for (int i = 1; i < argc; ++i) {
    if (!io.LoadFromFile(argv[i], -9)) return std::printf("%s: cannot load\n", argv[i]), 1;
    std::printf("%s %dx%d\n", argv[i], io.VXBitmap()->Width(), io.VXBitmap()->Height());
  }
}
