// The send channel, by the link library or as a RAW print job on the
// plotter's Windows printer, and the reply channel, always by the library.
#include "link/library_buffers.h"
#include "link/printer_handle.h"
#include "wizard/firmware_update_dlg.h"

namespace {
const int kWriteTimeout = 10000;

// The link library's handles are int; a channel is wide enough for a
// printer handle as well, so the library's values are widened and narrowed
// back without loss.
PlotterChannel FromLink(int handle) { return static_cast<PlotterChannel>(handle); }
int ToLink(PlotterChannel channel) { return static_cast<int>(channel); }
HANDLE ToPrinter(PlotterChannel channel) { return reinterpret_cast<HANDLE>(channel); }

// 0 is no channel, -1 one that was not opened: neither is closed.
bool IsOpen(PlotterChannel channel) { return channel != 0 && channel != kNoChannel; }

// Writable copies of the texts the library is handed, made per call.
struct LinkTexts {
    char vendor[256];
    char model[128];
    char port[128];
    LinkTexts(const CString& v, const CString& m, const CString& p) {
        CopyForLibrary(vendor, v);
        CopyForLibrary(model, m);
        CopyForLibrary(port, p);
    }
};
}  // namespace

PlotterChannel CFirmwareUpdateDlg::OpenSendChannel(DWORD* printJob) {
    if (printJob) *printJob = 0;
    LinkTexts texts(m_strVendor, m_strModel, m_strPort);
    if (m_bDirectUsb) {
        return FromLink(
            m_pfnOpenUsbEx(0, ZEPL_CHANNEL_WRITE, ZEPL_OPEN_FLAGS, texts.vendor, texts.model, texts.port));
    }

    PrinterHandle printer;
    if (!printer.Open(m_strPrinter)) return kNoChannel;

    // The job is named after the plotter: vendor, a blank, model.
    CopyForLibrary(texts.vendor, m_strVendor + " " + m_strModel);
    char datatype[] = "RAW";
    DOC_INFO_1A doc = {texts.vendor, nullptr, datatype};
    const DWORD job = os::StartDocPrinterA(printer.Get(), 1, reinterpret_cast<LPBYTE>(&doc));
    if (job == 0) return kNoChannel;
    if (!os::StartPagePrinter(printer.Get())) {
        os::EndDocPrinter(printer.Get());
        return kNoChannel;
    }
    // The spooler knows the job's fate after the channel is gone: kept to ask.
    if (printJob) *printJob = job;
    return reinterpret_cast<PlotterChannel>(printer.Release());
}

int CFirmwareUpdateDlg::WriteSendChannel(PlotterChannel channel, const void* bytes, DWORD count, DWORD* written) {
    if (m_bDirectUsb) {
        // The caller's count receives what the library reports, and keeps
        // its value when the library reports nothing.
        int taken = static_cast<int>(*written);
        const int result = m_pfnWrite(ToLink(channel), static_cast<const char*>(bytes), static_cast<int>(count),
                                      &taken, kWriteTimeout);
        *written = static_cast<DWORD>(taken);
        return result;
    }
    DWORD taken = 0;
    const BOOL ok = os::WritePrinter(ToPrinter(channel), const_cast<void*>(bytes), count, &taken);
    *written = taken;
    return ok ? 0 : -3;
}

BOOL CFirmwareUpdateDlg::CloseSendChannel(PlotterChannel channel) {
    if (!IsOpen(channel)) return TRUE;
    if (m_bDirectUsb) {
        m_pfnClose(ToLink(channel));
        return TRUE;
    }
    // Ending the page and the job lets the spooler pass the bytes on; a job
    // it did not take never reaches the plotter, whatever the writes said.
    const BOOL pageEnded = os::EndPagePrinter(ToPrinter(channel));
    const BOOL jobEnded = os::EndDocPrinter(ToPrinter(channel));
    os::ClosePrinter(ToPrinter(channel));
    return pageEnded && jobEnded ? TRUE : FALSE;
}

PlotterChannel CFirmwareUpdateDlg::OpenReplyChannel() {
    LinkTexts texts(m_strVendor, m_strModel, m_strPort);
    if (!m_bStatusReplies) return 0;
    return FromLink(m_pfnOpenUsbEx(0, ZEPL_CHANNEL_READ, ZEPL_OPEN_FLAGS, texts.vendor, texts.model, texts.port));
}

void CFirmwareUpdateDlg::CloseReplyChannel(PlotterChannel channel) {
    if (m_bStatusReplies && IsOpen(channel)) m_pfnClose(ToLink(channel));
}
