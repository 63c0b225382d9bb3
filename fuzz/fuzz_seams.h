// The platform services the fuzz target links instead of the real ones: a
// midiOutShortMsg that records, a GetTickCount that the target sets.
#ifndef VELMORA_FUZZ_FUZZ_SEAMS_H
#define VELMORA_FUZZ_FUZZ_SEAMS_H

#include <windows.h>
#include <mmsystem.h>

#include <vector>

struct RecordedMessage {
    HMIDIOUT handle;
    DWORD message;
};

// Every message handed to midiOutShortMsg since the last clear, in order.
std::vector<RecordedMessage>& RecordedMessages();

void SetTickCountValue(DWORD value);
int TickCountCalls();
void ResetTickCountCalls();

#endif
