#include "app/firmware_update_app.h"

#include <cstdlib>
#include <cstring>

#include "platform/paths.h"
#include "res/resource.h"
#include "wizard/firmware_update_dlg.h"

CFirmwareUpdateApp::CFirmwareUpdateApp() : CWinApp(nullptr) { m_szStartDir[0] = '\0'; }

CFirmwareUpdateApp::~CFirmwareUpdateApp() = default;

BOOL CFirmwareUpdateApp::InitInstance() {
    // Held until the process ends; the system releases it then.
    os::CreateMutexA(nullptr, TRUE, m_pszExeName);
    if (os::GetLastError() == ERROR_ALREADY_EXISTS) {
        ActivateRunningCopy();
        return FALSE;
    }

    const DWORD n = os::GetCurrentDirectoryA(MAX_PATH, m_szStartDir);
    if (n == 0 || n >= MAX_PATH) m_szStartDir[0] = '\0';  // did not fit: nothing to put back
    EnterProgramFolder();

    CString title;
    title.LoadString(AFX_IDS_APP_TITLE);
    std::free(const_cast<char*>(m_pszAppName));
    m_pszAppName = strdup(title);

    CFirmwareUpdateDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

int CFirmwareUpdateApp::ExitInstance() {
    if (m_szStartDir[0]) os::SetCurrentDirectoryA(m_szStartDir);
    return CWinApp::ExitInstance();
}

void CFirmwareUpdateApp::ActivateRunningCopy() {
    HWND wnd = os::GetWindow(os::GetDesktopWindow(), GW_CHILD);
    while (wnd && !os::GetPropA(wnd, m_pszExeName)) wnd = os::GetWindow(wnd, GW_HWNDNEXT);
    if (!wnd) return;  // its wizard is not up yet: nothing to activate

    if (os::IsIconic(wnd)) os::ShowWindow(wnd, SW_RESTORE);
    // Asked before anything activates the wizard: once active, the wizard is
    // its own last active pop-up, and a message box it shows would stay
    // behind while the disabled wizard took the foreground.
    HWND popup = os::GetLastActivePopup(wnd);
    os::BringWindowToTop(wnd);
    if (popup == wnd) {
        os::SetForegroundWindow(wnd);
    } else {
        os::BringWindowToTop(popup);
        os::SetForegroundWindow(popup);
    }
}

void CFirmwareUpdateApp::EnterProgramFolder() {
    std::string module;
    if (!paths::ModulePath(nullptr, &module)) return;  // a cut path names another folder
    std::string folder = paths::Folder(module);
    // Without its trailing separator, except at a drive's root ("C:" alone
    // would name that drive's current folder, not its root).
    const bool driveRoot = folder.size() == 3 && folder[1] == ':';
    if (folder.size() > 1 && !driveRoot) folder.pop_back();
    os::SetCurrentDirectoryA(folder.c_str());
}
