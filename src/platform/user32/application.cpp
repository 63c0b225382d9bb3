#include "application.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "diagnostics/diagnostics.h"
#include "kernel32/process_arguments.h"

namespace user32 {

namespace {

struct HeldMessage {
    QtMsgType type;
    std::string category;
    std::string text;
};

// Written and read on the main thread while the application is being made.
QtMessageHandler previousHandler = nullptr;
std::vector<HeldMessage> heldMessages;

std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    line.erase(line.find_last_not_of(" \t") + 1);
    return line;
}

// Qt gives up on the display with a fatal message, after warnings that say
// why; the first warning is the cause, the fatal message only the outcome.
[[noreturn]] void EndWithoutDisplay(const std::string& fatal) {
    std::string cause;
    for (const HeldMessage& held : heldMessages) {
        Diagnose("user32", "while opening the display: %s: %s", held.category.c_str(),
                 held.text.c_str());
        if (cause.empty() && (held.type == QtWarningMsg || held.type == QtCriticalMsg)) {
            cause = FirstLine(held.text);
        }
    }
    if (cause.empty()) {
        cause = FirstLine(fatal);
    }
    Diagnose("user32", "Qt gave up: %s", fatal.c_str());
    const std::string line = std::string(program_invocation_short_name) +
                             ": no display to show the dialog on: " + cause + "\n";
    if (write(STDERR_FILENO, line.data(), line.size()) < 0) {
        // Nowhere left to say it; the status still tells.
    }
    // Not exit(): the half-made application must not be torn down.
    _exit(EXIT_FAILURE);
}

// Holds what Qt says while it opens the display: it may be followed by a
// fatal message, and then only one line is to be shown.
void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        EndWithoutDisplay(text.toStdString());
    }
    heldMessages.push_back(
        {type, context.category != nullptr ? context.category : "", text.toStdString()});
}

void PassOnHeldMessages() {
    for (const HeldMessage& held : heldMessages) {
        const QMessageLogContext context(nullptr, 0, nullptr, held.category.c_str());
        if (previousHandler != nullptr) {
            previousHandler(held.type, context, QString::fromStdString(held.text));
        } else {
            std::fprintf(stderr, "%s\n", held.text.c_str());
        }
    }
    heldMessages.clear();
}

}  // namespace

std::unique_ptr<QApplication> StartApplication() {
    previousHandler = qInstallMessageHandler(HoldMessage);
    auto application = std::make_unique<QApplication>(ProcessArgumentCount(), ProcessArguments());
    qInstallMessageHandler(previousHandler);
    PassOnHeldMessages();
    Diagnose("user32", "display opened with the \"%s\" platform",
             QGuiApplication::platformName().toLocal8Bit().constData());
    return application;
}

}  // namespace user32
