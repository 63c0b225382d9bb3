#include "fuzz_seams.h"

namespace {
DWORD tickCount = 0;
int tickCountCalls = 0;
}  // namespace

std::vector<RecordedMessage>& RecordedMessages() {
    static std::vector<RecordedMessage> recorded;
    return recorded;
}

void SetTickCountValue(DWORD value) {
    tickCount = value;
}
int TickCountCalls() {
    return tickCountCalls;
}
void ResetTickCountCalls() {
    tickCountCalls = 0;
}

MMRESULT WINAPI midiOutShortMsg(HMIDIOUT handle, DWORD message) {
    RecordedMessages().push_back({handle, message});
    return MMSYSERR_NOERROR;
}

DWORD WINAPI GetTickCount(void) {
    ++tickCountCalls;
    return tickCount;
}
