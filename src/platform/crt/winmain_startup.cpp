// The process entry of a windowed program: calls WinMain as Windows' startup
// code does.
#include <windows.h>

#include "crt/standard_streams.h"
#include "diagnostics/diagnostics.h"
#include "kernel32/process_arguments.h"

namespace {

void PrepareStandardStreams(int, char**, char**) {
    OpenClosedStandardStreams();
}

// The preinitialisation array of the program runs before the constructors of
// every shared library (Qt, libjack, libasound) and of the program itself:
// nothing can have opened a file or a connection on 0, 1 or 2 by then. A
// constructor priority would only order the program's own constructors.
using PreinitFunction = void (*)(int, char**, char**);
__attribute__((section(".preinit_array"), used)) const PreinitFunction prepareStandardStreams =
    PrepareStandardStreams;

// The command line after the program's name, as WinMain gets it.
LPSTR ArgumentsOf(LPSTR commandLine) {
    bool quoted = false;
    while (*commandLine != '\0' && (quoted || (*commandLine != ' ' && *commandLine != '\t'))) {
        quoted = *commandLine == '"' ? !quoted : quoted;
        ++commandLine;
    }
    while (*commandLine == ' ' || *commandLine == '\t') {
        ++commandLine;
    }
    return commandLine;
}

}  // namespace

int main(int argc, char** argv) {
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (ReopenedStandardStreams() & (1u << descriptor)) {
            Diagnose("kernel32", "descriptor %d was closed at start: opened on /dev/null",
                     descriptor);
        }
    }
    SetProcessArguments(argc, argv);
    const int SW_SHOWNORMAL = 1;
    return WinMain(GetModuleHandleA(nullptr), nullptr, ArgumentsOf(GetCommandLineA()),
                   SW_SHOWNORMAL);
}
