// The dialog as the template "MAINDIALOG" describes it: window, controls,
// texts, layout in dialog units, tab order and icons.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTest>

#include "dialog_harness.h"
#include "fake_winmm.h"
#include "resource.h"
#include "template_test.h"
#include "window_widgets.h"

namespace {

// The platform's dialog base units for a font.
struct BaseUnits {
    int x;
    int y;
};

BaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return {(alphabet / 26 + 1) / 2, metrics.height()};
}

int Round(int units, int base, int divisor) {
    return (units * base + divisor / 2) / divisor;
}

QString WithoutMnemonic(QString text) {
    return text.remove(QLatin1Char('&'));
}

struct ExpectedItem {
    int id;
    const char* className;
    const char* text;
    int x, y, cx, cy;
    int icon;
};

const ExpectedItem kTemplate[] = {
    {IDC_OPEN_BUTTON, "QPushButton", "&Open MIDI", 184, 8, 58, 14, 0},
    {IDC_RANDOMIZE_BUTTON, "QPushButton", "&Randomize (F1)", 184, 25, 58, 14, 0},
    {IDC_ABOUT_BUTTON, "QPushButton", "&About", 184, 42, 58, 14, 0},
    {IDCANCEL, "QPushButton", "&Quit", 184, 59, 58, 14, 0},
    {IDC_OUTPUT_COMBO, "QComboBox", "", 38, 20, 130, 74, 0},
    {IDC_CHANNEL_COMBO, "QComboBox", "", 38, 46, 130, 67, 0},
    {-1, "QGroupBox", "MIDI Output / Channel", 3, 3, 175, 70, 0},
    {-1, "QLabel", "", 10, 17, 20, 20, IDI_OUTPUT_ICON},
    {-1, "QLabel", "", 9, 44, 20, 20, IDI_CHANNEL_ICON},
};

QString TextOf(QWidget* widget) {
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        return button->text();
    }
    if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        return box->title();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    return QString();
}

QImage ResourceIcon(int id) {
    const QString file =
        id == IDI_OUTPUT_ICON ? QStringLiteral("output.ico") : QStringLiteral("channel.ico");
    return QImage(QStringLiteral(VELMORA_RES_DIR "/") + file)
        .convertToFormat(QImage::Format_ARGB32);
}

void UseDevices(int count) {
    std::vector<FakeDevice> devices;
    for (int i = 0; i < count; ++i) {
        devices.push_back({"Device " + std::to_string(i)});
    }
    ResetFakeMidi(devices);
}

}  // namespace

// The program never frees its parameters; the tests do, between runs.
void DialogTemplateTest::cleanup() {
    harness::ClearParameters();
}

void DialogTemplateTest::init() {
    harness::ClearParameters();
    harness::WriteConfiguration({"Cutoff 74 20 127"});
    UseDevices(3);
}

void DialogTemplateTest::windowFromTemplate() {
    harness::RunMainDialog([] {
        QDialog* dialog = harness::DialogWidget();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Velmora "));
        // "MS Sans Serif" 8 point is the desktop's own font at 8 point.
        QCOMPARE(dialog->font().family(), QApplication::font().family());
        QCOMPARE(dialog->font().pointSize(), 8);
        const BaseUnits units = BaseUnitsOf(dialog->font());
        const QSize size(Round(246, units.x, 4), Round(78, units.y, 8));
        QCOMPARE(dialog->size(), size);
        // Not resizable.
        QCOMPARE(dialog->minimumSize(), size);
        QCOMPARE(dialog->maximumSize(), size);
        const Qt::WindowFlags flags = dialog->windowFlags();
        QVERIFY(flags & Qt::WindowTitleHint);
        QVERIFY(flags & Qt::WindowSystemMenuHint);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        // Centred on the screen.
        const QPoint centre = dialog->screen()->availableGeometry().center();
        const QPoint offset = dialog->geometry().center() - centre;
        QVERIFY2(
            qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1,
            qPrintable(
                QStringLiteral("dialog centre is off by %1, %2").arg(offset.x()).arg(offset.y())));
        QVERIFY(!dialog->windowIcon().isNull());
    });
}

void DialogTemplateTest::controlsInTemplateOrder() {
    harness::RunMainDialog([] {
        QDialog* dialog = harness::DialogWidget();
        const BaseUnits units = BaseUnitsOf(dialog->font());
        const std::vector<HWND> items = user32::DialogItems(harness::Dialog());
        QCOMPARE(items.size(), std::size(kTemplate));
        for (size_t i = 0; i < items.size(); ++i) {
            const ExpectedItem& expected = kTemplate[i];
            QWidget* widget = user32::WindowWidget(items[i]);
            const QString where = QStringLiteral("item %1 (%2 \"%3\")")
                                      .arg(i + 1)
                                      .arg(expected.className, expected.text);
            QVERIFY2(widget != nullptr, qPrintable(where));
            QVERIFY2(widget->isVisible(), qPrintable(where));
            QVERIFY2(widget->isEnabled(), qPrintable(where));
            QCOMPARE(user32::DialogItemId(items[i]), expected.id);
            QVERIFY2(widget->inherits(expected.className),
                     qPrintable(where + " is a " + widget->metaObject()->className()));
            QCOMPARE(TextOf(widget), QString::fromUtf8(expected.text));
            QCOMPARE(widget->x(), Round(expected.x, units.x, 4));
            QCOMPARE(widget->y(), Round(expected.y, units.y, 8));
            if (expected.icon != 0) {
                // An icon control takes the icon's size: 32 x 32.
                QCOMPARE(widget->size(), QSize(32, 32));
                const QPixmap pixmap = static_cast<QLabel*>(widget)->pixmap();
                QCOMPARE(pixmap.toImage().convertToFormat(QImage::Format_ARGB32),
                         ResourceIcon(expected.icon));
            } else if (qobject_cast<QComboBox*>(widget) != nullptr) {
                // The template gives the height with the list open.
                QCOMPARE(widget->width(), Round(expected.cx, units.x, 4));
                QVERIFY2(widget->height() < Round(expected.cy, units.y, 8) / 2, qPrintable(where));
                QVERIFY2(!static_cast<QComboBox*>(widget)->isEditable(), qPrintable(where));
            } else {
                QCOMPARE(widget->size(),
                         QSize(Round(expected.cx, units.x, 4), Round(expected.cy, units.y, 8)));
            }
            if (auto* button = qobject_cast<QPushButton*>(widget)) {
                QVERIFY2(!button->isDefault() && !button->autoDefault(), qPrintable(where));
            }
        }
    });
}

void DialogTemplateTest::controlsOnTopOfTheGroupBox() {
    // The group box comes after the lists in the template, so it lies below
    // them: a click on a list reaches the list.
    harness::RunMainDialog([] {
        QDialog* dialog = harness::DialogWidget();
        for (int id : {IDC_OUTPUT_COMBO, IDC_CHANNEL_COMBO}) {
            QWidget* list = harness::Item(id);
            QWidget* hit = dialog->childAt(list->geometry().center());
            QVERIFY2(hit == list || list->isAncestorOf(hit),
                     qPrintable(QStringLiteral("a click on list %1 reaches %2")
                                    .arg(id)
                                    .arg(hit ? hit->metaObject()->className() : "nothing")));
        }
    });
}

void DialogTemplateTest::tabOrderIsTemplateOrder() {
    harness::RunMainDialog([] {
        // The platform gives the first control of the tab order the focus.
        QCOMPARE(harness::FocusedId(), IDC_OPEN_BUTTON);
        const int forward[] = {IDC_RANDOMIZE_BUTTON, IDC_ABOUT_BUTTON,  IDCANCEL,
                               IDC_OUTPUT_COMBO,     IDC_CHANNEL_COMBO, IDC_OPEN_BUTTON};
        for (int expected : forward) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(harness::FocusedId(), expected);
        }
        const int backward[] = {IDC_CHANNEL_COMBO, IDC_OUTPUT_COMBO,     IDCANCEL,
                                IDC_ABOUT_BUTTON,  IDC_RANDOMIZE_BUTTON, IDC_OPEN_BUTTON};
        for (int expected : backward) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            QCOMPARE(harness::FocusedId(), expected);
        }
    });
}

void DialogTemplateTest::mnemonicsAreUnderlined() {
    harness::RunMainDialog([] {
        for (int id : {IDC_OPEN_BUTTON, IDC_RANDOMIZE_BUTTON, IDC_ABOUT_BUTTON, IDCANCEL}) {
            QPushButton* button = harness::Button(id);
            const QChar letter = button->text().at(button->text().indexOf('&') + 1);
            QCOMPARE(button->shortcut(), QKeySequence(QStringLiteral("Alt+") + letter));
        }
    });
}

void DialogTemplateTest::everyTextFits() {
    harness::RunMainDialog([] {
        // Each button's texts, the one the program sets later included.
        const struct {
            int id;
            const char* text;
        } buttons[] = {{IDC_OPEN_BUTTON, "&Open MIDI"},
                       {IDC_OPEN_BUTTON, "&Close MIDI"},
                       {IDC_RANDOMIZE_BUTTON, "&Randomize (F1)"},
                       {IDC_ABOUT_BUTTON, "&About"},
                       {IDCANCEL, "&Quit"}};
        for (const auto& expected : buttons) {
            QPushButton* button = harness::Button(expected.id);
            button->setText(QString::fromUtf8(expected.text));
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect contents =
                button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            const QFontMetrics metrics(button->font());
            const int width = metrics.horizontalAdvance(WithoutMnemonic(button->text()));
            QVERIFY2(width <= contents.width() && metrics.height() <= contents.height(),
                     qPrintable(QStringLiteral("\"%1\" needs %2 x %3, has %4 x %5")
                                    .arg(button->text())
                                    .arg(width)
                                    .arg(metrics.height())
                                    .arg(contents.width())
                                    .arg(contents.height())));
        }

        auto* group = harness::DialogWidget()->findChild<QGroupBox*>();
        QStyleOptionGroupBox groupOption;
        groupOption.initFrom(group);
        groupOption.text = group->title();
        groupOption.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect label = group->style()->subControlRect(QStyle::CC_GroupBox, &groupOption,
                                                           QStyle::SC_GroupBoxLabel, group);
        QVERIFY2(label.left() >= 0 && label.right() < group->width(),
                 "the group box's title does not fit");

        QComboBox* channels = harness::Combo(IDC_CHANNEL_COMBO);
        QStyleOptionComboBox option;
        option.initFrom(channels);
        const QRect field = channels->style()->subControlRect(
            QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, channels);
        const int widest = QFontMetrics(channels->font()).horizontalAdvance("MIDI Channel 16");
        QVERIFY2(widest <= field.width(),
                 qPrintable(QStringLiteral("%1 > %2").arg(widest).arg(field.width())));
    });
}

void DialogTemplateTest::openListHeightFromTemplate_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("templateHeight");
    QTest::newRow("output list") << IDC_OUTPUT_COMBO << 74;
    QTest::newRow("channel list") << IDC_CHANNEL_COMBO << 67;
}

void DialogTemplateTest::openListHeightFromTemplate() {
    QFETCH(int, id);
    QFETCH(int, templateHeight);
    // More devices than the list can show at once.
    UseDevices(16);
    harness::RunMainDialog([id, templateHeight] {
        QComboBox* list = harness::Combo(id);
        const int dropped = Round(templateHeight, BaseUnitsOf(list->font()).y, 8);
        list->showPopup();
        QWidget* popup = list->view()->window();
        QTRY_VERIFY_WITH_TIMEOUT(popup->isVisible(), harness::kWaitMs);
        const int row = list->view()->sizeHintForRow(0);
        const int bottom = popup->geometry().bottom();
        const int boxTop = list->mapToGlobal(QPoint(0, 0)).y();
        // Whole rows, as many as fit into the template's height, below the box.
        QVERIFY2(bottom - boxTop + 1 <= dropped && bottom - boxTop + 1 > dropped - row,
                 qPrintable(QStringLiteral("box and list are %1 high, the template's %2, a row %3")
                                .arg(bottom - boxTop + 1)
                                .arg(dropped)
                                .arg(row)));
        QVERIFY(popup->geometry().top() >= list->mapToGlobal(QPoint(0, list->height() - 1)).y());
        list->hidePopup();
    });
}
