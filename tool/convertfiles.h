// The per-image loop of the program: every found file, for each requested
// bucket in ascending order (or once in copy mode), through ConvertImage,
// stopping at the first failure.
#pragma once
#include <string>
#include <vector>

struct TRunOptions;

// False after the first call that failed. Several files are worked on at once
// (as many as the processors this process may use), but what the run prints,
// which files it leaves, their contents and the point where a failure stops it
// are those of the calls made one after another: results are put in place and
// their text printed in the order of the calls, the work of files after a
// failed call is thrown away, and files of the same name (which share targets)
// never overlap.
bool ConvertFiles(const std::vector<std::string>& Files, const TRunOptions& Options, const std::string& QuantPath);
