// kernel32 over POSIX: the process's module and its program file's path.
#include <windows.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "diagnostics/diagnostics.h"
#include "kernel32/unicode_text.h"

namespace {
// Stands for the process's own module; only its identity matters.
char processModule;

// The program file's path as the kernel names it, or false (last error set).
bool ProgramFileBytes(HMODULE module, std::string& path) {
    if (module != nullptr && module != GetModuleHandleA(nullptr)) {
        SetLastError(126);  // ERROR_MOD_NOT_FOUND
        return false;
    }
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            Diagnose("kernel32", "GetModuleFileName: /proc/self/exe: %s", std::strerror(errno));
            SetLastError(2);  // ERROR_FILE_NOT_FOUND
            return false;
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            path.assign(buffer.data(), static_cast<size_t>(length));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// As on Windows: a path that does not fit is cut to size - 1 characters, the
// result is size and the last error ERROR_INSUFFICIENT_BUFFER.
DWORD CopyPath(const std::u16string& path, WCHAR* fileName, DWORD size, const char* shown) {
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= size) {
        Diagnose("kernel32", "GetModuleFileName: %s is cut to %lu characters", shown,
                 static_cast<unsigned long>(size - 1));
        path.copy(fileName, size - 1);
        fileName[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    path.copy(fileName, path.size());
    fileName[path.size()] = 0;
    Diagnose("kernel32", "GetModuleFileName: %s", shown);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

}  // namespace

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    return moduleName == nullptr ? reinterpret_cast<HMODULE>(&processModule) : nullptr;
}

// The kernel's bytes read as UTF-8; bytes that are not UTF-8 travel as
// escapes that WideCharToMultiByte turns back into the same bytes.
DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    std::string path;
    if (!ProgramFileBytes(module, path)) {
        return 0;
    }
    return CopyPath(Utf16Of(path), fileName, size, path.c_str());
}
