// The Windows multimedia MIDI output service over Linux MIDI: the ALSA
// sequencer's writable ports, then JACK's MIDI input ports, then Velmora's
// own virtual port (ALSA's, else JACK's) where either runs, and last the
// monitor on standard output, which is always there. Each kind of output is
// an entry of kOutputKinds and a backend file of its own (output_backends.h).
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
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace winmm;

// A backend's calls take its own record of an open output; these give them
// the table's one shape, for which an open output is an untyped pointer.
template <typename Record>
struct Calls {
    template <Record* (*kOpen)(const std::string&)>
    static void* OpenPort(const std::string& address) {
        return kOpen(address);
    }
    template <Record* (*kOpen)()>
    static void* OpenOwnDevice() {
        return kOpen();
    }
    template <void (*kSend)(Record*, const MidiBytes&)>
    static void Send(void* output, const MidiBytes& message) {
        kSend(static_cast<Record*>(output), message);
    }
    template <void (*kClose)(Record*)>
    static void Close(void* output) {
        kClose(static_cast<Record*>(output));
    }
};

// A kind of output, served by one backend.
struct OutputKind {
    // Replaces ports with the destinations other programs offer; false when
    // the kind's MIDI system is not there (then ports is empty). Null for a
    // kind that offers none and is always there.
    bool (*listPorts)(std::vector<PortEntry>& ports);
    // Null when the port cannot be opened or connected.
    void* (*openPort)(const std::string& address);
    // Velmora's own device of this kind, listed after the ports of all kinds
    // while the kind is there. Kinds that give the same one (ALSA's and
    // JACK's virtual port) list it once: the first kind there gives it.
    const char* ownDeviceName;
    void* (*openOwnDevice)();
    void (*send)(void* output, const MidiBytes& message);
    void (*close)(void* output);
    // The ALSA sequencer: while it is there, PipeWire's bridges of its
    // ports are left out of the kinds listed after it.
    bool isSequencer;
};

const char kVirtualDeviceName[] = "Velmora (virtual port)";
const char kMonitorName[] = "Monitor (standard output)";

using Alsa = Calls<AlsaOutput>;
using Jack = Calls<JackOutput>;
using Monitor = Calls<MonitorOutput>;

// In the order of the list.
const OutputKind kOutputKinds[] = {
    {ListAlsaPorts, Alsa::OpenPort<OpenAlsaPort>, kVirtualDeviceName,
     Alsa::OpenOwnDevice<OpenAlsaVirtualPort>, Alsa::Send<SendAlsa>, Alsa::Close<CloseAlsa>, true},
    {ListJackPorts, Jack::OpenPort<OpenJackPort>, kVirtualDeviceName,
     Jack::OpenOwnDevice<OpenJackVirtualPort>, Jack::Send<SendJack>, Jack::Close<CloseJack>, false},
    {nullptr, nullptr, kMonitorName, Monitor::OpenOwnDevice<OpenMonitor>,
     Monitor::Send<SendMonitor>, Monitor::Close<CloseMonitor>, false},
};

struct Device {
    const OutputKind* kind;
    bool own;  // the kind's own device rather than a port
    std::string name;
    std::string address;
};

// What an HMIDIOUT points to.
struct OpenOutput {
    const OutputKind* kind;
    void* backend;  // the kind's record of the open output
    uint8_t runningStatus = 0;
};

// The service may be called from any thread; one lock covers all its state.
std::mutex& serviceLock = OutputServiceLock();
std::vector<Device> devices;
bool listTaken = false;
bool lastCallWasCaps = false;
std::vector<OpenOutput*> openOutputs;

void TakeDeviceList() {
    devices.clear();
    std::vector<std::string> routes;  // of the ports, for the diagnostics
    std::vector<Device> ownDevices;
    bool sequencerThere = false;
    for (const OutputKind& kind : kOutputKinds) {
        std::vector<PortEntry> ports;
        const bool there = kind.listPorts == nullptr || kind.listPorts(ports);
        for (const PortEntry& port : ports) {
            // PipeWire bridges each sequencer port into its graph: the port is
            // listed once, by its own name, and sent to directly.
            if (sequencerThere && !port.bridgedAlsaPort.empty()) {
                Diagnose("winmm", "%s not listed: sent to directly", port.route.c_str());
                continue;
            }
            devices.push_back({&kind, false, port.name, port.address});
            routes.push_back(port.route);
        }
        sequencerThere = sequencerThere || (kind.isSequencer && there);
        const bool listed =
            std::any_of(ownDevices.begin(), ownDevices.end(),
                        [&](const Device& device) { return device.name == kind.ownDeviceName; });
        if (there && !listed) {
            ownDevices.push_back({&kind, true, kind.ownDeviceName, ""});
        }
    }
    const size_t portCount = devices.size();
    devices.insert(devices.end(), ownDevices.begin(), ownDevices.end());

    // Velmora's own devices keep their names; a port that happens to have
    // the same name as one listed before it gets a number.
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
    auto output = std::make_unique<OpenOutput>(OpenOutput{device.kind, nullptr});
    output->backend =
        device.own ? device.kind->openOwnDevice() : device.kind->openPort(device.address);
    return output->backend != nullptr ? output.release() : nullptr;
}

void CloseDevice(OpenOutput* output) {
    output->kind->close(output->backend);
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

// Runs work on the open output that handle names, under the service's lock;
// a handle that midiOutOpen did not give, or that was closed, is refused.
template <typename Work>
MMRESULT OnOutput(HMIDIOUT handle, const char* call, Work work) {
    try {
        std::lock_guard<std::mutex> lock(serviceLock);
        lastCallWasCaps = false;
        OpenOutput* output = FindOutput(handle);
        return output != nullptr ? work(*output) : MMSYSERR_INVALHANDLE;
    } catch (...) {
        DiagnoseException(call);
        return MMSYSERR_ERROR;
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
    return OnOutput(handle, "midiOutShortMsg", [message](OpenOutput& output) -> MMRESULT {
        MidiBytes bytes;
        if (!UnpackShortMessage(message, output.runningStatus, bytes)) {
            return MMSYSERR_INVALPARAM;
        }
        output.kind->send(output.backend, bytes);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT WINAPI midiOutClose(HMIDIOUT handle) {
    return OnOutput(handle, "midiOutClose", [](OpenOutput& output) -> MMRESULT {
        openOutputs.erase(std::find(openOutputs.begin(), openOutputs.end(), &output));
        CloseDevice(&output);
        return MMSYSERR_NOERROR;
    });
}
