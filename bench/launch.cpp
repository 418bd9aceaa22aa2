// Times a program's launch from outside, with one clock: from just before
// CreateProcess to the first poll that finds the program's dialog up (a
// visible dialog without owner of the process's main thread) and, when asked, a
// control in it showing a given text. Texts are read from the window
// manager (InternalGetWindowText), so the polls send the program no message
// and cost it nothing but a share of the machine. A poll comes about every
// millisecond; the time of an event is the midpoint of the poll that saw it
// and the one before. Then the dialog is
// cancelled and the program awaited (killed after 10 s).
//
//   bench_launch <program> <current-folder> <timeout-ms> [<control-id> <text>]
//
// <text> is UTF-8 with \n for a line break and \\ for a backslash. Prints
// key=value lines: dialog_us (the dialog up), launch_us (the text shown too),
// polls, poll_us (the mean time between polls,
// which bounds the error), ended. Exit code 0 when found, 2 on time-out.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

std::string Unescape(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '\\' && p[1] == 'n') {
            out += '\n';
            ++p;
        } else if (*p == '\\' && p[1] == '\\') {
            out += '\\';
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

struct Search {
    int control;  // 0: the dialog alone
    std::wstring text;
    HWND dialog;  // the dialog, once up
    HWND found;   // the dialog, once the control shows the text
};

bool ShowsText(HWND ctl, const std::wstring& want) {
    std::vector<wchar_t> buf(want.size() + 2);
    const int n = InternalGetWindowText(ctl, buf.data(), static_cast<int>(buf.size()));
    return n == static_cast<int>(want.size()) && want.compare(0, want.size(), buf.data(), n) == 0;
}

BOOL CALLBACK Match(HWND wnd, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    if (!IsWindowVisible(wnd) || GetWindow(wnd, GW_OWNER)) return TRUE;
    char cls[16] = {};
    GetClassNameA(wnd, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0) return TRUE;
    s->dialog = wnd;
    if (s->control) {
        HWND ctl = GetDlgItem(wnd, s->control);
        if (!ctl || !ShowsText(ctl, s->text)) return TRUE;
    }
    s->found = wnd;
    return FALSE;
}

long long Microseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& freq) {
    return (to.QuadPart - from.QuadPart) * 1000000LL / freq.QuadPart;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 6) {
        std::fprintf(stderr, "usage: bench_launch <program> <current-folder> <timeout-ms> [<control-id> <text>]\n");
        return 1;
    }
    Search search{argc == 6 ? std::atoi(argv[4]) : 0, argc == 6 ? Wide(Unescape(argv[5])) : std::wstring(),
                  nullptr, nullptr};
    const DWORD timeoutMs = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10));
    std::string command = std::string("\"") + argv[1] + "\"";

    LARGE_INTEGER freq, start, now, last;
    QueryPerformanceFrequency(&freq);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(argv[1], &command[0], nullptr, nullptr, FALSE, 0, nullptr, argv[2], &si, &pi)) {
        std::printf("error=CreateProcess %lu\n", GetLastError());
        return 1;
    }
    long long polls = 0, dialogUs = -1;
    last = start;
    for (;;) {
        // The dialogs of both programs belong to their main thread: asking
        // for its windows alone keeps a poll short.
        EnumThreadWindows(pi.dwThreadId, Match, reinterpret_cast<LPARAM>(&search));
        ++polls;
        QueryPerformanceCounter(&now);
        if (search.dialog && dialogUs < 0)
            dialogUs = (Microseconds(start, last, freq) + Microseconds(start, now, freq)) / 2;
        if (search.found) break;
        last = now;
        if (Microseconds(start, now, freq) > timeoutMs * 1000LL) break;
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
        Sleep(1);
    }
    int rc = 2;
    if (search.found) {
        // Seen between the previous poll and this one: the middle of the two.
        const long long at = (Microseconds(start, last, freq) + Microseconds(start, now, freq)) / 2;
        std::printf("dialog_us=%lld\nlaunch_us=%lld\npolls=%lld\npoll_us=%lld\n", dialogUs, at, polls,
                    Microseconds(start, now, freq) / (polls ? polls : 1));
        rc = 0;
        PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    } else {
        std::printf("launch_us=none\npolls=%lld\n", polls);
    }
    fflush(stdout);
    if (WaitForSingleObject(pi.hProcess, search.found ? 10000 : 0) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 3);
        WaitForSingleObject(pi.hProcess, 5000);
        std::printf("ended=killed\n");
    } else {
        std::printf("ended=1\n");
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return rc;
}
