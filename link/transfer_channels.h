// The send and reply channels of one firmware transfer, owned together:
// closed reply channel first, then send channel, when Close is called or the
// owner goes, on every path. A channel that is 0 (none) or -1 (not opened)
// is never closed.
#pragma once

#include "wizard/firmware_update_dlg.h"

class TransferChannels {
public:
    explicit TransferChannels(CFirmwareUpdateDlg& dlg) : m_dlg(dlg) {}
    ~TransferChannels() { Close(); }
    TransferChannels(const TransferChannels&) = delete;
    TransferChannels& operator=(const TransferChannels&) = delete;

    // The send channel, then for a status-reply model the reply channel.
    // False when either could not be opened; what did open is closed again.
    bool Open() {
        m_send = m_dlg.OpenSendChannel(&m_printJob);
        if (m_send == kNoChannel) {
            m_dlg.m_record.Channels("send", m_send, "reply", 0);
            return false;
        }
        if (m_dlg.m_bStatusReplies) m_reply = m_dlg.OpenReplyChannel();
        m_dlg.m_record.Channels("send", m_send, "reply", m_reply);
        if (m_reply == kNoChannel) {
            Close();
            return false;
        }
        return true;
    }

    PlotterChannel Send() const { return m_send; }
    PlotterChannel Reply() const { return m_reply; }
    // The spooler route's print job, 0 for none; still known after Close.
    DWORD PrintJob() const { return m_printJob; }

    // False when the send channel's bytes were not handed on to the plotter
    // (a print job the spooler did not take).
    bool Close() {
        bool handedOn = true;
        if (IsOpen(m_reply)) m_dlg.CloseReplyChannel(m_reply);
        if (IsOpen(m_send)) handedOn = m_dlg.CloseSendChannel(m_send) != FALSE;
        m_reply = 0;
        m_send = 0;
        return handedOn;
    }

private:
    static bool IsOpen(PlotterChannel c) { return c != 0 && c != kNoChannel; }

    CFirmwareUpdateDlg& m_dlg;
    PlotterChannel m_send = 0;
    PlotterChannel m_reply = 0;
    DWORD m_printJob = 0;
};
