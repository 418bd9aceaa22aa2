#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>

#include "sim/host.h"

namespace zepl_sim {
namespace {

// The wizard's controls, as its dialog template numbers them.
enum : int { kStartId = 1, kCloseId = 2, kPercentId = 1508, kProgressId = 1509 };

bool IsCallerDialog(HWND hwnd) {
    char cls[16] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    return lstrcmpA(cls, "#32770") == 0 && !GetWindow(hwnd, GW_OWNER) && GetDlgItem(hwnd, kCloseId);
}

BOOL CALLBACK PickThreadDialog(HWND hwnd, LPARAM found) {
    if (!IsCallerDialog(hwnd)) return TRUE;
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
}

BOOL CALLBACK PickProcessDialog(HWND hwnd, LPARAM found) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid == GetCurrentProcessId() ? PickThreadDialog(hwnd, found) : TRUE;
}

DialogState::Item Button(HWND dlg, int id) {
    const HWND item = GetDlgItem(dlg, id);
    if (!item) return DialogState::Absent;
    return IsWindowEnabled(item) ? DialogState::On : DialogState::Off;
}

}  // namespace

void SleepMilliseconds(int ms) {
    if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

long long SteadyMicroseconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    const long long f = frequency.QuadPart, c = now.QuadPart;
    return c / f * 1000000 + c % f * 1000000 / f;
}

Observation ObserveCallingDialog(DialogState* state) {
    *state = DialogState();
    HWND dlg = nullptr;
    // The transfer writes from the dialog's own thread; another thread of the
    // program is looked through only when that one has no dialog.
    EnumThreadWindows(GetCurrentThreadId(), PickThreadDialog, reinterpret_cast<LPARAM>(&dlg));
    if (!dlg) EnumWindows(PickProcessDialog, reinterpret_cast<LPARAM>(&dlg));
    if (!dlg) return Observation::NoDialog;

    if (const HMENU menu = GetSystemMenu(dlg, FALSE)) {
        const UINT close = GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND);
        if (close != static_cast<UINT>(-1)) state->menu_close = close & MF_GRAYED ? DialogState::Off : DialogState::On;
    }
    state->close_button = Button(dlg, kCloseId);
    state->start_button = Button(dlg, kStartId);
    if (const HWND percent = GetDlgItem(dlg, kPercentId)) {
        char text[64] = {};
        GetWindowTextA(percent, text, sizeof text);
        state->has_percent = true;
        state->percent = text;
    }
    if (const HWND progress = GetDlgItem(dlg, kProgressId)) {
        state->has_progress = true;
        state->progress = static_cast<int>(SendMessageA(progress, PBM_GETPOS, 0, 0));
    }
    return Observation::Dialog;
}

}  // namespace zepl_sim
