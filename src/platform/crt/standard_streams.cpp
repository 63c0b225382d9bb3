#include "crt/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {
// Written once, before main; read afterwards on the main thread.
unsigned reopened = 0;
}  // namespace

void OpenClosedStandardStreams() {
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lowest free number is this one: those below are open by now.
        const int opened = open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != descriptor) {
            dup2(opened, descriptor);
            close(opened);
        }
        if (fcntl(descriptor, F_GETFD) != -1) {
            reopened |= 1u << descriptor;
        }
    }
}

unsigned ReopenedStandardStreams() {
    return reopened;
}
