// The floor of the wizard's memory: what Wine itself carries for what the
// wizard asks of the system, with none of the wizard's own code or data. It
// opens the wizard's dialog from the same template with the same manifest
// (common controls 6, the same DPI awareness), so the same controls, fonts
// and theme are loaded, and asks the spooler for its printers as the check
// does (under Wine that maps the spooler's whole unix side into the
// process). Once the printers are known it shows the progress bar and moves
// it, as the transfer does, and says so in the dialog's message text; it
// ends when it is cancelled. Its window property is named like the program,
// so that the test driver finds it.
#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "res/resource.h"

namespace {

const char kProperty[] = "bench_system_floor";

// Every printer at level 5 in the room level 2 needs, and each one's level-2
// record through a handle of its own, as the check's lookup does; how many
// there are.
DWORD AskForPrinters() {
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0, returned = 0;
    EnumPrintersA(flags, nullptr, 2, nullptr, 0, &needed, &returned);
    if (needed == 0) return 0;
    std::vector<BYTE> records(needed);
    if (!EnumPrintersA(flags, nullptr, 5, records.data(), needed, &needed, &returned)) return 0;
    const auto* printers = reinterpret_cast<const PRINTER_INFO_5A*>(records.data());
    for (DWORD i = 0; i < returned; ++i) {
        HANDLE printer = nullptr;
        if (!OpenPrinterA(printers[i].pPrinterName, &printer, nullptr)) continue;
        DWORD size = 0;
        GetPrinterA(printer, 2, nullptr, 0, &size);
        std::vector<BYTE> info(size ? size : 1);
        GetPrinterA(printer, 2, info.data(), size, &size);
        ClosePrinter(printer);
    }
    return returned;
}

INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_INITDIALOG) {
        SetPropA(wnd, kProperty, reinterpret_cast<HANDLE>(1));
        const DWORD printers = AskForPrinters();
        HWND bar = GetDlgItem(wnd, IDC_PROGRESS);
        SendMessageA(bar, PBM_SETRANGE32, 1, 2000);
        for (int percent = 0; percent <= 100; ++percent) SendMessageA(bar, PBM_SETPOS, percent * 21, 0);
        char text[64];
        wsprintfA(text, "printers: %lu", printers);
        SetDlgItemTextA(wnd, IDC_MESSAGE, text);
        return TRUE;
    }
    if (msg == WM_DESTROY) RemovePropA(wnd, kProperty);
    if (msg == WM_COMMAND && (LOWORD(wp) == IDCANCEL || LOWORD(wp) == IDOK)) {
        EndDialog(wnd, LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    return static_cast<int>(DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_UPDATE), nullptr, DialogProc, 0));
}
