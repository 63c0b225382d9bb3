#include "dialog_harness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <fstream>

#include "config/configuration.h"
#include "kernel32/unicode_text.h"
#include "ui/main_dialog.h"
#include "window_widgets.h"

namespace harness {

namespace {

std::vector<SeenMessageBox> boxes;

// Looks for a message box every few milliseconds, in whichever loop runs.
void WatchForMessageBoxes() {
    static QTimer* timer = nullptr;
    if (timer != nullptr) {
        return;
    }
    timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [] {
        static QPointer<QMessageBox> last;
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || box == last) {
            return;
        }
        last = box;
        QWidget* parent = box->parentWidget();
        boxes.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                         parent != nullptr && parent == DialogWidget(),
                         parent != nullptr && parent->isVisible(),
                         box->windowModality() == Qt::ApplicationModal});
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
            ok->click();
        } else {
            box->reject();
        }
    });
    timer->start();
}

std::vector<ProcedureCall> calls;
HWND dialog = nullptr;
DLGPROC testedProcedure = nullptr;
std::function<void()> pendingScript;
// Tells a script's start from a run that has ended meanwhile.
int runNumber = 0;

void RunScript(int run) {
    if (run != runNumber || !pendingScript) {
        return;
    }
    const std::function<void()> script = std::move(pendingScript);
    pendingScript = nullptr;
    const HWND running = dialog;
    [&] {
        QVERIFY(QTest::qWaitForWindowActive(DialogWidget(), kWaitMs));
        script();
    }();
    // An ended dialog is hidden until its loop ends.
    QWidget* widget = user32::WindowWidget(running);
    if (widget != nullptr && widget->isVisible()) {
        EndDialog(running, kLeftOpen);
    }
}

INT_PTR CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        dialog = window;
    }
    QWidget* widget = user32::WindowWidget(window);
    // In the order the messages came; a message may come while another is
    // being handled.
    const size_t index = calls.size();
    calls.push_back({message, wParam, lParam, 0, widget != nullptr && widget->isVisible()});
    const INT_PTR result = testedProcedure(window, message, wParam, lParam);
    calls[index].result = result;
    if (message == WM_INITDIALOG) {
        QTimer::singleShot(0, [run = runNumber] { RunScript(run); });
    }
    return result;
}

}  // namespace

const std::vector<SeenMessageBox>& Boxes() {
    return boxes;
}

const std::vector<ProcedureCall>& Calls() {
    return calls;
}

std::vector<ProcedureCall> CallsOf(UINT message) {
    std::vector<ProcedureCall> matching;
    for (const ProcedureCall& call : calls) {
        if (call.message == message) {
            matching.push_back(call);
        }
    }
    return matching;
}

INT_PTR RunDialog(DLGPROC procedure, LPARAM initParam, const std::function<void()>& script) {
    WatchForMessageBoxes();
    ++runNumber;
    boxes.clear();
    calls.clear();
    dialog = nullptr;
    testedProcedure = procedure;
    pendingScript = script;
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), "MAINDIALOG", nullptr,
                                           RecordingProcedure, initParam);
    pendingScript = nullptr;
    return result;
}

INT_PTR RunMainDialog(const std::function<void()>& script) {
    return RunDialog(MainDialogProc, 0, script);
}

HWND Dialog() {
    return dialog;
}

QDialog* DialogWidget() {
    return qobject_cast<QDialog*>(user32::WindowWidget(dialog));
}

QWidget* Item(int id) {
    return user32::WindowWidget(GetDlgItem(dialog, id));
}

QPushButton* Button(int id) {
    return qobject_cast<QPushButton*>(Item(id));
}

QComboBox* Combo(int id) {
    return qobject_cast<QComboBox*>(Item(id));
}

int FocusedId() {
    const HWND focused = user32::WindowOfWidget(QApplication::focusWidget());
    return focused == nullptr || focused == dialog ? 0 : user32::DialogItemId(focused);
}

void WriteConfiguration(const std::vector<std::string>& lines) {
    WCHAR program[4096];
    const DWORD length = GetModuleFileNameW(nullptr, program, 4096);
    const std::string path = ConfigurationPath(Utf8Of(std::u16string(program, length)));
    if (lines.empty()) {
        std::remove(path.c_str());
        return;
    }
    std::ofstream file(path, std::ios::out | std::ios::trunc | std::ios::binary);
    for (const std::string& line : lines) {
        file << line << '\n';
    }
}

void ClearParameters() {
    for (Parameter* parameter : ParameterList) {
        delete parameter;
    }
    ParameterList.clear();
}

QString Describe(const SeenMessageBox& box) {
    return QStringLiteral("[%1] \"%2\" icon %3").arg(box.caption, box.text).arg(box.icon);
}

}  // namespace harness
