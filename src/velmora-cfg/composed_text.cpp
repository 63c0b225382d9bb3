#include "velmora-cfg/composed_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <utf8proc.h>

#include <cstdlib>
#include <memory>
#endif

#ifdef _WIN32

namespace {

std::wstring Wide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), size);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
    return text;
}

}  // namespace

std::string ComposedText(const std::string& text) {
    const std::wstring wide = Wide(text);
    if (text.empty() || wide.empty()) {
        return text;
    }
    // The first call estimates the size; composing never needs more.
    const int estimate =
        NormalizeString(NormalizationC, wide.data(), static_cast<int>(wide.size()), nullptr, 0);
    if (estimate <= 0) {
        return text;
    }
    std::wstring composed(static_cast<size_t>(estimate), L'\0');
    const int size = NormalizeString(NormalizationC, wide.data(), static_cast<int>(wide.size()),
                                     composed.data(), estimate);
    if (size <= 0) {
        return text;
    }
    composed.resize(static_cast<size_t>(size));
    return Utf8(composed);
}

#else

std::string ComposedText(const std::string& text) {
    // utf8proc_NFC wants a NUL-terminated string and refuses invalid UTF-8.
    if (text.find('\0') != std::string::npos) {
        return text;
    }
    const std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> composed(
        utf8proc_NFC(reinterpret_cast<const utf8proc_uint8_t*>(text.c_str())), &std::free);
    if (composed == nullptr) {
        return text;
    }
    return reinterpret_cast<const char*>(composed.get());
}

#endif
