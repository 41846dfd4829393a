#pragma once
// The print log of the I/O module: one log file for the whole module, to
// which printing and the bitmap's rendering append a line for each step of
// their work. The module fills the core's print-log hook at start-up.

#include <string>

// The log file's name (empty: no log).
std::string VXGetPrintLogFile();
// Closes the log, stores Name and, when Name is not empty, creates the file
// or empties it. A file that cannot be created raises EInOutError.
void VXSetPrintLogFile(const std::string& Name);
// Nothing without a log file; otherwise appends one line: the date (the
// locale's short date format), a blank, the time (its long time format),
// " : " and Text. Lines of several threads never interleave. A file that
// cannot be appended to raises EInOutError.
void VXWritePrintLog(const std::string& Text);
// Closes the log file (the module's shut-down).
void VXClosePrintLog();
