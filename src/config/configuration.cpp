#include "config/configuration.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "config/tokenizer.h"

std::list<Parameter*> ParameterList;

namespace {

constexpr int kEndOfFile = std::char_traits<char>::eof();
constexpr char kControlZ = 0x1A;
const char kDelimiters[] = " \t\n";

// The next character of the file after the text rules: CR LF reads as LF, the
// first Ctrl-Z ends the file, every other byte is itself. A stream error reads
// as the end of the file. Both platforms read a file the same way, whatever
// their C library's text mode does.
int NextCharacter(std::streambuf& file, bool& ended) {
    if (ended) {
        return kEndOfFile;
    }
    int c = kEndOfFile;
    try {
        c = file.sbumpc();
        if (c == '\r' && file.sgetc() == '\n') {
            c = file.sbumpc();
        }
    } catch (...) {
        c = kEndOfFile;
    }
    if (c == kEndOfFile || c == kControlZ) {
        ended = true;
        return kEndOfFile;
    }
    return c;
}

// Reads one line into buffer (NUL-terminated, at most kMaximumLineLength
// characters, LF not stored). A longer line keeps its first characters and the
// rest, up to and including its LF, is skipped so that the lines after it are
// still read. False when nothing at all was left to read.
bool ReadLine(std::streambuf& file, bool& ended, char (&buffer)[kMaximumLineLength + 1]) {
    std::memset(buffer, 0, sizeof buffer);
    int stored = 0;
    bool extracted = false;
    for (;;) {
        const int c = NextCharacter(file, ended);
        if (c == kEndOfFile) {
            break;
        }
        extracted = true;
        if (c == '\n') {
            break;
        }
        if (stored == kMaximumLineLength) {
            int skipped = c;
            while (skipped != '\n' && skipped != kEndOfFile) {
                skipped = NextCharacter(file, ended);
            }
            break;
        }
        buffer[stored++] = static_cast<char>(c);
    }
    return extracted;
}

Parameter* ParseParameter(const char* line) {
    Parameter* parameter = new Parameter;
    Tokenizer tokenizer(line);
    parameter->label = tokenizer.NextToken(kDelimiters);
    // Only the low 8 bits are kept: '-1' is 255, '300' is 44.
    parameter->controller = static_cast<uint8_t>(ReadInteger(tokenizer.NextToken(kDelimiters)));
    parameter->minimum = static_cast<uint8_t>(ReadInteger(tokenizer.NextToken(kDelimiters)));
    parameter->maximum = static_cast<uint8_t>(ReadInteger(tokenizer.NextToken(kDelimiters)));
    return parameter;
}

// The running program file's full path, or false when the platform cannot
// give all of it: a cut path could name some other file.
bool ProgramFilePath(std::string& path) {
    for (DWORD size = 256; size <= 65536; size *= 2) {
        std::vector<char> buffer(size);
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), size);
        if (length == 0) {
            return false;
        }
        if (length < size - 1) {
            path.assign(buffer.data(), length);
            return true;
        }
    }
    return false;
}

}  // namespace

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
    bool ended = false;
    char line[kMaximumLineLength + 1];
    while (ReadLine(*buffer, ended, line)) {
        if (line[0] == '\0' || line[0] == '#') {
            continue;
        }
        parameters.push_back(ParseParameter(line));
    }
}

bool LoadConfiguration() {
    std::string programPath;
    if (!ProgramFilePath(programPath)) {
        return false;
    }
    // Binary mode: the text rules are applied by the reader itself.
    std::ifstream file(ConfigurationPath(programPath), std::ios::in | std::ios::binary);
    if (!file.is_open()) {
        return false;
    }
    ReadConfiguration(file, ParameterList);
    return true;
}
