// Construction, initialisation, painting and destruction of the wizard window.
#include "wizard/firmware_update_dlg.h"
#include "wizard/message_catalogue.h"

namespace {
// Sent when the window's taskbar button exists: only then can it show progress.
UINT g_msgTaskbarButtonCreated = 0;
}  // namespace

BEGIN_MESSAGE_MAP(CFirmwareUpdateDlg, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_DESTROY()
ON_BN_CLICKED(IDC_CHECK, OnCheck)
ON_MESSAGE(WM_QUERYENDSESSION, OnQueryEndSession)
ON_REGISTERED_MESSAGE(g_msgTaskbarButtonCreated, OnTaskbarButtonCreated)
ON_MESSAGE(WM_DPICHANGED, OnDpiChanged)
END_MESSAGE_MAP()

CFirmwareUpdateDlg::CFirmwareUpdateDlg(CWnd* parent) : CDialog(IDD, parent) {
    m_hIcon = os::LoadIconA(AfxFindResourceHandle(MAKEINTRESOURCEA(IDI_APP), RT_GROUP_ICON), MAKEINTRESOURCEA(IDI_APP));
    ForgetLinkLibrary();
    m_strVendor.Empty();
    m_strModel.Empty();
    m_strPort.Empty();
    m_strDriver.Empty();
    m_strPrinter.Empty();
    m_strFirmwarePath.Empty();
    m_nFirmwareSize = 0;
    m_nCurrentVersion = 0;
    m_nNewVersion = 0;
    m_nSpoolerLimit = 0;
    m_nProcedure = 0;
    m_nStage = 0;
    m_bStatusReplies = 0;
    m_bDirectUsb = 1;
    m_state = WizardState::Checking;
    m_bTaskbarButton = FALSE;
    if (!g_msgTaskbarButtonCreated) g_msgTaskbarButtonCreated = os::RegisterWindowMessageA("TaskbarButtonCreated");
}

// The library is released in OnDestroy; the shared icon is never destroyed.
CFirmwareUpdateDlg::~CFirmwareUpdateDlg() = default;

void CFirmwareUpdateDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_MODEL_NAME, m_stcModelName);
    DDX_Control(dx, IDC_CHECK, m_btnCheck);
    DDX_Control(dx, IDC_CURRENT_CAPTION, m_stcCurrentCaption);
    DDX_Control(dx, IDC_CURRENT_VERSION, m_stcCurrentVersion);
    DDX_Control(dx, IDC_NEW_CAPTION, m_stcNewCaption);
    DDX_Control(dx, IDC_NEW_VERSION, m_stcNewVersion);
    DDX_Control(dx, IDC_MESSAGE, m_stcMessage);
    DDX_Control(dx, IDC_PERCENT, m_stcPercent);
    DDX_Control(dx, IDC_PROGRESS, m_prgProgress);
    DDX_Control(dx, IDOK, m_btnStart);
    DDX_Control(dx, IDCANCEL, m_btnClose);
}

BOOL CFirmwareUpdateDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    SetWindowText(CatalogueText(AFX_IDS_APP_TITLE));

    m_icons.Apply(*this, os::GetDpiForWindow(m_hWnd), m_hIcon);

    // A second copy of the program finds this window by this property.
    os::SetPropA(m_hWnd, AfxGetApp()->m_pszExeName, reinterpret_cast<HANDLE>(1));
    m_record.Begin(AfxGetApp()->m_pszExeName);

    MakeTopmostAtMainWindow();
    ShowOpeningTexts();

    m_nStage = 0;
    m_state = WizardState::Checking;

    // The check runs from the message loop, once this has returned.
    PostMessage(WM_COMMAND, MAKEWPARAM(IDC_CHECK, BN_CLICKED), 0);

    return TRUE;
}

void CFirmwareUpdateDlg::MakeTopmostAtMainWindow() {
    // Topmost, at the main window's centre: the main window is this dialog,
    // so the position stays and the framework centres it afterwards.
    CWinThread* thread = AfxGetThread();
    CWnd* main = thread ? thread->GetMainWnd() : nullptr;
    if (!main || !main->m_hWnd) return;
    RECT m{};
    RECT d{};
    main->GetWindowRect(&m);
    GetWindowRect(&d);
    const int x = m.left + (m.right - m.left) / 2 - (d.right - d.left) / 2;
    const int y = m.top + (m.bottom - m.top) / 2 - (d.bottom - d.top) / 2;
    SetWindowPos(&wndTopMost, x, y, 0, 0, SWP_NOSIZE);
}

void CFirmwareUpdateDlg::ShowOpeningTexts() {
    m_strModel.LoadString(IDS_CAP_NO_MODEL);

    m_btnCheck.SetWindowText(CatalogueText(IDS_CAP_CHECK));
    m_btnCheck.ShowWindow(SW_HIDE);

    m_stcCurrentCaption.SetWindowText(CatalogueText(IDS_CAP_CURRENT_VERSION));
    m_stcNewCaption.SetWindowText(CatalogueText(IDS_CAP_NEW_VERSION));

    m_stcMessage.SetWindowText("");
    UpdateData(FALSE);

    m_stcPercent.ShowWindow(SW_HIDE);

    m_prgProgress.SetRange32(1, 2000);
    m_prgProgress.SetStep(1);
    m_prgProgress.ShowWindow(SW_HIDE);

    m_btnStart.SetWindowText(CatalogueText(IDS_CAP_NEXT));
    m_btnClose.SetWindowText(CatalogueText(IDS_CAP_CANCEL));

    m_stcCurrentVersion.SetWindowText(CatalogueText(IDS_CAP_NOT_UPDATABLE));
    m_stcNewVersion.SetWindowText("*.**");
}

void CFirmwareUpdateDlg::OnPaint() {
    if (!IsIconic()) {
        CWnd::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    // The icon's size at the window's own DPI, which may differ from the
    // system's on a screen of another scaling.
    const UINT dpi = os::GetDpiForWindow(m_hWnd);
    const int cx = os::GetSystemMetricsForDpi(SM_CXICON, dpi);
    const int cy = os::GetSystemMetricsForDpi(SM_CYICON, dpi);
    RECT r{};
    GetClientRect(&r);
    const int x = (r.right - r.left - cx + 1) / 2;
    const int y = (r.bottom - r.top - cy + 1) / 2;
    dc.DrawIcon(x, y, m_icons.Big() ? m_icons.Big() : m_hIcon, cx, cy);
}

LRESULT CFirmwareUpdateDlg::OnDpiChanged(WPARAM wp, LPARAM lp) {
    m_icons.Apply(*this, LOWORD(wp), m_hIcon);
    if (const RECT* r = reinterpret_cast<const RECT*>(lp)) {
        // The suggested size fits the controls only where the dialog manager
        // lays them out again for the new DPI (per-monitor v2 awareness, which
        // it does once this returns). Elsewhere they keep the layout of the
        // DPI the window opened at, and the window keeps the size that holds
        // them: smaller, it would cut them off.
        const bool relaidOut = os::AreDpiAwarenessContextsEqual(os::GetWindowDpiAwarenessContext(m_hWnd),
                                                                DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
        SetWindowPos(nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE | (relaidOut ? 0 : SWP_NOSIZE));
    }
    return Default();
}

HCURSOR CFirmwareUpdateDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CFirmwareUpdateDlg::OnDestroy() {
    os::RemovePropA(m_hWnd, AfxGetApp()->m_pszExeName);
    CWnd::OnDestroy();
    FreeLinkLibrary();
    m_record.End();
}
