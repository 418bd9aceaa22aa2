// The end-to-end tests' probe: measures and operates the wizard from inside
// its process. It must have the wizard's bitness (a hook DLL loads only into
// a process of its own), so each Windows build has one, beside its
// e2e_probe_hook.dll. One probe serves a whole test case, so that the cost of
// starting a program is paid once:
//
//   e2e_probe <prop>
//
// then one command a line on stdin, each answered on stdout by key=value
// lines (UTF-8) and a last line end=<code>:
//
//   measure      the wizard and the message box it shows (see probe_hook.cpp)
//   click <id>   the control's click, as a user's would arrive; like a user,
//                not on a control that is disabled or hidden (code 3)
//   answer       OK on the wizard's message box
//
// The wizard is looked up by its window property at every command. Codes:
// 0 done, 1 bad command or failure, 2 no wizard (or message box) or no answer
// in time, 3 the control is disabled or hidden.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
constexpr DWORD kAnswerTimeoutMs = 10000;
constexpr int kMsgBoxTextId = 0xFFFF;  // a message box's text static

std::string g_answer;
bool g_answered = false;

LRESULT CALLBACK ReplyProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        g_answer.assign(static_cast<const char*>(data->lpData), data->cbData);
        g_answered = true;
        return TRUE;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

struct Search {
    const char* prop;
    HWND found;
};

BOOL CALLBACK FindWizardProc(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (!GetPropA(wnd, search->prop)) return TRUE;
    search->found = wnd;
    return FALSE;
}

HWND FindWizard(const char* prop) {
    Search search = {prop, nullptr};
    EnumWindows(FindWizardProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK FindMessageBoxProc(HWND wnd, LPARAM param) {
    char cls[16] = {};
    GetClassNameA(wnd, cls, sizeof cls);
    HWND text = GetDlgItem(wnd, kMsgBoxTextId);
    if (strcmp(cls, "#32770") || !IsWindowVisible(wnd) || !text) return TRUE;
    *reinterpret_cast<HWND*>(param) = wnd;
    return FALSE;
}

std::wstring HookDllPath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + L"e2e_probe_hook.dll";
}

class Probe {
public:
    explicit Probe(const char* prop) : m_prop(prop) {}
    ~Probe() {
        if (m_hook) UnhookWindowsHookEx(m_hook);
        if (m_reply) DestroyWindow(m_reply);
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    bool Start() {
        HMODULE dll = LoadLibraryW(HookDllPath().c_str());
        m_install = dll ? reinterpret_cast<InstallFn>(reinterpret_cast<void*>(GetProcAddress(dll, "ProbeInstall")))
                        : nullptr;
        WNDCLASSW cls = {};
        cls.lpfnWndProc = ReplyProc;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.lpszClassName = L"e2e_probe.reply";
        RegisterClassW(&cls);
        m_reply = CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance,
                                  nullptr);
        m_request = RegisterWindowMessageW(L"e2e_probe.measure");
        return m_install && m_reply;
    }

    int Measure() {
        HWND wizard = FindWizard(m_prop);
        if (!wizard) return NoWizard();
        const DWORD thread = GetWindowThreadProcessId(wizard, nullptr);
        if (thread != m_hookedThread) {  // a wizard started since the last command
            if (m_hook) UnhookWindowsHookEx(m_hook);
            m_hook = m_install(thread);
            m_hookedThread = m_hook ? thread : 0;
            if (!m_hook) {
                printf("error=cannot hook the wizard's thread (%lu)\n", GetLastError());
                return 1;
            }
        }
        g_answered = false;
        if (!PostMessageW(wizard, m_request, reinterpret_cast<WPARAM>(m_reply), 0)) return 1;
        const DWORD start = GetTickCount();
        while (!g_answered && GetTickCount() - start < kAnswerTimeoutMs) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        }
        if (!g_answered) {
            puts("error=no answer from the wizard in time");
            return 2;
        }
        fwrite(g_answer.data(), 1, g_answer.size(), stdout);
        return 0;
    }

    int Click(int id) {
        HWND wizard = FindWizard(m_prop);
        if (!wizard) return NoWizard();
        HWND ctl = GetDlgItem(wizard, id);
        if (!ctl) return 1;
        if (!IsWindowVisible(ctl) || !IsWindowEnabled(ctl) || !IsWindowEnabled(wizard)) return 3;
        return PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(ctl)) ? 0 : 1;
    }

    int Answer() {
        HWND wizard = FindWizard(m_prop);
        if (!wizard) return NoWizard();
        HWND box = nullptr;
        EnumThreadWindows(GetWindowThreadProcessId(wizard, nullptr), FindMessageBoxProc, reinterpret_cast<LPARAM>(&box));
        if (!box) return 2;
        return PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)))
                   ? 0
                   : 1;
    }

private:
    typedef HHOOK (*InstallFn)(DWORD);

    int NoWizard() {
        printf("error=no window carries the property %s\n", m_prop);
        return 2;
    }

    const char* m_prop;
    InstallFn m_install = nullptr;
    HWND m_reply = nullptr;
    UINT m_request = 0;
    HHOOK m_hook = nullptr;
    DWORD m_hookedThread = 0;
};
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fputs("usage: e2e_probe <prop>, then commands on stdin (see probe.cpp)\n", stderr);
        return 1;
    }
    Probe probe(argv[1]);
    if (!probe.Start()) {
        printf("error=cannot load e2e_probe_hook.dll (%lu)\nend=1\n", GetLastError());
        return 1;
    }
    puts("ready=1");
    fflush(stdout);
    char line[256];
    while (fgets(line, sizeof line, stdin)) {
        line[strcspn(line, "\r\n")] = '\0';
        int rc = 1;
        if (!strcmp(line, "measure"))
            rc = probe.Measure();
        else if (!strncmp(line, "click ", 6))
            rc = probe.Click(atoi(line + 6));
        else if (!strcmp(line, "answer"))
            rc = probe.Answer();
        printf("end=%d\n", rc);
        fflush(stdout);
    }
    return 0;
}
