#include "randomize/control_change.h"

DWORD PackControlChange(int32_t channel, int32_t controller, int32_t value) {
    // A data byte with its high bit set would start a new message at the
    // receiver (FF is System Reset), so data bytes are masked to 7 bits.
    const DWORD status = 0xB0u | (static_cast<DWORD>(channel) & 0x0Fu);
    const DWORD data1 = static_cast<DWORD>(controller) & 0x7Fu;
    const DWORD data2 = static_cast<DWORD>(value) & 0x7Fu;
    return status | (data1 << 8) | (data2 << 16);
}

bool IsControllerNumber(int32_t controller) {
    return controller >= 0 && controller <= 0x7F;
}
