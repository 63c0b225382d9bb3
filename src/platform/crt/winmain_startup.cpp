// The process entry of a windowed program: calls WinMain as Windows' startup
// code does.
#include <windows.h>

#include "crt/winmain_startup.h"

namespace {
int argumentCount = 0;
char** arguments = nullptr;
char emptyCommandLine[] = "";
}  // namespace

int& ProcessArgumentCount() {
    return argumentCount;
}
char** ProcessArguments() {
    return arguments;
}

int main(int argc, char** argv) {
    argumentCount = argc;
    arguments = argv;
    const int SW_SHOWNORMAL = 1;
    return WinMain(GetModuleHandleA(nullptr), nullptr, emptyCommandLine, SW_SHOWNORMAL);
}
