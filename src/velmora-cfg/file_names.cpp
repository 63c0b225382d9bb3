#include "velmora-cfg/file_names.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <utf8proc.h>
#endif

#include <cstring>
#include <vector>

#include "text/ascii_case.h"

namespace {

bool IsUnsafeAscii(unsigned char c) {
    return c < 0x20 || c == 0x7F || std::strchr("<>:\"/\\|?*", c) != nullptr;
}

// Windows treats these as devices, with any extension ("CON.cfg" too), after
// it has dropped the spaces before the extension ("NUL .txt") and the dots
// and spaces at the end of the name.
bool IsReservedName(const std::string& name) {
    static const char* const kReserved[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    std::string stem = name.substr(0, name.find_last_not_of(". ") + 1);
    stem = stem.substr(0, stem.find('.'));
    stem = stem.substr(0, stem.find_last_not_of(' ') + 1);
    std::string upper;
    for (const char c : stem) {
        upper += AsciiUpper(c);
    }
    for (const char* reserved : kReserved) {
        if (upper == reserved) {
            return true;
        }
    }
    // COM1 to COM9 and LPT1 to LPT9; also with 0 and with the superscript
    // digits 1, 2 and 3 (UTF-8 C2 B9, C2 B2, C2 B3).
    const bool port = upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0;
    const std::string number = port ? upper.substr(3) : "";
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

void TrimBlanksAndDots(std::string& name) {
    const size_t first = name.find_first_not_of(" .");
    if (first == std::string::npos) {
        name.clear();
        return;
    }
    name = name.substr(first, name.find_last_not_of(" .") - first + 1);
}

}  // namespace

size_t Utf8SequenceLength(const std::string& text, size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        return 1;
    }
    size_t length = 0;
    unsigned minimum = 0;
    unsigned code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, code = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (size_t next = 1; next < length; ++next) {
        const unsigned char c = static_cast<unsigned char>(text[at + next]);
        if ((c & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (c & 0x3Fu);
    }
    // No overlong forms, no surrogates, nothing above U+10FFFF.
    const bool valid = code >= minimum && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    return valid ? length : 0;
}

std::string SafeFileName(const std::string& name) {
    std::string safe;
    for (size_t at = 0; at < name.size();) {
        const size_t length = Utf8SequenceLength(name, at);
        if (length == 0 || (length == 1 && IsUnsafeAscii(static_cast<unsigned char>(name[at])))) {
            safe += '_';
            at += length == 0 ? 1 : length;
            continue;
        }
        // Cut only between characters.
        if (safe.size() + length > kMaximumFileNameBytes) {
            break;
        }
        safe.append(name, at, length);
        at += length;
    }
    if (safe.size() > kMaximumFileNameBytes) {
        safe.resize(kMaximumFileNameBytes);
    }
    TrimBlanksAndDots(safe);
    if (safe.empty()) {
        return "unnamed";
    }
    if (IsReservedName(safe)) {
        safe.insert(0, "_");
    }
    return safe;
}

#ifdef _WIN32

std::string CaseKey(const std::string& name) {
    if (name.empty()) {
        return name;
    }
    const int length = static_cast<int>(name.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, name.data(), length, nullptr, 0);
    if (units <= 0) {
        return name;
    }
    std::vector<WCHAR> wide(static_cast<size_t>(units));
    MultiByteToWideChar(CP_UTF8, 0, name.data(), length, wide.data(), units);
    std::vector<WCHAR> upper(wide.size());
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), units, upper.data(), units) !=
        units) {
        return name;
    }
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, upper.data(), units, nullptr, 0, nullptr, nullptr);
    std::string key(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size <= 0 || WideCharToMultiByte(CP_UTF8, 0, upper.data(), units, &key[0], size, nullptr,
                                         nullptr) != size) {
        return name;
    }
    return key;
}

#else

// Unicode's simple upper case, as Windows' table maps the Basic Multilingual
// Plane; other characters, and bytes that are not UTF-8, stay.
std::string CaseKey(const std::string& name) {
    // utf8proc alone upper-cases ß to ẞ (U+1E9E); Windows keeps it, so that
    // "Straße" and "STRAẞE" are two files there.
    constexpr utf8proc_int32_t kSharpS = 0xDF;
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(name.data());
    std::string key;
    for (size_t at = 0; at < name.size();) {
        utf8proc_int32_t code = 0;
        const utf8proc_ssize_t length =
            utf8proc_iterate(bytes + at, static_cast<utf8proc_ssize_t>(name.size() - at), &code);
        if (length <= 0) {
            key += name[at++];
            continue;
        }
        const utf8proc_int32_t upper = utf8proc_toupper(code);
        if (code != kSharpS && code <= 0xFFFF && upper <= 0xFFFF) {
            code = upper;
        }
        utf8proc_uint8_t encoded[4];
        key.append(reinterpret_cast<const char*>(encoded),
                   static_cast<size_t>(utf8proc_encode_char(code, encoded)));
        at += static_cast<size_t>(length);
    }
    return key;
}

#endif
