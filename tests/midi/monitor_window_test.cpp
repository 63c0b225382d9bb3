// The monitor's window, offscreen: it appears when standard output goes
// where nobody reads (here /dev/null) and lists what is sent.
#include <windows.h>
#include <mmsystem.h>

#include "winmm/output_backends.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>

namespace {

TEST(MonitorWindow, ListsTheMessagesWhenNobodyReadsStandardOutput) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "monitor_window_test";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);

    std::fflush(stdout);
    const int savedOutput = dup(STDOUT_FILENO);
    const int nowhere = open("/dev/null", O_WRONLY);
    dup2(nowhere, STDOUT_FILENO);
    close(nowhere);
    // Without MIDI, the monitor is the one device.
    HMIDIOUT handle = nullptr;
    const MMRESULT opened = midiOutOpen(&handle, midiOutGetNumDevs() - 1, 0, 0, CALLBACK_NULL);
    midiOutShortMsg(handle, 0x644AB0);
    midiOutShortMsg(handle, 0x05C3);
    midiOutClose(handle);
    dup2(savedOutput, STDOUT_FILENO);
    close(savedOutput);
    ASSERT_EQ(opened, MMSYSERR_NOERROR);

    QPlainTextEdit* window = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        window = window != nullptr ? window : qobject_cast<QPlainTextEdit*>(widget);
    }
    ASSERT_NE(window, nullptr) << "no monitor window";
    const std::string expected = winmm::DescribeMessage({{0xB0, 0x4A, 0x64}, 3}) + "\n" +
                                 winmm::DescribeMessage({{0xC3, 0x05, 0x00}, 2});
    EXPECT_EQ(std::make_pair(window->isVisible(), window->toPlainText().toStdString()),
              std::make_pair(true, expected));
    delete window;
}

}  // namespace
