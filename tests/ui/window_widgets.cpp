#include "window_widgets.h"

#include "window.h"

namespace user32 {

QWidget* WindowWidget(HWND window) {
    return LiveWindow(window) != nullptr ? window->widget.data() : nullptr;
}

HWND WindowOfWidget(const QWidget* widget) {
    if (widget == nullptr) {
        return nullptr;
    }
    const QWidget* top = widget->window();
    HWND dialog = nullptr;
    // Every window of a dialog is reached from the dialog's own.
    for (HWND candidate : LiveWindows()) {
        if (candidate->kind == WindowKind::Dialog && candidate->widget == top) {
            dialog = candidate;
        }
    }
    if (dialog == nullptr) {
        return nullptr;
    }
    if (dialog->widget == widget) {
        return dialog;
    }
    for (const auto& item : dialog->items) {
        if (item->widget == widget) {
            return item.get();
        }
    }
    return nullptr;
}

std::vector<HWND> DialogItems(HWND dialog) {
    std::vector<HWND> items;
    if (LiveWindow(dialog) != nullptr) {
        for (const auto& item : dialog->items) {
            items.push_back(item.get());
        }
    }
    return items;
}

int DialogItemId(HWND item) {
    return LiveWindow(item) != nullptr ? item->id : 0;
}

}  // namespace user32
