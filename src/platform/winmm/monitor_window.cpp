#include "monitor_window.h"

#include "diagnostics/diagnostics.h"

#include <QApplication>
#include <QFontDatabase>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QThread>

namespace winmm {

namespace {

// Enough for a long session; older lines go first.
constexpr int kMostLines = 10000;

// Written on the Qt application's thread only.
QPointer<QPlainTextEdit> window;

}  // namespace

void ShowMonitorWindow() {
    QApplication* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (application == nullptr) {
        Diagnose("winmm", "no Qt application: the monitor shows no window");
        return;
    }
    if (QThread::currentThread() != application->thread()) {
        QMetaObject::invokeMethod(
            application, [] { ShowMonitorWindow(); }, Qt::QueuedConnection);
        return;
    }
    if (window.isNull()) {
        window = new QPlainTextEdit;
        window->setWindowTitle(QStringLiteral("Velmora Monitor"));
        window->setReadOnly(true);
        window->setMaximumBlockCount(kMostLines);
        window->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        window->resize(520, 320);
        // Closing it must not end the program; the dialog does that.
        window->setAttribute(Qt::WA_QuitOnClose, false);
    }
    window->show();
    window->raise();
}

void AddMonitorWindowLine(const std::string& line) {
    QPlainTextEdit* target = window.data();
    if (target == nullptr) {
        return;
    }
    const QString text = QString::fromStdString(line);
    if (QThread::currentThread() == target->thread()) {
        target->appendPlainText(text);
    } else {
        QMetaObject::invokeMethod(
            target, [target, text] { target->appendPlainText(text); }, Qt::QueuedConnection);
    }
}

}  // namespace winmm
