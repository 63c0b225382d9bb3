// The tests of the Qt dialog stand-in run inside the platform's own start:
// main() in the startup library calls this WinMain, as it calls the
// program's.
#include <windows.h>

#include <QApplication>
#include <QTest>

#include <cstring>
#include <memory>
#include <vector>

#include "kernel32/process_arguments.h"
#include "main_dialog_test.h"
#include "template_test.h"
#include "user32_test.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previousInstance*/, LPSTR /*commandLine*/,
                   int /*showCommand*/) {
    QApplication application(ProcessArgumentCount(), ProcessArguments());
    std::vector<std::unique_ptr<QObject>> suites;
    suites.emplace_back(new DialogTemplateTest);
    suites.emplace_back(new MainDialogTest);
    suites.emplace_back(new User32Test);

    // ui_tests [SUITE] [Qt Test options]: one suite, or all of them.
    std::vector<char*> arguments(ProcessArguments(), ProcessArguments() + ProcessArgumentCount());
    const char* only = nullptr;
    if (arguments.size() > 1 && arguments[1][0] != '-') {
        only = arguments[1];
        arguments.erase(arguments.begin() + 1);
    }
    int failures = 0;
    bool ran = false;
    for (const auto& suite : suites) {
        if (only == nullptr || std::strcmp(only, suite->metaObject()->className()) == 0) {
            ran = true;
            failures +=
                QTest::qExec(suite.get(), static_cast<int>(arguments.size()), arguments.data());
        }
    }
    return ran ? failures : 2;
}
