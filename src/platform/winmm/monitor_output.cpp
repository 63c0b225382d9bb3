// The monitor output: every message as one line on standard output, so that
// a machine with no MIDI at all can still run the whole Randomize job. When
// standard output is not a terminal, a file or a pipe, nobody is likely to
// read it (a program started from the desktop menu writes to /dev/null or a
// socket), so the lines also go to a window of the monitor's own.
#include "output_backends.h"

#include "diagnostics/diagnostics.h"
#include "monitor_window.h"

#include <cerrno>
#include <cstdio>
#include <csignal>
#include <ctime>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace winmm {

namespace {

// How long a line may wait for standard output to take it; once a line has
// been dropped, the next ones are not waited for until one gets through.
constexpr int kWriteWaitMs = 50;
bool writeStalled = false;

// A terminal, a file or a pipe has a reader, now or later; /dev/null, a
// socket, or no standard output at all has none to speak of.
bool StandardOutputIsRead() {
    struct stat status;
    if (fstat(STDOUT_FILENO, &status) != 0) {
        return false;
    }
    return isatty(STDOUT_FILENO) == 1 || S_ISREG(status.st_mode) || S_ISFIFO(status.st_mode);
}

std::string Words(const MidiBytes& message) {
    const uint8_t status = message.data[0];
    const int first = message.data[1];
    const int second = message.data[2];
    const std::string channel = "  channel " + std::to_string((status & 0x0F) + 1);
    const auto field = [](const char* name, int value) {
        return std::string("  ") + name + " " + std::to_string(value);
    };
    switch (status & 0xF0) {
        case 0x80:
            return "Note Off" + channel + field("note", first) + field("velocity", second);
        case 0x90:
            return "Note On" + channel + field("note", first) + field("velocity", second);
        case 0xA0:
            return "Polyphonic Pressure" + channel + field("note", first) +
                   field("pressure", second);
        case 0xB0:
            return "Control Change" + channel + field("controller", first) + field("value", second);
        case 0xC0:
            return "Program Change" + channel + field("program", first);
        case 0xD0:
            return "Channel Pressure" + channel + field("pressure", first);
        case 0xE0:
            return "Pitch Bend" + channel + field("value", first | (second << 7));
        default:
            break;
    }
    switch (status) {
        case 0xF1:
            return "MTC Quarter Frame" + field("value", first);
        case 0xF2:
            return "Song Position" + field("beat", first | (second << 7));
        case 0xF3:
            return "Song Select" + field("song", first);
        case 0xF6:
            return "Tune Request";
        case 0xF8:
            return "Timing Clock";
        case 0xFA:
            return "Start";
        case 0xFB:
            return "Continue";
        case 0xFC:
            return "Stop";
        case 0xFE:
            return "Active Sensing";
        case 0xFF:
            return "System Reset";
        default:
            return "Undefined";
    }
}

bool WaitWritable(int descriptor, int timeoutMs) {
    pollfd request = {descriptor, POLLOUT, 0};
    int ready;
    do {
        ready = poll(&request, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && (request.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0 &&
           (request.revents & POLLOUT) != 0;
}

// write() that fails with EPIPE instead of killing the process when the
// reader has gone away between the poll and the write.
ssize_t WriteWithoutSigpipe(int descriptor, const char* data, size_t size) {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const ssize_t result = write(descriptor, data, size);
    const int writeError = errno;
    if (result < 0 && writeError == EPIPE && !alreadyPending) {
        const timespec noWait = {0, 0};
        sigtimedwait(&pipeSignal, nullptr, &noWait);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = writeError;
    return result;
}

}  // namespace

std::string DescribeMessage(const MidiBytes& message) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string line;
    for (size_t i = 0; i < message.size; ++i) {
        line += kHex[message.data[i] >> 4];
        line += kHex[message.data[i] & 0x0F];
        line += ' ';
    }
    line += ' ';
    return line + Words(message);
}

struct MonitorOutput {
    // Whether the window shows the lines too; set when the monitor is opened.
    bool inWindow = false;
};

MonitorOutput* OpenMonitor() {
    auto* output = new MonitorOutput{!StandardOutputIsRead()};
    if (output->inWindow) {
        ShowMonitorWindow();
    }
    return output;
}

void SendMonitor(MonitorOutput* output, const MidiBytes& message) {
    const std::string words = DescribeMessage(message);
    if (output->inWindow) {
        AddMonitorWindowLine(words);
    }
    const std::string line = words + "\n";
    // Whatever the process has buffered for standard output goes first.
    std::fflush(stdout);
    size_t written = 0;
    while (written < line.size()) {
        if (!WaitWritable(STDOUT_FILENO, writeStalled ? 0 : kWriteWaitMs)) {
            if (!writeStalled) {
                Diagnose("winmm", "monitor: standard output takes nothing; lines dropped");
            }
            writeStalled = true;
            return;
        }
        const ssize_t result =
            WriteWithoutSigpipe(STDOUT_FILENO, line.data() + written, line.size() - written);
        if (result < 0 && errno != EINTR && errno != EAGAIN) {
            Diagnose("winmm", "monitor: writing to standard output failed: %s",
                     std::strerror(errno));
            return;
        }
        if (result > 0) {
            written += static_cast<size_t>(result);
        }
    }
    writeStalled = false;
}

void CloseMonitor(MonitorOutput* output) {
    delete output;
}

}  // namespace winmm
