#include "control_creation.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "resource_file.h"
#include "window.h"

namespace user32 {

namespace {

// Style masks the stand-in reads that the program's windows.h has no use for.
constexpr DWORD kButtonTypeMask = 0x0000000FL;
constexpr DWORD kStaticTypeMask = 0x0000001FL;
constexpr DWORD kComboBoxTypeMask = 0x00000003L;
constexpr WORD kSelectionChange = CBN_SELCHANGE;

int MulDiv(int number, int numerator, int denominator) {
    // Rounds half away from zero, as the platform's MulDiv.
    const long long product = static_cast<long long>(number) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

QString FromUtf16(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

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

QWidget* NewPushButton(const QString& text, bool tabStop, HWND dialog, HWND handle,
                       QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    // Enter is the dialog's to handle, as on the platform.
    button->setAutoDefault(false);
    button->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
    QObject::connect(button, &QPushButton::clicked, button, [button, dialog, handle] {
        // A button pressed by its mnemonic takes the focus too, as one
        // clicked with the mouse.
        button->setFocus(Qt::ShortcutFocusReason);
        DeliverMessage(dialog, WM_COMMAND, MAKEWPARAM(handle->id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(handle));
    });
    return button;
}

QWidget* NewGroupBox(const QString& text, QWidget* parent) {
    auto* box = new QGroupBox(text, parent);
    box->setFocusPolicy(Qt::NoFocus);
    // The title breaks the frame's top line, as on the platform, rather than
    // standing above it.
    box->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px;"
        " margin-top: 0.5em; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 5px; padding: 0 2px; }"));
    return box;
}

}  // namespace

int DialogUnits::X(int units) const {
    return MulDiv(units, baseX, 4);
}

int DialogUnits::Y(int units) const {
    return MulDiv(units, baseY, 8);
}

DialogUnits UnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(alphabet / 26 + 1) / 2, metrics.height()};
}

QPixmap IconPixmap(WORD groupNumber, int size) {
    std::vector<BYTE> iconFile;
    if (!BuildIconFile(ProgramResourceEntries(), groupNumber, iconFile)) {
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

int IconSize() {
    return QApplication::style()->pixelMetric(QStyle::PM_LargeIconSize);
}

bool CreateControl(HWND dialog, const DialogItemTemplate& item, const DialogUnits& units,
                   std::string& problem) {
    QWidget* parent = dialog->widget;
    auto control = std::make_unique<HWND__>();
    control->id = item.id;
    control->dialog = dialog;
    const QString text = item.title.isNumber ? QString() : FromUtf16(item.title.name);
    const QRect area(units.X(item.x), units.Y(item.y), units.X(item.cx), units.Y(item.cy));
    const bool tabStop = (item.style & WS_TABSTOP) != 0;

    switch (PredefinedClass(item.windowClass)) {
        case kButtonClass: {
            const DWORD type = item.style & kButtonTypeMask;
            if (type == BS_PUSHBUTTON) {
                control->kind = WindowKind::PushButton;
                control->widget = NewPushButton(text, tabStop, dialog, control.get(), parent);
            } else if (type == BS_GROUPBOX) {
                control->kind = WindowKind::GroupBox;
                control->widget = NewGroupBox(text, parent);
            } else {
                problem = "this button style is not supported";
                return false;
            }
            control->widget->setGeometry(area);
            break;
        }
        case kComboBoxClass: {
            if ((item.style & kComboBoxTypeMask) != CBS_DROPDOWNLIST) {
                problem = "a combo box other than a drop-down list is not supported";
                return false;
            }
            auto* list = new DropDownList(area.height(), parent);
            list->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
            // The template's height is the list's; the box is as high as its
            // font needs.
            list->setGeometry(area.x(), area.y(), area.width(), list->sizeHint().height());
            const HWND handle = control.get();
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
                problem = "a static control other than an icon is not supported";
                return false;
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
            problem = "this window class is not supported";
            return false;
    }

    control->widget->setVisible((item.style & WS_VISIBLE) != 0);
    control->widget->setEnabled((item.style & WS_DISABLED) == 0);
    control->widget->setObjectName(QStringLiteral("item%1").arg(item.id));
    dialog->items.push_back(std::move(control));
    return true;
}

}  // namespace user32
