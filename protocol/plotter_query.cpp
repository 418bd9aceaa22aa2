// The plotter's query protocol: in the check stage the plotter is counted,
// its port recorded and its status and version read on two channels of the
// query's own; in the update stage only its Windows printer is confirmed.
// Around a firmware update, the status exchanges on the transfer's channels.
#include <cstring>

#include "link/library_buffers.h"
#include "protocol/commands.h"
#include "protocol/plotter_description.h"
#include "protocol/reply.h"
#include "wizard/firmware_update_dlg.h"

using namespace protocol;

namespace {
const int kWriteTimeout = 10000;
const int kReadTimeout = 30000;

// Commands and replies over one write and one read channel of the library.
class LinkExchange {
public:
    // Every command and reply is noted in record; with polls, replies are
    // only counted there.
    LinkExchange(PFN_ZEPL_Write write, PFN_ZEPL_Read read, int writeChannel, int readChannel, UpdateRecord& record,
                 bool polls = false)
        : m_write(write), m_read(read), m_writeChannel(writeChannel), m_readChannel(readChannel), m_record(record),
          m_polls(polls) {}

    // Writes the command in one piece; true when the library took it. The
    // count it reports taken is not looked at.
    template <size_t N>
    bool Send(const char (&command)[N]) const {
        int written = 0;
        const int result = m_write(m_writeChannel, command, CommandLength(command), &written, kWriteTimeout);
        m_record.CommandWritten(command, CommandLength(command), written, result);
        return result == 0;
    }

    // One read into a fresh buffer: the read's result; *text is the reply
    // and *count what the library reported.
    int Read(CString* text, int* count) const {
        char buffer[kReplyCapacity];
        std::memset(buffer, 0, sizeof buffer);
        *count = 0;
        const int result = m_read(m_readChannel, buffer, kReplyCapacity, count, kReadTimeout);
        m_record.ReplyRead(result, *count, buffer, m_polls);
        *text = ReplyText(buffer, *count);
        return result;
    }

    // A reply arrived: the read succeeded with at least one byte.
    bool Receive(CString* text) const {
        int count = 0;
        return Read(text, &count) == 0 && count >= 1;
    }

private:
    PFN_ZEPL_Write m_write;
    PFN_ZEPL_Read m_read;
    int m_writeChannel;
    int m_readChannel;
    UpdateRecord& m_record;
    bool m_polls;
};

// The check stage's two channels, closed when the query returns: the write
// channel first, then the read channel, each only when it was opened and is
// not 0.
class QueryChannels {
public:
    QueryChannels(PFN_ZEPL_Close close, int writeChannel, int readChannel)
        : m_close(close), m_writeChannel(writeChannel), m_readChannel(readChannel) {}
    ~QueryChannels() {
        CloseOne(m_writeChannel);
        CloseOne(m_readChannel);
    }
    QueryChannels(const QueryChannels&) = delete;
    QueryChannels& operator=(const QueryChannels&) = delete;

    bool BothOpen() const { return m_writeChannel != ZEPL_NO_CHANNEL && m_readChannel != ZEPL_NO_CHANNEL; }

private:
    void CloseOne(int channel) const {
        if (channel != ZEPL_NO_CHANNEL && channel != 0) m_close(channel);
    }
    PFN_ZEPL_Close m_close;
    int m_writeChannel;
    int m_readChannel;
};

// The version x100 in a version reply; false when it is none (below 1, or
// no int at all).
bool ReadVersion(const CString& reply, int* version) {
    const bool fits = ScaleVersion(ReadDecimal(VersionText(reply)), version);
    return fits && *version >= 1;
}
}  // namespace

int CFirmwareUpdateDlg::QueryPlotter(int mode) {
    if (mode != 1) {
        const int found = FindSpoolerPrinter();
        RecordPrinterLookup(found);
        return found == 1 ? kResultOk : kResultCommunicationError;
    }

    char vendor[256];
    char model[128];
    char port[128];
    CopyForLibrary(vendor, m_strVendor);
    CopyForLibrary(model, m_strModel);

    // None attached is no error yet: opening the channels decides.
    const int attached = m_pfnEntryUsbCheck(vendor, model, nullptr);
    m_record.PlotterCount(attached);
    if (attached > 1) return kResultSeveralPlotters;

    char description[kDescriptionSize];
    std::memset(description, 0, sizeof description);
    m_pfnEntryUsbCheck(vendor, model, description);
    m_strPort = PortFromDescription(description);
    m_record.Port(m_strPort);
    CopyForLibrary(port, m_strPort);

    // Both are opened before either is looked at.
    const int writeChannel = m_pfnOpenUsbEx(0, ZEPL_CHANNEL_WRITE, ZEPL_OPEN_FLAGS, vendor, model, port);
    const int readChannel = m_pfnOpenUsbEx(0, ZEPL_CHANNEL_READ, ZEPL_OPEN_FLAGS, vendor, model, port);
    m_record.Channels("write", writeChannel, "read", readChannel);
    const QueryChannels channels(m_pfnClose, writeChannel, readChannel);
    if (!channels.BothOpen()) return kResultNoChannel;

    const LinkExchange link(m_pfnWrite, m_pfnRead, writeChannel, readChannel, m_record);
    CString reply;
    CString field;
    // Any status will do here; the plotter only has to answer.
    if (!link.Send(kStatusQuery) || !link.Receive(&reply) || !ReplyField(reply, &field))
        return kResultCommunicationError;
    if (!link.Send(kVersionQuery) || !link.Receive(&reply)) return kResultCommunicationError;
    return ReadVersion(reply, &m_nCurrentVersion) ? kResultOk : kResultCommunicationError;
}

int CFirmwareUpdateDlg::PollUpdateStatus(PlotterChannel sendChannel, PlotterChannel replyChannel, int prepare) {
    if (m_bStatusReplies != 1) return kResultOk;

    // Both are link channels here: a plotter that answers status queries
    // always takes its firmware by the library.
    const LinkExchange link(m_pfnWrite, m_pfnRead, static_cast<int>(sendChannel), static_cast<int>(replyChannel),
                            m_record, prepare == 0);
    CString reply;
    CString field;
    if (prepare) {
        if (!link.Send(kStatusQuery)) return kResultCommunicationError;
        if (!link.Receive(&reply) || !ReplyField(reply, &field)) return kResultCommunicationError;
        if (!StatusAccepted(ReadInteger(field))) return kResultCommunicationError;
        if (!link.Send(kVersionQuery)) return kResultCommunicationError;
        // The version is not needed here: the read only has to succeed,
        // even without a byte.
        int count = 0;
        if (link.Read(&reply, &count) != 0) return kResultCommunicationError;
        // The progress reply that follows tells whether the request arrived.
        link.Send(kUpdateRequest);
    }
    if (!link.Receive(&reply) || !ReplyField(reply, &field)) return kResultCommunicationError;
    // A field that holds no number says neither "busy" nor "done": the
    // update cannot count as finished on it.
    if (!HoldsNumber(field)) return kResultUpdateFailed;
    return ProgressResult(ReadInteger(field));
}
