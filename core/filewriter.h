// Saving a file so that it appears whole or not at all: the content goes to a
// temporary file in the target's folder, which replaces the target only when
// the writer succeeded. Every file save of the library goes through here.
#pragma once

#include <functional>
#include <string>

class TStream;

// Runs Writer on a buffered stream over a new temporary file next to
// FileName, then renames it over FileName.
// - A target that exists and cannot be written (a folder, a read-only file)
//   raises EFCreateError naming the target, before anything is written.
// - When Writer sets Aborting, the temporary file is removed and an existing
//   target stays as it was; FileName is not created.
// - An exception of Writer, of creating the temporary file or of the rename
//   removes the temporary file and passes to the caller (creation and rename
//   errors as EFCreateError naming the target).
// - A signal that ends the program during the write removes the temporary file.
// Returns true when FileName now holds the new content.
bool VXWriteFileSafely(const std::string& FileName, bool& Aborting, const std::function<void(TStream* Stream)>& Writer);
