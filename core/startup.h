#pragma once
// Library-wide start-up and shut-down.
//
// The program calls VXUtilsModuleInitialize() before its main routine and
// VXUtilsModuleFinalize() after it (or holds a TVXLibraryGuard). Both are
// reference counted through VXStaticInitialize / VXStaticFinalize: only the
// first start-up and the last shut-down run the module hooks below.
//
// Each module that takes part stores its routines in VXLibraryHooks from a
// static initializer in its library's register.cpp, for example
//   const bool registered = (VXLibraryHooks.IOStartup = &VXStartUpIOUnit,
//                            VXLibraryHooks.IOShutdown = &VXShutDownIOUnit, true);
// The build links that object into every program that uses the library, so
// the slots are filled before main. Empty slots are skipped.

#include <cstdint>
#include <mutex>
#include <thread>

using TVXHookProc = void (*)();

struct TVXLibraryHooks {
  // Start-up, in call order.
  TVXHookProc GDIPlusStartup = nullptr;          // 1  GDI+ module
  //                                                2  vxbdefs (VXDialogBackgroundKind := 0)
  //                                                3  VXUtilsStartup: settings, then
  TVXHookProc RegisterAllWordTables = nullptr;   //    word tables of all languages
  TVXHookProc ColorManagementStartup = nullptr;  //    clear the colour-management library handle
  TVXHookProc BlendCosineTable = nullptr;        //    cosine table of the blend operations
  TVXHookProc VectStartup = nullptr;             // 4  vector objects ("VEXLANE VECT")
  TVXHookProc IOStartup = nullptr;               // 5  VXStartUpIOUnit
  TVXHookProc ResampleStartup = nullptr;         // 6  resampling: fills the core's resampling hook
  TVXHookProc ProcStartup = nullptr;             //    processing ("VEXLANE RAW FORMAT")
  TVXHookProc ViewStartup = nullptr;             // 7  viewer grid pen
  TVXHookProc CCITTStartup = nullptr;            // 8  CCITT decoding trees
  TVXHookProc TextControlStartup = nullptr;      // 9  text control ("VEXLANE TEXTMEMO")
  TVXHookProc ThumbFramesStartup = nullptr;      // 10 preset thumbnail frames
  //                                                11 gesture functions (VXLoadGestureAPI)
  TVXHookProc PortableDevicesStartup = nullptr;  // 12 acquisition: device classes; portable devices' client name, OleInitialize

  // Shut-down, in call order.
  TVXHookProc PortableDevicesShutdown = nullptr; // 0  acquisition: OleUninitialize, device classes out
  //                                                1  gesture functions (VXFreeGestureAPI)
  TVXHookProc ThumbFramesShutdown = nullptr;     // 2
  TVXHookProc TextControlShutdown = nullptr;     // 3
  TVXHookProc CCITTShutdown = nullptr;           // 4
  TVXHookProc ViewShutdown = nullptr;            // 5  frees the settings' grid pen
  TVXHookProc ProcShutdown = nullptr;            // 6
  TVXHookProc ResampleShutdown = nullptr;        //    empties the core's resampling hook
  TVXHookProc IOShutdown = nullptr;              // 7  VXShutDownIOUnit
  TVXHookProc VectShutdown = nullptr;            // 8
  TVXHookProc J2000Cleanup = nullptr;            // 9
  //                                                10 VXUtilsShutdown, which calls
  TVXHookProc FreeDefaultDialogFont = nullptr;   //    free the settings' dialog font
  TVXHookProc ColorManagementShutdown = nullptr; //    free the colour-management library
  //                                                11 vxbdefs: nothing
  TVXHookProc GDIPlusShutdown = nullptr;         // 12
  TVXHookProc VisionSecondSlotRelease = nullptr; // 13
  TVXHookProc VisionUnload = nullptr;            // 14 VXUnloadVisionLibrary
  TVXHookProc ImageMagickFinalize = nullptr;     // 15
  //                                                16 settings destroyed
};

extern constinit TVXLibraryHooks VXLibraryHooks;

void VXStaticInitialize();
void VXStaticFinalize();

// The core module's own hooks.
void VXUtilsStartup();
void VXUtilsShutdown();

// Module initialisation and finalisation of the core: the program's entry
// calls them around its main routine.
void VXUtilsModuleInitialize();
void VXUtilsModuleFinalize();

// Runs VXUtilsModuleInitialize on construction and VXUtilsModuleFinalize on
// destruction.
class TVXLibraryGuard {
public:
  TVXLibraryGuard() { VXUtilsModuleInitialize(); }
  ~TVXLibraryGuard() { VXUtilsModuleFinalize(); }
  TVXLibraryGuard(const TVXLibraryGuard&) = delete;
  TVXLibraryGuard& operator=(const TVXLibraryGuard&) = delete;
};

// The core module's second lock (set up by VXUtilsStartup), for the core's
// own on-demand loading.
std::recursive_mutex& VXUtilsCriticalSection();

// Current use count of the library start-up.
int32_t VXStaticUseCount();

// The thread that ran the library's first start-up, taken as the program's
// main thread (work reported "on the main thread only" compares with it); a
// default id before any start-up.
std::thread::id VXMainThreadId();
