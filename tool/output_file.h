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
  // name that begins with a dot and ends in ".png". False when the folder
  // refuses it.
  bool Create(const std::string& Target);
  // The file is only ever opened after Create, never created again: once a
  // signal has removed it, it stays away.
  const std::string& Path() const { return FPath; }
  // Copies the bytes of Source into the file. False when either cannot be used.
  bool CopyFrom(const std::string& Source);
  const std::string& Target() const { return FTarget; }
  // Renames the file to its target, replacing an earlier one. False when that
  // fails (the temporary file is then deleted by the destructor).
  bool Commit();

private:
  void Discard();
  std::string FPath, FTarget;
  bool FCommitted = false;
};
