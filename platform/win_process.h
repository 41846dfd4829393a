// Child processes in the shape of CreateProcessW: an application path and a command
// line split by the rules of the Windows C runtime. The child shares standard output
// and standard error, reads standard input from /dev/null and inherits nothing else.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Splits a command line: blanks and tabs separate arguments outside double quotes;
// 2n backslashes before a quote give n backslashes and the quote toggles quoting,
// 2n+1 backslashes before a quote give n backslashes and a literal quote; other
// backslashes are literal.
std::vector<std::string> CommandLineToArgv(const std::string& CommandLine);
// Quotes one argument so that CommandLineToArgv gives it back unchanged.
std::string QuoteCommandLineArg(const std::string& Arg);

// Starts ApplicationName with the arguments of CommandLine (its first argument
// becomes argv[0]) in CurrentDirectory (the caller's when empty). False when the
// program cannot be started (missing, not executable, folder missing). A program
// held in memory is named by its open descriptor, "/proc/self/fd/N", and started
// from that descriptor; a failure after the start then shows as exit code 127.
// The child leads a new process group, so that it can be ended with everything
// it started.
bool CreateProcessW(const std::string& ApplicationName, const std::string& CommandLine,
                    const std::string& CurrentDirectory, int& ProcessId);
// Waits without time limit; a child ended by a signal reports 128 + the signal number.
bool WaitForProcessExit(int ProcessId, uint32_t& ExitCode);
