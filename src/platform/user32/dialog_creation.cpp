// Modal dialogs built from the dialog templates in the program's resources
// and driven by their dialog procedures, and the loop that runs them.
#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <string>

#include "control_creation.h"
#include "diagnostics/diagnostics.h"
#include "dialog_manager.h"
#include "dialog_template.h"
#include "kernel32/main_thread_work.h"
#include "resource_file.h"
#include "window.h"

namespace user32 {

namespace {

// The program would go on without its dialog and end as if it had run: this
// is said whether diagnostics are on or not.
void Complain(const std::string& problem) {
    std::fprintf(stderr, "user32: %s\n", problem.c_str());
}

std::string TemplateName(LPCSTR name) {
    return IS_INTRESOURCE(name) ? "#" + std::to_string(LOWORD(name)) : std::string(name);
}

// The template names a Windows font ("MS Sans Serif"); the desktop's own
// sans-serif font stands for it, at the template's size.
QFont DialogFont(const DialogTemplate& dialog) {
    QFont font = QApplication::font();
    if ((dialog.style & DS_SETFONT) && dialog.pointSize > 0) {
        font.setPointSize(dialog.pointSize);
    }
    return font;
}

Qt::WindowFlags WindowFlagsOf(DWORD style, bool owned) {
    Qt::WindowFlags flags = (owned ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint;
    if (style & WS_CAPTION) {
        flags |= Qt::WindowTitleHint;
    }
    if (style & WS_SYSMENU) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    }
    if (style & WS_MINIMIZEBOX) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    if (style & WS_MAXIMIZEBOX) {
        flags |= Qt::WindowMaximizeButtonHint;
    }
    return flags;
}

const ResourceEntry* FindTemplate(LPCSTR templateName) {
    const std::vector<ResourceEntry>& resources = ProgramResourceEntries();
    return IS_INTRESOURCE(templateName)
               ? FindEntry(resources, kDialogResource, LOWORD(templateName))
               : FindEntry(resources, kDialogResource, templateName);
}

bool ReadTemplate(LPCSTR templateName, DialogTemplate& layout) {
    const std::string name = TemplateName(templateName);
    const ResourceEntry* entry = FindTemplate(templateName);
    if (entry == nullptr) {
        Complain(ProgramResourceEntries().empty()
                     ? "the program's resources are damaged"
                     : "no dialog \"" + name + "\" in the program's resources");
        return false;
    }
    if (!ReadDialogTemplate(entry->data, entry->size, layout)) {
        Complain("dialog \"" + name + "\" is not a dialog template that can be shown");
        return false;
    }
    if (!(layout.menu.isNumber ? layout.menu.number == 0 : layout.menu.name.empty()) ||
        !(layout.windowClass.isNumber ? layout.windowClass.number == 0
                                      : layout.windowClass.name.empty())) {
        Complain("dialog \"" + name + "\": menus and window classes are not supported");
        return false;
    }
    Diagnose("user32", "dialog \"%s\": template of %zu bytes, %d x %d units, %zu controls",
             name.c_str(), entry->size, layout.cx, layout.cy, layout.items.size());
    return true;
}

// The window's inside is placed; the desktop's frame goes round it.
void Place(QWidget* widget, const DialogTemplate& layout, const DialogUnits& units,
           QWidget* ownerWidget) {
    const QSize size = widget->size();
    QScreen* screen =
        ownerWidget != nullptr ? ownerWidget->screen() : QGuiApplication::primaryScreen();
    if (layout.style & DS_CENTER) {
        const QRect area = screen->availableGeometry();
        widget->setGeometry(QRect(area.x() + (area.width() - size.width()) / 2,
                                  area.y() + (area.height() - size.height()) / 2, size.width(),
                                  size.height()));
    } else {
        const QPoint origin = ownerWidget != nullptr ? ownerWidget->geometry().topLeft()
                                                     : screen->availableGeometry().topLeft();
        widget->setGeometry(QRect(origin + QPoint(units.X(layout.x), units.Y(layout.y)), size));
    }
}

void DestroyDialog(HWND dialog) {
    for (const auto& item : dialog->items) {
        UnregisterWindow(item.get());
    }
    UnregisterWindow(dialog);
    delete dialog->widget.data();
    delete dialog;
}

}  // namespace

HWND CreateDialogWindow(LPCSTR templateName, HWND owner, DLGPROC procedure) {
    DialogTemplate layout;
    if (!ReadTemplate(templateName, layout)) {
        return nullptr;
    }
    QWidget* ownerWidget = LiveWindow(owner) != nullptr ? owner->widget->window() : nullptr;
    auto* dialog = new HWND__;
    dialog->kind = WindowKind::Dialog;
    dialog->dialog = dialog;
    dialog->procedure = procedure;
    QDialog* widget =
        NewManagedDialog(dialog, ownerWidget, WindowFlagsOf(layout.style, ownerWidget != nullptr));
    dialog->widget = widget;
    widget->setWindowTitle(
        QString::fromUtf16(layout.title.data(), static_cast<qsizetype>(layout.title.size())));
    widget->setFont(DialogFont(layout));
    const DialogUnits units = UnitsOf(widget->font());
    // Dialogs of this kind have no sizing border.
    widget->setFixedSize(units.X(layout.cx), units.Y(layout.cy));

    for (size_t i = 0; i < layout.items.size(); ++i) {
        std::string problem;
        if (!CreateControl(dialog, layout.items[i], units, problem)) {
            Complain("dialog \"" + TemplateName(templateName) + "\", item " +
                     std::to_string(i + 1) + ": " + problem);
            delete widget;
            delete dialog;
            return nullptr;
        }
    }
    // The first control is on top and the tab order is the template's.
    QWidget* previous = nullptr;
    for (const auto& item : dialog->items) {
        item->widget->lower();
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, item->widget);
        }
        previous = item->widget;
    }
    Place(widget, layout, units, ownerWidget);
    // Desktops show a program by its first icon group.
    WORD programIcon = 0;
    if (FirstIconGroup(ProgramResourceEntries(), programIcon)) {
        widget->setWindowIcon(QIcon(IconPixmap(programIcon, IconSize())));
    }

    RegisterWindow(dialog);
    for (const auto& item : dialog->items) {
        RegisterWindow(item.get());
    }
    return dialog;
}

void WatchMainThreadWork() {
    static QPointer<QObject> watcher;
    if (watcher != nullptr) {
        return;
    }
    const int descriptor = MainThreadWorkDescriptor();
    if (descriptor >= 0) {
        auto* notifier =
            new QSocketNotifier(static_cast<qintptr>(descriptor), QSocketNotifier::Read, qApp);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                         [] { RunMainThreadWork(); });
        watcher = notifier;
        return;
    }
    // Without a wake-up the loop looks for work often enough that a lost
    // output is noticed within a fraction of a second.
    Diagnose("user32", "main thread work: no wake-up descriptor, looking every 20 ms");
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [] { RunMainThreadWork(); });
    timer->start(20);
    watcher = timer;
}

INT_PTR RunDialog(HWND dialog, LPARAM initParam) {
    auto* widget = static_cast<QDialog*>(dialog->widget.data());
    HWND firstTabStop = nullptr;
    for (const auto& item : dialog->items) {
        if (item->widget->focusPolicy() & Qt::TabFocus && !item->widget->isHidden() &&
            item->widget->isEnabled()) {
            firstTabStop = item.get();
            break;
        }
    }
    WatchMainThreadWork();
    // Before the dialog is shown; a message box shown now belongs to it and
    // comes first.
    const LRESULT setFocus =
        DeliverMessage(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), initParam);
    if (!dialog->ended) {
        if (setFocus && firstTabStop != nullptr) {
            firstTabStop->widget->setFocus();
        }
        widget->exec();
    }
    DeliverMessage(dialog, WM_DESTROY, 0, 0);
    const INT_PTR result = dialog->ended ? dialog->result : 0;
    DestroyDialog(dialog);
    return result;
}

}  // namespace user32
