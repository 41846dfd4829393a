// Clean-up when a terminating signal (INT, TERM, HUP, QUIT, PIPE) ends the
// process: child processes that must not outlive the program are killed and
// waited for, then temporary files are deleted, then the signal takes its
// default action.
#pragma once
#include <csignal>
#include <string>

// Installs the handlers and names one file to delete (none when Path is empty,
// for a temporary executable that exists only in memory).
void ArmSignalCleanup(const std::string& Path);
void DisarmSignalCleanup();

// Further files the same signals delete while they exist only for a moment (a
// file being written under a temporary name). They take effect only while the
// clean-up above is armed; about a thousand may be registered at once (later
// ones beyond that are not deleted).
void AddSignalCleanup(const std::string& Path);
void RemoveSignalCleanup(const std::string& Path);

// Child processes the same signals end (SIGKILL, with the process group each
// leads) before the files are deleted.
// Remove a child once it has been waited for.
void AddSignalChild(int ProcessId);
void RemoveSignalChild(int ProcessId);
// Kills every registered child now (a run that stops early).
void EndSignalChildren();

// Held while a child is started or a temporary file created, and registered:
// the signals wait in this thread, and a handler running on another thread waits
// until the child or file is registered. Once a handler has begun, nothing may
// be started or created (Allowed is false).
class TSignalCleanupStart {
public:
  TSignalCleanupStart();
  ~TSignalCleanupStart();
  bool Allowed() const { return FAllowed; }
  TSignalCleanupStart(const TSignalCleanupStart&) = delete;
  TSignalCleanupStart& operator=(const TSignalCleanupStart&) = delete;

private:
  sigset_t FOld;
  bool FAllowed = true;
};
