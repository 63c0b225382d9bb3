// Modal dialogs over Qt Widgets, built from the dialog templates in the
// program's resources and driven by their dialog procedures.
#include <QAbstractItemView>
#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <cstdio>
#include <string>

#include "dialog_template.h"
#include "program_resources.h"
#include "resource_file.h"
#include "window.h"

namespace user32 {

namespace {

// Style masks the stand-in reads that the program's windows.h has no use for.
constexpr DWORD kButtonTypeMask = 0x0000000FL;
constexpr DWORD kStaticTypeMask = 0x0000001FL;
constexpr DWORD kComboBoxTypeMask = 0x00000003L;
constexpr WORD kSelectionChange = CBN_SELCHANGE;
constexpr WORD kClicked = 0;

void Complain(const std::string& problem) {
    std::fprintf(stderr, "user32: %s\n", problem.c_str());
}

const std::vector<ResourceEntry>& ProgramResources() {
    static const std::vector<ResourceEntry> entries = [] {
        std::vector<ResourceEntry> read;
        if (!ReadResourceFile(ProgramResourceData(), ProgramResourceSize(), read)) {
            Complain("the program's resources are damaged");
        }
        return read;
    }();
    return entries;
}

std::string TemplateName(LPCSTR name) {
    return IS_INTRESOURCE(name) ? "#" + std::to_string(LOWORD(name)) : std::string(name);
}

QString FromUtf16(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

int MulDiv(int number, int numerator, int denominator) {
    // Rounds half away from zero, as the platform's MulDiv.
    const long long product = static_cast<long long>(number) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

// Dialog units: a quarter of the dialog font's average character width
// across, an eighth of its height down, the width measured as the platform
// does over the 52 letters.
struct DialogUnits {
    int baseX = 0;
    int baseY = 0;
    int X(int units) const { return MulDiv(units, baseX, 4); }
    int Y(int units) const { return MulDiv(units, baseY, 8); }
};

DialogUnits UnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(alphabet / 26 + 1) / 2, metrics.height()};
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

QPixmap IconPixmap(WORD groupNumber, int size) {
    std::vector<BYTE> iconFile;
    if (!BuildIconFile(ProgramResources(), groupNumber, iconFile)) {
        return {};
    }
    QByteArray bytes(reinterpret_cast<const char*>(iconFile.data()),
                     static_cast<qsizetype>(iconFile.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    QIcon icon;
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (reader.jumpToImage(i)) {
            const QImage image = reader.read();
            if (!image.isNull()) {
                icon.addPixmap(QPixmap::fromImage(image));
            }
        }
    }
    return icon.pixmap(QSize(size, size));
}

// The platform's icon size, which icon statics take whatever the template
// says.
int IconSize() {
    return QApplication::style()->pixelMetric(QStyle::PM_LargeIconSize);
}

class PostedMessage : public QEvent {
  public:
    PostedMessage(HWND target, UINT message, WPARAM wParam, LPARAM lParam)
        : QEvent(EventType()), target(target), message(message), wParam(wParam), lParam(lParam) {}

    static QEvent::Type EventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    const HWND target;
    const UINT message;
    const WPARAM wParam;
    const LPARAM lParam;
};

// A drop-down list whose open list fits the height the template gives for
// the box together with its list, in whole items.
class DropDownList : public QComboBox {
  public:
    DropDownList(int droppedHeight, QWidget* parent)
        : QComboBox(parent), droppedHeight_(droppedHeight) {
        // The list drops below the box and honours maxVisibleItems, rather
        // than popping up over it with every item.
        setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    }

    void showPopup() override {
        if (count() > 0) {
            const int row = qMax(1, view()->sizeHintForRow(0));
            const int frame = 2 * view()->frameWidth();
            setMaxVisibleItems(qMax(1, (droppedHeight_ - height() - frame) / row));
        }
        QComboBox::showPopup();
    }

  private:
    const int droppedHeight_;
};

class DialogWidget : public QDialog {
  public:
    DialogWidget(HWND window, QWidget* owner, Qt::WindowFlags flags)
        : QDialog(owner, flags), window_(window) {
        qApp->installEventFilter(this);
    }
    ~DialogWidget() override { qApp->removeEventFilter(this); }

  protected:
    bool event(QEvent* event) override {
        if (event->type() == PostedMessage::EventType()) {
            const auto* posted = static_cast<PostedMessage*>(event);
            DeliverMessage(posted->target, posted->message, posted->wParam, posted->lParam);
            return true;
        }
        return QDialog::event(event);
    }

    // The dialog manager's keys, for keys no control has taken.
    void keyPressEvent(QKeyEvent* event) override {
        const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (plain && event->key() == Qt::Key_Escape) {
            DeliverMessage(window_, WM_COMMAND, IDCANCEL,
                           reinterpret_cast<LPARAM>(DialogItem(window_, IDCANCEL)));
            return;
        }
        if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
            // A push button with the focus is the default button for now.
            const HWND focused = ItemOf(focusWidget());
            if (focused != nullptr && focused->kind == WindowKind::PushButton) {
                DeliverMessage(window_, WM_COMMAND, MAKEWPARAM(focused->id, kClicked),
                               reinterpret_cast<LPARAM>(focused));
                return;
            }
            // With no default push button, Enter is IDOK.
            DeliverMessage(window_, WM_COMMAND, IDOK,
                           reinterpret_cast<LPARAM>(DialogItem(window_, IDOK)));
            return;
        }
        QWidget::keyPressEvent(event);
    }

    // The close box, as the platform's: WM_CLOSE, which the default dialog
    // procedure turns into IDCANCEL.
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        DeliverMessage(window_, WM_CLOSE, 0, 0);
    }

    // Sees the input for every widget, the dialog's open drop-down lists
    // included.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (IsInput(event->type()) && watched->isWidgetType() &&
            BelongsHere(static_cast<QWidget*>(watched))) {
            // The platform takes posted messages before input: a Randomize
            // posted for F1 runs before an Escape typed right after it.
            QCoreApplication::sendPostedEvents(this, PostedMessage::EventType());
        }
        // F1 is a help request wherever the focus is in the dialog.
        if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier &&
                BelongsHere(static_cast<QWidget*>(watched))) {
                DeliverMessage(window_, WM_HELP, 0, 0);
                return true;
            }
        }
        return QDialog::eventFilter(watched, event);
    }

  private:
    static bool IsInput(QEvent::Type type) {
        switch (type) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Close:
                return true;
            default:
                return false;
        }
    }

    HWND ItemOf(QWidget* widget) const {
        for (const auto& item : window_->items) {
            if (widget != nullptr && item->widget == widget) {
                return item.get();
            }
        }
        return nullptr;
    }

    bool BelongsHere(QWidget* widget) const {
        QWidget* window = widget->window();
        while (window != this && window->windowType() == Qt::Popup &&
               window->parentWidget() != nullptr) {
            window = window->parentWidget()->window();
        }
        return window == this;
    }

    const HWND window_;
};

bool Unsupported(const std::string& templateName, size_t index, const char* what) {
    Complain("dialog \"" + templateName + "\", item " + std::to_string(index + 1) + ": " + what +
             " is not supported");
    return false;
}

// Makes the control's widget; false for a control the stand-in cannot show.
bool CreateItem(HWND dialog, const DialogItemTemplate& item, const DialogUnits& units,
                const std::string& templateName, size_t index) {
    QWidget* parent = dialog->widget;
    auto control = std::make_unique<HWND__>();
    control->id = item.id;
    control->dialog = dialog;
    const QString text = item.title.isNumber ? QString() : FromUtf16(item.title.name);
    const QRect area(units.X(item.x), units.Y(item.y), units.X(item.cx), units.Y(item.cy));
    const bool tabStop = (item.style & WS_TABSTOP) != 0;
    const HWND handle = control.get();

    switch (PredefinedClass(item.windowClass)) {
        case kButtonClass: {
            const DWORD type = item.style & kButtonTypeMask;
            if (type == BS_PUSHBUTTON) {
                auto* button = new QPushButton(text, parent);
                // Enter is the dialog's to handle, as on the platform.
                button->setAutoDefault(false);
                button->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
                QObject::connect(button, &QPushButton::clicked, button, [button, dialog, handle] {
                    // A button pressed by its mnemonic takes the focus too,
                    // as one clicked with the mouse.
                    button->setFocus(Qt::ShortcutFocusReason);
                    DeliverMessage(dialog, WM_COMMAND, MAKEWPARAM(handle->id, kClicked),
                                   reinterpret_cast<LPARAM>(handle));
                });
                button->setGeometry(area);
                control->kind = WindowKind::PushButton;
                control->widget = button;
            } else if (type == BS_GROUPBOX) {
                auto* box = new QGroupBox(text, parent);
                box->setFocusPolicy(Qt::NoFocus);
                // The title breaks the frame's top line, as on the platform,
                // rather than standing above it.
                box->setStyleSheet(QStringLiteral(
                    "QGroupBox { border: 1px solid palette(mid); border-radius: 2px;"
                    " margin-top: 0.5em; }"
                    "QGroupBox::title { subcontrol-origin: margin; left: 5px; padding: 0 2px; }"));
                box->setGeometry(area);
                control->kind = WindowKind::GroupBox;
                control->widget = box;
            } else {
                return Unsupported(templateName, index, "this button style");
            }
            break;
        }
        case kComboBoxClass: {
            if ((item.style & kComboBoxTypeMask) != CBS_DROPDOWNLIST) {
                return Unsupported(templateName, index, "a combo box other than a drop-down list");
            }
            auto* list = new DropDownList(area.height(), parent);
            list->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
            // The template's height is the list's; the box is as high as its
            // font needs.
            list->setGeometry(area.x(), area.y(), area.width(), list->sizeHint().height());
            QObject::connect(list, &QComboBox::activated, list, [dialog, handle] {
                DeliverMessage(dialog, WM_COMMAND, MAKEWPARAM(handle->id, kSelectionChange),
                               reinterpret_cast<LPARAM>(handle));
            });
            control->kind = WindowKind::ComboBox;
            control->widget = list;
            break;
        }
        case kStaticClass: {
            if ((item.style & kStaticTypeMask) != SS_ICON || !item.title.isNumber) {
                return Unsupported(templateName, index, "a static control other than an icon");
            }
            auto* label = new QLabel(parent);
            label->setPixmap(IconPixmap(item.title.number, IconSize()));
            // An icon control takes the icon's size.
            label->setGeometry(area.x(), area.y(), IconSize(), IconSize());
            control->kind = WindowKind::IconStatic;
            control->widget = label;
            break;
        }
        default:
            return Unsupported(templateName, index, "this window class");
    }

    control->widget->setVisible((item.style & WS_VISIBLE) != 0);
    control->widget->setEnabled((item.style & WS_DISABLED) == 0);
    control->widget->setObjectName(QStringLiteral("item%1").arg(item.id));
    dialog->items.push_back(std::move(control));
    return true;
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

void DestroyDialog(HWND dialog) {
    for (const auto& item : dialog->items) {
        UnregisterWindow(item.get());
    }
    UnregisterWindow(dialog);
    delete dialog->widget.data();
    delete dialog;
}

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
        return false;
    }
    QCoreApplication::postEvent(window->dialog->widget,
                                new PostedMessage(window, message, wParam, lParam));
    return true;
}

HWND CreateDialogWindow(LPCSTR templateName, HWND owner, DLGPROC procedure) {
    const std::string name = TemplateName(templateName);
    const std::vector<ResourceEntry>& resources = ProgramResources();
    const ResourceEntry* entry = IS_INTRESOURCE(templateName)
                                     ? FindEntry(resources, kDialogResource, LOWORD(templateName))
                                     : FindEntry(resources, kDialogResource, templateName);
    if (entry == nullptr) {
        Complain("no dialog \"" + name + "\" in the program's resources");
        return nullptr;
    }
    DialogTemplate layout;
    if (!ReadDialogTemplate(entry->data, entry->size, layout)) {
        Complain("dialog \"" + name + "\" is not a dialog template that can be shown");
        return nullptr;
    }
    if (!(layout.menu.isNumber ? layout.menu.number == 0 : layout.menu.name.empty()) ||
        !(layout.windowClass.isNumber ? layout.windowClass.number == 0
                                      : layout.windowClass.name.empty())) {
        Complain("dialog \"" + name + "\": menus and window classes are not supported");
        return nullptr;
    }

    QWidget* ownerWidget = LiveWindow(owner) != nullptr ? owner->widget->window() : nullptr;
    auto* dialog = new HWND__;
    dialog->kind = WindowKind::Dialog;
    dialog->dialog = dialog;
    dialog->procedure = procedure;
    auto* widget =
        new DialogWidget(dialog, ownerWidget, WindowFlagsOf(layout.style, ownerWidget != nullptr));
    dialog->widget = widget;
    widget->setWindowTitle(FromUtf16(layout.title));
    widget->setFont(DialogFont(layout));
    const DialogUnits units = UnitsOf(widget->font());
    // Dialogs of this kind have no sizing border.
    const QSize size(units.X(layout.cx), units.Y(layout.cy));
    widget->setFixedSize(size);

    for (size_t i = 0; i < layout.items.size(); ++i) {
        if (!CreateItem(dialog, layout.items[i], units, name, i)) {
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

    QScreen* screen =
        ownerWidget != nullptr ? ownerWidget->screen() : QGuiApplication::primaryScreen();
    // The window's inside is placed; the desktop's frame goes round it.
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
    // Desktops show a program by its first icon group.
    WORD programIcon = 0;
    if (FirstIconGroup(resources, programIcon)) {
        widget->setWindowIcon(QIcon(IconPixmap(programIcon, IconSize())));
    }

    RegisterWindow(dialog);
    for (const auto& item : dialog->items) {
        RegisterWindow(item.get());
    }
    return dialog;
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
