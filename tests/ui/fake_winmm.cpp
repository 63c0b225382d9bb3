#include "fake_winmm.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

std::vector<FakeDevice> devices;
FakeMidiLog log;
constexpr UINT kMaximumDevices = 16;
char handles[kMaximumDevices];

std::string Words(const char* call, unsigned long long argument, MMRESULT result) {
    char text[96];
    std::snprintf(text, sizeof text, "%s %llu -> %u", call, argument, result);
    return text;
}

bool IsOpen(HMIDIOUT handle) {
    return std::find(log.open.begin(), log.open.end(), handle) != log.open.end();
}

UINT DeviceOf(HMIDIOUT handle) {
    return static_cast<UINT>(reinterpret_cast<char*>(handle) - handles);
}

}  // namespace

void ResetFakeMidi(const std::vector<FakeDevice>& newDevices) {
    devices = newDevices;
    devices.resize(std::min<size_t>(devices.size(), kMaximumDevices));
    log = FakeMidiLog();
}

const FakeMidiLog& FakeMidi() {
    return log;
}

HMIDIOUT FakeHandle(UINT deviceId) {
    return reinterpret_cast<HMIDIOUT>(&handles[deviceId]);
}

UINT WINAPI midiOutGetNumDevs(void) {
    log.calls.push_back("midiOutGetNumDevs -> " + std::to_string(devices.size()));
    return static_cast<UINT>(devices.size());
}

MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT capsSize) {
    MMRESULT result = MMSYSERR_NOERROR;
    if (deviceId >= devices.size()) {
        result = MMSYSERR_BADDEVICEID;
    } else if (caps == nullptr || capsSize < sizeof(MIDIOUTCAPSA)) {
        result = MMSYSERR_INVALPARAM;
    } else if (devices[deviceId].capabilitiesFail) {
        result = MMSYSERR_NODRIVER;
    } else {
        std::memset(caps, 0, sizeof *caps);
        std::snprintf(caps->szPname, sizeof caps->szPname, "%s", devices[deviceId].name.c_str());
        caps->wTechnology = MOD_MIDIPORT;
    }
    log.calls.push_back(Words("midiOutGetDevCapsA", deviceId, result));
    return result;
}

MMRESULT WINAPI midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback,
                            DWORD_PTR /*instance*/, DWORD flags) {
    MMRESULT result = MMSYSERR_NOERROR;
    if (deviceId >= devices.size()) {
        result = MMSYSERR_BADDEVICEID;
    } else if (callback != 0 || flags != CALLBACK_NULL) {
        result = MMSYSERR_INVALPARAM;
    } else if (devices[deviceId].refusesToOpen || IsOpen(FakeHandle(deviceId))) {
        result = MMSYSERR_ALLOCATED;
    } else {
        *handle = FakeHandle(deviceId);
        log.open.push_back(*handle);
    }
    log.calls.push_back(Words("midiOutOpen", deviceId, result));
    return result;
}

MMRESULT WINAPI midiOutShortMsg(HMIDIOUT handle, DWORD message) {
    const MMRESULT result = IsOpen(handle) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
    if (result == MMSYSERR_NOERROR) {
        log.sent.push_back({handle, message});
    }
    char text[64];
    std::snprintf(text, sizeof text, "midiOutShortMsg %06X -> %u", static_cast<unsigned>(message),
                  result);
    log.calls.push_back(text);
    return result;
}

MMRESULT WINAPI midiOutClose(HMIDIOUT handle) {
    const MMRESULT result = IsOpen(handle) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
    if (result == MMSYSERR_NOERROR) {
        log.open.erase(std::find(log.open.begin(), log.open.end(), handle));
    }
    log.calls.push_back(
        Words("midiOutClose", result == MMSYSERR_NOERROR ? DeviceOf(handle) : 0, result));
    return result;
}
