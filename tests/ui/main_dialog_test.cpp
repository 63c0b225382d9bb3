#include "main_dialog_test.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTest>

#include "config/configuration.h"
#include "dialog_harness.h"
#include "fake_winmm.h"
#include "resource.h"
#include "ui/main_dialog.h"

namespace {

const char kConfigurationMissing[] =
    "Can't find the configuration file Velmora.cfg. Please check that it is installed in the "
    "same directory as this program. You should quit now, 'cos I can't do anything without "
    "that file.";
const char kNoOutputSelected[] = "Can't open MIDI output, because no output has been selected.";
const char kOutputInUse[] =
    "Can't open MIDI output, something else has probably already opened it.";
const char kNoOutputOpen[] = "Can't Randomize, you haven't opened a MIDI port yet.";

struct Controller {
    int number;
    int minimum;
    int maximum;
};
// The test program's configuration, in file order.
const Controller kControllers[] = {{74, 20, 127}, {71, 0, 90}, {10, 32, 96}};

// Device 1's capabilities cannot be read, device 3 is taken: the list shows
// devices 0, 2 and 3 at indexes 0, 1 and 2.
std::vector<FakeDevice> StandardDevices() {
    return {{"Synth A"}, {"Broken B", true}, {"Synth C"}, {"Busy D", false, true}};
}

// How a person gives a command: a click, a mnemonic, or a key pressed with
// the focus on a control (0: on no control).
enum class Way { Click, Mnemonic, KeyOn, CloseBox, KeyInOpenList };

struct Action {
    Way way = Way::Click;
    int id = 0;
    Qt::Key key = Qt::Key_unknown;
};

QString Describe(const Action& action) {
    switch (action.way) {
        case Way::Click:
            return QStringLiteral("click on %1").arg(action.id);
        case Way::Mnemonic:
            return QStringLiteral("Alt+%1").arg(QChar(action.key));
        case Way::KeyOn:
            return QStringLiteral("key %1 on %2").arg(action.key).arg(action.id);
        case Way::CloseBox:
            return QStringLiteral("close box");
        case Way::KeyInOpenList:
            return QStringLiteral("key %1 in the open list %2").arg(action.key).arg(action.id);
    }
    return QString();
}

// Focus goes back to the dialog a moment after a message box has gone.
void Focus(int id) {
    QWidget* target = id == 0 ? harness::DialogWidget() : harness::Item(id);
    QVERIFY(QTest::qWaitForWindowActive(harness::DialogWidget(), harness::kWaitMs));
    target->setFocus();
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), target, harness::kWaitMs);
}

// Gives the command the way a person does. Posts arrive on the next turn of
// the loop.
void Perform(const Action& action) {
    switch (action.way) {
        case Way::Click:
            QTest::mouseClick(harness::Button(action.id), Qt::LeftButton);
            break;
        case Way::Mnemonic:
            QTest::keyClick(harness::DialogWidget(), action.key, Qt::AltModifier);
            break;
        case Way::KeyOn:
            Focus(action.id);
            if (QApplication::focusWidget() != nullptr) {
                QTest::keyClick(QApplication::focusWidget(), action.key);
            }
            break;
        case Way::CloseBox:
            harness::DialogWidget()->close();
            break;
        case Way::KeyInOpenList: {
            QComboBox* list = harness::Combo(action.id);
            list->showPopup();
            QTest::keyClick(list->view(), action.key);
            break;
        }
    }
}

QString Texts(const QComboBox* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        texts << list->itemText(i);
    }
    return texts.join(QStringLiteral(" | "));
}

LRESULT ItemData(int index) {
    return SendDlgItemMessageA(harness::Dialog(), IDC_OUTPUT_COMBO, CB_GETITEMDATA,
                               static_cast<WPARAM>(index), 0);
}

// Checks the dialog's state: Closed or Open.
void CheckState(bool open, const QString& when) {
    const QString expected = open ? QStringLiteral("&Close MIDI") : QStringLiteral("&Open MIDI");
    QVERIFY2(harness::Button(IDC_OPEN_BUTTON)->text() == expected,
             qPrintable(when + ": button reads " + harness::Button(IDC_OPEN_BUTTON)->text()));
    QVERIFY2(harness::Item(IDC_OUTPUT_COMBO)->isEnabled() == !open,
             qPrintable(when + ": output list enabled is wrong"));
    for (int id : {IDC_CHANNEL_COMBO, IDC_RANDOMIZE_BUTTON, IDC_ABOUT_BUTTON, IDCANCEL}) {
        QVERIFY2(harness::Item(id)->isEnabled(),
                 qPrintable(when + QStringLiteral(": control %1 disabled").arg(id)));
    }
    QVERIFY2((OutputHandle != nullptr) == open, qPrintable(when + ": output handle is wrong"));
}

// Checks that the messages from `first` on are one Randomize pass on the
// channel (0-based) to the handle.
void CheckPass(size_t first, int channel, HMIDIOUT handle, const QString& when) {
    const std::vector<SentShortMessage>& sent = FakeMidi().sent;
    QVERIFY2(sent.size() == first + std::size(kControllers),
             qPrintable(when + QStringLiteral(": %1 messages sent, expected %2")
                                   .arg(sent.size() - first)
                                   .arg(std::size(kControllers))));
    for (size_t i = 0; i < std::size(kControllers); ++i) {
        const DWORD message = sent[first + i].message;
        const Controller& expected = kControllers[i];
        const QString which =
            when +
            QStringLiteral(": message %1 (%2)").arg(i + 1).arg(message, 6, 16, QLatin1Char('0'));
        QVERIFY2(sent[first + i].handle == handle, qPrintable(which + " went elsewhere"));
        QVERIFY2((message & 0xFF) == 0xB0u + static_cast<DWORD>(channel),
                 qPrintable(which + " has the wrong status"));
        QVERIFY2((message >> 8 & 0xFF) == static_cast<DWORD>(expected.number),
                 qPrintable(which + " has the wrong controller"));
        const int value = static_cast<int>(message >> 16 & 0xFF);
        QVERIFY2(value > expected.minimum && value <= expected.maximum,
                 qPrintable(which + " has a value out of range"));
        QVERIFY2((message >> 24) == 0, qPrintable(which + " has a fourth byte"));
    }
}

void CheckOneBox(const char* caption, const QString& text, QMessageBox::Icon icon,
                 const QString& when) {
    const std::vector<SeenMessageBox>& boxes = harness::Boxes();
    QVERIFY2(boxes.size() == 1,
             qPrintable(when + QStringLiteral(": %1 message boxes").arg(boxes.size())));
    const SeenMessageBox& box = boxes.front();
    QVERIFY2(box.caption == QLatin1String(caption) && box.text == text && box.icon == icon,
             qPrintable(when + ": " + harness::Describe(box)));
    QVERIFY2(box.buttons == QMessageBox::Ok, qPrintable(when + ": not an OK button alone"));
    QVERIFY2(box.ownedByDialog && box.applicationModal,
             qPrintable(when + ": not a modal box owned by the dialog"));
}

void OpenFirstDevice() {
    QTest::mouseClick(harness::Button(IDC_OPEN_BUTTON), Qt::LeftButton);
    QCOMPARE(FakeMidi().open.size(), size_t{1});
    CheckState(true, QStringLiteral("after Open"));
}

}  // namespace

Q_DECLARE_METATYPE(Action)

// The program never frees its parameters; the tests do, between runs.
void MainDialogTest::cleanup() {
    harness::ClearParameters();
}

void MainDialogTest::init() {
    harness::ClearParameters();
    harness::WriteConfiguration({"# the dialog tests' parameters", "Cutoff 74 20 127",
                                 "Resonance 71 0 90", "Pan 10 32 96"});
    ResetFakeMidi(StandardDevices());
    // Ending a dialog closes the output but leaves the handle as it was.
    OutputHandle = nullptr;
}

void MainDialogTest::initialisationBeforeTheDialogIsShown() {
    const INT_PTR result = harness::RunMainDialog([] {
        QCOMPARE(Texts(harness::Combo(IDC_OUTPUT_COMBO)),
                 QStringLiteral("Synth A | Synth C | Busy D"));
        QCOMPARE(ItemData(0), LRESULT{0});
        QCOMPARE(ItemData(1), LRESULT{2});
        QCOMPARE(ItemData(2), LRESULT{3});
        QCOMPARE(harness::Combo(IDC_OUTPUT_COMBO)->currentIndex(), 0);
        QComboBox* channels = harness::Combo(IDC_CHANNEL_COMBO);
        QCOMPARE(channels->count(), 16);
        for (int i = 0; i < 16; ++i) {
            QCOMPARE(channels->itemText(i), QStringLiteral("MIDI Channel %1").arg(i + 1));
        }
        QCOMPARE(channels->currentIndex(), 0);
        CheckState(false, QStringLiteral("at start"));
    });
    QCOMPARE(result, harness::kLeftOpen);
    QCOMPARE(ParameterList.size(), std::size(kControllers));
    QVERIFY(harness::Boxes().empty());
    const ProcedureCall& first = harness::Calls().front();
    QCOMPARE(first.message, UINT{WM_INITDIALOG});
    QVERIFY2(!first.dialogVisible, "WM_INITDIALOG came after the dialog was shown");
    QCOMPARE(first.lParam, LPARAM{0});
    QCOMPARE(first.result, INT_PTR{FALSE});
    // The device count is asked anew before every turn.
    const std::vector<std::string> listing = {
        "midiOutGetNumDevs -> 4",    "midiOutGetDevCapsA 0 -> 0", "midiOutGetNumDevs -> 4",
        "midiOutGetDevCapsA 1 -> 6", "midiOutGetNumDevs -> 4",    "midiOutGetDevCapsA 2 -> 0",
        "midiOutGetNumDevs -> 4",    "midiOutGetDevCapsA 3 -> 0", "midiOutGetNumDevs -> 4"};
    QVERIFY(FakeMidi().calls == listing);
}

void MainDialogTest::configurationErrorComesBeforeTheDialog() {
    harness::WriteConfiguration({});
    bool shownAfterwards = false;
    harness::RunMainDialog([&] {
        shownAfterwards = harness::DialogWidget()->isVisible();
        // With no parameters the dialog still works; Randomize sends nothing.
        OpenFirstDevice();
        QTest::mouseClick(harness::Button(IDC_RANDOMIZE_BUTTON), Qt::LeftButton);
    });
    if (QTest::currentTestFailed()) {
        return;
    }
    CheckOneBox("Error", kConfigurationMissing, QMessageBox::Critical,
                QStringLiteral("missing configuration"));
    QVERIFY2(!harness::Boxes().front().parentVisible, "the dialog was shown before the error");
    QVERIFY(shownAfterwards);
    QVERIFY(ParameterList.empty());
    QVERIFY(FakeMidi().sent.empty());
}

void MainDialogTest::commandsThatShowAMessage_data() {
    QTest::addColumn<Action>("action");
    QTest::addColumn<bool>("withDevices");
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");

    const auto error = [](const char* name, Action action, bool devices, int command,
                          const char* text) {
        QTest::newRow(name) << action << devices << command << QStringLiteral("Error")
                            << QString::fromUtf8(text) << int{QMessageBox::Critical};
    };
    error("Open, no devices, button", {Way::Click, IDC_OPEN_BUTTON}, false, IDC_OPEN_BUTTON,
          kNoOutputSelected);
    error("Open, no devices, Alt+O", {Way::Mnemonic, 0, Qt::Key_O}, false, IDC_OPEN_BUTTON,
          kNoOutputSelected);
    error("Randomize closed, button", {Way::Click, IDC_RANDOMIZE_BUTTON}, true,
          IDC_RANDOMIZE_BUTTON, kNoOutputOpen);
    error("Randomize closed, Alt+R", {Way::Mnemonic, 0, Qt::Key_R}, true, IDC_RANDOMIZE_BUTTON,
          kNoOutputOpen);
    error("Randomize closed, F1 on no control", {Way::KeyOn, 0, Qt::Key_F1}, true,
          IDC_RANDOMIZE_BUTTON, kNoOutputOpen);
    error("Randomize closed, F1 on the output list", {Way::KeyOn, IDC_OUTPUT_COMBO, Qt::Key_F1},
          true, IDC_RANDOMIZE_BUTTON, kNoOutputOpen);
    error("Randomize closed, F1 on the channel list", {Way::KeyOn, IDC_CHANNEL_COMBO, Qt::Key_F1},
          true, IDC_RANDOMIZE_BUTTON, kNoOutputOpen);
    error("Randomize closed, F1 on the About button", {Way::KeyOn, IDC_ABOUT_BUTTON, Qt::Key_F1},
          true, IDC_RANDOMIZE_BUTTON, kNoOutputOpen);
    error("Randomize closed, F1 in the open channel list",
          {Way::KeyInOpenList, IDC_CHANNEL_COMBO, Qt::Key_F1}, true, IDC_RANDOMIZE_BUTTON,
          kNoOutputOpen);
    const QString about = QStringLiteral("Velmora\nVersion 2\n");
    QTest::newRow("About, button")
        << Action{Way::Click, IDC_ABOUT_BUTTON} << true << IDC_ABOUT_BUTTON
        << QStringLiteral("About") << about << int{QMessageBox::Information};
    QTest::newRow("About, Alt+A") << Action{Way::Mnemonic, 0, Qt::Key_A} << true << IDC_ABOUT_BUTTON
                                  << QStringLiteral("About") << about
                                  << int{QMessageBox::Information};
}

void MainDialogTest::commandsThatShowAMessage() {
    QFETCH(Action, action);
    QFETCH(bool, withDevices);
    QFETCH(int, command);
    QFETCH(QString, caption);
    QFETCH(QString, text);
    QFETCH(int, icon);
    if (!withDevices) {
        ResetFakeMidi({});
    }
    const size_t listingCalls = withDevices ? 9 : 1;
    harness::RunMainDialog([&] {
        if (!withDevices) {
            QCOMPARE(harness::Combo(IDC_OUTPUT_COMBO)->count(), 0);
            QCOMPARE(harness::Combo(IDC_OUTPUT_COMBO)->currentIndex(), -1);
        }
        Perform(action);
        QTRY_COMPARE_WITH_TIMEOUT(harness::Boxes().size(), size_t{1}, harness::kWaitMs);
        QVERIFY2(harness::Boxes().front().ownedByDialog,
                 qPrintable(Describe(action) + ": the box is not the dialog's"));
        CheckState(false, Describe(action));
    });
    if (QTest::currentTestFailed()) {
        return;
    }
    const SeenMessageBox& box = harness::Boxes().front();
    const QString when = Describe(action);
    QVERIFY2(box.caption == caption && box.icon == icon && box.buttons == QMessageBox::Ok,
             qPrintable(when + ": " + harness::Describe(box)));
    if (command == IDC_ABOUT_BUTTON) {
        // "Velmora", "Version 2" and two lines of the program's own.
        QVERIFY2(box.text.startsWith(text) && box.text.count('\n') == 3 && !box.text.endsWith('\n'),
                 qPrintable(when + ": " + harness::Describe(box)));
    } else {
        QVERIFY2(box.text == text, qPrintable(when + ": " + harness::Describe(box)));
    }
    QVERIFY2(box.parentVisible && box.applicationModal, qPrintable(when + ": not modal"));
    // The command arrived as WM_COMMAND with notification code 0 and was taken.
    const std::vector<ProcedureCall> commands = harness::CallsOf(WM_COMMAND);
    QVERIFY2(!commands.empty() && commands.front().wParam == static_cast<WPARAM>(command) &&
                 commands.front().result == TRUE,
             qPrintable(when + ": no WM_COMMAND " + QString::number(command)));
    // Nothing reached the MIDI service but the listing at the start.
    QCOMPARE(FakeMidi().calls.size(), listingCalls);
}

void MainDialogTest::openAndCloseTheChosenDevice() {
    harness::RunMainDialog([] {
        // The second entry is device 2: device 1 is not listed.
        Perform({Way::KeyOn, IDC_OUTPUT_COMBO, Qt::Key_Down});
        QCOMPARE(harness::Combo(IDC_OUTPUT_COMBO)->currentIndex(), 1);
        CheckState(false, QStringLiteral("before Open"));
        Perform({Way::Click, IDC_OPEN_BUTTON});
        QCOMPARE(FakeMidi().calls.back(), std::string("midiOutOpen 2 -> 0"));
        QCOMPARE(OutputHandle, FakeHandle(2));
        CheckState(true, QStringLiteral("after Open"));
        Perform({Way::Click, IDC_OPEN_BUTTON});
        QCOMPARE(FakeMidi().calls.back(), std::string("midiOutClose 2 -> 0"));
        CheckState(false, QStringLiteral("after Close"));
        // And again with the mnemonic, which now reads Alt+O both ways.
        Perform({Way::Mnemonic, 0, Qt::Key_O});
        QTRY_COMPARE_WITH_TIMEOUT(FakeMidi().calls.back(), std::string("midiOutOpen 2 -> 0"),
                                  harness::kWaitMs);
        CheckState(true, QStringLiteral("after Alt+O"));
        QCOMPARE(harness::Button(IDC_OPEN_BUTTON)->shortcut(), QKeySequence("Alt+C"));
        Perform({Way::Mnemonic, 0, Qt::Key_C});
        QTRY_COMPARE_WITH_TIMEOUT(FakeMidi().calls.back(), std::string("midiOutClose 2 -> 0"),
                                  harness::kWaitMs);
        CheckState(false, QStringLiteral("after Alt+C"));
    });
    QVERIFY(harness::Boxes().empty());
}

void MainDialogTest::failedOpenStaysClosed() {
    harness::RunMainDialog([] {
        Perform({Way::KeyOn, IDC_OUTPUT_COMBO, Qt::Key_End});
        QCOMPARE(harness::Combo(IDC_OUTPUT_COMBO)->currentText(), QStringLiteral("Busy D"));
        Perform({Way::Click, IDC_OPEN_BUTTON});
        QCOMPARE(FakeMidi().calls.back(), std::string("midiOutOpen 3 -> 4"));
        CheckState(false, QStringLiteral("after the failed Open"));
        // Another device still opens.
        Perform({Way::KeyOn, IDC_OUTPUT_COMBO, Qt::Key_Home});
        Perform({Way::Click, IDC_OPEN_BUTTON});
        QCOMPARE(FakeMidi().calls.back(), std::string("midiOutOpen 0 -> 0"));
        CheckState(true, QStringLiteral("after opening another device"));
    });
    if (QTest::currentTestFailed()) {
        return;
    }
    CheckOneBox("Error", kOutputInUse, QMessageBox::Critical, QStringLiteral("device taken"));
}

void MainDialogTest::randomizeSendsOnePass_data() {
    QTest::addColumn<Action>("action");
    QTest::newRow("button") << Action{Way::Click, IDC_RANDOMIZE_BUTTON};
    QTest::newRow("Alt+R") << Action{Way::Mnemonic, 0, Qt::Key_R};
    QTest::newRow("F1 on no control") << Action{Way::KeyOn, 0, Qt::Key_F1};
    QTest::newRow("F1 on the Open button") << Action{Way::KeyOn, IDC_OPEN_BUTTON, Qt::Key_F1};
    QTest::newRow("F1 on the channel list") << Action{Way::KeyOn, IDC_CHANNEL_COMBO, Qt::Key_F1};
    QTest::newRow("F1 on the Quit button") << Action{Way::KeyOn, IDCANCEL, Qt::Key_F1};
    QTest::newRow("F1 in the open channel list")
        << Action{Way::KeyInOpenList, IDC_CHANNEL_COMBO, Qt::Key_F1};
}

void MainDialogTest::randomizeSendsOnePass() {
    QFETCH(Action, action);
    harness::RunMainDialog([&] {
        OpenFirstDevice();
        Perform(action);
        QTRY_COMPARE_WITH_TIMEOUT(FakeMidi().sent.size(), std::size(kControllers),
                                  harness::kWaitMs);
        CheckPass(0, 0, FakeHandle(0), Describe(action));
        // Exactly one pass.
        QTest::qWait(150);
        QCOMPARE(FakeMidi().sent.size(), std::size(kControllers));
        CheckState(true, Describe(action));
    });
    QVERIFY(harness::Boxes().empty());
}

void MainDialogTest::helpRequestIsPostedNotSent() {
    harness::RunMainDialog([] {
        OpenFirstDevice();
        Focus(IDC_CHANNEL_COMBO);
        const size_t before = harness::Calls().size();
        // The key's release is input too, which would take the post first.
        QTest::keyPress(QApplication::focusWidget(), Qt::Key_F1);
        // WM_HELP has been handled; the Randomize command waits in the queue.
        QCOMPARE(harness::Calls().size(), before + 1);
        const ProcedureCall help = harness::Calls().back();
        QCOMPARE(help.message, UINT{WM_HELP});
        QCOMPARE(help.result, INT_PTR{FALSE});
        QVERIFY(FakeMidi().sent.empty());
        QTRY_COMPARE_WITH_TIMEOUT(harness::Calls().size(), before + 2, harness::kWaitMs);
        const ProcedureCall posted = harness::Calls().back();
        QCOMPARE(posted.message, UINT{WM_COMMAND});
        QCOMPARE(posted.wParam, WPARAM{IDC_RANDOMIZE_BUTTON});
        QCOMPARE(posted.lParam, LPARAM{0});
        QCOMPARE(posted.result, INT_PTR{TRUE});
        CheckPass(0, 0, FakeHandle(0), QStringLiteral("F1"));
        QTest::keyRelease(QApplication::focusWidget(), Qt::Key_F1);
    });
}

void MainDialogTest::randomizeForF1ComesBeforeTheNextKey() {
    // As on the platform, posted messages are taken before input: F1 and
    // Escape typed at once still send the pass, then end the dialog.
    const INT_PTR result = harness::RunMainDialog([] {
        OpenFirstDevice();
        Focus(IDC_CHANNEL_COMBO);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    });
    QCOMPARE(result, INT_PTR{1});
    CheckPass(0, 0, FakeHandle(0), QStringLiteral("F1 and Escape"));
    std::vector<std::pair<UINT, WPARAM>> tail;
    for (size_t i = harness::Calls().size() - 4; i < harness::Calls().size(); ++i) {
        tail.push_back({harness::Calls()[i].message, harness::Calls()[i].wParam});
    }
    const std::vector<std::pair<UINT, WPARAM>> expected = {
        {WM_HELP, 0}, {WM_COMMAND, IDC_RANDOMIZE_BUTTON}, {WM_COMMAND, IDCANCEL}, {WM_DESTROY, 0}};
    QVERIFY(tail == expected);
    QCOMPARE(FakeMidi().calls.back(), std::string("midiOutClose 0 -> 0"));
}

void MainDialogTest::newChannelTakesEffectAtNextRandomize() {
    harness::RunMainDialog([] {
        OpenFirstDevice();
        // Channel 3, then 16, then 2: each Randomize reads the list afresh.
        const struct {
            Qt::Key key;
            int presses;
            int channel;
        } changes[] = {
            {Qt::Key_Down, 2, 2}, {Qt::Key_End, 1, 15}, {Qt::Key_Home, 1, 0}, {Qt::Key_Down, 1, 1}};
        size_t first = 0;
        for (const auto& change : changes) {
            for (int i = 0; i < change.presses; ++i) {
                Perform({Way::KeyOn, IDC_CHANNEL_COMBO, change.key});
            }
            QCOMPARE(harness::Combo(IDC_CHANNEL_COMBO)->currentIndex(), change.channel);
            Perform({Way::KeyOn, IDC_CHANNEL_COMBO, Qt::Key_F1});
            QTRY_COMPARE_WITH_TIMEOUT(FakeMidi().sent.size(), first + std::size(kControllers),
                                      harness::kWaitMs);
            CheckPass(first, change.channel, FakeHandle(0),
                      QStringLiteral("channel %1").arg(change.channel + 1));
            first = FakeMidi().sent.size();
        }
    });
}

void MainDialogTest::changingAListDoesNothingElse_data() {
    QTest::addColumn<bool>("open");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("index");
    QTest::newRow("output list, Down, Closed")
        << false << IDC_OUTPUT_COMBO << int{Qt::Key_Down} << 1;
    QTest::newRow("output list, End, Closed") << false << IDC_OUTPUT_COMBO << int{Qt::Key_End} << 2;
    QTest::newRow("channel list, Down, Closed")
        << false << IDC_CHANNEL_COMBO << int{Qt::Key_Down} << 1;
    QTest::newRow("channel list, End, Open") << true << IDC_CHANNEL_COMBO << int{Qt::Key_End} << 15;
}

void MainDialogTest::changingAListDoesNothingElse() {
    QFETCH(bool, open);
    QFETCH(int, id);
    QFETCH(int, key);
    QFETCH(int, index);
    harness::RunMainDialog([&] {
        if (open) {
            OpenFirstDevice();
        }
        const size_t midiCalls = FakeMidi().calls.size();
        const int otherId = id == IDC_OUTPUT_COMBO ? IDC_CHANNEL_COMBO : IDC_OUTPUT_COMBO;
        const int otherIndex = harness::Combo(otherId)->currentIndex();
        Perform({Way::KeyOn, id, static_cast<Qt::Key>(key)});
        QCOMPARE(harness::Combo(id)->currentIndex(), index);
        QCOMPARE(harness::Combo(otherId)->currentIndex(), otherIndex);
        // The procedure was told, with a notification code, and did nothing.
        const ProcedureCall change = harness::Calls().back();
        QCOMPARE(change.message, UINT{WM_COMMAND});
        QCOMPARE(change.wParam, static_cast<WPARAM>(MAKEWPARAM(id, CBN_SELCHANGE)));
        QCOMPARE(change.lParam, reinterpret_cast<LPARAM>(GetDlgItem(harness::Dialog(), id)));
        QCOMPARE(change.result, INT_PTR{FALSE});
        QTest::qWait(50);
        QCOMPARE(FakeMidi().calls.size(), midiCalls);
        CheckState(open, QStringLiteral("after the change"));
    });
    QVERIFY(harness::Boxes().empty());
}

void MainDialogTest::outputListIsLockedWhileOpen() {
    harness::RunMainDialog([] {
        OpenFirstDevice();
        QComboBox* outputs = harness::Combo(IDC_OUTPUT_COMBO);
        QVERIFY(!outputs->isEnabled());
        // Tab passes it by; keys and clicks do not reach it.
        Focus(IDCANCEL);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(harness::FocusedId(), IDC_CHANNEL_COMBO);
        const size_t calls = harness::Calls().size();
        QTest::keyClick(outputs, Qt::Key_Down);
        QTest::mouseClick(outputs, Qt::LeftButton);
        QCOMPARE(outputs->currentIndex(), 0);
        QVERIFY(!outputs->view()->isVisible());
        QCOMPARE(harness::Calls().size(), calls);
    });
}

void MainDialogTest::enterDoesNothing_data() {
    QTest::addColumn<int>("focus");
    QTest::newRow("focus on no control") << 0;
    QTest::newRow("focus on the output list") << IDC_OUTPUT_COMBO;
    QTest::newRow("focus on the channel list") << IDC_CHANNEL_COMBO;
}

void MainDialogTest::enterDoesNothing() {
    QFETCH(int, focus);
    harness::RunMainDialog([&] {
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
            Perform({Way::KeyOn, focus, key});
            const ProcedureCall enter = harness::Calls().back();
            QCOMPARE(enter.message, UINT{WM_COMMAND});
            QCOMPARE(enter.wParam, WPARAM{IDOK});
            QCOMPARE(enter.result, INT_PTR{TRUE});
        }
        QTest::qWait(50);
        QVERIFY(harness::DialogWidget()->isVisible());
        CheckState(false, QStringLiteral("after Enter"));
    });
    QVERIFY(harness::Boxes().empty());
    QCOMPARE(FakeMidi().calls.size(), size_t{9});
}

void MainDialogTest::enterOnAFocusedButtonPressesIt() {
    harness::RunMainDialog([] {
        Perform({Way::KeyOn, IDC_OPEN_BUTTON, Qt::Key_Return});
        CheckState(true, QStringLiteral("Enter on Open"));
        Perform({Way::KeyOn, IDC_ABOUT_BUTTON, Qt::Key_Return});
        QCOMPARE(harness::Boxes().size(), size_t{1});
        QCOMPARE(harness::Boxes().front().caption, QStringLiteral("About"));
    });
}

void MainDialogTest::mnemonicFocusesItsButton() {
    harness::RunMainDialog([] {
        OpenFirstDevice();
        Perform({Way::Mnemonic, 0, Qt::Key_R});
        QTRY_COMPARE_WITH_TIMEOUT(FakeMidi().sent.size(), std::size(kControllers),
                                  harness::kWaitMs);
        QCOMPARE(harness::FocusedId(), IDC_RANDOMIZE_BUTTON);
        // Enter now presses Randomize again.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        CheckPass(std::size(kControllers), 0, FakeHandle(0), QStringLiteral("Enter after Alt+R"));
        Perform({Way::Mnemonic, 0, Qt::Key_A});
        QTRY_COMPARE_WITH_TIMEOUT(harness::Boxes().size(), size_t{1}, harness::kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(harness::FocusedId(), IDC_ABOUT_BUTTON, harness::kWaitMs);
    });
}

void MainDialogTest::everyMnemonicPressClicks() {
    const size_t presses = 20;
    harness::RunMainDialog([&] {
        OpenFirstDevice();
        // Faster than a button's animated click, which would swallow some.
        for (size_t i = 0; i < presses; ++i) {
            Perform({Way::Mnemonic, 0, Qt::Key_R});
            QTest::qWait(40);
        }
        QTRY_COMPARE_WITH_TIMEOUT(FakeMidi().sent.size(), presses * std::size(kControllers),
                                  harness::kWaitMs);
    });
}

void MainDialogTest::escapeClosesAnOpenListFirst() {
    harness::RunMainDialog([] {
        Perform({Way::KeyInOpenList, IDC_CHANNEL_COMBO, Qt::Key_Escape});
        QTRY_VERIFY_WITH_TIMEOUT(!harness::Combo(IDC_CHANNEL_COMBO)->view()->isVisible(),
                                 harness::kWaitMs);
        QTest::qWait(50);
        QVERIFY(harness::DialogWidget()->isVisible());
        QVERIFY(harness::CallsOf(WM_COMMAND).empty());
    });
}

void MainDialogTest::endingTheDialogClosesTheOutput_data() {
    QTest::addColumn<Action>("action");
    QTest::addColumn<bool>("open");
    QTest::newRow("Quit button, Open") << Action{Way::Click, IDCANCEL} << true;
    QTest::newRow("Quit button, Closed") << Action{Way::Click, IDCANCEL} << false;
    QTest::newRow("Alt+Q, Open") << Action{Way::Mnemonic, 0, Qt::Key_Q} << true;
    QTest::newRow("Escape on no control, Open") << Action{Way::KeyOn, 0, Qt::Key_Escape} << true;
    QTest::newRow("Escape on the Open button, Open")
        << Action{Way::KeyOn, IDC_OPEN_BUTTON, Qt::Key_Escape} << true;
    QTest::newRow("Escape on the channel list, Open")
        << Action{Way::KeyOn, IDC_CHANNEL_COMBO, Qt::Key_Escape} << true;
    QTest::newRow("Escape on the output list, Closed")
        << Action{Way::KeyOn, IDC_OUTPUT_COMBO, Qt::Key_Escape} << false;
    QTest::newRow("close box, Open") << Action{Way::CloseBox} << true;
    QTest::newRow("close box, Closed") << Action{Way::CloseBox} << false;
}

void MainDialogTest::endingTheDialogClosesTheOutput() {
    QFETCH(Action, action);
    QFETCH(bool, open);
    const QString when = Describe(action);
    const INT_PTR result = harness::RunMainDialog([&] {
        if (open) {
            OpenFirstDevice();
        }
        Perform(action);
        QTRY_VERIFY_WITH_TIMEOUT(!harness::DialogWidget() || !harness::DialogWidget()->isVisible(),
                                 harness::kWaitMs);
    });
    if (QTest::currentTestFailed()) {
        return;
    }
    QCOMPARE(result, INT_PTR{1});
    QVERIFY(harness::Boxes().empty());
    const std::vector<ProcedureCall> commands = harness::CallsOf(WM_COMMAND);
    QVERIFY2(!commands.empty() && commands.back().wParam == IDCANCEL,
             qPrintable(when + ": no IDCANCEL"));
    if (action.way == Way::CloseBox) {
        QVERIFY2(harness::CallsOf(WM_CLOSE).size() == 1, qPrintable(when + ": no WM_CLOSE"));
    }
    const ProcedureCall last = harness::Calls().back();
    QCOMPARE(last.message, UINT{WM_DESTROY});
    QCOMPARE(last.result, INT_PTR{TRUE});
    QVERIFY2(FakeMidi().open.empty(), qPrintable(when + ": the output is still open"));
    const std::string lastCall = FakeMidi().calls.back();
    QCOMPARE(lastCall, std::string(open ? "midiOutClose 0 -> 0" : "midiOutGetNumDevs -> 4"));
}
