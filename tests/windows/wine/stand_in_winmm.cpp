// A stand-in for the Windows multimedia library's MIDI output: a few fake
// output devices, and a log of every call with its arguments and result.
//
// Wine loads it instead of its own winmm when it lies beside the program and
// WINEDLLOVERRIDES holds "winmm=n,b". It reads stand-in-winmm.ini and appends
// to stand-in-winmm.log, both beside the DLL, so every scenario folder has its
// own devices and its own log. The .ini holds lines of key=value:
//
//   devices=N        number of output devices (default 0)
//   failing_caps=I   device ID whose capability query fails (default none)
//   refused_open=I   device ID that refuses to open, as if in use (default none)
//
// Device I is named "Stand-in Synth I". A device opens once; its handle is
// 0x5100 + I until it is closed. Sending to or closing a handle that is not
// open fails with MMSYSERR_INVALHANDLE, and the log shows it.
#define _WINMM_  // Defines, rather than imports, the functions declared below.
#include <windows.h>
#include <mmsystem.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace {

const UINT kMaxDevices = 16;
const UINT kNone = 0xFFFFFFFFu;
const UINT_PTR kHandleBase = 0x5100;

struct Settings {
    UINT devices = 0;
    UINT failingCaps = kNone;
    UINT refusedOpen = kNone;
};

Settings settings;
bool deviceOpen[kMaxDevices];
wchar_t logPath[MAX_PATH];

// Both files lie beside the DLL: the path of the module with its file name
// replaced. Wide, as the program's folder may have any name.
bool PathBesideModule(HMODULE module, const wchar_t* name, wchar_t* path, size_t size) {
    wchar_t modulePath[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, modulePath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    wchar_t* slash = wcsrchr(modulePath, L'\\');
    const size_t directoryLength =
        slash == nullptr ? 0 : static_cast<size_t>(slash - modulePath) + 1;
    if (directoryLength + wcslen(name) + 1 > size) {
        return false;
    }
    wmemcpy(path, modulePath, directoryLength);
    wcscpy(path + directoryLength, name);
    return true;
}

UINT ReadSetting(const char* value) {
    char* end = nullptr;
    const long number = strtol(value, &end, 10);
    return end == value || number < 0 ? kNone : static_cast<UINT>(number);
}

void LoadSettings(HMODULE module) {
    wchar_t path[MAX_PATH];
    if (!PathBesideModule(module, L"stand-in-winmm.ini", path, MAX_PATH)) {
        return;
    }
    FILE* file = _wfopen(path, L"r");
    if (file == nullptr) {
        return;
    }
    char line[128];
    while (fgets(line, sizeof line, file) != nullptr) {
        char* equals = strchr(line, '=');
        if (equals == nullptr) {
            continue;
        }
        *equals = '\0';
        const UINT value = ReadSetting(equals + 1);
        if (strcmp(line, "devices") == 0) {
            settings.devices = value == kNone ? 0 : (value > kMaxDevices ? kMaxDevices : value);
        } else if (strcmp(line, "failing_caps") == 0) {
            settings.failingCaps = value;
        } else if (strcmp(line, "refused_open") == 0) {
            settings.refusedOpen = value;
        }
    }
    fclose(file);
}

// Opened and closed on every line, so that the log is complete whenever the
// test reads it, even while the program is still running. Binary mode keeps
// the line ends LF.
void Log(const char* format, ...) {
    if (logPath[0] == '\0') {
        return;
    }
    FILE* file = _wfopen(logPath, L"ab");
    if (file == nullptr) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    vfprintf(file, format, arguments);
    va_end(arguments);
    fputc('\n', file);
    fclose(file);
}

// The device ID of an open handle, or kNone.
UINT OpenDevice(HMIDIOUT handle) {
    const UINT_PTR value = reinterpret_cast<UINT_PTR>(handle);
    if (value < kHandleBase || value >= kHandleBase + kMaxDevices) {
        return kNone;
    }
    const UINT device = static_cast<UINT>(value - kHandleBase);
    return deviceOpen[device] ? device : kNone;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        LoadSettings(module);
        if (!PathBesideModule(module, L"stand-in-winmm.log", logPath, MAX_PATH)) {
            logPath[0] = '\0';
        }
        Log("attach pid=%lu devices=%u", GetCurrentProcessId(), settings.devices);
    } else if (reason == DLL_PROCESS_DETACH) {
        Log("detach");
    }
    return TRUE;
}

extern "C" UINT WINAPI midiOutGetNumDevs(void) {
    Log("midiOutGetNumDevs() = %u", settings.devices);
    return settings.devices;
}

extern "C" MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT size) {
    MMRESULT result = MMSYSERR_NOERROR;
    if (deviceId >= settings.devices) {
        result = MMSYSERR_BADDEVICEID;
    } else if (caps == nullptr || size < sizeof(MIDIOUTCAPSA)) {
        result = MMSYSERR_INVALPARAM;
    } else if (deviceId == settings.failingCaps) {
        result = MMSYSERR_NODRIVER;
    }
    if (result != MMSYSERR_NOERROR) {
        Log("midiOutGetDevCapsA(device=%llu, size=%u) = %u",
            static_cast<unsigned long long>(deviceId), size, result);
        return result;
    }
    memset(caps, 0, sizeof(MIDIOUTCAPSA));
    caps->wTechnology = MOD_MIDIPORT;
    caps->wChannelMask = 0xFFFF;
    snprintf(caps->szPname, sizeof caps->szPname, "Stand-in Synth %u", static_cast<UINT>(deviceId));
    Log("midiOutGetDevCapsA(device=%llu, size=%u) = 0 name=\"%s\"",
        static_cast<unsigned long long>(deviceId), size, caps->szPname);
    return MMSYSERR_NOERROR;
}

extern "C" MMRESULT WINAPI midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback,
                                       DWORD_PTR instance, DWORD flags) {
    MMRESULT result = MMSYSERR_NOERROR;
    if (handle == nullptr) {
        result = MMSYSERR_INVALPARAM;
    } else if (deviceId >= settings.devices) {
        result = MMSYSERR_BADDEVICEID;
    } else if (deviceId == settings.refusedOpen || deviceOpen[deviceId]) {
        result = MMSYSERR_ALLOCATED;
    }
    if (handle != nullptr) {
        // A failed open leaves the handle null, as the program relies on.
        *handle = result == MMSYSERR_NOERROR ? reinterpret_cast<HMIDIOUT>(kHandleBase + deviceId)
                                             : nullptr;
    }
    if (result == MMSYSERR_NOERROR) {
        deviceOpen[deviceId] = true;
    }
    Log("midiOutOpen(device=%u, callback=0x%llx, instance=0x%llx, flags=0x%lx) = %u handle=0x%llx",
        deviceId, static_cast<unsigned long long>(callback),
        static_cast<unsigned long long>(instance), flags, result,
        handle == nullptr ? 0ull
                          : static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(*handle)));
    return result;
}

extern "C" MMRESULT WINAPI midiOutShortMsg(HMIDIOUT handle, DWORD message) {
    const MMRESULT result = OpenDevice(handle) == kNone ? MMSYSERR_INVALHANDLE : MMSYSERR_NOERROR;
    Log("midiOutShortMsg(handle=0x%llx, message=0x%08lx) = %u",
        static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(handle)), message, result);
    return result;
}

extern "C" MMRESULT WINAPI midiOutClose(HMIDIOUT handle) {
    const UINT device = OpenDevice(handle);
    if (device != kNone) {
        deviceOpen[device] = false;
    }
    const MMRESULT result = device == kNone ? MMSYSERR_INVALHANDLE : MMSYSERR_NOERROR;
    Log("midiOutClose(handle=0x%llx) = %u",
        static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(handle)), result);
    return result;
}
