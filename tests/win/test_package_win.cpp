// The firmware file's discovery and the result box on the real Win32
// services: file sharing between programs and the system's message box.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"
#include "wizard/firmware_update_dlg.h"

namespace {
// The helper process that holds a file open without sharing learns what to
// hold and how to signal from these.
const char kHoldPathVar[] = "UPDATER_TEST_HOLD_PATH";
const char kHoldReadyVar[] = "UPDATER_TEST_HOLD_READY";
const char kHoldReleaseVar[] = "UPDATER_TEST_HOLD_RELEASE";
const DWORD kWaitMs = 30000;  // no step of these tests takes more than a moment

std::string ExePath() {
    char buf[MAX_PATH] = {0};
    const DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return std::string(buf, n);
}

std::string Env(const char* name) {
    char buf[MAX_PATH] = {0};
    const DWORD n = GetEnvironmentVariableA(name, buf, MAX_PATH);
    return (n > 0 && n < MAX_PATH) ? std::string(buf, n) : std::string();
}

void WriteBytes(const std::string& path, size_t count) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    const std::string bytes(count, 'F');
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(h);
}

// A fresh folder under the temporary folder, removed with what the test put in it.
class TempFolder {
public:
    TempFolder() {
        char tmp[MAX_PATH] = {0};
        GetTempPathA(MAX_PATH, tmp);
        static int counter = 0;
        m_path = std::string(tmp) + "updater-package-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(++counter) + "\\";
        CreateDirectoryA(m_path.c_str(), nullptr);
    }
    ~TempFolder() {
        for (const std::string& file : m_entries) DeleteFileA(file.c_str());
        RemoveDirectoryA(m_path.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string File(const std::string& name, size_t size) {
        m_entries.push_back(m_path + name);
        WriteBytes(m_entries.back(), size);
        return m_entries.back();
    }

private:
    std::string m_path;
    std::vector<std::string> m_entries;
};

// The dialog's own search over folder, as discovery runs it.
int FindIn(CFirmwareUpdateDlg& dlg, const std::string& folder) {
    dlg.m_strFirmwarePath = folder.c_str();
    return dlg.FindFirmwareFile((folder + "*.x").c_str());
}

// Another copy of this program that opens path without sharing, says so, and
// keeps it open until told to let go.
class ExclusiveHolder {
public:
    explicit ExclusiveHolder(const std::string& path) {
        const std::string tag = std::to_string(GetCurrentProcessId());
        const std::string ready = "updater-test-held-" + tag;
        const std::string release = "updater-test-release-" + tag;
        m_ready = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
        m_release = CreateEventA(nullptr, TRUE, FALSE, release.c_str());
        SetEnvironmentVariableA(kHoldPathVar, path.c_str());
        SetEnvironmentVariableA(kHoldReadyVar, ready.c_str());
        SetEnvironmentVariableA(kHoldReleaseVar, release.c_str());

        std::string command = "\"" + ExePath() +
                              "\" --gtest_also_run_disabled_tests"
                              " --gtest_filter=ExclusiveHolderProcess.DISABLED_HoldsTheFile";
        SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
        m_nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
        STARTUPINFOA si{};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = nullptr;
        si.hStdOutput = m_nul;
        si.hStdError = m_nul;
        PROCESS_INFORMATION pi{};
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
            CloseHandle(pi.hThread);
            m_process = pi.hProcess;
        }
        SetEnvironmentVariableA(kHoldPathVar, nullptr);
        SetEnvironmentVariableA(kHoldReadyVar, nullptr);
        SetEnvironmentVariableA(kHoldReleaseVar, nullptr);
    }
    ~ExclusiveHolder() {
        Release();
        for (HANDLE h : {m_ready, m_release, m_nul}) {
            if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
    }
    ExclusiveHolder(const ExclusiveHolder&) = delete;
    ExclusiveHolder& operator=(const ExclusiveHolder&) = delete;

    // True once the other process holds the file.
    bool Holding() {
        if (!m_process || !m_ready || !m_release) return false;
        HANDLE waits[2] = {m_ready, m_process};
        return WaitForMultipleObjects(2, waits, FALSE, kWaitMs) == WAIT_OBJECT_0;
    }
    // Lets go and waits, boundedly, for the process to end; returns its exit code.
    DWORD Release() {
        if (!m_process) return m_exitCode;
        SetEvent(m_release);
        if (WaitForSingleObject(m_process, kWaitMs) != WAIT_OBJECT_0) TerminateProcess(m_process, 1);
        GetExitCodeProcess(m_process, &m_exitCode);
        CloseHandle(m_process);
        m_process = nullptr;
        return m_exitCode;
    }

private:
    HANDLE m_ready = nullptr;
    HANDLE m_release = nullptr;
    HANDLE m_nul = INVALID_HANDLE_VALUE;
    HANDLE m_process = nullptr;
    DWORD m_exitCode = STILL_ACTIVE;
};
}  // namespace

// Runs only in the process that ExclusiveHolder starts.
TEST(ExclusiveHolderProcess, DISABLED_HoldsTheFile) {
    const std::string path = Env(kHoldPathVar);
    if (path.empty()) GTEST_SKIP() << "runs as the helper of another test";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, Env(kHoldReadyVar).c_str());
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, Env(kHoldReleaseVar).c_str());
    ASSERT_NE(ready, nullptr);
    ASSERT_NE(release, nullptr);
    SetEvent(ready);
    EXPECT_EQ(WaitForSingleObject(release, kWaitMs), WAIT_OBJECT_0);
    CloseHandle(file);
    CloseHandle(ready);
    CloseHandle(release);
}

TEST(FirmwarePackageWin, AFileAnotherProgramHoldsWithoutSharingIsNotAccepted) {
    TempFolder folder;
    const std::string file = folder.File("KM500_V300.x", 3000);
    {
        ExclusiveHolder holder(file);
        ASSERT_TRUE(holder.Holding());
        CFirmwareUpdateDlg dlg;
        EXPECT_EQ(FindIn(dlg, folder.path()), 0);
        EXPECT_EQ(dlg.m_nFirmwareSize, 0);
        EXPECT_EQ(holder.Release(), 0u);
    }
    CFirmwareUpdateDlg dlg;
    EXPECT_EQ(FindIn(dlg, folder.path()), 1);  // the same file, once let go
    EXPECT_EQ(dlg.m_nFirmwareSize, 3000);
}

TEST(FirmwarePackageWin, OpensAFileOthersReadAndWriteAndKeepsItNoLonger) {
    TempFolder folder;
    const std::string file = folder.File("KM500_V300.x", 700);
    HANDLE writer = CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    CFirmwareUpdateDlg dlg;
    EXPECT_EQ(FindIn(dlg, folder.path()), 1);
    EXPECT_EQ(dlg.m_strFirmwarePath, file.c_str());
    EXPECT_EQ(dlg.m_nFirmwareSize, 700);
    CloseHandle(writer);

    // Closed at once: nobody else holds it now.
    HANDLE alone = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(alone, INVALID_HANDLE_VALUE);
    if (alone != INVALID_HANDLE_VALUE) CloseHandle(alone);
}

namespace {
// What a watcher saw of the message box it closed.
struct SeenBox {
    HWND hwnd = nullptr;
    std::string caption;
    std::string text;
    HWND owner = nullptr;
    std::vector<int> buttons;  // ids of the visible buttons
    bool informationIcon = false;
};

struct BoxSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindOwnBox(HWND w, LPARAM lp) {
    BoxSearch* s = reinterpret_cast<BoxSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char cls[16] = {0};
    GetClassNameA(w, cls, sizeof(cls));
    if (pid == s->process && std::string(cls) == "#32770" && IsWindowVisible(w)) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK ReadChild(HWND c, LPARAM lp) {
    SeenBox* seen = reinterpret_cast<SeenBox*>(lp);
    if (!IsWindowVisible(c)) return TRUE;
    char cls[16] = {0};
    GetClassNameA(c, cls, sizeof(cls));
    const LONG style = GetWindowLongA(c, GWL_STYLE);
    if (lstrcmpiA(cls, "Button") == 0) seen->buttons.push_back(GetDlgCtrlID(c));
    if (lstrcmpiA(cls, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
        const HICON icon = reinterpret_cast<HICON>(SendMessageA(c, STM_GETICON, 0, 0));
        if (icon && icon == LoadIconA(nullptr, IDI_INFORMATION)) seen->informationIcon = true;
    }
    return TRUE;
}

// Finds this process's message box within a bounded time, reads it and
// presses OK; gives up after about ten seconds.
SeenBox WatchAndClose() {
    SeenBox seen;
    BoxSearch search{GetCurrentProcessId(), nullptr};
    for (int i = 0; i < 200 && !search.found; ++i) {
        EnumWindows(FindOwnBox, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(50);
    }
    if (!search.found) return seen;
    seen.hwnd = search.found;
    Sleep(100);  // let the box finish laying itself out
    char buf[512] = {0};
    GetWindowTextA(seen.hwnd, buf, sizeof(buf));
    seen.caption = buf;
    GetDlgItemTextA(seen.hwnd, 0xFFFF, buf, sizeof(buf));
    seen.text = buf;
    seen.owner = GetWindow(seen.hwnd, GW_OWNER);
    EnumChildWindows(seen.hwnd, ReadChild, reinterpret_cast<LPARAM>(&seen));
    PostMessageA(seen.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    for (int i = 0; i < 100 && IsWindow(seen.hwnd); ++i) Sleep(50);
    if (IsWindow(seen.hwnd)) PostMessageA(seen.hwnd, WM_CLOSE, 0, 0);
    return seen;
}
}  // namespace

TEST(ResultBoxWin, CarriesTheTitleOneOkButtonAndTheInformationIcon) {
    char title[128] = {0};
    LoadStringA(GetModuleHandleA(nullptr), AFX_IDS_APP_TITLE, title, sizeof(title));
    CWinApp app(title);
    CWnd owner;
    owner.m_hWnd = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner.m_hWnd, nullptr) << "no display?";
    app.m_pMainWnd = &owner;

    char expectedText[512] = {0};
    LoadStringA(GetModuleHandleA(nullptr), IDS_ERR_OTHER, expectedText, sizeof(expectedText));

    SeenBox seen;
    std::thread watcher([&] { seen = WatchAndClose(); });
    CFirmwareUpdateDlg dlg;
    const BOOL result = dlg.ShowResultBox(50);
    watcher.join();

    EXPECT_EQ(result, FALSE);
    ASSERT_NE(seen.hwnd, nullptr) << "no message box appeared";
    EXPECT_EQ(seen.caption, "Firmware Update Ver.2.30");
    EXPECT_EQ(seen.text, expectedText);
    EXPECT_EQ(seen.owner, owner.m_hWnd);
    EXPECT_EQ(seen.buttons, std::vector<int>{IDOK});
    EXPECT_TRUE(seen.informationIcon);

    app.m_pMainWnd = nullptr;
    DestroyWindow(owner.m_hWnd);
    owner.m_hWnd = nullptr;
}
