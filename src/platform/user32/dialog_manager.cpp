#include "dialog_manager.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>

#include "posted_message.h"
#include "window.h"

namespace user32 {

namespace {

class ManagedDialog : public QDialog {
  public:
    ManagedDialog(HWND window, QWidget* owner, Qt::WindowFlags flags)
        : QDialog(owner, flags), window_(window) {
        qApp->installEventFilter(this);
    }
    ~ManagedDialog() override { qApp->removeEventFilter(this); }

  protected:
    bool event(QEvent* event) override {
        if (event->type() == PostedMessage::EventType()) {
            const auto* posted = static_cast<PostedMessage*>(event);
            DeliverMessage(posted->target, posted->message, posted->wParam, posted->lParam);
            return true;
        }
        return QDialog::event(event);
    }

    // The keys no control has taken.
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
                DeliverMessage(window_, WM_COMMAND, MAKEWPARAM(focused->id, BN_CLICKED),
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
        if (!watched->isWidgetType() || !BelongsHere(static_cast<QWidget*>(watched))) {
            return QDialog::eventFilter(watched, event);
        }
        auto* widget = static_cast<QWidget*>(watched);
        if (IsInput(event->type())) {
            // The platform takes posted messages before input: a Randomize
            // posted for F1 runs before an Escape typed right after it.
            QCoreApplication::sendPostedEvents(this, PostedMessage::EventType());
        }
        // F1 is a help request wherever the focus is in the dialog.
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
                DeliverMessage(window_, WM_HELP, 0, 0);
                return true;
            }
        }
        // A mnemonic clicks its push button at once. Qt's animated click
        // would drop every press that comes while it animates.
        if (event->type() == QEvent::Shortcut) {
            const HWND item = ItemOf(widget);
            if (item != nullptr && item->kind == WindowKind::PushButton &&
                !static_cast<QShortcutEvent*>(event)->isAmbiguous()) {
                static_cast<QAbstractButton*>(widget)->click();
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

}  // namespace

QDialog* NewManagedDialog(HWND dialog, QWidget* owner, Qt::WindowFlags flags) {
    return new ManagedDialog(dialog, owner, flags);
}

}  // namespace user32
