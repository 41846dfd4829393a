// A result that appears whole or not at all: it is written, quantised and made
// read-only under a hidden temporary name beside its target, and renamed into
// place last. Until then an earlier target stays as it was; a temporary name
// that is not put in place is deleted, also when a signal ends the program.
#pragma once
#include <string>

class TOutputFile {
public:
  TOutputFile() = default;
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;
  // Deletes the temporary file (and the quantiser's own temporary beside it)
  // unless it was put in place.
  ~TOutputFile();

  // Creates a new empty file under a temporary name in the folder of Target, a
  // name that begins with a dot and ends in ".png", and keeps it open for
  // writing. False when the folder refuses it.
  bool Create(const std::string& Target);
  // The open file, written from its start; -1 once closed. The file is never
  // opened by its name again for writing here, never created again: once a
  // signal has removed it, it stays away.
  int Handle() const { return FHandle; }
  // Closes the file. Call it before another program or routine rewrites the
  // file by its name (which may replace it by another file of that name).
  // False when the system reports that written bytes could not be kept
  // (a full disk or quota, an I/O error): the file is then not whole.
  bool Close();
  const std::string& Path() const { return FPath; }
  // Whether the file is still there under its temporary name.
  bool Exists() const;
  // Copies the bytes of Source into the open file. False when either cannot be used.
  bool CopyFrom(const std::string& Source);
  // Takes the write permissions away, through the open file if it is still
  // open; false when that fails.
  bool MakeReadOnly();
  const std::string& Target() const { return FTarget; }
  // Closes the file and renames it to its target, replacing an earlier one.
  // False when that fails (the temporary file is then deleted by the destructor).
  bool Commit();

private:
  void Discard();
  std::string FPath, FTarget;
  int FHandle = -1;
  bool FCommitted = false;
};
