#pragma once
// The platform's warning sounds. There is no loudspeaker here: each beep is
// recorded (its type and how many there were) so that tests can see it.

#include <cstdint>
#include <vector>

// Sounds the beep of type uType (0: the default warning sound); true.
bool MessageBeep(uint32_t uType);

// The types of the beeps sounded so far, oldest first.
std::vector<uint32_t> VXMessageBeepLog();
// Number of beeps sounded so far.
int32_t VXMessageBeepCount();
void VXClearMessageBeepLog();
