// The scaling functions of Windows 10 (version 1607 on), bound once from
// user32.dll, which the program imports and so is always loaded. Where they
// are missing, each answers as that older Windows behaves: the program is at
// most system-aware there, or per-monitor aware without the dialog manager's
// scaling (Windows 8.1).
#include "platform/os.h"
#include "platform/win32/bind_entry.h"

namespace {
typedef BOOL(WINAPI* AreDpiAwarenessContextsEqualFn)(DPI_AWARENESS_CONTEXT, DPI_AWARENESS_CONTEXT);
typedef UINT(WINAPI* GetDpiForWindowFn)(HWND);
typedef int(WINAPI* GetSystemMetricsForDpiFn)(int, UINT);
typedef DPI_AWARENESS_CONTEXT(WINAPI* GetWindowDpiAwarenessContextFn)(HWND);

struct DpiEntries {
    AreDpiAwarenessContextsEqualFn areContextsEqual = nullptr;
    GetDpiForWindowFn dpiForWindow = nullptr;
    GetSystemMetricsForDpiFn metricsForDpi = nullptr;
    GetWindowDpiAwarenessContextFn windowContext = nullptr;
};


DpiEntries Load() {
    DpiEntries e;
    HMODULE user32 = ::GetModuleHandleA("user32.dll");
    if (!user32) return e;
    BindEntry(user32, "AreDpiAwarenessContextsEqual", &e.areContextsEqual);
    BindEntry(user32, "GetDpiForWindow", &e.dpiForWindow);
    BindEntry(user32, "GetSystemMetricsForDpi", &e.metricsForDpi);
    BindEntry(user32, "GetWindowDpiAwarenessContext", &e.windowContext);
    return e;
}

// One user-interface thread calls these; the first call binds.
const DpiEntries& Dpi() {
    static const DpiEntries entries = Load();
    return entries;
}

// The DPI the whole session draws at, which the older systems scale
// everything of an aware program to.
UINT SystemDpi() {
    HDC screen = ::GetDC(nullptr);
    if (!screen) return USER_DEFAULT_SCREEN_DPI;
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}
}  // namespace

namespace os {
BOOL AreDpiAwarenessContextsEqual(DPI_AWARENESS_CONTEXT a, DPI_AWARENESS_CONTEXT b) {
    return Dpi().areContextsEqual ? Dpi().areContextsEqual(a, b) : FALSE;
}

UINT GetDpiForWindow(HWND w) {
    if (Dpi().dpiForWindow) return Dpi().dpiForWindow(w);
    return ::IsWindow(w) ? SystemDpi() : 0;
}

int GetSystemMetricsForDpi(int index, UINT dpi) {
    if (Dpi().metricsForDpi) return Dpi().metricsForDpi(index, dpi);
    return ::MulDiv(::GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

DPI_AWARENESS_CONTEXT GetWindowDpiAwarenessContext(HWND w) {
    return Dpi().windowContext ? Dpi().windowContext(w) : nullptr;
}
}  // namespace os
