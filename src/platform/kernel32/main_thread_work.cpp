#include "kernel32/main_thread_work.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>

#include "diagnostics/diagnostics.h"

namespace {

std::mutex queueLock;
// Written by any posting thread and by the main thread, under queueLock.
std::deque<std::function<void()>> queue;

int WakeDescriptor() {
    static const int descriptor = [] {
        const int made = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (made < 0) {
            Diagnose("kernel32", "main thread work: eventfd failed: %s", std::strerror(errno));
        }
        return made;
    }();
    return descriptor;
}

}  // namespace

void PostMainThreadWork(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> hold(queueLock);
        queue.push_back(std::move(work));
    }
    const int descriptor = WakeDescriptor();
    const uint64_t one = 1;
    if (descriptor >= 0 && write(descriptor, &one, sizeof one) < 0 && errno != EAGAIN) {
        Diagnose("kernel32", "main thread work: wake-up failed: %s", std::strerror(errno));
    }
}

int MainThreadWorkDescriptor() {
    return WakeDescriptor();
}

int RunMainThreadWork() {
    const int descriptor = WakeDescriptor();
    uint64_t count = 0;
    if (descriptor >= 0 && read(descriptor, &count, sizeof count) < 0 && errno != EAGAIN) {
        Diagnose("kernel32", "main thread work: reading the wake-up failed: %s",
                 std::strerror(errno));
    }
    std::deque<std::function<void()>> ready;
    {
        std::lock_guard<std::mutex> hold(queueLock);
        ready.swap(queue);
    }
    // Outside the lock: the work may post more work.
    for (std::function<void()>& work : ready) {
        work();
    }
    return static_cast<int>(ready.size());
}
