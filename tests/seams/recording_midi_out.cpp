#include "recording_midi_out.h"

std::vector<SentMessage>& SentMessages() {
    static std::vector<SentMessage> sent;
    return sent;
}

MMRESULT WINAPI midiOutShortMsg(HMIDIOUT handle, DWORD message) {
    SentMessages().push_back({handle, message});
    return MMSYSERR_NOERROR;
}
