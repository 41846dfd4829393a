// Deletes one file when SIGINT, SIGTERM or SIGHUP ends the process (for a temporary
// executable that must not outlive the program). One file at a time.
#pragma once
#include <string>

void ArmSignalCleanup(const std::string& Path);
void DisarmSignalCleanup();

// Further files the same signals delete while they exist only for a moment (a
// file being written under a temporary name). They take effect only while the
// clean-up above is armed; a few may be registered at once (later ones beyond
// that are not deleted).
void AddSignalCleanup(const std::string& Path);
void RemoveSignalCleanup(const std::string& Path);
