#include "short_message.h"

namespace winmm {

size_t MessageSize(uint8_t status) {
    if (status < 0x80) {
        return 0;
    }
    if (status < 0xF0) {
        const uint8_t kind = status & 0xF0;
        return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
    }
    switch (status) {
        case 0xF0:  // System Exclusive is a long message
        case 0xF7:
            return 0;
        case 0xF1:  // MTC quarter frame
        case 0xF3:  // Song Select
            return 2;
        case 0xF2:  // Song Position Pointer
            return 3;
        default:  // Tune Request, real-time and undefined system messages
            return 1;
    }
}

bool UnpackShortMessage(uint32_t packed, uint8_t& runningStatus, MidiBytes& message) {
    const uint8_t bytes[3] = {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                              static_cast<uint8_t>(packed >> 16)};
    uint8_t status = bytes[0];
    const uint8_t* data = bytes + 1;
    if (status < 0x80) {
        if (runningStatus == 0) {
            return false;
        }
        status = runningStatus;
        data = bytes;
    }
    const size_t size = MessageSize(status);
    if (size == 0) {
        return false;
    }
    message.data[0] = status;
    for (size_t i = 1; i < 3; ++i) {
        message.data[i] = i < size ? data[i - 1] & 0x7F : 0;
    }
    message.size = size;
    if (status < 0xF0) {
        runningStatus = status;
    } else if (status < 0xF8) {
        runningStatus = 0;
    }
    return true;
}

}  // namespace winmm
