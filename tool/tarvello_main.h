// The main routine of the program: banner, embedded quantiser, command line, file
// collection and the per-image loop.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Run options as the command line sets them.
struct TRunOptions {
  std::string OutDir;
  uint8_t Buckets = 0;  // bit (Mode - 1) for the modes 1 (ldpi) to 6 (xxxhdpi)
  int32_t Dip = 0;
  bool Copy = false;
  bool EightBit = false;
  bool LongSide = false;
  bool NewerOnly = false;
  bool Recursive = false;
  std::vector<std::string> Patterns;  // absolute paths, in command-line order
};

enum class TArgsOutcome { Run, Fail, Help };

// The usage text, a line an entry; the first line is the synopsis.
std::span<const char* const> UsageLines();
// Prints the synopsis (Full false) or the whole usage text, then an empty line.
void ShowUsage(bool Full);
// Reads the arguments left to right into Options and checks that they suffice;
// prints the usage or a message for Fail and Help.
TArgsOutcome ReadArguments(const std::vector<std::string>& Args, TRunOptions& Options);
// The whole run; Args without the program name. Returns the exit code (0 or 1).
// Exceptions (missing "quant" resource, unwritable temporary folder, empty "/out:")
// pass through after the temporary quantiser is deleted.
int32_t Main(const std::vector<std::string>& Args);
