// The system clock: milliseconds since start-up, and sleeping.
//
// One clock serves the whole process. Normally it is the monotonic clock of
// the system; a test driver can switch it to a virtual clock that only moves
// when told to (or by a fixed step at every read), so that timers and
// time-outs run the same on every machine and at any load.
#pragma once
#include <cstdint>

// Milliseconds since start-up, wrapping to 0 every 2^32 ms (49.7 days).
uint32_t GetTickCount();
// Milliseconds since start-up, 64 bits (no wrap).
uint64_t GetTickCount64();
// Suspends the calling thread for Milliseconds; under the virtual clock the
// clock moves by Milliseconds instead and the call returns at once.
void Sleep(uint32_t Milliseconds);

// Switches between the system clock (false) and the virtual clock (true).
// The virtual clock starts at the value the system clock shows then.
void VXClockSetVirtual(bool On);
bool VXClockIsVirtual();
// Sets the virtual clock (switching it on when it is off).
void VXClockSet(uint64_t Milliseconds);
// Moves the virtual clock forward; nothing under the system clock.
void VXClockAdvance(uint64_t Milliseconds);
// Every read of the virtual clock moves it by Step ms after answering (0:
// it stands still between explicit moves), for code that waits for the clock.
void VXClockSetStep(uint32_t Step);
