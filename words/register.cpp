// The words module's entry in the library start-up: the start-up fills the
// word tables through its RegisterAllWordTables slot, right after it has
// created the settings. This object is linked into every program that uses the
// words library (not only pulled from the archive on demand), so the slot is
// filled before main runs.
#include "core/startup.h"
#include "words/words.h"

namespace {

const bool registered = (VXLibraryHooks.RegisterAllWordTables = &VXRegisterAllWordTables, true);

}  // namespace
