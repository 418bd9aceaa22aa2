// Finding the Windows printer that stands for the plotter: the first one, in
// the spooler's order, on the plotter's port and with the model's driver.
#include <cstdlib>

#include "link/printer_handle.h"
#include "wizard/firmware_update_dlg.h"

namespace {
const DWORD kEnumFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;

// Whole strings, letter case included. Byte equality is what the code
// page's comparison gives for equal and unequal alike; a missing string
// matches nothing.
bool SameText(const CString& wanted, const char* text) { return text != nullptr && wanted == text; }
}  // namespace

int CFirmwareUpdateDlg::FindSpoolerPrinter() {
    // A level-2 record carries every string of a level-5 one, so the size
    // that level 2 needs holds the level-5 enumeration too.
    DWORD needed = 0;
    DWORD returned = 0;
    os::EnumPrintersA(kEnumFlags, nullptr, 2, nullptr, 0, &needed, &returned);

    m_strPrinter.Empty();
    if (needed == 0) return 0;
    MallocBlock<BYTE> records(static_cast<BYTE*>(std::malloc(needed)));
    if (!records) return 0;
    if (!os::EnumPrintersA(kEnumFlags, nullptr, 5, records.get(), needed, &needed, &returned)) return 0;

    const PRINTER_INFO_5A* printers = reinterpret_cast<const PRINTER_INFO_5A*>(records.get());
    for (DWORD i = 0; i < returned; ++i) {
        if (!SameText(m_strPort, printers[i].pPortName)) continue;
        MallocBlock<PRINTER_INFO_2A> info(GetPrinterInfo2(printers[i].pPrinterName));
        if (info && SameText(m_strDriver, info->pDriverName)) m_strPrinter = info->pPrinterName;
        if (!m_strPrinter.IsEmpty()) return 1;
    }
    return 0;
}

PRINTER_INFO_2A* CFirmwareUpdateDlg::GetPrinterInfo2(const char* printerName) {
    if (!printerName) return nullptr;
    PrinterHandle printer;
    if (!printer.Open(printerName)) return nullptr;

    DWORD needed = 0;
    os::GetPrinterA(printer.Get(), 2, nullptr, 0, &needed);
    if (needed == 0) return nullptr;
    MallocBlock<PRINTER_INFO_2A> info(static_cast<PRINTER_INFO_2A*>(std::malloc(needed)));
    if (!info) return nullptr;
    if (!os::GetPrinterA(printer.Get(), 2, reinterpret_cast<LPBYTE>(info.get()), needed, &needed)) return nullptr;
    // The printer is closed before the block is handed over.
    printer.Close();
    return info.release();
}
