// A GetTickCount whose value the test sets and whose calls it counts.
#ifndef VELMORA_TESTS_SETTABLE_TICK_COUNT_H
#define VELMORA_TESTS_SETTABLE_TICK_COUNT_H

#include <windows.h>

void SetTickCountValue(DWORD value);
int TickCountCalls();
void ResetTickCountCalls();

#endif
