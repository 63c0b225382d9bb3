// The Windows multimedia MIDI output service over Linux MIDI: the ALSA
// sequencer's writable ports, then JACK's MIDI input ports, then Velmora's
// own virtual port (ALSA's, else JACK's) where either runs, and last the
// monitor on standard output, which is always there.
//
// The device list is a snapshot. It is taken by the first call that needs
// it, and again by every midiOutGetNumDevs that does not directly follow a
// midiOutGetDevCapsA. A listing that asks the count before each turn (count,
// caps 0, count, caps 1, ..., count) thus sees one list from start to end,
// while the next listing sees the devices present then. The backends keep
// their clients between snapshots, so taking one opens no new client; only
// an API that was missing is looked for again (for JACK about 3 ms).
#include <windows.h>
#include <mmsystem.h>

#include "device_names.h"
#include "diagnostics/diagnostics.h"
#include "output_backends.h"
#include "short_message.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace winmm;

enum class Backend { Alsa, AlsaVirtual, Jack, JackVirtual, Monitor };

struct Device {
    Backend backend;
    std::string name;
    std::string address;
};

// What an HMIDIOUT points to.
struct OpenOutput {
    Backend backend;
    AlsaOutput* alsa = nullptr;
    JackOutput* jack = nullptr;
    uint8_t runningStatus = 0;
};

const char kVirtualPortName[] = "Velmora (virtual port)";
const char kMonitorName[] = "Monitor (standard output)";

// The service may be called from any thread; one lock covers all its state.
std::mutex& serviceLock = OutputServiceLock();
std::vector<Device> devices;
bool listTaken = false;
bool lastCallWasCaps = false;
std::vector<OpenOutput*> openOutputs;

void TakeDeviceList() {
    std::vector<PortEntry> alsaPorts;
    std::vector<PortEntry> jackPorts;
    const bool alsa = ListAlsaPorts(alsaPorts);
    const bool jack = ListJackPorts(jackPorts);

    devices.clear();
    std::vector<std::string> routes;  // of the ports, for the diagnostics
    for (const PortEntry& port : alsaPorts) {
        devices.push_back({Backend::Alsa, port.name, port.address});
        routes.push_back(port.route);
    }
    for (const PortEntry& port : jackPorts) {
        // PipeWire bridges each sequencer port into its graph: the port is
        // listed once, by its own name, and sent to directly.
        if (alsa && !port.bridgedAlsaPort.empty()) {
            Diagnose("winmm", "%s not listed: sent to directly", port.route.c_str());
            continue;
        }
        devices.push_back({Backend::Jack, port.name, port.address});
        routes.push_back(port.route);
    }
    if (alsa || jack) {
        devices.push_back(
            {alsa ? Backend::AlsaVirtual : Backend::JackVirtual, kVirtualPortName, ""});
    }
    devices.push_back({Backend::Monitor, kMonitorName, ""});

    // Velmora's own devices keep their names; a port that happens to have
    // the same name as one listed before it gets a number.
    const size_t portCount = routes.size();
    std::vector<size_t> order;
    for (size_t i = devices.size(); i > portCount; --i) {
        order.push_back(i - 1);
    }
    for (size_t i = 0; i < portCount; ++i) {
        order.push_back(i);
    }
    std::vector<std::string> names;
    for (size_t index : order) {
        names.push_back(devices[index].name);
    }
    MakeNamesDistinct(names);
    for (size_t i = 0; i < order.size(); ++i) {
        devices[order[i]].name = names[i];
    }
    for (size_t i = 0; i < devices.size(); ++i) {
        Diagnose("winmm", "output %zu: %s", i, devices[i].name.c_str());
        if (i < routes.size()) {
            Diagnose("winmm", "output %zu goes to %s", i, routes[i].c_str());
        }
    }
    listTaken = true;
}

void EnsureDeviceList() {
    if (!listTaken) {
        TakeDeviceList();
    }
}

OpenOutput* FindOutput(HMIDIOUT handle) {
    const auto found =
        std::find(openOutputs.begin(), openOutputs.end(), reinterpret_cast<OpenOutput*>(handle));
    return found == openOutputs.end() ? nullptr : *found;
}

// Null when the device cannot be opened or connected.
OpenOutput* OpenDevice(const Device& device) {
    auto* output = new OpenOutput{device.backend};
    switch (device.backend) {
        case Backend::Alsa:
            output->alsa = OpenAlsaPort(device.address);
            break;
        case Backend::AlsaVirtual:
            output->alsa = OpenAlsaVirtualPort();
            break;
        case Backend::Jack:
            output->jack = OpenJackPort(device.address);
            break;
        case Backend::JackVirtual:
            output->jack = OpenJackVirtualPort();
            break;
        case Backend::Monitor:
            OpenMonitor();
            return output;
    }
    if (output->alsa == nullptr && output->jack == nullptr) {
        delete output;
        return nullptr;
    }
    return output;
}

void Send(OpenOutput& output, const MidiBytes& message) {
    switch (output.backend) {
        case Backend::Alsa:
        case Backend::AlsaVirtual:
            SendAlsa(output.alsa, message);
            break;
        case Backend::Jack:
        case Backend::JackVirtual:
            SendJack(output.jack, message);
            break;
        case Backend::Monitor:
            SendMonitor(message);
            break;
    }
}

void CloseDevice(OpenOutput* output) {
    if (output->alsa != nullptr) {
        CloseAlsa(output->alsa);
    }
    if (output->jack != nullptr) {
        CloseJack(output->jack);
    }
    delete output;
}

// What a call that failed by an exception (out of memory, mostly) says.
void DiagnoseException(const char* call) {
    try {
        throw;
    } catch (const std::exception& failure) {
        Diagnose("winmm", "%s failed: %s", call, failure.what());
    } catch (...) {
        Diagnose("winmm", "%s failed by an unknown exception", call);
    }
}

}  // namespace

std::mutex& winmm::OutputServiceLock() {
    static std::mutex lock;
    return lock;
}

UINT WINAPI midiOutGetNumDevs(void) {
    try {
        std::lock_guard<std::mutex> lock(serviceLock);
        if (!listTaken || !lastCallWasCaps) {
            TakeDeviceList();
        }
        lastCallWasCaps = false;
        return static_cast<UINT>(devices.size());
    } catch (...) {
        DiagnoseException("midiOutGetNumDevs");
        return 0;
    }
}

MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT capsSize) {
    try {
        std::lock_guard<std::mutex> lock(serviceLock);
        EnsureDeviceList();
        lastCallWasCaps = true;
        if (caps == nullptr) {
            return MMSYSERR_INVALPARAM;
        }
        if (deviceId >= devices.size()) {
            return MMSYSERR_BADDEVICEID;
        }
        MIDIOUTCAPSA filled = {};
        filled.wMid = 0xFFFF;  // MM_UNMAPPED: no registered manufacturer
        filled.wPid = 0xFFFF;  // MM_PID_UNMAPPED
        filled.vDriverVersion = 0x0100;
        const std::string& name = devices[deviceId].name;
        std::memcpy(filled.szPname, name.c_str(), std::min(name.size(), kMaximumNameLength));
        filled.wTechnology = MOD_MIDIPORT;
        filled.wChannelMask = 0xFFFF;
        // Like winmm, a smaller record gets the fields that fit.
        std::memcpy(caps, &filled, std::min<size_t>(capsSize, sizeof filled));
        return MMSYSERR_NOERROR;
    } catch (...) {
        DiagnoseException("midiOutGetDevCapsA");
        return MMSYSERR_NOMEM;
    }
}

MMRESULT WINAPI midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR, DWORD_PTR, DWORD flags) {
    if (handle == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *handle = nullptr;
    try {
        std::lock_guard<std::mutex> lock(serviceLock);
        lastCallWasCaps = false;
        // There is no one to notify: only CALLBACK_NULL is taken.
        if (flags != CALLBACK_NULL) {
            return MMSYSERR_INVALPARAM;
        }
        EnsureDeviceList();
        if (deviceId >= devices.size()) {
            return MMSYSERR_BADDEVICEID;
        }
        OpenOutput* output = OpenDevice(devices[deviceId]);
        if (output == nullptr) {
            Diagnose("winmm", "midiOutOpen: device %u (%s) did not open", deviceId,
                     devices[deviceId].name.c_str());
            return MMSYSERR_ALLOCATED;
        }
        openOutputs.push_back(output);
        *handle = reinterpret_cast<HMIDIOUT>(output);
        return MMSYSERR_NOERROR;
    } catch (...) {
        DiagnoseException("midiOutOpen");
        return MMSYSERR_NOMEM;
    }
}

MMRESULT WINAPI midiOutShortMsg(HMIDIOUT handle, DWORD message) {
    try {
        std::lock_guard<std::mutex> lock(serviceLock);
        lastCallWasCaps = false;
        OpenOutput* output = FindOutput(handle);
        if (output == nullptr) {
            return MMSYSERR_INVALHANDLE;
        }
        MidiBytes bytes;
        if (!UnpackShortMessage(message, output->runningStatus, bytes)) {
            return MMSYSERR_INVALPARAM;
        }
        Send(*output, bytes);
        return MMSYSERR_NOERROR;
    } catch (...) {
        DiagnoseException("midiOutShortMsg");
        return MMSYSERR_ERROR;
    }
}

MMRESULT WINAPI midiOutClose(HMIDIOUT handle) {
    try {
        std::lock_guard<std::mutex> lock(serviceLock);
        lastCallWasCaps = false;
        OpenOutput* output = FindOutput(handle);
        if (output == nullptr) {
            return MMSYSERR_INVALHANDLE;
        }
        openOutputs.erase(std::find(openOutputs.begin(), openOutputs.end(), output));
        CloseDevice(output);
        return MMSYSERR_NOERROR;
    } catch (...) {
        DiagnoseException("midiOutClose");
        return MMSYSERR_ERROR;
    }
}
