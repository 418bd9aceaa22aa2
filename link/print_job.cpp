// The fate of the print job that carried the firmware on the spooler route,
// as the spooler tells it. The channel that made the job is closed by the
// time anyone asks, so each question opens the printer afresh: a handle kept
// across a spooler restart would only ever answer that it is invalid.
#include <cstdlib>

#include "link/printer_handle.h"
#include "wizard/firmware_update_dlg.h"

namespace {
// Failures that say the spooler did not answer at all, rather than that it
// knows no such job (what a job that has left the queue gives).
bool SpoolerUnreachable(DWORD error) {
    return error == RPC_S_SERVER_UNAVAILABLE || error == RPC_S_CALL_FAILED || error == RPC_S_CALL_FAILED_DNE ||
           error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_PROC_NOT_FOUND;
}

PrintJobFate NotInQueue() {
    return SpoolerUnreachable(os::GetLastError()) ? PrintJobFate::Unknown : PrintJobFate::Delivered;
}

PrintJobFate FateOf(DWORD status) {
    // A fault wins over everything else the job shows: it is why the job waits.
    const DWORD stuck = JOB_STATUS_ERROR | JOB_STATUS_OFFLINE | JOB_STATUS_PAPEROUT | JOB_STATUS_BLOCKED_DEVQ |
                        JOB_STATUS_USER_INTERVENTION;
    if (status & stuck) return PrintJobFate::Failed;
    // A printer that keeps printed documents holds them as printed or complete.
    const bool printed = (status & (JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE)) != 0;
    if (status & (JOB_STATUS_DELETED | JOB_STATUS_DELETING))
        return printed ? PrintJobFate::Delivered : PrintJobFate::Failed;
    return printed ? PrintJobFate::Delivered : PrintJobFate::Pending;
}
}  // namespace

PrintJobFate CFirmwareUpdateDlg::AskPrintJob(DWORD printJob) {
    PrinterHandle printer;
    if (!printer.Open(m_strPrinter)) return PrintJobFate::Unknown;
    // A job still in the queue reports the size of its record; one that has
    // left it reports nothing.
    DWORD needed = 0;
    if (os::GetJobA(printer.Get(), printJob, 1, nullptr, 0, &needed) || needed == 0) return NotInQueue();
    MallocBlock<BYTE> record(static_cast<BYTE*>(std::malloc(needed)));
    if (!record) return PrintJobFate::Unknown;
    if (!os::GetJobA(printer.Get(), printJob, 1, record.get(), needed, &needed)) return NotInQueue();
    return FateOf(reinterpret_cast<const JOB_INFO_1A*>(record.get())->Status);
}
