// The ALSA sequencer backend, over RtMidi. ALSA delivers each event to the
// kernel as it is sent, so closing never loses what was sent before.
#include "output_backends.h"

#include "device_names.h"

#include <alsa/asoundlib.h>
#include <rtmidi/RtMidi.h>

#include <memory>

namespace winmm {

struct AlsaOutput {
    std::unique_ptr<RtMidiOut> midi;
    // Set by RtMidi's error callback: opening a virtual port reports its
    // failure only there.
    bool failed = false;
};

namespace {

const char kClientName[] = "Velmora";
const char kPortName[] = "output";

// The client that lists the ports; kept, so that listing opens no client.
RtMidiOut* lister = nullptr;

// With a callback RtMidi reports failures to it instead of printing
// warnings or throwing.
void RecordRtMidiError(RtMidiError::Type type, const std::string&, void* failed) {
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING) {
        *static_cast<bool*>(failed) = true;
    }
}

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// RtMidi prints its error on standard error before it throws when there is no
// sequencer (no /dev/snd), and libasound adds its own: ask libasound quietly
// first, so that a machine without ALSA hears nothing of it.
bool SequencerPresent() {
    snd_lib_error_set_handler(IgnoreAlsaError);
    snd_seq_t* sequencer = nullptr;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0) {
        return false;
    }
    snd_seq_close(sequencer);
    return true;
}

std::unique_ptr<RtMidiOut> NewClient(bool* failed) {
    if (!SequencerPresent()) {
        return nullptr;
    }
    try {
        auto client = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, kClientName);
        client->setErrorCallback(RecordRtMidiError, failed);
        return client;
    } catch (...) {
        return nullptr;
    }
}

// An output with its own sequencer client, not yet connected anywhere.
std::unique_ptr<AlsaOutput> NewOutput() {
    auto output = std::make_unique<AlsaOutput>();
    output->midi = NewClient(&output->failed);
    return output->midi ? std::move(output) : nullptr;
}

// RtMidi names a port "client:port C:P", C:P being its sequencer address.
PortEntry EntryFor(const std::string& rtMidiName) {
    const size_t addressStart = rtMidiName.rfind(' ');
    const std::string names =
        addressStart == std::string::npos ? rtMidiName : rtMidiName.substr(0, addressStart);
    const size_t colon = names.find(':');
    const std::string client = colon == std::string::npos ? std::string() : names.substr(0, colon);
    const std::string port = colon == std::string::npos ? names : names.substr(colon + 1);
    return {AlsaDeviceName(client, port), rtMidiName};
}

}  // namespace

bool ListAlsaPorts(std::vector<PortEntry>& ports) {
    ports.clear();
    if (lister == nullptr) {
        static bool listerFailed = false;
        lister = NewClient(&listerFailed).release();
        if (lister == nullptr) {
            return false;
        }
    }
    try {
        const unsigned count = lister->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            // Empty when the port went away during the listing.
            const std::string name = lister->getPortName(i);
            if (!name.empty()) {
                ports.push_back(EntryFor(name));
            }
        }
    } catch (...) {
    }
    return true;
}

AlsaOutput* OpenAlsaPort(const std::string& address) {
    try {
        std::unique_ptr<AlsaOutput> output = NewOutput();
        if (!output) {
            return nullptr;
        }
        // RtMidi opens by index; look the port up again, the list may have
        // changed since it was taken.
        RtMidiOut& midi = *output->midi;
        const unsigned count = midi.getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            if (midi.getPortName(i) == address) {
                midi.openPort(i, kPortName);
                return midi.isPortOpen() && !output->failed ? output.release() : nullptr;
            }
        }
    } catch (...) {
    }
    return nullptr;
}

AlsaOutput* OpenAlsaVirtualPort() {
    try {
        std::unique_ptr<AlsaOutput> output = NewOutput();
        if (!output) {
            return nullptr;
        }
        output->midi->openVirtualPort(kPortName);
        return output->failed ? nullptr : output.release();
    } catch (...) {
        return nullptr;
    }
}

void SendAlsa(AlsaOutput* output, const MidiBytes& message) {
    try {
        output->midi->sendMessage(message.data, message.size);
    } catch (...) {
    }
}

void CloseAlsa(AlsaOutput* output) {
    try {
        output->midi->closePort();
    } catch (...) {
    }
    delete output;
}

}  // namespace winmm
