#include "config/configuration.h"

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>
#include <vector>

#include "config/line_reader.h"
#include "config/tokenizer.h"

std::list<Parameter*> ParameterList;

namespace {

bool Utf8Of(const WCHAR* text, int length, std::string& utf8) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return false;
    }
    utf8.resize(static_cast<size_t>(size));
    return WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], size, nullptr, nullptr) == size;
}

// The running program file's full path in UTF-8, or false when the platform
// cannot give all of it: a cut path could name some other file. Taken as
// Unicode: the ANSI call loses every character outside the code page.
bool ProgramFilePath(std::string& path) {
    for (DWORD size = 256; size <= 65536; size *= 2) {
        std::vector<WCHAR> buffer(size);
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) {
            return false;
        }
        if (length < size - 1) {
            return Utf8Of(buffer.data(), static_cast<int>(length), path);
        }
    }
    return false;
}

}  // namespace

Parameter* ParseParameter(const char* line) {
    Parameter* parameter = new Parameter;
    Tokenizer tokenizer(line);
    parameter->label = tokenizer.NextToken(kFieldDelimiters);
    // Only the low 8 bits are kept: '-1' is 255, '300' is 44.
    parameter->controller =
        static_cast<uint8_t>(ReadInteger(tokenizer.NextToken(kFieldDelimiters)));
    parameter->minimum = static_cast<uint8_t>(ReadInteger(tokenizer.NextToken(kFieldDelimiters)));
    parameter->maximum = static_cast<uint8_t>(ReadInteger(tokenizer.NextToken(kFieldDelimiters)));
    return parameter;
}

std::string ConfigurationPath(const std::string& programPath) {
    const size_t separator = programPath.find_last_of("/\\");
    const size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    const size_t nameLength = programPath.size() - nameStart;
    const bool hasThreeCharacterExtension =
        nameLength >= 4 && programPath[programPath.size() - 4] == '.' &&
        programPath.find('.', programPath.size() - 3) == std::string::npos;
    if (hasThreeCharacterExtension) {
        return programPath.substr(0, programPath.size() - 3) + "cfg";
    }
    return programPath + ".cfg";
}

uint32_t ReadInteger(const std::string& token) {
    size_t at = 0;
    while (at < token.size() && std::strchr(" \t\n\v\f\r", token[at]) != nullptr &&
           token[at] != '\0') {
        ++at;
    }
    bool negative = false;
    if (at < token.size() && (token[at] == '+' || token[at] == '-')) {
        negative = token[at] == '-';
        ++at;
    }
    uint32_t value = 0;
    for (; at < token.size() && token[at] >= '0' && token[at] <= '9'; ++at) {
        value = value * 10u + static_cast<uint32_t>(token[at] - '0');
    }
    return negative ? 0u - value : value;
}

void ReadConfiguration(std::istream& file, std::list<Parameter*>& parameters) {
    std::streambuf* buffer = file.rdbuf();
    if (buffer == nullptr) {
        return;
    }
    // Large enough to live on the heap rather than the dialog thread's stack.
    std::unique_ptr<LineReader> lines(new LineReader(*buffer));
    char line[kMaximumLineLength + 1];
    while (lines->ReadLine(line)) {
        if (IsParameterLine(line)) {
            parameters.push_back(ParseParameter(line));
        }
    }
}

bool LoadConfiguration() {
    std::string programPath;
    if (!ProgramFilePath(programPath)) {
        return false;
    }
    // Opened by its Unicode name, which a Windows build gets from UTF-8 only
    // through u8path.
    const std::filesystem::path path = std::filesystem::u8path(ConfigurationPath(programPath));
    // Only a regular file (links followed) is read: a FIFO would block the
    // open, a device never end, and a directory open as an empty file.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return false;
    }
    // Binary mode: the text rules are applied by the reader itself.
    std::ifstream file(path, std::ios::in | std::ios::binary);
    if (!file.is_open()) {
        return false;
    }
    ReadConfiguration(file, ParameterList);
    return true;
}
