// The end-to-end tests' probe, the half that runs inside the wizard's process.
// The probe program (probe.cpp) hooks the wizard's thread with this DLL and
// posts it a request; the hook answers it in that thread, where the wizard's
// fonts and icons are: for every dialog window of the thread (the wizard,
// and a message box when one is up) its DPI, its icons, and for every
// control its place, and for a static with text, the size the text needs
// with the static's own font, as the static draws it. The answer goes back
// as key=value lines in UTF-8 by WM_COPYDATA to the window the request
// names; the tests judge it.
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/driver/key_value_line.h"

namespace {
HINSTANCE g_module = nullptr;

const wchar_t kRequest[] = L"e2e_probe.measure";

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

class Lines {
public:
    void Put(const std::string& key, const std::string& value) { m_text += KeyValueLine(key, value); }
    void Put(const std::string& key, long long value) { Put(key, std::to_string(value)); }
    void Put(const std::string& key, const RECT& r) {
        Put(key, std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
                     std::to_string(r.bottom));
    }
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};

std::wstring TextOf(HWND wnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(wnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(wnd, &text[0], static_cast<int>(text.size()))));
    return text;
}

std::string ClassOf(HWND wnd) {
    char name[64] = {};
    GetClassNameA(wnd, name, sizeof name);
    return name;
}

UINT DpiOf(HWND wnd) {
    typedef UINT(WINAPI * Fn)(HWND);
    static const Fn fn =
        reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    return fn ? fn(wnd) : 0;
}

// "<width>x<height>x<bits per pixel>" of the icon's colour image; "none" without one.
std::string IconSize(HICON icon) {
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return "none";
    BITMAP bm = {};
    HBITMAP image = info.hbmColor ? info.hbmColor : info.hbmMask;
    GetObjectW(image, sizeof bm, &bm);
    const int height = info.hbmColor ? bm.bmHeight : bm.bmHeight / 2;
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return std::to_string(bm.bmWidth) + "x" + std::to_string(height) + "x" + std::to_string(bm.bmBitsPixel);
}

// How a static lays out its text (the system's static control: word-wrapped
// unless it centres a single line vertically).
UINT StaticFormat(LONG_PTR style) {
    UINT format = DT_CALCRECT | DT_EXPANDTABS;
    if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
    if (style & SS_CENTERIMAGE) format |= DT_SINGLELINE;
    else if ((style & SS_TYPEMASK) != SS_LEFTNOWORDWRAP) format |= DT_WORDBREAK;
    return format;
}

void MeasureText(Lines& out, const std::string& key, HWND ctl, const std::wstring& text, LONG_PTR style,
                 const RECT& client) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(ctl, WM_GETFONT, 0, 0));
    HDC dc = GetDC(ctl);
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    RECT need = {0, 0, client.right - client.left, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need, StaticFormat(style));
    if (old) SelectObject(dc, old);
    ReleaseDC(ctl, dc);
    out.Put(key + "font", Utf8(face));
    out.Put(key + "font.height", tm.tmHeight);
    out.Put(key + "need", std::to_string(need.right - need.left) + "," + std::to_string(need.bottom - need.top));
}

void MeasureWindow(Lines& out, const std::string& prefix, HWND wnd) {
    out.Put(prefix + "hwnd", static_cast<long long>(reinterpret_cast<UINT_PTR>(wnd)));
    out.Put(prefix + "title", Utf8(TextOf(wnd)));
    out.Put(prefix + "dpi", DpiOf(wnd));
    RECT r = {};
    GetWindowRect(wnd, &r);
    out.Put(prefix + "rect", r);
    out.Put(prefix + "icon.big", IconSize(reinterpret_cast<HICON>(SendMessageW(wnd, WM_GETICON, ICON_BIG, 0))));
    out.Put(prefix + "icon.small", IconSize(reinterpret_cast<HICON>(SendMessageW(wnd, WM_GETICON, ICON_SMALL, 0))));
    int n = 0;
    for (HWND ctl = GetWindow(wnd, GW_CHILD); ctl; ctl = GetWindow(ctl, GW_HWNDNEXT), ++n) {
        const std::string key = prefix + "c" + std::to_string(n) + ".";
        const LONG_PTR style = GetWindowLongPtrW(ctl, GWL_STYLE);
        const std::string cls = ClassOf(ctl);
        const std::wstring text = TextOf(ctl);
        out.Put(key + "id", static_cast<long long>(static_cast<short>(GetWindowLongPtrW(ctl, GWLP_ID))));
        out.Put(key + "class", cls);
        out.Put(key + "style", static_cast<long long>(style & 0xFFFFFFFF));
        out.Put(key + "visible", IsWindowVisible(ctl) != 0);
        out.Put(key + "enabled", IsWindowEnabled(ctl) != 0);
        out.Put(key + "text", Utf8(text));
        // The window and its client area in the dialog's client coordinates.
        RECT rect = {};
        GetWindowRect(ctl, &rect);
        MapWindowPoints(nullptr, wnd, reinterpret_cast<POINT*>(&rect), 2);
        out.Put(key + "rect", rect);
        RECT client = {};
        GetClientRect(ctl, &client);
        MapWindowPoints(ctl, wnd, reinterpret_cast<POINT*>(&client), 2);
        out.Put(key + "client", client);
        const UINT type = static_cast<UINT>(style & SS_TYPEMASK);
        const bool textual = type <= SS_RIGHT || type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP;
        if (cls == "Static" && textual && !text.empty()) MeasureText(out, key, ctl, text, style, client);
    }
    out.Put(prefix + "controls", n);
}

struct ThreadDialogs {
    HWND first;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND wnd, LPARAM param) {
    auto* dialogs = reinterpret_cast<ThreadDialogs*>(param);
    if (wnd != dialogs->first && IsWindowVisible(wnd) && ClassOf(wnd) == "#32770") dialogs->found.push_back(wnd);
    return TRUE;
}

std::string Measure(HWND target) {
    ThreadDialogs dialogs = {target, {target}};
    EnumThreadWindows(GetCurrentThreadId(), CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
    Lines out;
    out.Put("windows", static_cast<long long>(dialogs.found.size()));
    for (size_t i = 0; i < dialogs.found.size(); ++i) MeasureWindow(out, "w" + std::to_string(i) + ".", dialogs.found[i]);
    return out.Text();
}

LRESULT CALLBACK ProbeHook(int code, WPARAM removed, LPARAM param) {
    static const UINT request = RegisterWindowMessageW(kRequest);
    MSG* msg = reinterpret_cast<MSG*>(param);
    if (code == HC_ACTION && removed == PM_REMOVE && msg->message == request) {
        const std::string answer = Measure(msg->hwnd);
        COPYDATASTRUCT data = {request, static_cast<DWORD>(answer.size()), const_cast<char*>(answer.data())};
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(reinterpret_cast<HWND>(msg->wParam), WM_COPYDATA, reinterpret_cast<WPARAM>(msg->hwnd),
                            reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 5000, &ignored);
        msg->message = WM_NULL;  // the wizard never sees the request
    }
    return CallNextHookEx(nullptr, code, removed, param);
}
}  // namespace

// Hooks the messages the given thread takes from its queue.
extern "C" __declspec(dllexport) HHOOK ProbeInstall(DWORD threadId) {
    return SetWindowsHookExW(WH_GETMESSAGE, ProbeHook, g_module, threadId);
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = module;
    return TRUE;
}
