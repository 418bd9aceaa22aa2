// The print spooler's functions, bound once from the spooler's DLL in the
// system folder by its full path, never by name: a DLL of that name placed
// beside the program is never loaded. The DLL stays loaded for the process.
// Where it cannot be bound, every call fails as the spooler would.
#include <string>

#include "platform/os.h"
#include "platform/win32/bind_entry.h"

namespace {
struct SpoolerEntries {
    decltype(&::ClosePrinter) closePrinter = nullptr;
    decltype(&::EndDocPrinter) endDocPrinter = nullptr;
    decltype(&::EndPagePrinter) endPagePrinter = nullptr;
    decltype(&::EnumPrintersA) enumPrinters = nullptr;
    decltype(&::GetJobA) getJob = nullptr;
    decltype(&::GetPrinterA) getPrinter = nullptr;
    decltype(&::OpenPrinterA) openPrinter = nullptr;
    decltype(&::StartDocPrinterA) startDocPrinter = nullptr;
    decltype(&::StartPagePrinter) startPagePrinter = nullptr;
    decltype(&::WritePrinter) writePrinter = nullptr;
};


SpoolerEntries Load() {
    SpoolerEntries e;
    char folder[MAX_PATH] = {0};
    const UINT n = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return e;
    const std::string path = std::string(folder) + "\\winspool.drv";
    if (path.size() >= MAX_PATH) return e;
    // A full path: that file, and its own imports from the system folder.
    HMODULE dll = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!dll) return e;
    BindEntry(dll, "ClosePrinter", &e.closePrinter);
    BindEntry(dll, "EndDocPrinter", &e.endDocPrinter);
    BindEntry(dll, "EndPagePrinter", &e.endPagePrinter);
    BindEntry(dll, "EnumPrintersA", &e.enumPrinters);
    BindEntry(dll, "GetJobA", &e.getJob);
    BindEntry(dll, "GetPrinterA", &e.getPrinter);
    BindEntry(dll, "OpenPrinterA", &e.openPrinter);
    BindEntry(dll, "StartDocPrinterA", &e.startDocPrinter);
    BindEntry(dll, "StartPagePrinter", &e.startPagePrinter);
    BindEntry(dll, "WritePrinter", &e.writePrinter);
    return e;
}

// One user-interface thread calls these; the first call binds.
const SpoolerEntries& Spooler() {
    static const SpoolerEntries entries = Load();
    return entries;
}

template <typename Fn, typename... Args>
auto Call(Fn fn, Args... args) -> decltype(fn(args...)) {
    if (!fn) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return 0;
    }
    return fn(args...);
}
}  // namespace

namespace os {
BOOL ClosePrinter(HANDLE printer) { return Call(Spooler().closePrinter, printer); }
BOOL EndDocPrinter(HANDLE printer) { return Call(Spooler().endDocPrinter, printer); }
BOOL EndPagePrinter(HANDLE printer) { return Call(Spooler().endPagePrinter, printer); }
BOOL EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buf, DWORD size, LPDWORD needed, LPDWORD returned) {
    // A failed call reports no size and nothing returned, as the spooler does.
    if (!Spooler().enumPrinters) {
        if (needed) *needed = 0;
        if (returned) *returned = 0;
    }
    return Call(Spooler().enumPrinters, flags, name, level, buf, size, needed, returned);
}
BOOL GetJobA(HANDLE printer, DWORD jobId, DWORD level, LPBYTE buf, DWORD size, LPDWORD needed) {
    if (!Spooler().getJob && needed) *needed = 0;
    return Call(Spooler().getJob, printer, jobId, level, buf, size, needed);
}
BOOL GetPrinterA(HANDLE printer, DWORD level, LPBYTE buf, DWORD size, LPDWORD needed) {
    if (!Spooler().getPrinter && needed) *needed = 0;
    return Call(Spooler().getPrinter, printer, level, buf, size, needed);
}
BOOL OpenPrinterA(LPSTR name, HANDLE* printer, LPPRINTER_DEFAULTSA defaults) {
    return Call(Spooler().openPrinter, name, printer, defaults);
}
DWORD StartDocPrinterA(HANDLE printer, DWORD level, LPBYTE docInfo) {
    return Call(Spooler().startDocPrinter, printer, level, docInfo);
}
BOOL StartPagePrinter(HANDLE printer) { return Call(Spooler().startPagePrinter, printer); }
BOOL WritePrinter(HANDLE printer, LPVOID buf, DWORD size, LPDWORD written) {
    if (!Spooler().writePrinter && written) *written = 0;
    return Call(Spooler().writePrinter, printer, buf, size, written);
}
}  // namespace os
