// Windows, dialogs, messages, properties, message boxes and painting of the
// test platform's in-memory desktop.
#include <algorithm>
#include <cstring>

#include "res/resource.h"
#include "testing/test_platform.h"

namespace testplat {
namespace {
// Dialog units to pixels for an 8-point-like dialog font.
int DuX(int du) { return du * 6 / 4; }
int DuY(int du) { return du * 13 / 8; }
const int kFrame = 3;
const int kCaption = 20;

const HWND kDesktop = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10));
uintptr_t g_nextHwnd = 0x1000;

HWND NewHwnd() {
    g_nextHwnd += 4;
    return reinterpret_cast<HWND>(g_nextHwnd);
}

struct TemplateControl {
    const char* text;
    int id;
    const char* cls;
    LONG style;
    int x, y, w, h;
    LONG exStyle;
};

const TemplateControl kUpdateControls[] = {
#define DIALOG_CONTROL(text, id, cls, style, x, y, w, h, ex) {text, id, cls, static_cast<LONG>(style), x, y, w, h, static_cast<LONG>(ex)},
#include "res/dialog.inc"
#undef DIALOG_CONTROL
};

std::string Title(HWND h) {
    FakeWindow* w = world().Find(h);
    return w ? w->text : std::string("?");
}

LRESULT ControlMessage(FakeWindow& w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case PBM_SETRANGE32: {
            LRESULT old = MAKELONG(w.rangeLow, w.rangeHigh);
            w.rangeLow = static_cast<int>(wp);
            w.rangeHigh = static_cast<int>(lp);
            w.pos = std::clamp(w.pos, w.rangeLow, std::max(w.rangeLow, w.rangeHigh));
            return old;
        }
        case PBM_SETPOS: {
            LRESULT old = w.pos;
            w.pos = std::clamp(static_cast<int>(wp), w.rangeLow, std::max(w.rangeLow, w.rangeHigh));
            return old;
        }
        case PBM_SETSTEP: {
            LRESULT old = w.step;
            w.step = static_cast<int>(wp);
            return old;
        }
        case PBM_GETPOS:
            return w.pos;
        case PBM_GETRANGE:
            return wp ? w.rangeLow : w.rangeHigh;
        case BM_CLICK:
            if (w.enabled && w.parent)
                return os::SendMessageA(w.parent, WM_COMMAND, MAKEWPARAM(w.id, BN_CLICKED),
                                        reinterpret_cast<LPARAM>(w.hwnd));
            return 0;
        default:
            return 0;
    }
}

// What the system does with a message that the window's procedure left alone.
LRESULT DefaultProcessing(FakeWindow& w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SETTEXT:
            w.text = lp ? reinterpret_cast<const char*>(lp) : "";
            return TRUE;
        case WM_SETICON: {
            HICON icon = reinterpret_cast<HICON>(lp);
            HICON old = wp == ICON_BIG ? w.bigIcon : w.smallIcon;
            (wp == ICON_BIG ? w.bigIcon : w.smallIcon) = icon;
            return reinterpret_cast<LRESULT>(old);
        }
        case WM_GETICON:
            return reinterpret_cast<LRESULT>(wp == ICON_BIG ? w.bigIcon : w.smallIcon);
        case WM_QUERYENDSESSION:
            return TRUE;  // the session may end
        default:
            return ControlMessage(w, msg, wp, lp);
    }
}

}  // namespace

bool TakeQueued(LPMSG m, bool remove) {
    auto& q = world().queue;
    if (q.empty()) return false;
    const PostedMessage p = q.front();
    if (remove) q.erase(q.begin());
    *m = MSG{p.hwnd, p.message, p.wParam, p.lParam, 0, POINT{0, 0}};
    return true;
}

namespace {
void DestroyDialog(HWND h) {
    FakeWindow* w = world().Find(h);
    if (!w) return;
    DLGPROC proc = w->proc;
    proc(h, WM_DESTROY, 0, 0);
    proc(h, WM_NCDESTROY, 0, 0);
    w = world().Find(h);
    if (w) {
        for (HWND c : w->children) world().windows.erase(c);
        world().destroyedWindows[h] = *w;
    }
    world().windows.erase(h);
    auto& z = world().zOrder;
    z.erase(std::remove(z.begin(), z.end(), h), z.end());
    auto& q = world().queue;
    q.erase(std::remove_if(q.begin(), q.end(), [&](const PostedMessage& m) { return m.hwnd == h; }), q.end());
    if (world().foreground == h) world().foreground = nullptr;
}
}  // namespace

FakeWindow* World::Find(HWND h) {
    auto it = windows.find(h);
    return it == windows.end() ? nullptr : &it->second;
}

HWND World::AddTopLevelWindow(const std::string& title, const std::string& propName, bool iconic) {
    FakeWindow w;
    w.hwnd = NewHwnd();
    w.className = "#32770";
    w.text = title;
    w.style = static_cast<LONG>(WS_POPUP | WS_VISIBLE | WS_CAPTION);
    w.visible = true;
    w.iconic = iconic;
    if (!propName.empty()) w.props[propName] = reinterpret_cast<HANDLE>(1);
    windows[w.hwnd] = w;
    zOrder.push_back(w.hwnd);
    return w.hwnd;
}

HWND Control(HWND dialog, int id) { return os::GetDlgItem(dialog, id); }

std::string Text(HWND h) {
    FakeWindow* w = world().Find(h);
    return w ? w->text : std::string();
}

bool Shown(HWND h) {
    FakeWindow* w = world().Find(h);
    return w && w->visible;
}

bool Enabled(HWND h) {
    FakeWindow* w = world().Find(h);
    return w && w->enabled;
}

HWND CurrentDialog() {
    for (HWND h : world().zOrder) {
        FakeWindow* w = world().Find(h);
        if (w && w->proc) return h;
    }
    return nullptr;
}

}  // namespace testplat

using testplat::FakeWindow;
using testplat::world;

namespace os {

HWND GetDesktopWindow() { return testplat::kDesktop; }

HWND GetWindow(HWND h, UINT cmd) {
    auto& z = world().zOrder;
    if (h == testplat::kDesktop) return cmd == GW_CHILD && !z.empty() ? z.front() : nullptr;
    FakeWindow* w = world().Find(h);
    if (!w) return nullptr;
    switch (cmd) {
        case GW_CHILD:
            return w->children.empty() ? nullptr : w->children.front();
        case GW_OWNER:
            return w->owner;
        case GW_HWNDNEXT: {
            const std::vector<HWND>* list = &z;
            if (FakeWindow* p = world().Find(w->parent)) list = &p->children;
            auto it = std::find(list->begin(), list->end(), h);
            if (it == list->end() || ++it == list->end()) return nullptr;
            return *it;
        }
        default:
            return nullptr;
    }
}

HWND GetDlgItem(HWND dlg, int id) {
    FakeWindow* w = world().Find(dlg);
    if (!w) return nullptr;
    for (HWND c : w->children) {
        FakeWindow* cw = world().Find(c);
        if (cw && cw->id == id) return c;
    }
    return nullptr;
}

BOOL IsWindow(HWND h) { return world().Find(h) != nullptr; }

BOOL SetWindowTextA(HWND h, LPCSTR text) {
    return SendMessageA(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) ? TRUE : FALSE;
}

int GetWindowTextLengthA(HWND h) {
    FakeWindow* w = world().Find(h);
    return w ? static_cast<int>(w->text.size()) : 0;
}

int GetWindowTextA(HWND h, LPSTR buf, int size) {
    FakeWindow* w = world().Find(h);
    if (!w || size <= 0) return 0;
    const int n = std::min(static_cast<int>(w->text.size()), size - 1);
    std::memcpy(buf, w->text.data(), static_cast<size_t>(n));
    buf[n] = '\0';
    return n;
}

BOOL ShowWindow(HWND h, int cmd) {
    FakeWindow* w = world().Find(h);
    if (!w) return FALSE;
    const BOOL was = w->visible;
    switch (cmd) {
        case SW_HIDE: w->visible = false; break;
        case SW_MINIMIZE: w->visible = true; w->iconic = true; break;
        case SW_RESTORE:
            w->visible = true;
            w->iconic = false;
            world().activations.push_back("restore " + testplat::Title(h));
            break;
        default: w->visible = true; break;
    }
    return was;
}

BOOL EnableWindow(HWND h, BOOL enable) {
    FakeWindow* w = world().Find(h);
    if (!w) return FALSE;
    const BOOL wasDisabled = !w->enabled;
    w->enabled = enable != FALSE;
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND h) {
    FakeWindow* w = world().Find(h);
    return w && w->enabled;
}

BOOL IsWindowVisible(HWND h) {
    for (FakeWindow* w = world().Find(h); w; w = world().Find(w->parent)) {
        if (!w->visible) return FALSE;
        if (!w->parent) return TRUE;
    }
    return FALSE;
}

BOOL IsIconic(HWND h) {
    FakeWindow* w = world().Find(h);
    return w && w->iconic;
}

LONG GetWindowLongA(HWND h, int index) {
    FakeWindow* w = world().Find(h);
    if (!w) return 0;
    if (index == GWL_STYLE) {
        LONG s = w->style & ~(WS_VISIBLE | WS_DISABLED | WS_MINIMIZE);
        if (w->visible) s |= WS_VISIBLE;
        if (!w->enabled) s |= WS_DISABLED;
        if (w->iconic) s |= WS_MINIMIZE;
        return s;
    }
    if (index == GWL_EXSTYLE) return w->exStyle;
    return 0;
}

BOOL GetWindowRect(HWND h, LPRECT r) {
    FakeWindow* w = world().Find(h);
    if (!w) return FALSE;
    *r = w->rect;
    return TRUE;
}

BOOL GetClientRect(HWND h, LPRECT r) {
    FakeWindow* w = world().Find(h);
    if (!w) return FALSE;
    LONG cw = w->rect.right - w->rect.left;
    LONG ch = w->rect.bottom - w->rect.top;
    if (!w->parent) {
        cw -= 2 * testplat::kFrame;
        ch -= 2 * testplat::kFrame + testplat::kCaption;
    }
    if (w->iconic) cw = ch = 36;
    *r = RECT{0, 0, std::max<LONG>(cw, 0), std::max<LONG>(ch, 0)};
    return TRUE;
}

BOOL SetWindowPos(HWND h, HWND after, int x, int y, int cx, int cy, UINT flags) {
    FakeWindow* w = world().Find(h);
    if (!w) return FALSE;
    if (!(flags & SWP_NOZORDER)) {
        if (after == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
        if (after == HWND_NOTOPMOST) w->exStyle &= ~WS_EX_TOPMOST;
    }
    const LONG width = w->rect.right - w->rect.left;
    const LONG height = w->rect.bottom - w->rect.top;
    if (!(flags & SWP_NOMOVE)) {
        w->rect.left = x;
        w->rect.top = y;
    }
    w->rect.right = w->rect.left + ((flags & SWP_NOSIZE) ? width : cx);
    w->rect.bottom = w->rect.top + ((flags & SWP_NOSIZE) ? height : cy);
    return TRUE;
}

BOOL SystemParametersInfoA(UINT action, UINT, LPVOID pv, UINT) {
    if (action != SPI_GETWORKAREA || !pv) return FALSE;
    *static_cast<RECT*>(pv) = world().workArea;
    return TRUE;
}

int GetSystemMetrics(int index) { return GetSystemMetricsForDpi(index, USER_DEFAULT_SCREEN_DPI); }

int GetSystemMetricsForDpi(int index, UINT dpi) {
    const int scale = static_cast<int>(dpi);
    switch (index) {
        case SM_CXICON:
        case SM_CYICON: return 32 * scale / USER_DEFAULT_SCREEN_DPI;
        case SM_CXSMICON:
        case SM_CYSMICON: return 16 * scale / USER_DEFAULT_SCREEN_DPI;
        case SM_CXSCREEN: return world().workArea.right;
        case SM_CYSCREEN: return world().workArea.bottom + 30;
        default: return 0;
    }
}

BOOL SetPropA(HWND h, LPCSTR name, HANDLE value) {
    FakeWindow* w = world().Find(h);
    if (!w || !name) return FALSE;
    w->props[name] = value;
    return TRUE;
}

HANDLE GetPropA(HWND h, LPCSTR name) {
    FakeWindow* w = world().Find(h);
    if (!w || !name) return nullptr;
    auto it = w->props.find(name);
    return it == w->props.end() ? nullptr : it->second;
}

HANDLE RemovePropA(HWND h, LPCSTR name) {
    FakeWindow* w = world().Find(h);
    if (!w || !name) return nullptr;
    auto it = w->props.find(name);
    if (it == w->props.end()) return nullptr;
    HANDLE v = it->second;
    w->props.erase(it);
    return v;
}

BOOL BringWindowToTop(HWND h) {
    auto& z = world().zOrder;
    auto it = std::find(z.begin(), z.end(), h);
    if (it == z.end()) return FALSE;
    z.erase(it);
    z.insert(z.begin(), h);
    // Bringing a window to the top activates it, which makes it its own last
    // active pop-up (as Windows and Wine do).
    if (FakeWindow* w = world().Find(h)) w->lastActivePopup = nullptr;
    world().activations.push_back("top " + testplat::Title(h));
    return TRUE;
}

HWND GetLastActivePopup(HWND h) {
    FakeWindow* w = world().Find(h);
    if (!w) return h;
    return w->lastActivePopup ? w->lastActivePopup : h;
}

BOOL SetForegroundWindow(HWND h) {
    if (!world().Find(h)) return FALSE;
    world().foreground = h;
    world().activations.push_back("foreground " + testplat::Title(h));
    return TRUE;
}

LRESULT SendMessageA(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    FakeWindow* w = world().Find(h);
    if (!w) return 0;
    if (w->proc) {
        DLGPROC proc = w->proc;
        w->msgResult = 0;
        INT_PTR r = proc(h, msg, wp, lp);
        if (msg == WM_QUERYDRAGICON) return r;
        // A dialog procedure that handled the message left its result here.
        if (r) {
            w = world().Find(h);
            return w ? w->msgResult : 0;
        }
        w = world().Find(h);
        if (!w) return 0;
    }
    return testplat::DefaultProcessing(*w, msg, wp, lp);
}

LONG_PTR SetWindowLongPtrA(HWND h, int index, LONG_PTR value) {
    FakeWindow* w = world().Find(h);
    if (!w || index != DWLP_MSGRESULT || !w->proc) return 0;
    const LONG_PTR old = w->msgResult;
    w->msgResult = value;
    return old;
}

UINT RegisterWindowMessageA(LPCSTR name) {
    static std::map<std::string, UINT> registered;
    if (!name) return 0;
    auto it = registered.emplace(name, static_cast<UINT>(0xC000 + registered.size())).first;
    return it->second;
}

HWND GetForegroundWindow() { return world().foreground; }

BOOL FlashWindowEx(PFLASHWINFO info) {
    if (!info || !world().Find(info->hwnd)) return FALSE;
    world().flashes.push_back(*info);
    return TRUE;
}

BOOL ShutdownBlockReasonCreate(HWND h, LPCWSTR reason) {
    if (!world().Find(h) || !reason) return FALSE;
    std::string utf8;
    for (const WCHAR* p = reason; *p; ++p) {  // the reasons here are in the basic plane
        const char16_t c = *p;
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    world().shutdownReasons.push_back("create " + utf8);
    return TRUE;
}

BOOL ShutdownBlockReasonDestroy(HWND h) {
    if (!world().Find(h)) return FALSE;
    world().shutdownReasons.push_back("destroy");
    return TRUE;
}

BOOL PostMessageA(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (!world().Find(h)) return FALSE;
    world().posted.push_back({h, msg, wp, lp});
    world().queue.push_back({h, msg, wp, lp});
    return TRUE;
}

BOOL PeekMessageA(LPMSG m, HWND, UINT, UINT, UINT remove) {
    // Only the program's own pumps peek here; the modal loop takes its
    // messages directly.
    if (!world().pumpOpen) {
        world().pumpOpen = true;
        ++world().pumps;
        if (world().onPump) world().onPump(testplat::CurrentDialog());
    }
    if (!testplat::TakeQueued(m, (remove & PM_REMOVE) != 0)) {
        world().pumpOpen = false;
        return FALSE;
    }
    return TRUE;
}

BOOL IsDialogMessageA(HWND, LPMSG) { return FALSE; }  // no keyboard on this desktop
BOOL TranslateMessage(const MSG*) { return FALSE; }
LRESULT DispatchMessageA(const MSG* m) { return SendMessageA(m->hwnd, m->message, m->wParam, m->lParam); }

HMENU GetSystemMenu(HWND h, BOOL) { return world().Find(h) ? reinterpret_cast<HMENU>(h) : nullptr; }

BOOL EnableMenuItem(HMENU menu, UINT item, UINT flags) {
    FakeWindow* w = world().Find(reinterpret_cast<HWND>(menu));
    if (!w || item != SC_CLOSE || (flags & 0x400) /* MF_BYPOSITION */) return -1;
    const BOOL old = w->closeGrayed ? MF_GRAYED : MF_ENABLED;
    w->closeGrayed = (flags & MF_GRAYED) != 0;
    return old;
}

HDC BeginPaint(HWND h, LPPAINTSTRUCT ps) {
    std::memset(ps, 0, sizeof(*ps));
    ps->hdc = reinterpret_cast<HDC>(h);
    return ps->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT*) { return TRUE; }

BOOL DrawIconEx(HDC, int x, int y, HICON icon, int cx, int cy, UINT, HBRUSH, UINT) {
    if (!icon) return FALSE;
    world().iconsDrawn.push_back({icon, x, y, cx, cy});
    return TRUE;
}

UINT GetDpiForWindow(HWND h) { return world().Find(h) ? world().dpi : 0; }

DPI_AWARENESS_CONTEXT GetWindowDpiAwarenessContext(HWND h) {
    if (!world().Find(h)) return nullptr;
    return world().perMonitorV2 ? DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 : DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE;
}

BOOL AreDpiAwarenessContextsEqual(DPI_AWARENESS_CONTEXT a, DPI_AWARENESS_CONTEXT b) { return a == b; }

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    testplat::MessageBoxRecord box{owner, text ? text : "", caption ? caption : "Error", type};
    world().messageBoxes.push_back(box);
    return world().onMessageBox ? world().onMessageBox(box) : IDOK;
}

BOOL EndDialog(HWND h, INT_PTR result) {
    FakeWindow* w = world().Find(h);
    if (!w || !w->proc) return FALSE;
    w->ended = true;
    w->endResult = result;
    return TRUE;
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR tmpl, HWND parent, DLGPROC proc, LPARAM param) {
    if (tmpl != MAKEINTRESOURCEA(IDD_UPDATE)) return -1;
    FakeWindow dlg;
    dlg.hwnd = testplat::NewHwnd();
    dlg.className = "#32770";
    dlg.text = IDD_UPDATE_CAPTION;
    dlg.style = static_cast<LONG>(IDD_UPDATE_STYLE);
    dlg.exStyle = IDD_UPDATE_EXSTYLE;
    dlg.owner = parent;
    dlg.rect = RECT{IDD_UPDATE_X, IDD_UPDATE_Y,
                    IDD_UPDATE_X + testplat::DuX(IDD_UPDATE_WIDTH) + 2 * testplat::kFrame,
                    IDD_UPDATE_Y + testplat::DuY(IDD_UPDATE_HEIGHT) + 2 * testplat::kFrame + testplat::kCaption};
    for (const auto& c : testplat::kUpdateControls) {
        FakeWindow cw;
        cw.hwnd = testplat::NewHwnd();
        cw.className = c.cls;
        cw.id = c.id;
        cw.text = c.text;
        cw.style = c.style;
        cw.exStyle = c.exStyle;
        cw.parent = dlg.hwnd;
        cw.visible = (c.style & WS_VISIBLE) != 0;
        cw.enabled = (c.style & WS_DISABLED) == 0;
        cw.rect = RECT{dlg.rect.left + testplat::DuX(c.x), dlg.rect.top + testplat::DuY(c.y),
                       dlg.rect.left + testplat::DuX(c.x + c.w), dlg.rect.top + testplat::DuY(c.y + c.h)};
        dlg.children.push_back(cw.hwnd);
        world().windows[cw.hwnd] = cw;
    }
    const HWND h = dlg.hwnd;
    const HWND firstTab = dlg.children.empty() ? nullptr : dlg.children.front();
    world().windows[h] = dlg;
    world().zOrder.insert(world().zOrder.begin(), h);
    world().dialogsCreated++;

    world().Find(h)->proc = proc;
    proc(h, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTab), param);
    if (FakeWindow* w = world().Find(h)) {
        if (w->style & WS_VISIBLE) w->visible = true;
        world().foreground = h;
    }
    if (world().afterInit) world().afterInit(h);

    // The modal loop: dispatch what is queued; when idle, let the user act.
    int idleRounds = 0;
    while (FakeWindow* w = world().Find(h)) {
        if (w->ended) break;
        MSG m;
        if (testplat::TakeQueued(&m, true)) {
            if (!IsDialogMessageA(h, &m)) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            continue;
        }
        const bool acted = world().onIdle && ++idleRounds < 10000 && world().onIdle(h);
        if (!acted) {
            // The user closes the dialog (Esc, Close, or the window's Close command).
            SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            if (FakeWindow* still = world().Find(h); still && !still->ended) {
                still->ended = true;  // a dialog that refuses to close is ended by force
                still->endResult = IDCANCEL;
            }
        }
    }
    FakeWindow* w = world().Find(h);
    const INT_PTR result = w ? w->endResult : -1;
    testplat::DestroyDialog(h);
    return result;
}

}  // namespace os
