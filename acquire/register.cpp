// The acquisition library's start-up, linked into every program that uses
// the library: our TWAIN source manager becomes the built-in module
// "TWAIN_32.DLL".
#include "acquire/twain_dsm.h"
#include "winui/win_module.h"

namespace {

const bool twainRegistered =
    (VXModules::Register("TWAIN_32.DLL", {{"DSM_Entry", reinterpret_cast<FARPROC>(&VXTWDSMEntry)}}), true);

}  // namespace
