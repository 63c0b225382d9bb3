// kernel32 over POSIX: the millisecond tick count. Kept apart from the module
// functions so that tests can link their own GetTickCount.
#include <windows.h>

#include <time.h>

DWORD WINAPI GetTickCount(void) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Milliseconds in 32 bits, wrapping like the Windows count.
    const uint64_t milliseconds =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(milliseconds);
}
