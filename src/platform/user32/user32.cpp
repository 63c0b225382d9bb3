// The user32 functions the program calls, over Qt Widgets. Texts are the
// process's 8-bit encoding (UTF-8) both ways.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QMessageBox>

#include <cstdarg>
#include <cstdio>
#include <memory>

#include "application.h"
#include "diagnostics/diagnostics.h"
#include "window.h"

namespace {

QString Text(LPCSTR text) {
    return QString::fromLocal8Bit(text != nullptr ? text : "");
}

}  // namespace

INT_PTR WINAPI DialogBoxParamA(HINSTANCE /*instance*/, LPCSTR templateName, HWND owner,
                               DLGPROC dialogProc, LPARAM initParam) {
    std::unique_ptr<QApplication> application;
    if (QCoreApplication::instance() == nullptr) {
        application = user32::StartApplication();
    } else if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        Diagnose("user32", "DialogBoxParamA: the process's application has no windows");
        return -1;
    }
    const HWND dialog = user32::CreateDialogWindow(templateName, owner, dialogProc);
    if (dialog == nullptr) {
        return -1;
    }
    return user32::RunDialog(dialog, initParam);
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    if (user32::LiveWindow(dialog) == nullptr || dialog->kind != WindowKind::Dialog) {
        return FALSE;
    }
    dialog->ended = true;
    dialog->result = result;
    // Leaves the modal loop once the current message has been handled; the
    // dialog is destroyed after that.
    static_cast<QDialog*>(dialog->widget.data())->done(0);
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int itemId) {
    return user32::DialogItem(dialog, itemId);
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return user32::DeliverMessage(window, message, wParam, lParam);
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int itemId, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
    return user32::DeliverMessage(user32::DialogItem(dialog, itemId), message, wParam, lParam);
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return user32::PostWindowMessage(window, message, wParam, lParam) ? TRUE : FALSE;
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int itemId, LPCSTR text) {
    const HWND item = user32::DialogItem(dialog, itemId);
    if (item == nullptr) {
        return FALSE;
    }
    switch (item->kind) {
        case WindowKind::PushButton:
            static_cast<QAbstractButton*>(item->widget.data())->setText(Text(text));
            return TRUE;
        case WindowKind::GroupBox:
            static_cast<QGroupBox*>(item->widget.data())->setTitle(Text(text));
            return TRUE;
        default:
            return FALSE;
    }
}

BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
    if (user32::LiveWindow(window) == nullptr) {
        return FALSE;
    }
    const bool wasDisabled = window->widget->testAttribute(Qt::WA_ForceDisabled);
    window->widget->setEnabled(enable != FALSE);
    return wasDisabled ? TRUE : FALSE;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        Diagnose("user32", "MessageBoxA before any dialog, not shown: %s",
                 text != nullptr ? text : "");
        return 0;
    }
    user32::WatchMainThreadWork();
    const UINT kIconMask = 0xF0;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & kIconMask) {
        case MB_ICONERROR:
            icon = QMessageBox::Critical;
            break;
        case MB_ICONINFORMATION:
            icon = QMessageBox::Information;
            break;
        default:
            break;
    }
    QWidget* parent = user32::LiveWindow(owner) != nullptr ? owner->widget->window() : nullptr;
    // The platform's caption when none is given.
    QMessageBox box(icon, caption != nullptr ? Text(caption) : QStringLiteral("Error"), Text(text),
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    // As the platform does when a message box goes: its owner is active again.
    if (parent != nullptr && parent->isVisible()) {
        parent->activateWindow();
    }
    return IDOK;
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    // The platform's buffer limit.
    const int kLimit = 1024;
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(buffer, kLimit, format, arguments);
    va_end(arguments);
    if (length < 0) {
        Diagnose("user32", "wsprintfA: cannot format \"%s\"", format);
        buffer[0] = '\0';
        return 0;
    }
    return length < kLimit ? length : kLimit - 1;
}
