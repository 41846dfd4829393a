#include "core/startup.h"

#include <atomic>
#include <string>

#include "core/settings.h"
#include "core/sysutils.h"
#include "core/vxdefs.h"
#include "winui/display.h"
#include "winui/synchronize.h"

constinit TVXLibraryHooks VXLibraryHooks{};

uint8_t VXDialogBackgroundKind = 0;

namespace {
// Module state of the core: the marker tells whether the lock and the count
// have been set up.
std::string gStaticInitMarker;
int32_t gUseCount = 0;
std::recursive_mutex gStaticLock;
std::recursive_mutex gUtilsLock;
std::atomic<std::thread::id> gMainThreadId{};

inline void CallHook(TVXHookProc Hook) {
  if (Hook) Hook();
}

void VXBDefsStartup() { VXDialogBackgroundKind = 0; }
}  // namespace

std::recursive_mutex& VXUtilsCriticalSection() { return gUtilsLock; }

std::thread::id VXMainThreadId() { return gMainThreadId.load(); }

int32_t VXStaticUseCount() {
  std::lock_guard<std::recursive_mutex> lock(gStaticLock);
  return gUseCount;
}

void VXUtilsStartup() {
  VXGetGlobalSettings();
  CallHook(VXLibraryHooks.RegisterAllWordTables);
  CallHook(VXLibraryHooks.ColorManagementStartup);
  CallHook(VXLibraryHooks.BlendCosineTable);
  // The second lock is a process-wide object: nothing to set up.
}

void VXUtilsShutdown() {
  if (VXGetGlobalSettings()->DefaultDialogFont()) {
    CallHook(VXLibraryHooks.FreeDefaultDialogFont);
    VXGetGlobalSettings()->SetDefaultDialogFont(nullptr);
  }
  CallHook(VXLibraryHooks.ColorManagementShutdown);
}

void VXStaticInitialize() {
  if (gStaticInitMarker != "STATICINIT") {
    gStaticInitMarker = "STATICINIT";
    gUseCount = 0;
  }
  std::lock_guard<std::recursive_mutex> lock(gStaticLock);
  if (gUseCount == 0) {
    gMainThreadId.store(std::this_thread::get_id());
    VXSetSynchronizeThread();
    CallHook(VXLibraryHooks.GDIPlusStartup);
    VXBDefsStartup();
    VXUtilsStartup();
    CallHook(VXLibraryHooks.VectStartup);
    CallHook(VXLibraryHooks.IOStartup);
    CallHook(VXLibraryHooks.ResampleStartup);
    CallHook(VXLibraryHooks.ProcStartup);
    CallHook(VXLibraryHooks.ViewStartup);
    CallHook(VXLibraryHooks.CCITTStartup);
    CallHook(VXLibraryHooks.TextControlStartup);
    CallHook(VXLibraryHooks.ThumbFramesStartup);
    VXLoadGestureAPI();
    // A real display when VEXLANE_DISPLAY names one the program links.
    VXOpenDisplayFromEnvironment();
    CallHook(VXLibraryHooks.PortableDevicesStartup);
  }
  ++gUseCount;
}

void VXStaticFinalize() {
  if (gStaticInitMarker != "STATICINIT") return;
  std::lock_guard<std::recursive_mutex> lock(gStaticLock);
  if (gUseCount <= 0) return;
  --gUseCount;
  if (gUseCount != 0) return;
  CallHook(VXLibraryHooks.PortableDevicesShutdown);
  VXFreeGestureAPI();
  CallHook(VXLibraryHooks.ThumbFramesShutdown);
  CallHook(VXLibraryHooks.TextControlShutdown);
  CallHook(VXLibraryHooks.CCITTShutdown);
  CallHook(VXLibraryHooks.ViewShutdown);
  CallHook(VXLibraryHooks.ProcShutdown);
  CallHook(VXLibraryHooks.ResampleShutdown);
  CallHook(VXLibraryHooks.IOShutdown);
  CallHook(VXLibraryHooks.VectShutdown);
  CallHook(VXLibraryHooks.J2000Cleanup);
  VXUtilsShutdown();
  // vxbdefs shut-down: nothing to do.
  CallHook(VXLibraryHooks.GDIPlusShutdown);
  CallHook(VXLibraryHooks.VisionSecondSlotRelease);
  CallHook(VXLibraryHooks.VisionUnload);
  CallHook(VXLibraryHooks.ImageMagickFinalize);
  TVXVexlaneGlobalSettings::DestroySingletonInstance();
  gStaticInitMarker.clear();
}

void VXUtilsModuleInitialize() {
  VXFreeGradientFill();
  VXStaticInitialize();
}

void VXUtilsModuleFinalize() {
  VXStaticFinalize();
  VXFreeGradientFill();
}
