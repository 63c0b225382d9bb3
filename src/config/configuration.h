#ifndef VELMORA_CONFIG_CONFIGURATION_H
#define VELMORA_CONFIG_CONFIGURATION_H

#include <cstdint>
#include <istream>
#include <list>
#include <string>

// One configured sound parameter: one line of the configuration file.
struct Parameter {
    std::string label;
    uint8_t controller = 0;
    uint8_t minimum = 0;
    uint8_t maximum = 0;
};

// Every parameter of the configuration file, in file order. Filled once by
// LoadConfiguration; the records live until the process ends.
extern std::list<Parameter*> ParameterList;

// The longest line the reader takes; the rest of a longer line is skipped.
constexpr int kMaximumLineLength = 255;

// What separates the fields of a line: runs of spaces, tabs and line feeds.
inline constexpr char kFieldDelimiters[] = " \t\n";

// Whether a line read from the file makes a parameter: it is neither empty
// nor a comment ('#' in its first column).
inline bool IsParameterLine(const char* line) {
    return line[0] != '\0' && line[0] != '#';
}

// The configuration file's path for the given program file's path: a
// three-character extension ("Velmora.exe") becomes "cfg"; a name without one
// ("Velmora") gets ".cfg" appended.
std::string ConfigurationPath(const std::string& programPath);

// A token's integer value: optional leading white space and sign, then decimal
// digits, accumulated modulo 2^32 without any overflow check.
uint32_t ReadInteger(const std::string& token);

// The Parameter of one configuration line (not empty, not a comment): the
// first token is the label; the next three, read as integers, give
// controller, minimum and maximum, each its low 8 bits.
Parameter* ParseParameter(const char* line);

// Reads configuration lines from a byte stream and appends one new Parameter
// per line that is neither empty nor a comment.
void ReadConfiguration(std::istream& file, std::list<Parameter*>& parameters);

// Reads the configuration file that lies beside the program file into
// ParameterList. False when the file cannot be opened (the list is unchanged).
bool LoadConfiguration();

#endif
