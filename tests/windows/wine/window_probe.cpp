// Prints every dialog window on the desktop (dialogs and message boxes, class
// "#32770") with its controls as one line of JSON, so that a test can read
// what the user sees: captions, texts, which control has the focus, which are
// enabled, and the entries of combo boxes with their item data.
//
//   window-probe.exe        one line, then exit
//   window-probe.exe -      one line for every line read from standard input
//                           (saves starting a process per look)
//
// Window texts are read from the window manager's copy, which works across
// processes without sending messages; combo box entries need messages, sent
// with a timeout so that a hung program cannot hang the probe.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const UINT kMessageTimeoutMs = 2000;

struct Output {
    char* text;
    size_t length;
    size_t capacity;
};

void Append(Output& out, const char* text, size_t length) {
    if (out.length + length + 1 > out.capacity) {
        size_t capacity = out.capacity == 0 ? 4096 : out.capacity;
        while (out.length + length + 1 > capacity) {
            capacity *= 2;
        }
        out.text = static_cast<char*>(realloc(out.text, capacity));
        out.capacity = capacity;
    }
    memcpy(out.text + out.length, text, length);
    out.length += length;
    out.text[out.length] = '\0';
}

void Append(Output& out, const char* text) {
    Append(out, text, strlen(text));
}

void AppendFormat(Output& out, const char* format, unsigned long long value) {
    char buffer[64];
    snprintf(buffer, sizeof buffer, format, value);
    Append(out, buffer);
}

// Texts are ANSI (code page 1252 here); bytes above 127 are written as the
// Unicode code points of the same number, which Latin-1 decoding gives back.
void AppendString(Output& out, const char* text) {
    Append(out, "\"");
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != 0; ++c) {
        if (*c == '"' || *c == '\\') {
            const char escaped[2] = {'\\', static_cast<char>(*c)};
            Append(out, escaped, 2);
        } else if (*c < 0x20 || *c >= 0x7F) {
            AppendFormat(out, "\\u%04llx", *c);
        } else {
            Append(out, reinterpret_cast<const char*>(c), 1);
        }
    }
    Append(out, "\"");
}

void AppendKey(Output& out, const char* key) {
    Append(out, "\"");
    Append(out, key);
    Append(out, "\":");
}

void AppendHandle(Output& out, const char* key, HWND window) {
    AppendKey(out, key);
    AppendFormat(out, "%llu,", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
}

void AppendRect(Output& out, const char* key, const RECT& rect) {
    AppendKey(out, key);
    char buffer[96];
    snprintf(buffer, sizeof buffer, "[%ld,%ld,%ld,%ld],", rect.left, rect.top, rect.right,
             rect.bottom);
    Append(out, buffer);
}

void AppendBool(Output& out, const char* key, bool value) {
    AppendKey(out, key);
    Append(out, value ? "true," : "false,");
}

void AppendText(Output& out, const char* key, HWND window) {
    char text[1024];
    text[0] = '\0';
    GetWindowTextA(window, text, sizeof text);
    AppendKey(out, key);
    AppendString(out, text);
    Append(out, ",");
}

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    DWORD_PTR value = 0;
    if (SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                            &value) == 0) {
        return false;
    }
    result = static_cast<LRESULT>(value);
    return true;
}

bool SendWide(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    DWORD_PTR value = 0;
    if (SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                            &value) == 0) {
        return false;
    }
    result = static_cast<LRESULT>(value);
    return true;
}

void AppendComboBox(Output& out, HWND combo) {
    LRESULT count = 0;
    LRESULT selected = 0;
    if (!Send(combo, CB_GETCOUNT, 0, 0, count) || !Send(combo, CB_GETCURSEL, 0, 0, selected)) {
        Append(out, "\"combo_error\":true,");
        return;
    }
    AppendKey(out, "selected");
    AppendFormat(out, "%lld,", static_cast<long long>(selected));
    AppendKey(out, "items");
    Append(out, "[");
    for (LRESULT i = 0; i < count; ++i) {
        // The wide message: Wine's conversion of the ANSI one across
        // processes returns only the first character.
        WCHAR wide[256];
        char text[256];
        LRESULT length = 0;
        LRESULT data = 0;
        if (!Send(combo, CB_GETLBTEXTLEN, i, 0, length) || length < 0 ||
            length >= static_cast<LRESULT>(sizeof wide / sizeof wide[0]) ||
            !SendWide(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide), length) ||
            !Send(combo, CB_GETITEMDATA, i, 0, data) ||
            (length > 0 && WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), text,
                                               sizeof text - 1, nullptr, nullptr) == 0)) {
            Append(out, "null");
        } else {
            text[length] = '\0';
            Append(out, "{\"text\":");
            AppendString(out, text);
            AppendFormat(out, ",\"data\":%lld}", static_cast<long long>(data));
        }
        if (i + 1 < count) {
            Append(out, ",");
        }
    }
    Append(out, "],");
}

struct ControlList {
    Output* out;
    HWND dialog;
    bool first;
};

BOOL CALLBACK AppendControl(HWND control, LPARAM parameter) {
    ControlList& list = *reinterpret_cast<ControlList*>(parameter);
    // Only the dialog's own controls, not the windows inside them.
    if (GetParent(control) != list.dialog) {
        return TRUE;
    }
    Output& out = *list.out;
    if (!list.first) {
        Append(out, ",");
    }
    list.first = false;
    char className[64];
    className[0] = '\0';
    GetClassNameA(control, className, sizeof className);
    RECT rect;
    GetWindowRect(control, &rect);
    Append(out, "{");
    AppendKey(out, "id");
    AppendFormat(out, "%lld,", static_cast<long long>(GetDlgCtrlID(control)));
    AppendKey(out, "class");
    AppendString(out, className);
    Append(out, ",");
    AppendText(out, "text", control);
    AppendKey(out, "style");
    AppendFormat(
        out, "%llu,",
        static_cast<unsigned long long>(static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE))));
    AppendBool(out, "enabled", IsWindowEnabled(control) != FALSE);
    AppendBool(out, "visible", IsWindowVisible(control) != FALSE);
    if (lstrcmpiA(className, "ComboBox") == 0) {
        AppendComboBox(out, control);
    }
    AppendRect(out, "rect", rect);
    AppendHandle(out, "hwnd", control);
    out.length -= 1;  // the last comma
    Append(out, "}");
    return TRUE;
}

// The middle of the close box, found as the pixels of the title bar for which
// the window's own hit test answers HTCLOSE; null if there is none.
void AppendCloseBox(Output& out, HWND window) {
    TITLEBARINFO titleBar;
    memset(&titleBar, 0, sizeof titleBar);
    titleBar.cbSize = sizeof titleBar;
    AppendKey(out, "close_box");
    if (!GetTitleBarInfo(window, &titleBar)) {
        Append(out, "null,");
        return;
    }
    const RECT& bar = titleBar.rcTitleBar;
    const LONG y = (bar.top + bar.bottom) / 2;
    LONG right = -1;
    LONG left = -1;
    for (LONG x = bar.right - 1; x >= bar.left; --x) {
        LRESULT hit = HTNOWHERE;
        if (!Send(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), hit)) {
            break;
        }
        if (hit == HTCLOSE) {
            if (right < 0) {
                right = x;
            }
            left = x;
        } else if (right >= 0) {
            break;
        }
    }
    if (right < 0) {
        Append(out, "null,");
        return;
    }
    char buffer[64];
    snprintf(buffer, sizeof buffer, "[%ld,%ld],", (left + right) / 2, y);
    Append(out, buffer);
}

struct WindowList {
    Output* out;
    bool first;
};

BOOL CALLBACK AppendWindow(HWND window, LPARAM parameter) {
    WindowList& list = *reinterpret_cast<WindowList*>(parameter);
    char className[64];
    className[0] = '\0';
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") != 0) {
        return TRUE;
    }
    Output& out = *list.out;
    if (!list.first) {
        Append(out, ",");
    }
    list.first = false;
    DWORD processId = 0;
    const DWORD threadId = GetWindowThreadProcessId(window, &processId);
    GUITHREADINFO thread;
    memset(&thread, 0, sizeof thread);
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(threadId, &thread);
    RECT rect;
    GetWindowRect(window, &rect);

    Append(out, "{");
    AppendHandle(out, "hwnd", window);
    AppendText(out, "title", window);
    AppendKey(out, "pid");
    AppendFormat(out, "%llu,", processId);
    AppendHandle(out, "owner", GetWindow(window, GW_OWNER));
    AppendBool(out, "visible", IsWindowVisible(window) != FALSE);
    AppendBool(out, "enabled", IsWindowEnabled(window) != FALSE);
    AppendBool(out, "foreground", GetForegroundWindow() == window);
    AppendHandle(out, "focus", thread.hwndFocus);
    AppendKey(out, "style");
    AppendFormat(out, "%llu,", static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)));
    AppendKey(out, "exstyle");
    AppendFormat(out, "%llu,", static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)));
    AppendKey(out, "x11");
    AppendFormat(out, "%llu,",
                 static_cast<unsigned long long>(
                     reinterpret_cast<UINT_PTR>(GetPropA(window, "__wine_x11_whole_window"))));
    AppendRect(out, "rect", rect);
    AppendCloseBox(out, window);
    AppendKey(out, "controls");
    Append(out, "[");
    ControlList controls = {&out, window, true};
    EnumChildWindows(window, AppendControl, reinterpret_cast<LPARAM>(&controls));
    Append(out, "]}");
    return TRUE;
}

void PrintWindows() {
    Output out = {nullptr, 0, 0};
    Append(out, "{\"windows\":[");
    WindowList list = {&out, true};
    // Top to bottom, in z-order.
    EnumWindows(AppendWindow, reinterpret_cast<LPARAM>(&list));
    Append(out, "]}\n");
    fputs(out.text, stdout);
    fflush(stdout);
    free(out.text);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && strcmp(argv[1], "-") == 0) {
        char line[64];
        while (fgets(line, sizeof line, stdin) != nullptr) {
            PrintWindows();
        }
        return 0;
    }
    PrintWindows();
    return 0;
}
