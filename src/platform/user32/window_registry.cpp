// The windows that exist, and how a message reaches one: sent at once to
// the dialog procedure or the control, or posted through the event queue of
// the dialog that owns the window.
#include <QCoreApplication>

#include "diagnostics/diagnostics.h"
#include "posted_message.h"
#include "window.h"

namespace user32 {

namespace {

std::set<HWND>& Registry() {
    static std::set<HWND> windows;
    return windows;
}

}  // namespace

const std::set<HWND>& LiveWindows() {
    return Registry();
}

HWND LiveWindow(HWND window) {
    return window != nullptr && LiveWindows().count(window) != 0 ? window : nullptr;
}

void RegisterWindow(HWND window) {
    Registry().insert(window);
}

void UnregisterWindow(HWND window) {
    Registry().erase(window);
}

HWND DialogItem(HWND dialog, int id) {
    if (LiveWindow(dialog) == nullptr || dialog->kind != WindowKind::Dialog) {
        return nullptr;
    }
    for (const auto& item : dialog->items) {
        if (item->id == id) {
            return item.get();
        }
    }
    return nullptr;
}

LRESULT DeliverMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (LiveWindow(window) == nullptr) {
        Diagnose("user32", "message %#x sent to a window that does not exist", message);
        return 0;
    }
    switch (window->kind) {
        case WindowKind::Dialog: {
            const INT_PTR handled = window->procedure != nullptr
                                        ? window->procedure(window, message, wParam, lParam)
                                        : FALSE;
            if (!handled && message == WM_CLOSE && LiveWindow(window) != nullptr) {
                // The default dialog procedure: closing is cancelling, unless
                // the Cancel button is disabled.
                const HWND cancel = DialogItem(window, IDCANCEL);
                if (cancel == nullptr || cancel->widget->isEnabled()) {
                    PostWindowMessage(window, WM_COMMAND, IDCANCEL,
                                      reinterpret_cast<LPARAM>(cancel));
                }
            }
            return handled;
        }
        case WindowKind::ComboBox:
            return ComboBoxMessage(window, message, wParam, lParam);
        default:
            return 0;
    }
}

bool PostWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (LiveWindow(window) == nullptr) {
        Diagnose("user32", "message %#x posted to a window that does not exist", message);
        return false;
    }
    QCoreApplication::postEvent(window->dialog->widget,
                                new PostedMessage(window, message, wParam, lParam));
    return true;
}

}  // namespace user32
