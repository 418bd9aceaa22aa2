// The firmware transfer: the file streamed to the plotter in 1024-byte
// pieces over the send channel, with a percent text and a progress bar; for
// a status-reply model framed by the prepare exchange and the polls, for any
// other model followed by a two-minute completion wait. The window stays
// painted and cannot be closed meanwhile.
//
// Only a transfer in which the plotter took every byte of the file can end
// as a success: a refused chunk, a failed read of the file, an empty file, a
// print job the spooler did not take or did not pass on ends it as failed
// whatever the plotter answers afterwards.
#include <algorithm>
#include <memory>
#include <new>

#include "link/transfer_channels.h"
#include "protocol/transfer_progress.h"
#include "wizard/firmware_update_dlg.h"
#include "wizard/transfer_hold.h"
#include "wizard/update_result.h"

using protocol::TransferProgress;

int CFirmwareUpdateDlg::TransferFirmware() {
    // Others may go on reading the file; nobody may change it meanwhile.
    CFile file;
    const BOOL opened = file.Open(m_strFirmwarePath, CFile::modeRead | CFile::shareDenyWrite);
    RecordFirmwareOpened(opened, file);
    if (!opened) return kResultFileNotOpened;

    TransferChannels channels(*this);
    if (!channels.Open()) return kResultNoChannel;
    if (m_bStatusReplies) {
        // Busy is no refusal: the plotter is still getting ready. Nothing on
        // screen has changed when the plotter refuses.
        const int prepared = PollUpdateStatus(channels.Send(), channels.Reply(), 1);
        m_record.Result("prepare", prepared);
        if (prepared != kResultOk && prepared != kResultBusy) return prepared;
    }

    // From here to the end the system is held for the transfer.
    TransferHold hold(m_hWnd, m_bTaskbarButton != FALSE);
    m_pHold = &hold;
    ShowTransferStarted();
    const TransferProgress progress(static_cast<uint32_t>(std::max(m_nFirmwareSize, 0)), m_bStatusReplies != 0);
    RecordSendingStarts();
    const SendReport sending = SendFirmware(file, channels.Send(), progress);
    RecordSending(sending);

    int result = kResultOk;
    if (m_bStatusReplies) {
        // The plotter's verdict counts only for firmware that arrived whole.
        result = PollUntilDone(channels, sending.sent, progress);
        RecordPolls(result);
        if (sending.stoppedEarly) result = kResultUpdateFailed;
    } else if (sending.stoppedEarly || sending.writeFailed) {
        // Without status replies a failed write is the only word on the
        // firmware's fate.
        result = kResultUpdateFailed;
    }
    const bool handedOn = channels.Close();
    file.Close();
    RecordChannelsClosed(handedOn);
    if (!handedOn) result = kResultUpdateFailed;

    if (!m_bStatusReplies && sending.lastWriteResult == 0 && !sending.stoppedEarly && handedOn) {
        const int waited = WaitForCompletion(sending.sent, progress, channels.PrintJob());
        if (waited != kResultOk) result = waited;
    }
    PumpMessages();
    os::Sleep(protocol::kFinalPauseMilliseconds);
    SetClosable(1);
    m_stcCurrentVersion.SetWindowText("*.**");
    m_pHold = nullptr;
    return result;
}

void CFirmwareUpdateDlg::ShowTransferStarted() {
    ShowGuidance(IDS_GUIDE_UPDATING);
    m_stcPercent.ShowWindow(SW_SHOW);
    m_nShownPercent = -1;
    ShowProgress(0);
    m_prgProgress.ShowWindow(SW_SHOW);
    UpdateData(FALSE);
    m_btnStart.EnableWindow(FALSE);
    SetClosable(0);
    PumpMessages();
}

bool CFirmwareUpdateDlg::ShowProgress(unsigned percent) {
    // The same percentage again changes nothing on screen.
    if (static_cast<int>(percent) == m_nShownPercent) return false;
    m_nShownPercent = static_cast<int>(percent);
    if (m_pHold) m_pHold->ShowPercent(percent);
    CString text;
    text.Format("%d %%", static_cast<int>(percent));
    m_stcPercent.SetWindowText(text);
    m_prgProgress.SetPos(protocol::BarPosition(percent));
    return true;
}

CFirmwareUpdateDlg::SendReport CFirmwareUpdateDlg::SendFirmware(CFile& file, PlotterChannel channel,
                                                                const TransferProgress& progress) {
    SendReport report;
    // One buffer for the whole file; a read never fills its last byte.
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[protocol::kChunkSize + 1]);
    if (!buffer) {
        report.stoppedEarly = true;
        return report;
    }
    DWORD request = protocol::kChunkSize;
    bool more = true;
    while (more) {
        DWORD got = 0;
        if (!file.Read(buffer.get(), request, &got)) {
            // A read that fails is no end of the file: the firmware would be cut.
            report.stoppedEarly = true;
            report.readFailed = true;
            break;
        }
        if (got < request) {
            request = got;
            more = false;
        }
        if (got == 0) continue;
        ++report.chunks;
        const bool whole = SendChunk(channel, buffer.get(), got, &report);
        // The window stays live by the clock, not by the chunk: a queue
        // check after every fast chunk would cost more than the sending.
        const bool changed = ShowProgress(progress.AfterSending(report.sent));
        if (changed || m_pumpClock.Elapsed()) PumpMessages();
        if (!whole) {
            report.stoppedEarly = true;
            more = false;
        }
    }
    if (report.sent == 0) report.stoppedEarly = true;  // nothing went out
    return report;
}

bool CFirmwareUpdateDlg::SendChunk(PlotterChannel channel, const char* bytes, DWORD count, SendReport* report) {
    // A write that succeeds with part of the chunk taken is followed by one
    // of the rest, and so on: no byte is lost and none goes twice. Each
    // write takes at least one byte, so this ends.
    DWORD taken = 0;
    while (taken < count) {
        const DWORD rest = count - taken;
        DWORD written = 0;
        const int r = WriteSendChannel(channel, bytes + taken, rest, &written);
        report->lastWriteResult = r;
        report->CountWrite(r, rest, written);
        const DWORD counted = std::min(written, rest);
        taken += counted;
        report->sent += counted;
        if (r != 0) {
            report->writeFailed = true;
            // A failed write that still took all it was given lets sending go on.
            if (written != rest) return false;
        } else if (counted == 0) {
            return false;  // success with nothing taken is a refusal
        }
    }
    return true;
}

int CFirmwareUpdateDlg::PollUntilDone(const TransferChannels& channels, uint64_t sent,
                                      const TransferProgress& progress) {
    int result = kResultBusy;
    for (int k = 1; k <= protocol::kPollRounds; ++k) {
        result = PollUpdateStatus(channels.Send(), channels.Reply(), 0);
        if (result != kResultBusy) break;
        ShowProgress(progress.AfterBusyReplies(sent, k));
        PumpMessages();
    }
    return result;
}

// The plotter's time to take the firmware in. A print job is watched
// meanwhile: one the spooler reports failed ends the wait at once, and one
// still in the queue when the time is up never reached the plotter. Once it
// has left the queue, or shows printed, nothing more is asked. A spooler
// that cannot be asked gives no verdict.
int CFirmwareUpdateDlg::WaitForCompletion(uint64_t sent, const TransferProgress& progress, DWORD printJob) {
    const DWORD started = os::GetTickCount();
    PrintJobFate job = printJob ? PrintJobFate::Pending : PrintJobFate::Delivered;
    for (int k = 1; k <= protocol::kWaitRounds; ++k) {
        os::Sleep(protocol::kWaitMilliseconds);
        if (job != PrintJobFate::Delivered) {
            job = AskPrintJob(printJob);
            if (job == PrintJobFate::Failed) {
                RecordCompletionWait(k, os::GetTickCount() - started);
                return kResultUpdateFailed;
            }
        }
        ShowProgress(progress.AfterWaits(sent, k));
        PumpMessages();
    }
    RecordCompletionWait(protocol::kWaitRounds, os::GetTickCount() - started);
    return job == PrintJobFate::Pending ? kResultUpdateFailed : kResultOk;
}

void CFirmwareUpdateDlg::SetClosable(int enable) {
    os::EnableMenuItem(GetSystemMenu(FALSE), SC_CLOSE, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
    m_btnClose.EnableWindow(enable ? TRUE : FALSE);
    PumpMessages();
}

void CFirmwareUpdateDlg::PumpMessages() {
    UpdateData(FALSE);
    PumpWaitingMessages();
    m_pumpClock.Restart();
}

LRESULT CFirmwareUpdateDlg::OnTaskbarButtonCreated(WPARAM, LPARAM) {
    m_bTaskbarButton = TRUE;
    if (m_pHold) m_pHold->TaskbarReady();
    return 0;
}
