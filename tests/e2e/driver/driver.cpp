// Test driver for the end-to-end tests: inspects and operates the wizard
// from outside its process, the way a user sees it.
//
//   e2e_driver wait-wizard <prop> <timeout-ms>
//   e2e_driver dump <prop>
//   e2e_driver msgbox [answer]
//   e2e_driver wait-msgbox <timeout-ms> [answer]
//   e2e_driver click <prop> <id>
//   e2e_driver key <prop|-> <virtual-key>     (-: to the foreground window)
//   e2e_driver close <prop> [cancel|sysclose|wmclose] [timeout-ms]
//   e2e_driver minimize <prop>
//   e2e_driver count-wizards <prop>
//   e2e_driver foreground [prop]
//   e2e_driver other-window <ms>
//   e2e_driver hold-exclusive <path> <ms>
//   e2e_driver add-printer <name> <driver> <port-file>
//   e2e_driver query-end-session <prop>
//   e2e_driver remove-printer <name>
//   e2e_driver module <pid> <dll-name>
//
// Results are key=value lines on stdout, after a first line driver=<command>.
// Texts are UTF-8 with backslash, CR and LF escaped as \\, \r and \n, so one
// value is always one line. A failed call prints error=<call> failed with
// its error code.
// Exit codes: 0 done, 1 bad use or failure, 2 time-out or window not found,
// 3 the control is disabled or hidden.
#include <windows.h>
#include <commctrl.h>
#include <winspool.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/e2e/driver/key_value_line.h"

namespace {

constexpr UINT kReplyTimeoutMs = 2000;  // a window that does not answer in this time counts as hung
constexpr DWORD kPollMs = 50;
constexpr int kMsgBoxTextId = 0xFFFF;  // the message box's text static

int g_failures = 0;

void Put(const char* key, const std::string& value) { fputs(KeyValueLine(key, value).c_str(), stdout); }

void Put(const char* key, long long value) { Put(key, std::to_string(value)); }

std::string Hex(HWND wnd) {
    char buf[32];
    snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(wnd)));
    return buf;
}

std::string Utf8(const wchar_t* text, int length) {
    if (length <= 0) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], n, nullptr, nullptr);
    return out;
}

// A window's text through WM_GETTEXT, which Windows carries across processes.
std::string TextOf(HWND wnd) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(wnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kReplyTimeoutMs, &length)) {
        ++g_failures;
        return "<no reply>";
    }
    std::vector<wchar_t> buf(length + 1);
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(wnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG,
                             kReplyTimeoutMs, &copied)) {
        ++g_failures;
        return "<no reply>";
    }
    return Utf8(buf.data(), static_cast<int>(copied));
}

std::string ClassOf(HWND wnd) {
    char name[64] = {};
    GetClassNameA(wnd, name, sizeof name);
    return name;
}

LRESULT Ask(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(wnd, msg, wp, lp, SMTO_ABORTIFHUNG, kReplyTimeoutMs, &result)) ++g_failures;
    return static_cast<LRESULT>(result);
}

BOOL CALLBACK CollectWindow(HWND wnd, LPARAM out) {
    reinterpret_cast<std::vector<HWND>*>(out)->push_back(wnd);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> all;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::vector<HWND> Wizards(const char* prop) {
    std::vector<HWND> found;
    for (HWND wnd : TopLevelWindows())
        if (GetPropA(wnd, prop)) found.push_back(wnd);
    return found;
}

HWND FindWizard(const char* prop) {
    const std::vector<HWND> found = Wizards(prop);
    return found.empty() ? nullptr : found.front();
}

// A direct child by control id; GetDlgItem would stop at the first of the
// group boxes that share id -1, so walk the children ourselves.
HWND ChildById(HWND parent, int id) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (static_cast<int>(GetWindowLongPtrW(child, GWLP_ID) & 0xFFFF) == (id & 0xFFFF)) return child;
    return nullptr;
}

// A message box is a dialog whose text is a static with id 0xFFFF; the
// wizard has no such control (its ids -1 are group boxes).
bool IsMessageBox(HWND wnd) {
    if (ClassOf(wnd) != "#32770" || !IsWindowVisible(wnd)) return false;
    HWND text = ChildById(wnd, kMsgBoxTextId);
    return text && ClassOf(text) == "Static";
}

std::vector<HWND> MessageBoxes() {
    std::vector<HWND> found;
    for (HWND wnd : TopLevelWindows())
        if (IsMessageBox(wnd)) found.push_back(wnd);
    return found;
}

bool Expired(DWORD start, DWORD timeoutMs) { return GetTickCount() - start >= timeoutMs; }

DWORD ParseMs(const char* text) { return static_cast<DWORD>(strtoul(text, nullptr, 10)); }

int Usage() {
    fputs("usage: see the head of driver.cpp\n", stderr);
    return 1;
}

// A call that failed: which one, and the system's error code.
int Failed(const char* call, DWORD code = GetLastError()) {
    Put("error", std::string(call) + " failed with " + std::to_string(code));
    return 1;
}

int NotFound(const char* prop) {
    Put("error", std::string("no window carries the property ") + prop);
    return 2;
}

void PutProcess(HWND wnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    Put("pid", pid);
}

int WaitWizard(const char* prop, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND wnd = FindWizard(prop)) {
            Put("hwnd", Hex(wnd));
            PutProcess(wnd);
            return 0;
        }
        if (Expired(start, timeoutMs)) return NotFound(prop);
        Sleep(kPollMs);
    }
}

// The focus is the wizard thread's own; ask that thread.
HWND FocusOf(HWND wnd) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(wnd, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

void PutControl(HWND dialog, int id) {
    const std::string key = "ctl." + std::to_string(id) + ".";
    HWND ctl = ChildById(dialog, id);
    Put((key + "exists").c_str(), ctl != nullptr);
    if (!ctl) return;
    Put((key + "class").c_str(), ClassOf(ctl));
    Put((key + "text").c_str(), TextOf(ctl));
    Put((key + "visible").c_str(), IsWindowVisible(ctl) != 0);
    Put((key + "enabled").c_str(), IsWindowEnabled(ctl) != 0);
}

int Dump(const char* prop) {
    HWND wnd = FindWizard(prop);
    if (!wnd) return NotFound(prop);
    Put("hwnd", Hex(wnd));
    PutProcess(wnd);
    Put("class", ClassOf(wnd));
    Put("title", TextOf(wnd));
    Put("prop", static_cast<long long>(reinterpret_cast<INT_PTR>(GetPropA(wnd, prop))));
    Put("owner", Hex(GetWindow(wnd, GW_OWNER)));
    Put("visible", IsWindowVisible(wnd) != 0);
    Put("enabled", IsWindowEnabled(wnd) != 0);
    Put("iconic", IsIconic(wnd) != 0);
    Put("topmost", (GetWindowLongPtrW(wnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
    Put("foreground", GetForegroundWindow() == wnd);
    RECT r = {};
    GetWindowRect(wnd, &r);
    Put("rect", std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
                    std::to_string(r.bottom));
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    Put("workarea", std::to_string(work.left) + "," + std::to_string(work.top) + "," + std::to_string(work.right) +
                        "," + std::to_string(work.bottom));
    HWND focus = FocusOf(wnd);
    Put("focus", focus && IsChild(wnd, focus) ? static_cast<long long>(GetWindowLongPtrW(focus, GWLP_ID)) : -1);
    static const int kIds[] = {IDOK, IDCANCEL, 1501, 1502, 1503, 1504, 1505, 1506, 1507, 1508, 1509};
    for (int id : kIds) PutControl(wnd, id);
    if (HWND bar = ChildById(wnd, 1509)) {
        // lParam stays null: a pointer would not survive the trip to the other process.
        Put("progress.low", static_cast<long long>(Ask(bar, PBM_GETRANGE, TRUE, 0)));
        Put("progress.high", static_cast<long long>(Ask(bar, PBM_GETRANGE, FALSE, 0)));
        Put("progress.pos", static_cast<long long>(Ask(bar, PBM_GETPOS, 0, 0)));
    }
    return g_failures ? 1 : 0;
}

void PutMessageBox(HWND box) {
    Put("hwnd", Hex(box));
    PutProcess(box);
    Put("owner", Hex(GetWindow(box, GW_OWNER)));
    Put("caption", TextOf(box));
    Put("text", TextOf(ChildById(box, kMsgBoxTextId)));
    std::string buttons;
    std::string icons;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const std::string cls = ClassOf(child);
        const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        if (cls == "Button" && IsWindowVisible(child)) {
            if (!buttons.empty()) buttons += ',';
            buttons += std::to_string(GetWindowLongPtrW(child, GWLP_ID)) + ":" + TextOf(child);
        } else if (cls == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
            icons += Ask(child, STM_GETICON, 0, 0) ? "1" : "0";
        }
    }
    Put("buttons", buttons);  // id:text of each visible button
    Put("icon", icons.find('1') != std::string::npos);
}

// Presses OK the way the button would, then waits for the box to go.
int Answer(HWND box) {
    HWND ok = ChildById(box, IDOK);
    if (!PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok)))
        return Failed("PostMessageW");
    const DWORD start = GetTickCount();
    while (IsWindow(box) && IsWindowVisible(box)) {
        if (Expired(start, 5000)) {
            Put("answered", 0);
            return 2;
        }
        Sleep(kPollMs);
    }
    Put("answered", 1);
    return 0;
}

int MsgBox(DWORD timeoutMs, bool wait, bool answer) {
    const DWORD start = GetTickCount();
    std::vector<HWND> boxes = MessageBoxes();
    while (wait && boxes.empty() && !Expired(start, timeoutMs)) {
        Sleep(kPollMs);
        boxes = MessageBoxes();
    }
    Put("count", static_cast<long long>(boxes.size()));
    if (boxes.empty()) return wait ? 2 : 0;
    PutMessageBox(boxes.front());
    if (g_failures) return 1;
    return answer ? Answer(boxes.front()) : 0;
}

// A click arrives as the button's notification through the wizard's queue,
// so a long handler does not hold the driver up. Like a user, the driver
// cannot click a control that is disabled or hidden.
int Click(const char* prop, int id) {
    HWND wnd = FindWizard(prop);
    if (!wnd) return NotFound(prop);
    HWND ctl = ChildById(wnd, id);
    if (!ctl) {
        Put("error", "no control " + std::to_string(id));
        return 1;
    }
    if (!IsWindowVisible(ctl) || !IsWindowEnabled(ctl) || !IsWindowEnabled(wnd)) {
        Put("clicked", 0);
        return 3;
    }
    if (!PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(ctl)))
        return Failed("PostMessageW");
    Put("clicked", 1);
    return 0;
}

// A key press as the keyboard would deliver it: to the window with the
// focus, through the wizard's queue.
int Key(const char* prop, UINT vk) {
    // "-": whatever window is in the foreground, as a user's keyboard reaches it.
    const bool foreground = !strcmp(prop, "-");
    HWND wnd = foreground ? GetForegroundWindow() : FindWizard(prop);
    if (!wnd) return foreground ? Failed("GetForegroundWindow") : NotFound(prop);
    HWND target = FocusOf(wnd);
    if (!target) target = wnd;
    const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    if (!PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16))) return Failed("PostMessageW");
    if (!PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | (3u << 30))) return Failed("PostMessageW");
    Put("pressed", 1);
    return 0;
}

int Close(const char* prop, const char* how, DWORD timeoutMs) {
    HWND wnd = FindWizard(prop);
    if (!wnd) return NotFound(prop);
    BOOL posted;
    if (!strcmp(how, "cancel"))
        posted = PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    else if (!strcmp(how, "sysclose"))
        posted = PostMessageW(wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    else if (!strcmp(how, "wmclose"))
        posted = PostMessageW(wnd, WM_CLOSE, 0, 0);
    else
        return Usage();
    if (!posted) return Failed("PostMessageW");
    const DWORD start = GetTickCount();
    while (IsWindow(wnd)) {
        if (Expired(start, timeoutMs)) {
            Put("closed", 0);
            return 2;
        }
        Sleep(kPollMs);
    }
    Put("closed", 1);
    return 0;
}

int Minimize(const char* prop) {
    HWND wnd = FindWizard(prop);
    if (!wnd) return NotFound(prop);
    // The wizard takes the request when its check lets it, which under
    // emulation of a 32-bit program can take seconds. A request can also be
    // lost (once in a whole run: the wizard stayed up, idle, for 20 s), so
    // ask again each second, as a user would click once more.
    const DWORD start = GetTickCount();
    DWORD asked = start - 1000;
    while (!IsIconic(wnd)) {
        if (Expired(start, 20000)) {
            Put("iconic", 0);
            return 2;
        }
        if (Expired(asked, 1000)) {
            ShowWindowAsync(wnd, SW_MINIMIZE);
            asked = GetTickCount();
        }
        Sleep(kPollMs);
    }
    Put("iconic", 1);
    return 0;
}

int CountWizards(const char* prop) {
    const std::vector<HWND> found = Wizards(prop);
    Put("count", static_cast<long long>(found.size()));
    for (size_t i = 0; i < found.size(); ++i) Put(("hwnd." + std::to_string(i)).c_str(), Hex(found[i]));
    return 0;
}

int Foreground(const char* prop) {
    HWND wnd = GetForegroundWindow();
    Put("hwnd", Hex(wnd));
    if (wnd) {
        PutProcess(wnd);
        Put("title", TextOf(wnd));
    }
    if (prop) Put("is_wizard", wnd && GetPropA(wnd, prop));
    return 0;
}

DWORD WINAPI DrainStdin(LPVOID) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    char buf[64];
    DWORD n = 0;
    while (ReadFile(in, buf, sizeof buf, &n, nullptr) && n > 0) {
    }
    return 0;
}

// A thread that ends when stdin reaches its end: the caller's way to say "stop".
HANDLE WatchStdin() { return CreateThread(nullptr, 0, DrainStdin, nullptr, 0, nullptr); }

int HoldExclusive(const char* path, DWORD ms) {
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        Put("held", 0);
        return Failed("CreateFileA", code);
    }
    Put("held", 1);
    fflush(stdout);
    HANDLE stop = WatchStdin();
    if (stop) {
        WaitForSingleObject(stop, ms);
        CloseHandle(stop);
    } else {
        Sleep(ms);
    }
    CloseHandle(file);
    return 0;
}

// Asks the wizard, as Windows does before a log-off, whether the session
// may end; prints its answer (1 yes, 0 no).
int QueryEndSession(const char* prop) {
    HWND wnd = FindWizard(prop);
    if (!wnd) return NotFound(prop);
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(wnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, &answer)) {
        Put("error", "no reply");
        return 2;
    }
    Put("answer", static_cast<long long>(answer));
    return 0;
}

// A Windows printer that writes its RAW jobs to a file: the plotter's
// printer of the spooler route, as an installer would have set it up. The
// port is registered by name and the driver added, both only once.
int InstallPrinter(const char* name, const char* driver, const char* port) {
    HKEY key = nullptr;
    const char ports[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
    const LONG opened =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, ports, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (opened != ERROR_SUCCESS) return Failed("RegCreateKeyExA", opened);
    const LONG set = RegSetValueExA(key, port, 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
    RegCloseKey(key);
    if (set != ERROR_SUCCESS) return Failed("RegSetValueExA", set);

    DRIVER_INFO_3A info = {};
    info.cVersion = 3;
    info.pName = const_cast<char*>(driver);
    info.pDriverPath = const_cast<char*>("wineps.drv");
    info.pDataFile = const_cast<char*>("generic.ppd");
    info.pConfigFile = const_cast<char*>("wineps.drv");
    if (!AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&info)) &&
        GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED)
        return Failed("AddPrinterDriverA");
    PRINTER_INFO_2A printer = {};
    printer.pPrinterName = const_cast<char*>(name);
    printer.pPortName = const_cast<char*>(port);
    printer.pDriverName = const_cast<char*>(driver);
    printer.pPrintProcessor = const_cast<char*>("WinPrint");
    printer.pDatatype = const_cast<char*>("RAW");
    HANDLE h = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&printer));
    if (!h) return Failed("AddPrinterA");
    ClosePrinter(h);
    Put("added", 1);
    return 0;
}

int RemovePrinter(const char* name) {
    std::string copy(name);
    HANDLE h = nullptr;
    PRINTER_DEFAULTSA access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterA(&copy[0], &h, &access)) return Failed("OpenPrinterA");
    const BOOL deleted = DeletePrinter(h);
    const DWORD code = deleted ? ERROR_SUCCESS : GetLastError();
    ClosePrinter(h);
    Put("removed", deleted != 0);
    return deleted ? 0 : Failed("DeletePrinter", code);
}

// Whether a process has a module of that file name loaded. Ask with the
// driver of the process's own bitness: under Wine a 64-bit snapshot of a
// 32-bit process fails with ERROR_NOACCESS.
int Module(DWORD pid, const char* dll) {
    HANDLE snap = INVALID_HANDLE_VALUE;
    // A process that is still starting or loading refuses a snapshot for a moment.
    for (int tries = 0; tries < 20 && snap == INVALID_HANDLE_VALUE; ++tries) {
        snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, pid);
        if (snap == INVALID_HANDLE_VALUE) Sleep(kPollMs);
    }
    if (snap == INVALID_HANDLE_VALUE) return Failed("CreateToolhelp32Snapshot");
    MODULEENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int modules = 0;
    bool loaded = false;
    for (BOOL more = Module32First(snap, &entry); more; more = Module32Next(snap, &entry)) {
        ++modules;
        if (!lstrcmpiA(entry.szModule, dll)) loaded = true;
    }
    CloseHandle(snap);
    Put("modules", modules);
    Put("loaded", loaded);
    // A snapshot without modules saw nothing: no answer at all.
    return modules ? 0 : 1;
}

// An ordinary window of another program that takes the foreground, so that
// a test can see the wizard being brought back to it.
int OtherWindow(DWORD ms) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"E2EOtherWindow";
    if (!RegisterClassW(&wc)) return Failed("RegisterClassW");
    HWND wnd = CreateWindowExW(0, wc.lpszClassName, L"Other window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                               300, 200, nullptr, nullptr, wc.hInstance, nullptr);
    if (!wnd) return Failed("CreateWindowExW");
    SetForegroundWindow(wnd);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Put("hwnd", Hex(wnd));
    Put("foreground", GetForegroundWindow() == wnd);
    fflush(stdout);
    // Keep the window alive and painted until told to go.
    HANDLE stop = WatchStdin();
    const DWORD start = GetTickCount();
    while (!Expired(start, ms)) {
        const DWORD woke = MsgWaitForMultipleObjects(stop ? 1 : 0, &stop, FALSE, kPollMs, QS_ALLINPUT);
        if (stop && woke == WAIT_OBJECT_0) break;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    if (stop) CloseHandle(stop);
    DestroyWindow(wnd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string cmd = argv[1];
    // The first line, out at once: a run whose output lacks it never
    // reached its command, whatever Wine made of it.
    Put("driver", cmd);
    fflush(stdout);
    int rc;
    if (cmd == "wait-wizard" && argc == 4)
        rc = WaitWizard(argv[2], ParseMs(argv[3]));
    else if (cmd == "dump" && argc == 3)
        rc = Dump(argv[2]);
    else if (cmd == "msgbox" && (argc == 2 || (argc == 3 && !strcmp(argv[2], "answer"))))
        rc = MsgBox(0, false, argc == 3);
    else if (cmd == "wait-msgbox" && (argc == 3 || (argc == 4 && !strcmp(argv[3], "answer"))))
        rc = MsgBox(ParseMs(argv[2]), true, argc == 4);
    else if (cmd == "click" && argc == 4)
        rc = Click(argv[2], atoi(argv[3]));
    else if (cmd == "key" && argc == 4)
        rc = Key(argv[2], static_cast<UINT>(strtoul(argv[3], nullptr, 0)));
    else if (cmd == "close" && argc >= 3 && argc <= 5)
        rc = Close(argv[2], argc >= 4 ? argv[3] : "cancel", argc == 5 ? ParseMs(argv[4]) : 5000);
    else if (cmd == "minimize" && argc == 3)
        rc = Minimize(argv[2]);
    else if (cmd == "count-wizards" && argc == 3)
        rc = CountWizards(argv[2]);
    else if (cmd == "foreground" && argc <= 3)
        rc = Foreground(argc == 3 ? argv[2] : nullptr);
    else if (cmd == "other-window" && argc == 3)
        rc = OtherWindow(ParseMs(argv[2]));
    else if (cmd == "hold-exclusive" && argc == 4)
        rc = HoldExclusive(argv[2], ParseMs(argv[3]));
    else if (cmd == "query-end-session" && argc == 3)
        rc = QueryEndSession(argv[2]);
    else if (cmd == "add-printer" && argc == 5)
        rc = InstallPrinter(argv[2], argv[3], argv[4]);
    else if (cmd == "remove-printer" && argc == 3)
        rc = RemovePrinter(argv[2]);
    else if (cmd == "module" && argc == 4)
        rc = Module(static_cast<DWORD>(strtoul(argv[2], nullptr, 10)), argv[3]);
    else
        rc = Usage();
    fflush(stdout);
    return rc;
}
