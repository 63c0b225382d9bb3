#include "settable_tick_count.h"

namespace {
DWORD tickCount = 0;
int calls = 0;
}  // namespace

void SetTickCountValue(DWORD value) {
    tickCount = value;
}
int TickCountCalls() {
    return calls;
}
void ResetTickCountCalls() {
    calls = 0;
}

DWORD WINAPI GetTickCount(void) {
    ++calls;
    return tickCount;
}
