// ty_driver: starts one program and works its windows the way a user would,
// on orders read line by line from stdin, answering one line per order on
// stdout. The Python harness (tests/e2e/harness.py) runs it under Wine and
// takes screenshots between the orders.
//
// Orders:
//   cwd PATH                 current folder for the next start (empty: ours)
//   start COMMAND LINE       ok pid N (PATH and COMMAND LINE are UTF-8)
//   wait-window [MS]         window {JSON}: the next top-level window of the
//                            started process that has not been reported yet;
//                            it becomes the current window; "seen" is when
//                            it was first found (milliseconds as for click)
//   describe                 window {JSON} of the current window, read again
//   windows                  windows [JSON, ...]: every visible one of the process
//   click ID                 ok T: presses the control's button; T is when
//                            (milliseconds of the performance counter)
//   type ID TEXT             ok: sets the control's text (TEXT is UTF-8)
//   check ID 0|1             ok: clicks a check box until it shows the state
//   key esc|enter|tab|space  ok: the key, sent to the focused control
//   close                    ok: the window's system menu Close
//   move X Y                 ok: moves the window's top left corner there
//   wait-exit [MS]           exit N T, the exit code as unsigned 32-bit number
//                            and when the end was seen (as for click)
//   poll MS                  ok: how often the waits look (default 20)
//   forget CAPTION           ok N: the next wait-window reports again the N
//                            windows of this caption it has reported, such
//                            as a page that stays open after its box
//   kill                     ok: terminates the started process
//   descendants on|off       ok: whether the windows of the processes that the
//                            started one starts (and theirs) count as its own,
//                            such as an uninstaller the installer runs;
//                            off until turned on, and kept for later starts
//   quit                     ends the driver
// Failures answer "error KIND DETAIL" (KIND: timeout, exited, window,
// no-process, no-window, no-control, disabled, hidden, not-a-checkbox,
// start, usage); a wait never outlasts its time-out.
#include <windows.h>
#include <tlhelp32.h>

#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define DRIVER_LINE_SIZE 65536
#define DRIVER_TEXT_SIZE 65536
#define DRIVER_MAX_WINDOWS 256
#define DRIVER_POLL_MS 20
#define DRIVER_DEFAULT_TIMEOUT_MS 10000
#define DRIVER_SEND_TIMEOUT_MS 5000
#define DRIVER_PAINT_TIMEOUT_MS 2000

// Wine gives the message box's icon the id 1088, Windows 20.
#define MSGBOX_TEXT_ID 0xFFFF
#define MSGBOX_ICON_ID_WINE 1088
#define MSGBOX_ICON_ID_WINDOWS 20

static PROCESS_INFORMATION child;
static bool childStarted = false;
static HWND currentWindow = NULL;
static HWND reported[DRIVER_MAX_WINDOWS];
static int reportedCount = 0;
static char workFolder[MAX_PATH * 3] = "";
static int pollMs = DRIVER_POLL_MS;

// The performance counter in milliseconds: the times the benchmark reads.
static double nowMs() {
    LARGE_INTEGER frequency, count;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    return (double)count.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

// ---------------------------------------------------------------- output

// The JSON answer is built in one growing buffer and written as one line.
struct Out {
    char *data;
    size_t length;
    size_t size;
};

static void outAppend(Out *out, const char *text, size_t length) {
    if (out->length + length + 1 > out->size) {
        size_t size = out->size ? out->size : 4096;
        while (out->length + length + 1 > size) size *= 2;
        out->data = (char *)realloc(out->data, size);
        if (out->data == NULL) {
            fputs("error memory out of memory\n", stdout);
            exit(3);
        }
        out->size = size;
    }
    memcpy(out->data + out->length, text, length);
    out->length += length;
    out->data[out->length] = '\0';
}

static void outf(Out *out, const char *format, ...) {
    char piece[512];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(piece, sizeof piece, format, args);
    va_end(args);
    if (length < 0) return;
    if ((size_t)length >= sizeof piece) length = sizeof piece - 1;
    outAppend(out, piece, (size_t)length);
}

// Window texts are read as UTF-16 and written as JSON with \u escapes, so the
// line stays ASCII whatever the code page of the prefix.
static void outJsonString(Out *out, const wchar_t *text) {
    outAppend(out, "\"", 1);
    for (const wchar_t *p = text; *p; p++) {
        unsigned c = (unsigned)*p;
        if (c == '"') outAppend(out, "\\\"", 2);
        else if (c == '\\') outAppend(out, "\\\\", 2);
        else if (c == '\n') outAppend(out, "\\n", 2);
        else if (c == '\r') outAppend(out, "\\r", 2);
        else if (c == '\t') outAppend(out, "\\t", 2);
        else if (c < 0x20 || c >= 0x7F) outf(out, "\\u%04x", c);
        else {
            char ch = (char)c;
            outAppend(out, &ch, 1);
        }
    }
    outAppend(out, "\"", 1);
}

static void answer(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(stdout, format, args);
    va_end(args);
    fputc('\n', stdout);
    fflush(stdout);
}

static void answerOut(const char *prefix, Out *out) {
    fputs(prefix, stdout);
    fputc(' ', stdout);
    fwrite(out->data, 1, out->length, stdout);
    fputc('\n', stdout);
    fflush(stdout);
    free(out->data);
    out->data = NULL;
    out->length = out->size = 0;
}

// ---------------------------------------------------------------- windows

// Reads a control's text through WM_GETTEXT, which the system carries across
// processes (GetWindowText would not ask another process's edit control).
static void readText(HWND window, wchar_t *text, size_t size) {
    text[0] = 0;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, (WPARAM)size, (LPARAM)text,
                             SMTO_ABORTIFHUNG, DRIVER_SEND_TIMEOUT_MS, &result))
        text[0] = 0;
    text[size - 1] = 0;
}

static void readClass(HWND window, wchar_t *name, int size) {
    name[0] = 0;
    if (GetClassNameW(window, name, size) == 0) name[0] = 0;
}

static bool isCheckable(HWND control) {
    wchar_t name[64];
    readClass(control, name, 64);
    if (lstrcmpiW(name, L"Button") != 0) return false;
    LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
           type == BS_3STATE || type == BS_AUTO3STATE || type == BS_AUTORADIOBUTTON;
}

static int readCheck(HWND control) {
    DWORD_PTR state = 0;
    if (!SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG,
                             DRIVER_SEND_TIMEOUT_MS, &state))
        return -1;
    return (int)state;
}

// PBM_GETPOS of the common controls, without their header.
#define DRIVER_PBM_GETPOS (WM_USER + 8)

static bool isProgressBar(HWND control) {
    wchar_t name[64];
    readClass(control, name, 64);
    return lstrcmpiW(name, L"msctls_progress32") == 0;
}

// The bar's position, -1 when the control does not answer.
static long readPosition(HWND control) {
    DWORD_PTR position = 0;
    if (!SendMessageTimeoutW(control, DRIVER_PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG,
                             DRIVER_SEND_TIMEOUT_MS, &position))
        return -1;
    return (long)position;
}

static const struct {
    LPCSTR id;
    const char *name;
} stockIcons[] = {
    {IDI_ERROR, "error"},
    {IDI_WARNING, "warning"},
    {IDI_INFORMATION, "information"},
    {IDI_QUESTION, "question"},
    {IDI_APPLICATION, "application"},
};
#define STOCK_ICON_COUNT (sizeof stockIcons / sizeof stockIcons[0])

// A 32-bit top-down picture of w x h pixels in a memory DC.
struct Picture {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    DWORD *bits;
};

static bool makePicture(Picture *picture, int width, int height) {
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    picture->dc = CreateCompatibleDC(NULL);
    picture->bitmap = CreateDIBSection(picture->dc, &info, DIB_RGB_COLORS,
                                       (void **)&picture->bits, NULL, 0);
    if (picture->dc == NULL || picture->bitmap == NULL) {
        if (picture->bitmap) DeleteObject(picture->bitmap);
        if (picture->dc) DeleteDC(picture->dc);
        return false;
    }
    picture->old = SelectObject(picture->dc, picture->bitmap);
    return true;
}

static void freePicture(Picture *picture) {
    SelectObject(picture->dc, picture->old);
    DeleteObject(picture->bitmap);
    DeleteDC(picture->dc);
}

static void paintIcon(Picture *picture, int width, int height, HICON icon, COLORREF ground) {
    RECT all = {0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(ground);
    FillRect(picture->dc, &all, brush);
    DeleteObject(brush);
    DrawIconEx(picture->dc, 0, 0, icon, width, height, 0, NULL, DI_NORMAL);
    GdiFlush();
}

// Which stock icon the control shows on the screen. Under Wine an icon
// handle belongs to the process that loaded it, so the box's handle never
// equals ours; what is drawn is compared instead. Each stock icon is drawn
// on black and on white: the pixels that come out the same are its opaque
// ones, and those must all match the screen.
static const char *iconOnScreen(HWND control) {
    RECT client;
    GetClientRect(control, &client);
    int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0 || width > 256 || height > 256) return NULL;
    POINT origin = {0, 0};
    ClientToScreen(control, &origin);

    Picture screen, onBlack, onWhite;
    if (!makePicture(&screen, width, height)) return NULL;
    if (!makePicture(&onBlack, width, height)) {
        freePicture(&screen);
        return NULL;
    }
    if (!makePicture(&onWhite, width, height)) {
        freePicture(&screen);
        freePicture(&onBlack);
        return NULL;
    }
    const char *found = NULL;
    // The box may not have been painted yet: look again for a while.
    for (int attempt = 0; attempt < 40 && found == NULL; attempt++) {
        if (attempt) Sleep(50);
        HDC desktop = GetDC(NULL);
        BitBlt(screen.dc, 0, 0, width, height, desktop, origin.x, origin.y, SRCCOPY);
        ReleaseDC(NULL, desktop);
        GdiFlush();
        for (size_t i = 0; i < STOCK_ICON_COUNT && found == NULL; i++) {
            HICON icon = LoadIconA(NULL, stockIcons[i].id);
            paintIcon(&onBlack, width, height, icon, RGB(0, 0, 0));
            paintIcon(&onWhite, width, height, icon, RGB(255, 255, 255));
            int opaque = 0, differing = 0;
            for (int p = 0; p < width * height; p++) {
                DWORD colour = onBlack.bits[p] & 0xFFFFFF;
                if (colour != (onWhite.bits[p] & 0xFFFFFF)) continue;
                opaque++;
                if (colour != (screen.bits[p] & 0xFFFFFF)) differing++;
            }
            if (opaque >= 64 && differing == 0) found = stockIcons[i].name;
        }
    }
    freePicture(&screen);
    freePicture(&onBlack);
    freePicture(&onWhite);
    return found;
}

// The icon of a message box: its handle compared with the system's stock
// icons (the same handles in every process on Windows), else what it shows.
static const char *iconName(HWND box) {
    HWND icon = GetDlgItem(box, MSGBOX_ICON_ID_WINE);
    if (icon == NULL) icon = GetDlgItem(box, MSGBOX_ICON_ID_WINDOWS);
    if (icon == NULL || !IsWindowVisible(icon)) return "none";
    DWORD_PTR handle = 0;
    if (!SendMessageTimeoutW(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG,
                             DRIVER_SEND_TIMEOUT_MS, &handle))
        return "unreadable";
    if (handle == 0) return "none";
    for (size_t i = 0; i < STOCK_ICON_COUNT; i++)
        if ((HICON)handle == LoadIconA(NULL, stockIcons[i].id)) return stockIcons[i].name;
    const char *shown = iconOnScreen(icon);
    return shown ? shown : "other";
}

struct ChildList {
    HWND items[512];
    int count;
};

static BOOL CALLBACK collectChild(HWND window, LPARAM param) {
    ChildList *list = (ChildList *)param;
    if (list->count < 512) list->items[list->count++] = window;
    return TRUE;
}

static void describeWindow(Out *out, HWND window, double seen = -1) {
    static wchar_t text[DRIVER_TEXT_SIZE];
    wchar_t name[256];
    RECT rect;
    GetWindowRect(window, &rect);
    readClass(window, name, 256);
    readText(window, text, DRIVER_TEXT_SIZE);
    outf(out, "{\"hwnd\": \"0x%08lx\", \"class\": ", (unsigned long)(ULONG_PTR)window);
    outJsonString(out, name);
    outAppend(out, ", \"caption\": ", 13);
    outJsonString(out, text);
    outf(out, ", \"rect\": [%ld, %ld, %ld, %ld], \"enabled\": %s", rect.left, rect.top,
         rect.right, rect.bottom, IsWindowEnabled(window) ? "true" : "false");
    if (seen >= 0) outf(out, ", \"seen\": %.3f", seen);

    static ChildList children;
    children.count = 0;
    EnumChildWindows(window, collectChild, (LPARAM)&children);
    bool messageBox = lstrcmpW(name, L"#32770") == 0 && GetDlgItem(window, MSGBOX_TEXT_ID) != NULL;

    outAppend(out, ", \"controls\": [", 15);
    for (int i = 0; i < children.count; i++) {
        HWND control = children.items[i];
        wchar_t controlClass[256];
        readClass(control, controlClass, 256);
        readText(control, text, DRIVER_TEXT_SIZE);
        if (i) outAppend(out, ", ", 2);
        outf(out, "{\"id\": %d, \"class\": ", GetDlgCtrlID(control));
        outJsonString(out, controlClass);
        outAppend(out, ", \"text\": ", 10);
        outJsonString(out, text);
        if (isCheckable(control)) outf(out, ", \"check\": %d", readCheck(control));
        else outAppend(out, ", \"check\": null", 15);
        if (isProgressBar(control)) outf(out, ", \"position\": %ld", readPosition(control));
        outf(out, ", \"enabled\": %s, \"visible\": %s}",
             IsWindowEnabled(control) ? "true" : "false",
             IsWindowVisible(control) ? "true" : "false");
    }
    outAppend(out, "]", 1);

    if (messageBox) {
        readText(GetDlgItem(window, MSGBOX_TEXT_ID), text, DRIVER_TEXT_SIZE);
        outAppend(out, ", \"messagebox\": {\"text\": ", 25);
        outJsonString(out, text);
        outf(out, ", \"icon\": \"%s\"", iconName(window));
        outAppend(out, ", \"buttons\": [", 14);
        bool first = true;
        for (int i = 0; i < children.count; i++) {
            HWND control = children.items[i];
            wchar_t controlClass[256];
            readClass(control, controlClass, 256);
            if (lstrcmpiW(controlClass, L"Button") != 0 || !IsWindowVisible(control)) continue;
            readText(control, text, DRIVER_TEXT_SIZE);
            if (!first) outAppend(out, ", ", 2);
            first = false;
            outf(out, "{\"id\": %d, \"text\": ", GetDlgCtrlID(control));
            outJsonString(out, text);
            outAppend(out, "}", 1);
        }
        outAppend(out, "]}", 2);
    } else {
        outAppend(out, ", \"messagebox\": null", 20);
    }
    outAppend(out, "}", 1);
}

struct WindowList {
    HWND items[DRIVER_MAX_WINDOWS];
    int count;
};

// The started process and, when followed, the processes descending from it;
// read anew for every look at the windows, so that a process started a
// moment ago is in, and one whose parent has ended still is.
static bool followDescendants = false;
static DWORD family[DRIVER_MAX_WINDOWS];
static int familyCount = 0;

static bool inFamily(DWORD pid) {
    for (int i = 0; i < familyCount; i++)
        if (family[i] == pid) return true;
    return false;
}

static void readFamily() {
    familyCount = 0;
    family[familyCount++] = child.dwProcessId;
    if (!followDescendants) return;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    static PROCESSENTRY32 processes[DRIVER_MAX_WINDOWS];
    int count = 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more && count < DRIVER_MAX_WINDOWS;
         more = Process32Next(snapshot, &entry))
        processes[count++] = entry;
    CloseHandle(snapshot);
    // Each pass adds the children of those found so far.
    for (bool grown = true; grown;) {
        grown = false;
        for (int i = 0; i < count && familyCount < DRIVER_MAX_WINDOWS; i++) {
            if (inFamily(processes[i].th32ProcessID) ||
                !inFamily(processes[i].th32ParentProcessID))
                continue;
            family[familyCount++] = processes[i].th32ProcessID;
            grown = true;
        }
    }
}

static BOOL CALLBACK collectTopLevel(HWND window, LPARAM param) {
    WindowList *list = (WindowList *)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (inFamily(pid) && IsWindowVisible(window) && list->count < DRIVER_MAX_WINDOWS)
        list->items[list->count++] = window;
    return TRUE;
}

static void visibleWindows(WindowList *list) {
    list->count = 0;
    readFamily();
    EnumWindows(collectTopLevel, (LPARAM)list);
}

static bool wasReported(HWND window) {
    for (int i = 0; i < reportedCount; i++)
        if (reported[i] == window) return true;
    return false;
}

// A handle may be reused after its window is gone, so forget the dead ones.
static void forgetDeadWindows() {
    int kept = 0;
    for (int i = 0; i < reportedCount; i++)
        if (IsWindow(reported[i])) reported[kept++] = reported[i];
    reportedCount = kept;
}

static HWND findNewWindow() {
    forgetDeadWindows();
    WindowList list;
    visibleWindows(&list);
    for (int i = 0; i < list.count; i++)
        if (!wasReported(list.items[i])) return list.items[i];
    return NULL;
}

static BOOL CALLBACK findUnpainted(HWND window, LPARAM param) {
    if (IsWindowVisible(window) && GetUpdateRect(window, NULL, FALSE)) {
        *(bool *)param = true;
        return FALSE;
    }
    return TRUE;
}

// Waits until the program has set the window up and painted it, so that
// what is read and what a screenshot shows agree: a message sent to the
// window returns once the program is back in its message loop, and then
// no part of it may be waiting to be painted.
static void waitSettled(HWND window) {
    DWORD_PTR result;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, DRIVER_SEND_TIMEOUT_MS, &result);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < DRIVER_PAINT_TIMEOUT_MS) {
        bool unpainted = GetUpdateRect(window, NULL, FALSE) != FALSE;
        if (!unpainted) EnumChildWindows(window, findUnpainted, (LPARAM)&unpainted);
        if (!unpainted) break;
        Sleep(DRIVER_POLL_MS / 2);
    }
}

static void reportWindow(HWND window, double seen) {
    waitSettled(window);
    if (reportedCount < DRIVER_MAX_WINDOWS) reported[reportedCount++] = window;
    currentWindow = window;
    Out out = {NULL, 0, 0};
    describeWindow(&out, window, seen);
    answerOut("window", &out);
}

static bool childExited(DWORD *code) {
    if (WaitForSingleObject(child.hProcess, 0) != WAIT_OBJECT_0) return false;
    GetExitCodeProcess(child.hProcess, code);
    return true;
}

// ---------------------------------------------------------------- orders

static int parseTimeout(const char *argument) {
    if (argument == NULL || *argument == '\0') return DRIVER_DEFAULT_TIMEOUT_MS;
    return atoi(argument);
}

static void orderStart(const char *commandLine) {
    if (childStarted) {
        CloseHandle(child.hProcess);
        CloseHandle(child.hThread);
        childStarted = false;
    }
    reportedCount = 0;
    currentWindow = NULL;
    static wchar_t line[DRIVER_LINE_SIZE];
    static wchar_t folder[MAX_PATH];
    if (MultiByteToWideChar(CP_UTF8, 0, commandLine, -1, line, DRIVER_LINE_SIZE) == 0 ||
        MultiByteToWideChar(CP_UTF8, 0, workFolder, -1, folder, MAX_PATH) == 0)
        return answer("error usage the command line or folder is not UTF-8");
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessW(NULL, line, NULL, NULL, FALSE, 0, NULL, folder[0] ? folder : NULL,
                        &startup, &child)) {
        answer("error start CreateProcess failed with %lu", GetLastError());
        return;
    }
    childStarted = true;
    answer("ok pid %lu", child.dwProcessId);
}

static void orderWaitWindow(const char *argument) {
    if (!childStarted) return answer("error no-process nothing started");
    int timeout = parseTimeout(argument);
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = findNewWindow();
        if (window != NULL) return reportWindow(window, nowMs());
        DWORD code;
        if (childExited(&code))
            return answer("error exited the process ended with %lu before a new window", code);
        if ((int)(GetTickCount() - start) >= timeout)
            return answer("error timeout no new window within %d ms", timeout);
        Sleep(pollMs);
    }
}

static void orderWaitExit(const char *argument) {
    if (!childStarted) return answer("error no-process nothing started");
    int timeout = parseTimeout(argument);
    DWORD start = GetTickCount();
    for (;;) {
        DWORD code;
        if (childExited(&code)) return answer("exit %lu %.3f", code, nowMs());
        HWND window = findNewWindow();
        if (window != NULL) {
            waitSettled(window);
            if (reportedCount < DRIVER_MAX_WINDOWS) reported[reportedCount++] = window;
            currentWindow = window;
            Out out = {NULL, 0, 0};
            describeWindow(&out, window);
            return answerOut("error window", &out);
        }
        if ((int)(GetTickCount() - start) >= timeout)
            return answer("error timeout the process did not end within %d ms", timeout);
        // Back at once when the process ends.
        WaitForSingleObject(child.hProcess, pollMs);
    }
}

static bool needWindow() {
    if (currentWindow == NULL || !IsWindow(currentWindow)) {
        answer("error no-window no current window");
        return false;
    }
    return true;
}

// Finds a control of the current window that a user could operate.
static HWND usableControl(const char *argument) {
    if (!needWindow()) return NULL;
    if (argument == NULL || *argument == '\0') {
        answer("error usage a control id is needed");
        return NULL;
    }
    int id = atoi(argument);
    HWND control = GetDlgItem(currentWindow, id);
    if (control == NULL) {
        answer("error no-control no control %d", id);
        return NULL;
    }
    if (!IsWindowVisible(control)) {
        answer("error hidden control %d is not visible", id);
        return NULL;
    }
    if (!IsWindowEnabled(control)) {
        answer("error disabled control %d is disabled", id);
        return NULL;
    }
    return control;
}

static void orderClick(const char *argument) {
    HWND control = usableControl(argument);
    if (control == NULL) return;
    // Posted, not sent: the click may open a modal box, and a sent message
    // would then not return until that box was closed.
    PostMessageW(control, BM_CLICK, 0, 0);
    answer("ok %.3f", nowMs());
}

static void orderType(char *argument) {
    char *text = strchr(argument, ' ');
    if (text != NULL) *text++ = '\0';
    else text = argument + strlen(argument);
    HWND control = usableControl(argument);
    if (control == NULL) return;
    static wchar_t wide[DRIVER_TEXT_SIZE];
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, DRIVER_TEXT_SIZE) == 0)
        return answer("error usage the text is not UTF-8");
    DWORD_PTR result;
    if (!SendMessageTimeoutW(control, WM_SETTEXT, 0, (LPARAM)wide, SMTO_ABORTIFHUNG,
                             DRIVER_SEND_TIMEOUT_MS, &result))
        return answer("error timeout the control did not take the text");
    answer("ok");
}

static void orderCheck(char *argument) {
    char *state = strchr(argument, ' ');
    if (state == NULL || (strcmp(state + 1, "0") != 0 && strcmp(state + 1, "1") != 0))
        return answer("error usage check ID 0|1");
    *state++ = '\0';
    HWND control = usableControl(argument);
    if (control == NULL) return;
    if (!isCheckable(control)) return answer("error not-a-checkbox control %s", argument);
    int wanted = atoi(state);
    DWORD start = GetTickCount();
    bool clicked = false;
    for (;;) {
        int now = readCheck(control);
        if (now == wanted) return answer("ok");
        if (!clicked) {
            PostMessageW(control, BM_CLICK, 0, 0);
            clicked = true;
        }
        if ((int)(GetTickCount() - start) >= DRIVER_SEND_TIMEOUT_MS)
            return answer("error timeout control %s still shows %d", argument, now);
        Sleep(DRIVER_POLL_MS);
    }
}

static void orderKey(const char *argument) {
    if (!needWindow()) return;
    static const struct {
        const char *name;
        WPARAM key;
    } keys[] = {{"esc", VK_ESCAPE}, {"enter", VK_RETURN}, {"tab", VK_TAB}, {"space", VK_SPACE}};
    WPARAM key = 0;
    for (size_t i = 0; i < sizeof keys / sizeof keys[0]; i++)
        if (strcmp(argument, keys[i].name) == 0) key = keys[i].key;
    if (key == 0) return answer("error usage key esc|enter|tab|space");
    // The dialog's own message loop turns the key into the dialog's command,
    // as it would for a key pressed on the focused control.
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    HWND target = currentWindow;
    DWORD thread = GetWindowThreadProcessId(currentWindow, NULL);
    if (GetGUIThreadInfo(thread, &info) && info.hwndFocus != NULL) target = info.hwndFocus;
    LPARAM scan = (LPARAM)MapVirtualKeyW((UINT)key, 0) << 16;
    PostMessageW(target, WM_KEYDOWN, key, scan | 1);
    PostMessageW(target, WM_KEYUP, key, scan | 1 | 0xC0000000);
    answer("ok");
}

// Moves the current window, e.g. a box off the page it covers, so that a
// screenshot shows the page.
static void orderMove(const char *argument) {
    if (!needWindow()) return;
    int x, y;
    if (sscanf(argument, "%d %d", &x, &y) != 2) return answer("error usage move X Y");
    SetWindowPos(currentWindow, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    waitSettled(currentWindow);
    answer("ok");
}

static void orderClose() {
    if (!needWindow()) return;
    PostMessageW(currentWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    answer("ok");
}

static void orderWindows() {
    if (!childStarted) return answer("error no-process nothing started");
    WindowList list;
    visibleWindows(&list);
    Out out = {NULL, 0, 0};
    outAppend(&out, "[", 1);
    for (int i = 0; i < list.count; i++) {
        if (i) outAppend(&out, ", ", 2);
        describeWindow(&out, list.items[i]);
    }
    outAppend(&out, "]", 1);
    answerOut("windows", &out);
}

static void orderForget(const char *caption) {
    static wchar_t wanted[DRIVER_TEXT_SIZE];
    static wchar_t text[DRIVER_TEXT_SIZE];
    if (MultiByteToWideChar(CP_UTF8, 0, caption, -1, wanted, DRIVER_TEXT_SIZE) == 0)
        return answer("error usage the caption is not UTF-8");
    forgetDeadWindows();
    int kept = 0, forgotten = 0;
    for (int i = 0; i < reportedCount; i++) {
        readText(reported[i], text, DRIVER_TEXT_SIZE);
        if (lstrcmpW(text, wanted) == 0) forgotten++;
        else reported[kept++] = reported[i];
    }
    reportedCount = kept;
    answer("ok %d", forgotten);
}

static void orderKill() {
    if (!childStarted) return answer("error no-process nothing started");
    DWORD code;
    if (!childExited(&code)) {
        TerminateProcess(child.hProcess, 1);
        WaitForSingleObject(child.hProcess, DRIVER_SEND_TIMEOUT_MS);
    }
    answer("ok");
}

int main() {
    // Binary streams: one "\n" per answer, no carriage returns.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
    static char line[DRIVER_LINE_SIZE];
    while (fgets(line, sizeof line, stdin) != NULL) {
        size_t length = strlen(line);
        while (length && (line[length - 1] == '\n' || line[length - 1] == '\r'))
            line[--length] = '\0';
        char *argument = strchr(line, ' ');
        if (argument != NULL) *argument++ = '\0';
        else argument = line + length;

        if (strcmp(line, "cwd") == 0) {
            lstrcpynA(workFolder, argument, sizeof workFolder);
            answer("ok");
        } else if (strcmp(line, "env") == 0) {
            // NAME=VALUE for the programs started from now on; NAME= removes it.
            char *value = strchr(argument, '=');
            if (value == NULL) {
                answer("error usage env NAME=VALUE");
            } else {
                *value++ = '\0';
                if (SetEnvironmentVariableA(argument, *value ? value : NULL) || !*value) answer("ok");
                else answer("error env SetEnvironmentVariableA failed with %lu", GetLastError());
            }
        } else if (strcmp(line, "start") == 0) orderStart(argument);
        else if (strcmp(line, "wait-window") == 0) orderWaitWindow(argument);
        else if (strcmp(line, "wait-exit") == 0) orderWaitExit(argument);
        else if (strcmp(line, "describe") == 0) {
            if (needWindow()) {
                waitSettled(currentWindow);
                Out out = {NULL, 0, 0};
                describeWindow(&out, currentWindow);
                answerOut("window", &out);
            }
        } else if (strcmp(line, "windows") == 0) orderWindows();
        else if (strcmp(line, "click") == 0) orderClick(argument);
        else if (strcmp(line, "type") == 0) orderType(argument);
        else if (strcmp(line, "check") == 0) orderCheck(argument);
        else if (strcmp(line, "key") == 0) orderKey(argument);
        else if (strcmp(line, "close") == 0) orderClose();
        else if (strcmp(line, "move") == 0) orderMove(argument);
        else if (strcmp(line, "forget") == 0) orderForget(argument);
        else if (strcmp(line, "kill") == 0) orderKill();
        else if (strcmp(line, "poll") == 0) {
            pollMs = atoi(argument) > 0 ? atoi(argument) : DRIVER_POLL_MS;
            answer("ok");
        }
        else if (strcmp(line, "descendants") == 0) {
            if (strcmp(argument, "on") == 0 || strcmp(argument, "off") == 0) {
                followDescendants = strcmp(argument, "on") == 0;
                answer("ok");
            } else {
                answer("error usage descendants on|off");
            }
        }
        else if (strcmp(line, "quit") == 0) {
            answer("ok");
            return 0;
        } else if (line[0] == '\0') continue;
        else answer("error usage unknown order '%s'", line);
    }
    return 0;
}
