// The same program started with the core's guard only: it names no module, so
// it has every module only when its link line asks for their start-up objects
// (the CMake package and vexlane.pc do); otherwise a load must raise.
#include <vexlane/core/bitmap.h>
#include <vexlane/core/startup.h>
#include <vexlane/core/vxdefs.h>
#include <vexlane/io/vexlaneio.h>

#include <cstdio>

int main(int argc, char** argv) {
  TVXLibraryGuard library;
  TVexlaneIO io;
  try {
    for (int i = 1; i < argc; ++i) {
      if (!io.LoadFromFile(argv[i], -9)) return std::printf("%s: cannot load\n", argv[i]), 1;
      std::printf("%s %dx%d\n", argv[i], io.VXBitmap()->Width(), io.VXBitmap()->Height());
    }
  } catch (const EVXException& e) {
    std::printf("EVXException: %s\n", e.what());
    return 2;
  }
}
