#include <map>

#include "platform/afx.h"

namespace {
// Window objects by handle. One user-interface thread: no lock.
std::map<HWND, CWnd*>& HandleMap() {
    static std::map<HWND, CWnd*> map;
    return map;
}
}  // namespace

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const CWnd CWnd::wndTopMost(HWND_TOPMOST);

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::~CWnd() { Detach(); }

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
    auto it = HandleMap().find(hwnd);
    return it == HandleMap().end() ? nullptr : it->second;
}

void CWnd::Attach(HWND hwnd) {
    m_hWnd = hwnd;
    if (hwnd) HandleMap()[hwnd] = this;
}

void CWnd::Detach() {
    if (!m_hWnd) return;
    auto it = HandleMap().find(m_hWnd);
    if (it != HandleMap().end() && it->second == this) HandleMap().erase(it);
    m_hWnd = nullptr;
}

void CWnd::GetWindowText(CString& text) const {
    int len = os::GetWindowTextLengthA(m_hWnd);
    std::string buf(static_cast<size_t>(len) + 1, '\0');
    int n = os::GetWindowTextA(m_hWnd, &buf[0], len + 1);
    text = CString(buf.c_str(), n < 0 ? 0 : n);
}

BOOL CWnd::UpdateData(BOOL save) {
    CDataExchange dx(this, save);
    DoDataExchange(&dx);
    return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

LRESULT CWnd::Default() {
    m_bDefaultRequested = true;
    return 0;
}

bool CWnd::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    const UINT code = (msg == WM_COMMAND) ? HIWORD(wp) : 0;
    const UINT id = (msg == WM_COMMAND) ? LOWORD(wp) : 0;
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->pfn; ++e) {
            if (e->pRegistered ? (*e->pRegistered == 0 || *e->pRegistered != msg) : e->nMessage != msg) continue;
            if (msg == WM_COMMAND && (e->nCode != code || e->nID != id)) continue;
            m_bDefaultRequested = false;
            *result = e->pfn(this, wp, lp);
            return !m_bDefaultRequested;
        }
    }
    return false;
}

void DDX_Control(CDataExchange* dx, int id, CWnd& ctrl) {
    if (ctrl.m_hWnd) return;
    ctrl.Attach(os::GetDlgItem(dx->m_pDlgWnd->m_hWnd, id));
}

// ---------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

INT_PTR CDialog::DoModal() {
    HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    return os::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), parent, &CDialog::DialogProc,
                               reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::PumpWaitingMessages() {
    MSG msg;
    while (os::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (os::IsDialogMessageA(m_hWnd, &msg)) continue;
        os::TranslateMessage(&msg);
        os::DispatchMessageA(&msg);
    }
}

namespace {
// A modal dialog without owner that neither moved nor showed itself while
// initialising is centred on the work area, as users expect of such a box.
void CentreIfUnplaced(HWND hwnd, const RECT& before) {
    const LONG style = os::GetWindowLongA(hwnd, GWL_STYLE);
    if (style & (WS_VISIBLE | WS_CHILD)) return;
    if (os::GetWindow(hwnd, GW_OWNER)) return;
    RECT now{};
    os::GetWindowRect(hwnd, &now);
    if (now.left != before.left || now.top != before.top) return;
    RECT area{};
    if (!os::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) return;
    const int w = now.right - now.left;
    const int h = now.bottom - now.top;
    const int x = area.left + ((area.right - area.left) - w) / 2;
    const int y = area.top + ((area.bottom - area.top) - h) / 2;
    os::SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
}  // namespace

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        auto* dlg = reinterpret_cast<CDialog*>(lp);
        dlg->Attach(hwnd);
        RECT before{};
        os::GetWindowRect(hwnd, &before);
        BOOL focus = dlg->OnInitDialog();
        CentreIfUnplaced(hwnd, before);
        return focus;
    }
    CWnd* wnd = FromHandlePermanent(hwnd);
    if (!wnd) return FALSE;
    LRESULT result = 0;
    const bool handled = wnd->OnWndMsg(msg, wp, lp, &result);
    if (msg == WM_NCDESTROY) wnd->Detach();
    if (!handled) return FALSE;
    // These few messages return their value straight from the dialog procedure;
    // the others leave it where the dialog manager returns it from.
    if (msg == WM_QUERYDRAGICON) return result;
    os::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}
