#pragma once
// Calls that other threads have the library's main thread make for them.
// Windows belong to the thread that made them, so a request thread that
// needs a window made (or anything else only that thread may do) queues the
// call and waits until the main thread has made it. The main thread makes
// the queued calls whenever it reads its message queue through the
// application's loop or the headless driver, and wherever it waits for
// other threads that may be waiting on it (VXCheckSynchronize).
#include <functional>

// Makes the calling thread the one that runs queued calls (the library's
// start-up does this on its main thread).
void VXSetSynchronizeThread();
// True on the thread that runs queued calls, or when none is set.
bool VXIsSynchronizeThread();
// Runs Call on the main thread and returns once it ran; on the main thread
// (or with none set) it runs at once. An exception Call raises is raised
// again in the caller.
void VXSynchronize(const std::function<void()>& Call);
// On the main thread: runs the calls queued so far. True when it ran any;
// on any other thread it does nothing.
bool VXCheckSynchronize();
