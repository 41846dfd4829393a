#pragma once
// The print log: printing and the bitmap's rendering announce each step of
// their work on it. The log file belongs to the I/O module, which fills the
// hook when it provides one; until then the lines go nowhere.

#include <string>

using TVXPrintLogProc = void (*)(const std::string& Text);

extern TVXPrintLogProc VXPrintLogHook;

// Hands Text to the print log when a hook is set.
void VXPrintLogLine(const std::string& Text);
