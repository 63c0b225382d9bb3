#include "user32_test.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

#include "dialog_harness.h"
#include "dialog_template.h"
#include "kernel32/main_thread_work.h"
#include "program_resources.h"
#include "resource.h"
#include "resource_file.h"
#include "window_widgets.h"

namespace {

// A dialog procedure that handles nothing; on request it ends the dialog
// while it is being initialised.
INT_PTR endDuringInitialisation = 0;

INT_PTR CALLBACK ProbeProcedure(HWND dialog, UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/) {
    if (message == WM_INITDIALOG && endDuringInitialisation != 0) {
        EndDialog(dialog, endDuringInitialisation);
    }
    return FALSE;
}

INT_PTR RunProbe(const std::function<void()>& script) {
    return harness::RunDialog(ProbeProcedure, 0, script);
}

// Messages in the application's own range.
constexpr UINT kFirstOwnMessage = 0x8001;
constexpr UINT kSecondOwnMessage = 0x8002;

LPARAM Text(const char* text) {
    return reinterpret_cast<LPARAM>(text);
}

// -1 as the platform passes it in a WPARAM.
const WPARAM kMinusOne = static_cast<WPARAM>(-1);

std::vector<user32::ResourceEntry> ProgramEntries() {
    std::vector<user32::ResourceEntry> entries;
    user32::ReadResourceFile(user32::ProgramResourceData(), user32::ProgramResourceSize(), entries);
    return entries;
}

QByteArray FileBytes(const QString& name) {
    QFile file(QStringLiteral(VELMORA_RES_DIR "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

// The program never frees its parameters; the tests do, between runs.
void User32Test::cleanup() {
    harness::ClearParameters();
}

void User32Test::init() {
    endDuringInitialisation = 0;
    harness::WriteConfiguration({"Cutoff 74 20 127"});
}

void User32Test::comboBoxMessages() {
    RunProbe([] {
        const HWND dialog = harness::Dialog();
        const HWND combo = GetDlgItem(dialog, IDC_OUTPUT_COMBO);
        QComboBox* list = harness::Combo(IDC_OUTPUT_COMBO);
        const struct {
            const char* what;
            UINT message;
            WPARAM wParam;
            LPARAM lParam;
            LRESULT expected;
            int selected;
        } steps[] = {
            {"count of the empty list", CB_GETCOUNT, 0, 0, 0, -1},
            {"selection of the empty list", CB_GETCURSEL, 0, 0, CB_ERR, -1},
            {"selecting entry 0 of the empty list", CB_SETCURSEL, 0, 0, CB_ERR, -1},
            {"adding the first entry", CB_ADDSTRING, 0, Text("One"), 0, -1},
            {"adding the second entry", CB_ADDSTRING, 0, Text("Two"), 1, -1},
            {"adding the third entry", CB_ADDSTRING, 0, Text("Three"), 2, -1},
            {"selection after adding", CB_GETCURSEL, 0, 0, CB_ERR, -1},
            {"count after adding", CB_GETCOUNT, 0, 0, 3, -1},
            {"data never set", CB_GETITEMDATA, 1, 0, 0, -1},
            {"setting data of entry 1", CB_SETITEMDATA, 1, 42, TRUE, -1},
            {"data of entry 1", CB_GETITEMDATA, 1, 0, 42, -1},
            {"setting 64-bit data of entry 2", CB_SETITEMDATA, 2, LPARAM{0x123456789A}, TRUE, -1},
            {"64-bit data of entry 2", CB_GETITEMDATA, 2, 0, LPARAM{0x123456789A}, -1},
            {"setting data past the end", CB_SETITEMDATA, 3, 7, CB_ERR, -1},
            {"data past the end", CB_GETITEMDATA, 3, 0, CB_ERR, -1},
            {"data of entry CB_ERR", CB_GETITEMDATA, kMinusOne, 0, CB_ERR, -1},
            {"selecting entry 2", CB_SETCURSEL, 2, 0, 2, 2},
            {"selection", CB_GETCURSEL, 0, 0, 2, 2},
            {"selecting past the end", CB_SETCURSEL, 3, 0, CB_ERR, -1},
            {"selection after that", CB_GETCURSEL, 0, 0, CB_ERR, -1},
            {"selecting entry 0", CB_SETCURSEL, 0, 0, 0, 0},
            {"selecting entry -1", CB_SETCURSEL, kMinusOne, 0, CB_ERR, -1},
            {"adding to a list with nothing selected", CB_ADDSTRING, 0, Text("Four"), 3, -1},
            {"selecting entry 1", CB_SETCURSEL, 1, 0, 1, 1},
            {"adding to a list with a selection", CB_ADDSTRING, 0, Text("Five"), 4, 1},
        };
        for (const auto& step : steps) {
            const LRESULT result = SendMessageA(combo, step.message, step.wParam, step.lParam);
            QVERIFY2(result == step.expected, qPrintable(QStringLiteral("%1: %2, expected %3")
                                                             .arg(step.what)
                                                             .arg(result)
                                                             .arg(step.expected)));
            QVERIFY2(list->currentIndex() == step.selected,
                     qPrintable(QStringLiteral("%1: list shows entry %2, expected %3")
                                    .arg(step.what)
                                    .arg(list->currentIndex())
                                    .arg(step.selected)));
        }
        QCOMPARE(list->itemText(4), QStringLiteral("Five"));
        // The same through the dialog.
        QCOMPARE(SendDlgItemMessageA(dialog, IDC_OUTPUT_COMBO, CB_GETITEMDATA, 1, 0), LRESULT{42});
        QCOMPARE(SendDlgItemMessageA(dialog, 4711, CB_GETCOUNT, 0, 0), LRESULT{0});
        // Selecting by message is not a change by the user: nothing is told.
        QVERIFY(harness::CallsOf(WM_COMMAND).empty());
    });
}

void User32Test::dialogItems() {
    RunProbe([] {
        const HWND dialog = harness::Dialog();
        QCOMPARE(GetDlgItem(dialog, 4711), HWND{nullptr});
        QCOMPARE(GetDlgItem(nullptr, IDC_OPEN_BUTTON), HWND{nullptr});
        const HWND button = GetDlgItem(dialog, IDC_OPEN_BUTTON);
        QVERIFY(button != nullptr);
        QCOMPARE(GetDlgItem(button, IDC_OPEN_BUTTON), HWND{nullptr});
        QCOMPARE(user32::WindowWidget(button), harness::Item(IDC_OPEN_BUTTON));
        // Several controls share IDC_STATIC; the first is the group box.
        QVERIFY(qobject_cast<QGroupBox*>(user32::WindowWidget(GetDlgItem(dialog, -1))));
        QCOMPARE(SendMessageA(button, CB_GETCOUNT, 0, 0), LRESULT{0});
    });
}

void User32Test::textsAndEnabling() {
    RunProbe([] {
        const HWND dialog = harness::Dialog();
        QPushButton* quit = harness::Button(IDCANCEL);
        QCOMPARE(SetDlgItemTextA(dialog, IDCANCEL, "&Stop"), TRUE);
        QCOMPARE(quit->text(), QStringLiteral("&Stop"));
        QCOMPARE(quit->shortcut(), QKeySequence(QStringLiteral("Alt+S")));
        QCOMPARE(SetDlgItemTextA(dialog, IDCANCEL,
                                 "Gr\xC3\xB6\xC3\x9F"
                                 "e"),
                 TRUE);
        QCOMPARE(quit->text(), QString::fromUtf8("Gr\xC3\xB6\xC3\x9F"
                                                 "e"));
        QCOMPARE(SetDlgItemTextA(dialog, 4711, "x"), FALSE);
        QCOMPARE(SetDlgItemTextA(dialog, IDC_OUTPUT_COMBO, "x"), FALSE);

        const HWND list = GetDlgItem(dialog, IDC_OUTPUT_COMBO);
        // The result tells whether the window was disabled before.
        QCOMPARE(EnableWindow(list, FALSE), FALSE);
        QVERIFY(!harness::Item(IDC_OUTPUT_COMBO)->isEnabled());
        QCOMPARE(EnableWindow(list, FALSE), TRUE);
        QCOMPARE(EnableWindow(list, TRUE), TRUE);
        QVERIFY(harness::Item(IDC_OUTPUT_COMBO)->isEnabled());
        QCOMPARE(EnableWindow(list, TRUE), FALSE);
        QCOMPARE(EnableWindow(nullptr, TRUE), FALSE);
    });
}

void User32Test::postedMessagesArriveLaterInOrder() {
    RunProbe([] {
        const HWND dialog = harness::Dialog();
        const size_t before = harness::Calls().size();
        QCOMPARE(PostMessageA(dialog, kFirstOwnMessage, 1, 2), TRUE);
        QCOMPARE(PostMessageA(dialog, kSecondOwnMessage, 3, 4), TRUE);
        QCOMPARE(harness::Calls().size(), before);
        QTRY_COMPARE_WITH_TIMEOUT(harness::Calls().size(), before + 2, harness::kWaitMs);
        const ProcedureCall first = harness::Calls()[before];
        const ProcedureCall second = harness::Calls()[before + 1];
        QCOMPARE(first.message, kFirstOwnMessage);
        QCOMPARE(first.wParam, WPARAM{1});
        QCOMPARE(first.lParam, LPARAM{2});
        QCOMPARE(second.message, kSecondOwnMessage);
        QCOMPARE(second.wParam, WPARAM{3});
        QCOMPARE(second.lParam, LPARAM{4});
        QCOMPARE(PostMessageA(nullptr, kFirstOwnMessage, 0, 0), FALSE);
        // Sent messages arrive at once.
        QCOMPARE(SendMessageA(dialog, kFirstOwnMessage, 5, 6), LRESULT{FALSE});
        QCOMPARE(harness::Calls().back().wParam, WPARAM{5});
    });
}

void User32Test::postToADestroyedDialogFails() {
    HWND ended = nullptr;
    RunProbe([&] { ended = harness::Dialog(); });
    QCOMPARE(PostMessageA(ended, kFirstOwnMessage, 0, 0), FALSE);
    QCOMPARE(EndDialog(ended, 1), FALSE);
    QCOMPARE(GetDlgItem(ended, IDC_OPEN_BUTTON), HWND{nullptr});
}

void User32Test::workPostedForTheMainThreadRunsInTheModalLoop() {
    RunProbe([] {
        std::thread::id ranOn;
        std::thread notifier(
            [&ranOn] { PostMainThreadWork([&ranOn] { ranOn = std::this_thread::get_id(); }); });
        notifier.join();
        QTRY_VERIFY_WITH_TIMEOUT(ranOn == std::this_thread::get_id(), harness::kWaitMs);
    });
}

void User32Test::endDialogGivesTheResult() {
    const INT_PTR result = RunProbe([] {
        QCOMPARE(EndDialog(GetDlgItem(harness::Dialog(), IDCANCEL), 5), FALSE);
        QVERIFY(harness::DialogWidget()->isVisible());
        QCOMPARE(EndDialog(harness::Dialog(), 42), TRUE);
        // The dialog goes once the current message has been handled.
        QVERIFY(!harness::DialogWidget()->isVisible());
    });
    QCOMPARE(result, INT_PTR{42});
    const std::vector<ProcedureCall>& calls = harness::Calls();
    QCOMPARE(calls.front().message, UINT{WM_INITDIALOG});
    QCOMPARE(calls.back().message, UINT{WM_DESTROY});
    QCOMPARE(harness::CallsOf(WM_DESTROY).size(), size_t{1});
}

void User32Test::endDialogWhileInitialising() {
    endDuringInitialisation = 7;
    bool scriptRan = false;
    const INT_PTR result = RunProbe([&] { scriptRan = true; });
    QCOMPARE(result, INT_PTR{7});
    QTest::qWait(20);
    QVERIFY2(!scriptRan, "the dialog was shown");
    const std::vector<ProcedureCall>& calls = harness::Calls();
    QCOMPARE(calls.size(), size_t{2});
    QCOMPARE(calls[0].message, UINT{WM_INITDIALOG});
    QCOMPARE(calls[1].message, UINT{WM_DESTROY});
    QVERIFY(!calls[1].dialogVisible);
}

void User32Test::templatesByName() {
    // Names are found whatever their case, as on the platform.
    INT_PTR result =
        DialogBoxParamA(GetModuleHandleA(nullptr), "NoSuchDialog", nullptr, ProbeProcedure, 0);
    QCOMPARE(result, INT_PTR{-1});
    result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_OUTPUT_ICON), nullptr,
                             ProbeProcedure, 0);
    QCOMPARE(result, INT_PTR{-1});
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        QVERIFY(dialog != nullptr);
        EndDialog(user32::WindowOfWidget(dialog), 3);
    });
    result = DialogBoxParamA(GetModuleHandleA(nullptr), "maindialog", nullptr, ProbeProcedure, 0);
    QCOMPARE(result, INT_PTR{3});
}

void User32Test::messageBoxes_data() {
    QTest::addColumn<bool>("owned");
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("caption");
    QTest::addColumn<QString>("expectedCaption");
    QTest::addColumn<int>("icon");
    QTest::newRow("error, owned") << true << uint{MB_OK | MB_ICONERROR} << QByteArray("Error")
                                  << QStringLiteral("Error") << int{QMessageBox::Critical};
    QTest::newRow("information, owned")
        << true << uint{MB_OK | MB_ICONINFORMATION} << QByteArray("About")
        << QStringLiteral("About") << int{QMessageBox::Information};
    QTest::newRow("no icon, no owner") << false << uint{MB_OK} << QByteArray("Plain")
                                       << QStringLiteral("Plain") << int{QMessageBox::NoIcon};
    QTest::newRow("no caption") << true << uint{MB_OK | MB_ICONERROR} << QByteArray()
                                << QStringLiteral("Error") << int{QMessageBox::Critical};
}

void User32Test::messageBoxes() {
    QFETCH(bool, owned);
    QFETCH(uint, type);
    QFETCH(QByteArray, caption);
    QFETCH(QString, expectedCaption);
    QFETCH(int, icon);
    // Text is shown as it is, markup and line feeds included.
    const char text[] = "Line <b>one</b>\nLine two & more";
    int result = 0;
    RunProbe([&] {
        result = MessageBoxA(owned ? harness::Dialog() : nullptr, text,
                             caption.isNull() ? nullptr : caption.constData(), type);
    });
    QCOMPARE(result, IDOK);
    QCOMPARE(harness::Boxes().size(), size_t{1});
    const SeenMessageBox& box = harness::Boxes().front();
    QCOMPARE(box.caption, expectedCaption);
    QCOMPARE(box.text, QString::fromUtf8(text));
    QCOMPARE(int{box.icon}, icon);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.ownedByDialog, owned);
    QVERIFY(box.applicationModal);
}

void User32Test::formatting_data() {
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<int>("number");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("channel 1") << QByteArray("MIDI Channel %d") << 1
                               << QByteArray("MIDI Channel 1");
    QTest::newRow("channel 16") << QByteArray("MIDI Channel %d") << 16
                                << QByteArray("MIDI Channel 16");
    QTest::newRow("negative") << QByteArray("%d%%") << -5 << QByteArray("-5%");
    QTest::newRow("no conversion") << QByteArray("") << 0 << QByteArray("");
}

void User32Test::formatting() {
    QFETCH(QByteArray, format);
    QFETCH(int, number);
    QFETCH(QByteArray, expected);
    char buffer[1024];
    std::memset(buffer, 'x', sizeof buffer);
    const int length = wsprintfA(buffer, format.constData(), number);
    QCOMPARE(QByteArray(buffer), expected);
    QCOMPARE(length, expected.size());
}

void User32Test::formattingStopsAt1024() {
    // The platform writes at most 1024 characters, the terminating NUL
    // included, whatever the buffer.
    std::string buffer(4096, 'x');
    const std::string longText(2000, 'a');
    const int length = wsprintfA(buffer.data(), "%s!", longText.c_str());
    QCOMPARE(length, 1023);
    QCOMPARE(buffer.find('\0'), size_t{1023});
    QCOMPARE(buffer.substr(0, 1023), std::string(1023, 'a'));
    QCOMPARE(buffer[1024], 'x');
}

void User32Test::resourcesAsCompiled() {
    const std::vector<user32::ResourceEntry> entries = ProgramEntries();
    // The template, two icons (each a group of one image), the manifest and
    // the version block, which the Windows build alone uses.
    QCOMPARE(entries.size(), size_t{7});
    const user32::ResourceEntry* dialog =
        user32::FindEntry(entries, user32::kDialogResource, "MAINDIALOG");
    QVERIFY(dialog != nullptr);
    QCOMPARE(dialog->language, WORD{0x0809});
    user32::DialogTemplate layout;
    QVERIFY(user32::ReadDialogTemplate(dialog->data, dialog->size, layout));
    QCOMPARE(layout.style, DWORD{DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_CAPTION | WS_SYSMENU |
                                 WS_MINIMIZEBOX});
    QCOMPARE(layout.extendedStyle, DWORD{0});
    QCOMPARE(QString::fromStdU16String(layout.title), QStringLiteral("Velmora "));
    QCOMPARE(QString::fromStdU16String(layout.fontName), QStringLiteral("MS Sans Serif"));
    QCOMPARE(layout.pointSize, 8);
    QCOMPARE(layout.cx, 246);
    QCOMPARE(layout.cy, 78);
    QCOMPARE(layout.items.size(), size_t{9});
    const user32::DialogItemTemplate& icon = layout.items[7];
    QVERIFY(icon.title.isNumber);
    QCOMPARE(icon.title.number, WORD{IDI_OUTPUT_ICON});
    QCOMPARE(icon.style & 0x1F, DWORD{SS_ICON});

    // Each icon group gives back the .ico file it was compiled from.
    const struct {
        WORD group;
        const char* file;
    } icons[] = {{IDI_OUTPUT_ICON, "output.ico"}, {IDI_CHANNEL_ICON, "channel.ico"}};
    for (const auto& expected : icons) {
        std::vector<BYTE> iconFile;
        QVERIFY2(user32::BuildIconFile(entries, expected.group, iconFile), expected.file);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(iconFile.data()),
                            static_cast<qsizetype>(iconFile.size())),
                 FileBytes(QString::fromLatin1(expected.file)));
    }
    WORD first = 0;
    QVERIFY(user32::FirstIconGroup(entries, first));
    QCOMPARE(first, WORD{IDI_OUTPUT_ICON});
    std::vector<BYTE> none;
    QVERIFY(!user32::BuildIconFile(entries, 999, none));
}

void User32Test::resourcesCutShortAreRefused() {
    const BYTE* data = user32::ProgramResourceData();
    const size_t size = user32::ProgramResourceSize();
    // A file cut after an entry's data, with or without the padding that
    // follows it, is a smaller whole file; cut anywhere else it is refused.
    std::vector<std::pair<size_t, size_t>> entryEnds = {{0, 0}, {32, 32}};
    const std::vector<user32::ResourceEntry> all = ProgramEntries();
    for (const user32::ResourceEntry& entry : all) {
        const size_t end = static_cast<size_t>(entry.data - data) + entry.size;
        entryEnds.push_back({end, (end + 3) / 4 * 4});
    }
    for (size_t length = 0; length < size; ++length) {
        std::vector<BYTE> cut(data, data + length);
        std::vector<user32::ResourceEntry> entries;
        const bool read = user32::ReadResourceFile(cut.data(), cut.size(), entries);
        const bool whole = std::any_of(entryEnds.begin(), entryEnds.end(), [&](const auto& end) {
            return length >= end.first && length <= end.second;
        });
        QVERIFY2(read == whole, qPrintable(QStringLiteral("cut to %1 bytes").arg(length)));
    }
    const user32::ResourceEntry* dialog =
        user32::FindEntry(all, user32::kDialogResource, "MAINDIALOG");
    QVERIFY(dialog != nullptr);
    for (size_t length = 0; length < dialog->size; ++length) {
        std::vector<BYTE> cut(dialog->data, dialog->data + length);
        user32::DialogTemplate layout;
        QVERIFY2(!user32::ReadDialogTemplate(cut.data(), cut.size(), layout),
                 qPrintable(QStringLiteral("template cut to %1 bytes").arg(length)));
    }
}
