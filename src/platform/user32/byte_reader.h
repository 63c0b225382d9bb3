// Reads the little-endian records of resource files and dialog templates,
// refusing to read past the end.
#ifndef VELMORA_PLATFORM_USER32_BYTE_READER_H
#define VELMORA_PLATFORM_USER32_BYTE_READER_H

#include <windows.h>

#include <cstddef>
#include <string>

#include "resource_file.h"

namespace user32 {

class ByteReader {
  public:
    ByteReader(const BYTE* data, size_t size) : data_(data), size_(size) {}

    size_t Offset() const { return offset_; }
    const BYTE* Here() const { return data_ + offset_; }
    size_t Left() const { return size_ - offset_; }

    bool Skip(size_t count) {
        if (count > Left()) {
            return false;
        }
        offset_ += count;
        return true;
    }

    // To the next multiple of alignment, counted from the start.
    bool Align(size_t alignment) {
        const size_t misalignment = offset_ % alignment;
        return misalignment == 0 || Skip(alignment - misalignment);
    }

    bool Word(WORD& value) {
        if (Left() < 2) {
            return false;
        }
        value = static_cast<WORD>(data_[offset_] | data_[offset_ + 1] << 8);
        offset_ += 2;
        return true;
    }

    bool Short(int& value) {
        WORD word = 0;
        if (!Word(word)) {
            return false;
        }
        value = static_cast<int16_t>(word);
        return true;
    }

    bool Dword(DWORD& value) {
        WORD low = 0;
        WORD high = 0;
        if (!Word(low) || !Word(high)) {
            return false;
        }
        value = static_cast<DWORD>(low) | static_cast<DWORD>(high) << 16;
        return true;
    }

    // A NUL-terminated UTF-16 string.
    bool String(std::u16string& value) {
        value.clear();
        for (;;) {
            WORD unit = 0;
            if (!Word(unit)) {
                return false;
            }
            if (unit == 0) {
                return true;
            }
            value.push_back(static_cast<char16_t>(unit));
        }
    }

    // 0xFFFF followed by a number, or else a string (an empty one when the
    // first unit is 0).
    bool Id(ResourceId& id) {
        WORD first = 0;
        if (!Word(first)) {
            return false;
        }
        if (first == 0xFFFF) {
            id.isNumber = true;
            id.name.clear();
            return Word(id.number);
        }
        id.isNumber = false;
        id.number = 0;
        offset_ -= 2;
        return String(id.name);
    }

  private:
    const BYTE* data_;
    size_t size_;
    size_t offset_ = 0;
};

}  // namespace user32

#endif
