// What the wizard's members say at each step, put into the record's words.
// Names only, never folders: a path can hold the user's name.
#include <cstdio>
#include <string>

#include "package/firmware_name.h"
#include "platform/paths.h"
#include "protocol/transfer_progress.h"
#include "record/record_text.h"
#include "wizard/firmware_update_dlg.h"
#include "wizard/version_decision.h"

using record::Quoted;

namespace {
std::string VersionText(int version) { return version == 0 ? "none" : FormatVersion(version).GetString(); }
}  // namespace

void CFirmwareUpdateDlg::RecordFirmware(int found) {
    if (found != 1) {
        m_record.Note("firmware file: none usable (not exactly one *.x beside the program, or it cannot be opened)");
        return;
    }
    const std::string name = paths::FileName(m_strFirmwarePath.GetString());
    m_record.Note("firmware file %s, %d bytes, version %s", Quoted(name.c_str()).c_str(), m_nFirmwareSize,
                  VersionText(m_nNewVersion).c_str());
    CString upper = paths::BaseName(name).c_str();
    upper.MakeUpper();
    const FirmwareName decoded = DecodeFirmwareName(upper);
    if (!decoded.hasKey) {
        m_record.Note("model key: none in the name");
    } else if (m_strVendor.IsEmpty()) {
        m_record.Note("model key %s: not in the model table", Quoted(decoded.key).c_str());
    } else {
        m_record.Note("model key %s: %s %s, driver %s, limit %s, status replies %s, procedure %d",
                      Quoted(decoded.key).c_str(), Quoted(m_strVendor).c_str(), Quoted(m_strModel).c_str(),
                      Quoted(m_strDriver).c_str(), VersionText(m_nSpoolerLimit).c_str(),
                      m_bStatusReplies ? "yes" : "no", m_nProcedure);
    }
    m_record.HashAtStepEnd(m_strFirmwarePath);
}

void CFirmwareUpdateDlg::RecordDecision(const VersionVerdict& verdict) {
    // Which side of the model's limit the plotter stands on decides the
    // route and which files it may take.
    const int limit = m_nSpoolerLimit;
    std::string because;
    if (limit <= 0) {
        because = "no limit";
    } else if (verdict.throughSpooler) {
        because = "plotter at or below the limit " + VersionText(limit) + ", which the file must not pass";
    } else {
        because = "plotter above the limit " + VersionText(limit) + ", which the file must reach";
    }
    const char* decision = verdict.decision == UpdateDecision::WrongGeneration ? "refused, the other generation"
                           : verdict.decision == UpdateDecision::AlreadyCurrent ? "not needed, the file is not newer"
                                                                                : "needed";
    m_record.Note("decision: plotter %s, file %s, %s: update %s; route %s", VersionText(m_nCurrentVersion).c_str(),
                  VersionText(m_nNewVersion).c_str(), because.c_str(), decision,
                  verdict.throughSpooler ? "spooler" : "link library");
}

void CFirmwareUpdateDlg::RecordPrinterLookup(int found) {
    if (found == 1) {
        m_record.Note("printer %s on port %s with driver %s", Quoted(m_strPrinter).c_str(), Quoted(m_strPort).c_str(),
                      Quoted(m_strDriver).c_str());
    } else {
        m_record.Note("printer: none on port %s with driver %s", Quoted(m_strPort).c_str(),
                      Quoted(m_strDriver).c_str());
    }
}

void CFirmwareUpdateDlg::RecordRoute() {
    if (m_bDirectUsb) {
        m_record.Note("route: link library, port %s", Quoted(m_strPort).c_str());
    } else {
        m_record.Note("route: spooler, printer %s on port %s", Quoted(m_strPrinter).c_str(), Quoted(m_strPort).c_str());
    }
}

void CFirmwareUpdateDlg::RecordFirmwareOpened(BOOL opened, const CFile& file) {
    if (!opened) {
        m_record.Note("firmware file not opened: system error %lu", static_cast<unsigned long>(os::GetLastError()));
        return;
    }
    uint64_t length = 0;
    if (file.GetLength(&length)) {
        m_record.Note("firmware file opened, %llu bytes", static_cast<unsigned long long>(length));
    } else {
        m_record.Note("firmware file opened, length unknown");
    }
}

void CFirmwareUpdateDlg::RecordSendingStarts() {
    m_record.Note("sending %d bytes in chunks of %u", m_nFirmwareSize, protocol::kChunkSize);
    // A machine that goes down during the transfer still leaves this.
    m_record.Flush();
    m_record.Mark();
}

void CFirmwareUpdateDlg::RecordSending(const SendReport& report) {
    const unsigned long ms = static_cast<unsigned long>(m_record.SinceMark());
    const unsigned long long sent = report.sent;
    const char* writer = m_bDirectUsb ? "ZEPL_Write" : "WritePrinter";
    char failure[160] = "no write failed";
    if (report.failedChunk != 0) {
        std::snprintf(failure, sizeof failure, "the first failed write: chunk %lu, %s %d (%s), %lu of %lu bytes taken",
                      static_cast<unsigned long>(report.failedChunk), writer, report.failedResult,
                      report.failedResult == 0 ? "ok, nothing taken" : "failed",
                      static_cast<unsigned long>(report.failedTaken), static_cast<unsigned long>(report.failedOffered));
    }
    m_record.Note("sent %llu of %d bytes: %lu chunks in %lu writes; %s%s; %d %% shown; %lu ms", sent, m_nFirmwareSize,
                  static_cast<unsigned long>(report.chunks), static_cast<unsigned long>(report.writes), failure,
                  report.readFailed ? "; reading the firmware file failed" : "", m_nShownPercent, ms);
}

void CFirmwareUpdateDlg::RecordPolls(int result) { m_record.PollsEnded(result, m_nShownPercent); }

void CFirmwareUpdateDlg::RecordChannelsClosed(bool handedOn) {
    if (m_bDirectUsb) {
        m_record.Note("channels closed");
    } else {
        m_record.Note("channels closed; the spooler %s the print job", handedOn ? "took" : "did not take");
    }
}

void CFirmwareUpdateDlg::RecordCompletionWait(int rounds, DWORD milliseconds) {
    m_record.Note("completion wait: %d of %u ms, %lu ms in all; %d %% shown", rounds, protocol::kWaitMilliseconds,
                  static_cast<unsigned long>(milliseconds), m_nShownPercent);
}
