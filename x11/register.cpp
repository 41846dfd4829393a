// The X11 display registers itself as "x11" for VEXLANE_DISPLAY.
#include "winui/display.h"
#include "x11/x11display.h"

IVXDisplay* VXOpenX11DisplayByName();

namespace {
const bool registered = (VXRegisterDisplay("x11", &VXOpenX11DisplayByName), true);
}  // namespace
