// The floor of a launch and of memory: a GUI program that opens one empty
// modal dialog from an in-memory template and ends when it is cancelled (Esc,
// Close, or an IDCANCEL sent from outside). The dialog carries a window
// property named like the program, as the wizard does, so that the test
// driver finds it.
#include <windows.h>

#include <cstdio>

namespace {

INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        SetPropA(wnd, "bench_bare_dialog", reinterpret_cast<HANDLE>(1));
        // A size in pixels given on the command line ("width height"): the
        // wizard's, so that both draw the same area.
        int width = 0, height = 0;
        if (sscanf(reinterpret_cast<const char*>(lp), "%d %d", &width, &height) == 2)
            SetWindowPos(wnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
        return TRUE;
    }
    if (msg == WM_DESTROY) RemovePropA(wnd, "bench_bare_dialog");
    if (msg == WM_COMMAND && (LOWORD(wp) == IDCANCEL || LOWORD(wp) == IDOK)) {
        EndDialog(wnd, LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}

// A DLGTEMPLATE followed by its empty menu, class and title arrays, aligned
// for the system's WORD reads.
struct EmptyTemplate {
    DLGTEMPLATE head;
    WORD menu, cls, title;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    alignas(4) EmptyTemplate t{};
    t.head.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER;
    t.head.cdit = 0;
    t.head.cx = 200;
    t.head.cy = 100;
    return static_cast<int>(DialogBoxIndirectParamW(instance, &t.head, nullptr, DialogProc,
                                                     reinterpret_cast<LPARAM>(arguments)));
}
