// kernel32 over POSIX: the process's module and its program file's path.
#include <windows.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "diagnostics/diagnostics.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
// Stands for the process's own module; only its identity matters.
char processModule;
}  // namespace

DWORD WINAPI GetLastError(void) {
    return lastError;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    return moduleName == nullptr ? reinterpret_cast<HMODULE>(&processModule) : nullptr;
}

// As on Windows: a path that does not fit is cut to size - 1 characters, the
// result is size and the last error ERROR_INSUFFICIENT_BUFFER.
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    if (module != nullptr && module != GetModuleHandleA(nullptr)) {
        lastError = 126;  // ERROR_MOD_NOT_FOUND
        return 0;
    }
    std::vector<char> path(4096);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) {
            Diagnose("kernel32", "GetModuleFileNameA: /proc/self/exe: %s", std::strerror(errno));
            lastError = 2;  // ERROR_FILE_NOT_FOUND
            return 0;
        }
        if (static_cast<size_t>(length) < path.size()) {
            path.resize(static_cast<size_t>(length));
            break;
        }
        path.resize(path.size() * 2);
    }
    if (size == 0) {
        lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    if (path.size() >= size) {
        Diagnose("kernel32", "GetModuleFileNameA: %.*s is cut to %lu bytes",
                 static_cast<int>(path.size()), path.data(), static_cast<unsigned long>(size - 1));
        std::memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = '\0';
        lastError = ERROR_INSUFFICIENT_BUFFER;
        return size;
    }
    std::memcpy(fileName, path.data(), path.size());
    fileName[path.size()] = '\0';
    Diagnose("kernel32", "GetModuleFileNameA: %.*s", static_cast<int>(path.size()), path.data());
    lastError = ERROR_SUCCESS;
    return static_cast<DWORD>(path.size());
}
