// A program that links the real display (vexlane-x11): with VEXLANE_DISPLAY=x11
// the library's start-up opens it; without an X server it stays headless.
#include <cstdio>

#include "vexlane/vexlane.h"
#include "vexlane/winui/display.h"
#include "vexlane/x11/x11display.h"

int main() {
  TVexlaneLibrary library;
  std::puts(VXCurrentDisplay() ? "display" : "headless");
  VXCloseX11Display();
  return 0;
}
