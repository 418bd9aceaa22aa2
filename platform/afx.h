// A small application framework in the manner of the classic Windows class
// library: a counted 8-bit string, the application and thread objects, a
// window base with a message map, a modal dialog, the three control classes,
// data exchange, file search, file length, paint context and message box.
// Only what the wizard uses. Every service it needs from the system goes
// through os:: (platform/os.h), so the same framework runs on Windows and on
// the test platform.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

#include "platform/os.h"

// ---------------------------------------------------------------------------
// CString: counted 8-bit string in the system code page.
class CString {
public:
    CString() = default;
    CString(const char* s) : m_s(s ? s : "") {}  // NOLINT: implicit like the original
    CString(const char* s, int len) : m_s(s, static_cast<size_t>(len)) {}
    CString(const CString&) = default;
    CString& operator=(const CString&) = default;
    CString& operator=(const char* s) {
        m_s = s ? s : "";
        return *this;
    }

    int GetLength() const { return static_cast<int>(m_s.size()); }
    bool IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    operator const char*() const { return m_s.c_str(); }  // NOLINT
    const char* GetString() const { return m_s.c_str(); }
    char GetAt(int i) const { return m_s[static_cast<size_t>(i)]; }

    CString& operator+=(const CString& o) {
        m_s += o.m_s;
        return *this;
    }
    CString& operator+=(const char* s) {
        m_s += (s ? s : "");
        return *this;
    }
    CString& operator+=(char c) {
        m_s += c;
        return *this;
    }
    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_s + b.m_s); }
    friend CString operator+(const CString& a, const char* b) { return CString(a.m_s + (b ? b : "")); }
    friend CString operator+(const char* a, const CString& b) { return CString((a ? a : "") + b.m_s); }
    friend bool operator==(const CString& a, const CString& b) { return a.m_s == b.m_s; }
    friend bool operator==(const CString& a, const char* b) { return a.m_s == (b ? b : ""); }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }

    // Loads string resource id in the user's language; empty when it is missing.
    BOOL LoadString(UINT id);
    void Format(const char* fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // Multibyte-aware: trail bytes of double-byte characters are left alone.
    void MakeUpper();
    // Position of the first occurrence, counted in bytes from 0; -1 when absent.
    // Steps over double-byte characters, so a trail byte never matches.
    int Find(char c) const;
    int Find(const char* sub) const;
    CString Left(int count) const;
    CString Mid(int first) const;
    CString Right(int count) const;
    // Removes space, tab, CR, LF, VT and FF.
    void TrimLeft();
    void TrimRight();
    void Trim() {
        TrimRight();
        TrimLeft();
    }

private:
    explicit CString(std::string s) : m_s(std::move(s)) {}
    std::string m_s;
};

// ---------------------------------------------------------------------------
// Message maps: one visible table per class from message to handler.
class CCmdTarget;
typedef LRESULT (*AFX_PMSG)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);
struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // window message
    UINT nCode;     // notification code (WM_COMMAND only)
    UINT nID;       // control id (WM_COMMAND only)
    AFX_PMSG pfn;   // null ends the table
    // A message registered at run time: its number is read from here, not
    // from nMessage.
    const UINT* pRegistered = nullptr;
};
struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                         \
protected:                                            \
    static const AFX_MSGMAP* GetThisMessageMap();     \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                              \
        using ThisClass [[maybe_unused]] = theClass;                               \
        typedef baseClass TheBaseClass;                                            \
        static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                                          \
    { 0, 0, 0, nullptr }                                                           \
    }                                                                              \
    ;                                                                              \
    static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, &entries[0]}; \
    return &map;                                                                   \
    }

#define ON_WM_PAINT()                                                              \
    {WM_PAINT, 0, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {                \
         static_cast<ThisClass*>(t)->OnPaint();                                    \
         return 0;                                                                 \
     }},
#define ON_WM_DESTROY()                                                            \
    {WM_DESTROY, 0, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {              \
         static_cast<ThisClass*>(t)->OnDestroy();                                  \
         return 0;                                                                 \
     }},
#define ON_WM_QUERYDRAGICON()                                                      \
    {WM_QUERYDRAGICON, 0, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {        \
         return reinterpret_cast<LRESULT>(static_cast<ThisClass*>(t)->OnQueryDragIcon()); \
     }},
#define ON_MESSAGE(message, memberFxn)                                             \
    {message, 0, 0, [](CCmdTarget* t, WPARAM wp, LPARAM lp) -> LRESULT {           \
         return static_cast<ThisClass*>(t)->memberFxn(wp, lp);                     \
     }},
#define ON_REGISTERED_MESSAGE(messageVariable, memberFxn)                          \
    {0, 0, 0, [](CCmdTarget* t, WPARAM wp, LPARAM lp) -> LRESULT {                 \
         return static_cast<ThisClass*>(t)->memberFxn(wp, lp);                     \
     }, &messageVariable},
#define ON_COMMAND(id, memberFxn)                                                  \
    {WM_COMMAND, 0, static_cast<UINT>(id), [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { \
         static_cast<ThisClass*>(t)->memberFxn();                                  \
         return 0;                                                                 \
     }},
#define ON_BN_CLICKED(id, memberFxn)                                               \
    {WM_COMMAND, BN_CLICKED, static_cast<UINT>(id), [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { \
         static_cast<ThisClass*>(t)->memberFxn();                                  \
         return 0;                                                                 \
     }},

class CCmdTarget {
public:
    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;
    virtual ~CCmdTarget() = default;
    virtual const AFX_MSGMAP* GetMessageMap() const { return GetThisMessageMap(); }

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
};

// ---------------------------------------------------------------------------
// Windows
class CDataExchange;

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }  // NOLINT

    // Permanent window object attached to hwnd, or null.
    static CWnd* FromHandlePermanent(HWND hwnd);
    void Attach(HWND hwnd);
    void Detach();

    void SetWindowText(const char* text) { os::SetWindowTextA(m_hWnd, text); }
    void GetWindowText(CString& text) const;
    BOOL ShowWindow(int cmd) { return os::ShowWindow(m_hWnd, cmd); }
    BOOL EnableWindow(BOOL enable = TRUE) { return os::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return os::IsWindowEnabled(m_hWnd); }
    BOOL IsWindowVisible() const { return os::IsWindowVisible(m_hWnd); }
    BOOL IsIconic() const { return os::IsIconic(m_hWnd); }
    void GetWindowRect(LPRECT r) const { os::GetWindowRect(m_hWnd, r); }
    void GetClientRect(LPRECT r) const { os::GetClientRect(m_hWnd, r); }
    BOOL SetWindowPos(const CWnd* after, int x, int y, int cx, int cy, UINT flags) {
        return os::SetWindowPos(m_hWnd, after ? after->m_hWnd : nullptr, x, y, cx, cy, flags);
    }
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return os::SendMessageA(m_hWnd, msg, wp, lp); }
    BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return os::PostMessageA(m_hWnd, msg, wp, lp); }
    HMENU GetSystemMenu(BOOL revert) const { return os::GetSystemMenu(m_hWnd, revert); }
    HICON SetIcon(HICON icon, BOOL big) {
        return reinterpret_cast<HICON>(SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    }

    // Runs DoDataExchange; save FALSE moves member data to the controls.
    BOOL UpdateData(BOOL save = TRUE);
    virtual void DoDataExchange(CDataExchange* dx);

    // Dispatches one message through the message maps. Returns whether a
    // handler took it (a handler that calls Default() leaves it to the system).
    bool OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

    // Pseudo-window for SetWindowPos: insert as a topmost window.
    static const CWnd wndTopMost;

protected:
    // Leaves the message being handled to the system's default processing.
    LRESULT Default();
    void OnDestroy() { Default(); }
    void OnPaint() { Default(); }

    DECLARE_MESSAGE_MAP()

private:
    explicit CWnd(HWND pseudo) : m_hWnd(pseudo) {}
    bool m_bDefaultRequested = false;
};

class CStatic : public CWnd {};
class CButton : public CWnd {};
class CProgressCtrl : public CWnd {
public:
    void SetRange32(int lower, int upper) { SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), upper); }
    int SetStep(int step) { return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step), 0)); }
    int SetPos(int pos) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos), 0)); }
};

class CDataExchange {
public:
    CDataExchange(CWnd* dlg, BOOL save) : m_bSaveAndValidate(save), m_pDlgWnd(dlg) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};
// Binds control id of the dialog to ctrl the first time; later calls do nothing.
void DDX_Control(CDataExchange* dx, int id, CWnd& ctrl);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}
    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    void EndDialog(int result) { os::EndDialog(m_hWnd, result); }
    // Dispatches every message waiting in the thread's queue, keyboard
    // messages through the dialog manager as the modal loop does; returns
    // when the queue is empty. For long work inside a handler.
    void PumpWaitingMessages();

    // The dialog procedure through which every dialog of this framework runs.
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

protected:
    virtual void OnOK();
    virtual void OnCancel();
    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()
};

// Paint context for the duration of one WM_PAINT.
class CPaintDC {
public:
    explicit CPaintDC(CWnd* wnd) : m_hWndOwner(wnd->m_hWnd) { m_hDC = os::BeginPaint(m_hWndOwner, &m_ps); }
    ~CPaintDC() { os::EndPaint(m_hWndOwner, &m_ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    HDC GetSafeHdc() const { return m_hDC; }
    // Draws icon at cx x cy pixels, the image of that size where it has one.
    BOOL DrawIcon(int x, int y, HICON icon, int cx, int cy) {
        return os::DrawIconEx(m_hDC, x, y, icon, cx, cy, 0, nullptr, DI_NORMAL);
    }
    HDC m_hDC;
    PAINTSTRUCT m_ps{};

private:
    HWND m_hWndOwner;
};

// ---------------------------------------------------------------------------
// Application
class CWinThread : public CCmdTarget {
public:
    CWnd* m_pMainWnd = nullptr;
    virtual CWnd* GetMainWnd() { return m_pMainWnd; }
    virtual BOOL InitInstance() { return FALSE; }
    virtual int ExitInstance() { return 0; }
};

class CWinApp : public CWinThread {
public:
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;
    int ExitInstance() override { return 0; }

    const char* m_pszAppName = nullptr;  // heap copy; caption of every message box
    const char* m_pszExeName = nullptr;  // heap copy; program file name without folder and extension
    HINSTANCE m_hInstance = nullptr;
};

CWinApp* AfxGetApp();
CWinThread* AfxGetThread();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
HINSTANCE AfxFindResourceHandle(const char* name, const char* type);
// Start-up of the one application object: names it after the program file,
// runs InitInstance and then ExitInstance. Returns the process exit code.
int AfxRunApplication(HINSTANCE instance);

// Message box owned by the main window, captioned with the application name.
int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT promptId, UINT type = MB_OK, UINT helpId = 0);

// ---------------------------------------------------------------------------
// Files
class CFileFind {
public:
    CFileFind() = default;
    ~CFileFind() { Close(); }
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Starts a search; TRUE when at least one entry matches.
    BOOL FindFile(const char* pattern);
    // Makes the next match current; TRUE while a further match exists.
    BOOL FindNextFile();
    // Name and extension of the current match, without folder.
    CString GetFileName() const { return CString(m_current.cFileName); }
    void Close();

private:
    HANDLE m_hFind = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA m_next{};
    WIN32_FIND_DATAA m_current{};
    bool m_haveNext = false;
};

// A file opened by name. Failures are reported by results, never thrown.
class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
    };
    CFile() = default;
    ~CFile() { Close(); }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Read-only open with the sharing that flags give.
    BOOL Open(const char* name, UINT flags);
    // Reads up to count bytes; *read is how many arrived, 0 at the end of
    // the file. FALSE when the read failed.
    BOOL Read(void* buffer, DWORD count, DWORD* read);
    // Length in bytes; FALSE when it cannot be read.
    BOOL GetLength(uint64_t* length) const;
    // FALSE when closing failed; the file counts as closed either way.
    BOOL Close();

private:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
};
