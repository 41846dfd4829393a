// Deletes one file when SIGINT, SIGTERM or SIGHUP ends the process (for a temporary
// executable that must not outlive the program). One file at a time.
#pragma once
#include <string>

void ArmSignalCleanup(const std::string& Path);
void DisarmSignalCleanup();
