// ZoLib: the small utility module of the program - path and text helpers, file
// times, temporary file names, the child-process runner, file listing and the
// wildcard matcher. Texts are UTF-8; "characters" are Unicode code points.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_files.h"

// --- paths -----------------------------------------------------------------
// Path unchanged when empty or ending in '/'; otherwise '/' appended.
std::string AddPathDelimiter(const std::string& Path);
// Name not empty: AddPathDelimiter(Dir) + Name. Name empty: Dir without one trailing
// '/' (the root "/" keeps it).
std::string JoinPath(const std::string& Dir, const std::string& Name);
bool DirExists(const std::string& Path);
// Which: 1 creation, 2 last access, 3 last write. The time of the first entry that
// Path finds (it may hold wildcards) as a local date-time; 0 when none or Which is
// another value.
double GetFileDateTime(const std::string& Path, int Which);
// Local time, cut to 2-second steps (DOS date and time), as days since 1899-12-30
// with the time of day as fraction; 0 before 1980 or after 2107.
double FileTimeToLocalDateTime(const FILETIME& Time);
// The system's temporary folder without trailing delimiter.
std::string GetTempDir();
// Dir (or the temporary folder when Dir is no folder) + prefix (first three characters
// of Prefix, "TMP" when shorter) + "_" + four upper-case hex digits + ".TMP", naming
// nothing that exists. The file is not created. Raises EInOutError when no free name
// is found within a bounded number of tries.
std::string MakeTempFileName(const std::string& Dir, const std::string& Prefix);

// --- texts -----------------------------------------------------------------
bool StartsWithText(const std::string& Text, const std::string& Prefix, bool IgnoreCase);
bool EndsWithText(const std::string& Text, const std::string& Suffix, bool IgnoreCase);
std::string TextBefore(const std::string& Text, const std::string& Separator);
std::string TextAfter(const std::string& Text, const std::string& Separator);
std::string LastChar(const std::string& Text);
// Upper case of every character (Unicode rules, independent of the user's locale).
std::string UpperCaseText(const std::string& Text);
// Case-insensitive order of two texts: <0, 0, >0.
int CompareText(const std::string& A, const std::string& B);

std::vector<std::string> SplitText(const std::string& Text, const std::string& Separators,
                                   const std::string& Quotes, const std::string& CloseQuotes, bool MergeRepeated,
                                   bool SkipLeading, bool DropEmptyLast, bool KeepQuotes);
std::vector<std::string> SplitTextSimple(const std::string& Text, const std::string& Separators,
                                         bool MergeRepeated, bool SkipLeading, bool DropEmptyLast);

// --- processes and clocks ----------------------------------------------------
// Runs Exe with the command line '"' + Exe + '" ' + Params (split by the Windows
// rules; QuoteCommandLineArg quotes a single argument) in Dir (the current folder when
// empty) and waits for it. True when started; ExitCode is then its exit code and is
// left untouched otherwise. ShowCmd has no effect here (no windows).
bool ExecuteAndWait(const std::string& Exe, const std::string& Params, const std::string& Dir, int ShowCmd,
                    uint32_t& ExitCode);
// Milliseconds of the monotonic performance counter.
uint64_t PerformanceMilliseconds();
// Code 0 to 23 of the running Windows version (the version the platform layer
// stands in for), from its version record.
int32_t GetWindowsVersionCode();
// The code of one version record; ServerR2 is GetSystemMetrics(SM_SERVERR2).
struct OSVERSIONINFOEXW;
int32_t WindowsVersionCodeOf(const OSVERSIONINFOEXW& Info, bool ServerR2);

// --- file listing ------------------------------------------------------------
// Path: a folder, '/', then one or more masks separated by ';'. Returns full paths,
// sorted case-insensitively (Order and Kind 0) or by CompareFileListEntries.
// Kind: 0 none, 1 size, 2 creation, 3 last access, 4 last write; Order 0 to 5.
std::vector<std::string> GetFileList(const std::string& Path, bool Recursive, bool IncludeHidden, bool ListFiles,
                                     bool ListDirs, uint8_t Order = 0, uint8_t Kind = 0);
// Extended masks (Simple false): '*' any run, '?' one character, '+' one or more
// characters, "[...]" a set ("[~...]" negated, "a-z" ranges), '\' escapes the next
// character. Simple masks know only '*' and '?'. A mask with an unclosed set or a
// dangling '\' raises std::invalid_argument.
bool WildcardMatch(const std::string& Text, const std::string& Mask, bool IgnoreCase, bool Simple);
// SetText begins with '['; true when Ch belongs to the set. Raises
// std::invalid_argument when the set is not closed.
bool MaskCharSetMatch(const std::string& SetText, char32_t Ch);

// Text helpers shared by the module.
std::u32string Utf8ToUtf32(const std::string& S);
std::string Utf32ToUtf8(const std::u32string& S);
