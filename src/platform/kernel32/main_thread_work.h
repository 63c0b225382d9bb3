// Work that a service's notification thread (JACK, ALSA) hands to the
// program's main thread, where the dialog runs: the notification only posts,
// the main thread does the work. The dialog's modal loop watches the
// descriptor and runs what was posted, as a Windows thread's message queue
// delivers posted messages; code without a dialog loop runs it itself.
#ifndef VELMORA_PLATFORM_KERNEL32_MAIN_THREAD_WORK_H
#define VELMORA_PLATFORM_KERNEL32_MAIN_THREAD_WORK_H

#include <functional>

// From any thread but a realtime callback (it takes a lock and allocates).
void PostMainThreadWork(std::function<void()> work);

// Readable while work is waiting; -1 when the descriptor could not be made
// (then the loop must poll RunMainThreadWork).
int MainThreadWorkDescriptor();

// On the main thread: runs every piece of work posted so far, in order.
// Returns how many ran.
int RunMainThreadWork();

#endif
