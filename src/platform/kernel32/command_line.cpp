// kernel32 over POSIX: the process's command line, rebuilt from its
// arguments as one string, quoted so that the platform's rules for splitting
// a command line give the same arguments back.
#include <windows.h>

#include <string>

#include "diagnostics/diagnostics.h"
#include "kernel32/process_arguments.h"

namespace {

int argumentCount = 0;
char* emptyArguments[] = {nullptr};
char** arguments = emptyArguments;

// Backslashes count only before a double quote: there they are doubled, and
// the quote gets one of its own.
std::string Quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        return argument;
    }
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

}  // namespace

void SetProcessArguments(int count, char** given) {
    argumentCount = count;
    arguments = given != nullptr ? given : emptyArguments;
    Diagnose("kernel32", "process started with %d argument(s)", count);
}

int& ProcessArgumentCount() {
    return argumentCount;
}

char** ProcessArguments() {
    return arguments;
}

LPSTR WINAPI GetCommandLineA(void) {
    static std::string commandLine = [] {
        std::string line;
        for (int i = 0; i < argumentCount; ++i) {
            line += (i == 0 ? "" : " ") + Quoted(arguments[i]);
        }
        return line;
    }();
    return commandLine.data();
}
