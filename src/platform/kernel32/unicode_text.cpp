// kernel32 over POSIX: UTF-8 to UTF-16 and back, for the code page that the
// program asks for (CP_UTF8). glibc converts; only the escapes are added
// around it.
#include "kernel32/unicode_text.h"

#include <windows.h>

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "diagnostics/diagnostics.h"

namespace {

constexpr char16_t kEscapeBase = 0xDC00;
const char kReplacementUtf8[] = "\xEF\xBF\xBD";

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
const char kUtf16[] = "UTF-16LE";
#else
const char kUtf16[] = "UTF-16BE";
#endif

// Converts from input what iconv takes and moves input past it: it stops at
// the first unit that is not valid in the source encoding.
void Convert(const char* to, const char* from, const char*& input, const char* end,
             std::string& output) {
    const iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        Diagnose("kernel32", "iconv_open from %s to %s: %s", from, to, std::strerror(errno));
        return;
    }
    char* in = const_cast<char*>(input);
    size_t left = static_cast<size_t>(end - input);
    char buffer[1024];
    for (;;) {
        char* out = buffer;
        size_t room = sizeof buffer;
        const size_t result = iconv(converter, &in, &left, &out, &room);
        output.append(buffer, static_cast<size_t>(out - buffer));
        if (result != static_cast<size_t>(-1) || errno != E2BIG) {
            break;
        }
    }
    iconv_close(converter);
    input = in;
}

// Windows' size rules: a length of -1 means up to and with the final NUL.
template <typename Char>
size_t LengthOf(const Char* text, int length) {
    if (length >= 0) {
        return static_cast<size_t>(length);
    }
    size_t counted = 0;
    while (text[counted] != 0) {
        ++counted;
    }
    return counted + 1;
}

// Copies a result out as the conversions do: size 0 asks for the size only.
template <typename Text>
int Deliver(const Text& result, typename Text::value_type* output, int size) {
    if (size == 0) {
        return static_cast<int>(result.size());
    }
    if (result.size() > static_cast<size_t>(size)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    result.copy(output, result.size());
    return static_cast<int>(result.size());
}

bool ArgumentsValid(UINT codePage, DWORD flags, const void* input, int length, const void* output,
                    int size, const char* call) {
    if (flags != 0) {
        Diagnose("kernel32", "%s: flags %#lx are not supported", call,
                 static_cast<unsigned long>(flags));
        SetLastError(ERROR_INVALID_FLAGS);
        return false;
    }
    if (codePage != CP_UTF8 || input == nullptr || length == 0 || length < -1 || size < 0 ||
        (size > 0 && output == nullptr)) {
        Diagnose("kernel32", "%s: only UTF-8 and valid buffers are supported (code page %u)", call,
                 codePage);
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

}  // namespace

std::u16string Utf16Of(const std::string& bytes) {
    std::u16string text;
    const char* at = bytes.data();
    const char* const end = at + bytes.size();
    while (at < end) {
        std::string units;
        Convert(kUtf16, "UTF-8", at, end, units);
        text.append(reinterpret_cast<const char16_t*>(units.data()), units.size() / 2);
        if (at < end) {
            text += static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(*at++));
        }
    }
    return text;
}

std::string Utf8Of(const std::u16string& text) {
    std::string bytes;
    const char* at = reinterpret_cast<const char*>(text.data());
    const char* const end = at + text.size() * sizeof(char16_t);
    while (at < end) {
        Convert("UTF-8", kUtf16, at, end, bytes);
        if (at < end) {
            char16_t unit;
            std::memcpy(&unit, at, sizeof unit);
            at += sizeof unit;
            if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
                bytes += static_cast<char>(unit - kEscapeBase);
            } else {
                bytes += kReplacementUtf8;
            }
        }
    }
    return bytes;
}

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide,
                               int wideSize) {
    if (!ArgumentsValid(codePage, flags, text, length, wide, wideSize, "MultiByteToWideChar")) {
        return 0;
    }
    return Deliver(Utf16Of(std::string(text, LengthOf(text, length))), wide, wideSize);
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR text,
                               int size, LPCSTR defaultChar, BOOL* usedDefaultChar) {
    if (!ArgumentsValid(codePage, flags, wide, wideLength, text, size, "WideCharToMultiByte")) {
        return 0;
    }
    // UTF-8 takes no default character, as on Windows.
    if (defaultChar != nullptr || usedDefaultChar != nullptr) {
        Diagnose("kernel32", "WideCharToMultiByte: UTF-8 takes no default character");
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return Deliver(Utf8Of(std::u16string(wide, LengthOf(wide, wideLength))), text, size);
}
