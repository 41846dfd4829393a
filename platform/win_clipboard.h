// Registered clipboard format names. There is no system clipboard here: the
// registry only hands out the stable ids that the library keeps for its own
// formats, as the system would (the same name always gives the same id, ids
// start at 0xC000 and names compare without regard to case).
#pragma once

#include <cstdint>
#include <string>

// The id of the format Name, registering it on first use; 0 for an empty name.
uint32_t RegisterClipboardFormatW(const std::string& Name);
// The name Format was registered with, cut to MaxCount - 1 bytes (room for
// the terminator of the platform's buffer); the length, or 0 (Name empty)
// for a predefined or unknown format.
int GetClipboardFormatNameW(uint32_t Format, std::string& Name, int MaxCount);
