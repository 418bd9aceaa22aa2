#include <cstdlib>
#include <cstring>

#include "platform/afx.h"
#include "platform/paths.h"

namespace {
CWinApp* g_app = nullptr;

char* HeapCopy(const char* s) {
    const size_t n = std::strlen(s) + 1;
    char* p = static_cast<char*>(std::malloc(n));
    if (p) std::memcpy(p, s, n);
    return p;
}
}  // namespace

CWinApp::CWinApp(const char* appName) {
    if (appName) m_pszAppName = HeapCopy(appName);
    g_app = this;
}

CWinApp::~CWinApp() {
    std::free(const_cast<char*>(m_pszAppName));
    std::free(const_cast<char*>(m_pszExeName));
    if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() { return g_app; }
CWinThread* AfxGetThread() { return g_app; }
CWnd* AfxGetMainWnd() { return g_app ? g_app->GetMainWnd() : nullptr; }

HINSTANCE AfxGetInstanceHandle() {
    if (g_app && g_app->m_hInstance) return g_app->m_hInstance;
    return os::GetModuleHandleA(nullptr);
}
HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }
HINSTANCE AfxFindResourceHandle(const char*, const char*) { return AfxGetResourceHandle(); }

int AfxRunApplication(HINSTANCE instance) {
    CWinApp* app = AfxGetApp();
    if (!app) return -1;
    app->m_hInstance = instance;
    char module[MAX_PATH] = {0};
    os::GetModuleFileNameA(instance, module, MAX_PATH);
    std::free(const_cast<char*>(app->m_pszExeName));
    app->m_pszExeName = HeapCopy(paths::BaseName(module).c_str());
    if (!app->m_pszAppName) app->m_pszAppName = HeapCopy(app->m_pszExeName);
    app->InitInstance();
    return app->ExitInstance();
}

int AfxMessageBox(const char* text, UINT type, UINT) {
    CWinApp* app = AfxGetApp();
    CWnd* main = AfxGetMainWnd();
    HWND owner = main ? main->m_hWnd : nullptr;
    if (owner) owner = os::GetLastActivePopup(owner);
    return os::MessageBoxA(owner, text, app ? app->m_pszAppName : nullptr, type);
}

int AfxMessageBox(UINT promptId, UINT type, UINT helpId) {
    CString text;
    text.LoadString(promptId);
    return AfxMessageBox(text, type, helpId);
}
