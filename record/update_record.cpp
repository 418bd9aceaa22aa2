#include "record/update_record.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "link/zepl_entries.h"
#include "protocol/commands.h"
#include "protocol/reply.h"
#include "record/record_file.h"
#include "record/record_text.h"
#include "record/sha256.h"
#include "record/system_facts.h"
#include "wizard/update_result.h"

using record::Quoted;
using record::QuotedBytes;
using record::Utf8;

namespace {
// Lines held beyond this, while the file cannot be written, are left out: a
// run makes a few dozen.
const size_t kHeldLimit = 64 * 1024;

// The library's write and read results: 0 is success, any other value a
// failure whose meaning is the library's own.
const char* LinkWord(int result) { return result == 0 ? "ok" : "failed"; }

std::string ChannelText(long long channel) {
    char text[48];
    if (channel == -1) return "-1 (not opened)";
    if (channel == 0) return "0 (none)";
    std::snprintf(text, sizeof text, "%lld", channel);
    return text;
}

const char* CommandName(const char* command) {
    if (std::strcmp(command, protocol::kStatusQuery) == 0) return "status query";
    if (std::strcmp(command, protocol::kVersionQuery) == 0) return "version query";
    if (std::strcmp(command, protocol::kUpdateRequest) == 0) return "update request";
    return "command";
}

// The file's SHA-256 as hex; false when it cannot be read whole.
bool HashFile(const char* path, std::string* hex) {
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone)) return false;
    const DWORD kPiece = 64 * 1024;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kPiece]);
    if (!buffer) return false;
    Sha256 hash;
    for (;;) {
        DWORD got = 0;
        if (!file.Read(buffer.get(), kPiece, &got)) return false;
        if (got == 0) break;
        hash.Add(buffer.get(), got);
    }
    *hex = hash.HexDigest();
    return true;
}
}  // namespace

const char* ResultWord(int code) {
    switch (code) {
        case kResultOk: return "ok";
        case kResultSeveralPlotters: return "more than one plotter";
        case kResultFileNotOpened: return "firmware file not opened";
        case kResultNoChannel: return "channel not opened";
        case kResultUpdateFailed: return "update failed";
        case kResultCommunicationError: return "communication error";
        case kResultBusy: return "plotter still busy";
        case kResultLinkLibraryMissing: return "link library missing or incomplete";
        case kResultNoFirmwareFile: return "no firmware file";
        case kResultAlreadyCurrent: return "firmware already current";
        case kResultWrongGeneration: return "firmware of the other generation";
        default: return "unknown";
    }
}

void UpdateRecord::Begin(const char* programName) {
    m_program = programName ? programName : "";
    Note("start: %s %s, %d-bit program", Utf8(m_program.c_str()).c_str(), record::ProgramVersion().c_str(),
         static_cast<int>(sizeof(void*) * 8));
    Note("Windows %s; language %s", record::WindowsVersion().c_str(), record::Language().c_str());
}

void UpdateRecord::End() {
    Note("end");
    Flush();
}

void UpdateRecord::BeginStep(const char* name) {
    m_step = name;
    m_stepStart = os::GetTickCount();
}

void UpdateRecord::EndStep() {
    if (!m_hashPath.empty()) {
        std::string hex;
        if (HashFile(m_hashPath.c_str(), &hex)) {
            Note("firmware sha256 %s", hex.c_str());
        } else {
            Note("firmware sha256 unknown: the file could not be read");
        }
        m_hashPath.clear();
    }
    Note("ended after %lu ms", static_cast<unsigned long>(os::GetTickCount() - m_stepStart));
    m_step.clear();
    Flush();
}

void UpdateRecord::Note(const char* format, ...) {
    if (m_held.size() > kHeldLimit) return;
    SYSTEMTIME now{};
    os::GetLocalTime(&now);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] ", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                  static_cast<unsigned long>(os::GetCurrentProcessId()));
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    m_held += stamp;
    if (!m_step.empty()) m_held += m_step + ": ";
    m_held += text;
    m_held += "\r\n";
}

void UpdateRecord::Flush() {
    if (m_program.empty() || m_held.empty()) return;
    if (!record::AppendToRecordFile(m_program, m_held, !m_written)) return;
    m_held.clear();
    m_written = true;
}

void UpdateRecord::HashAtStepEnd(const char* path) { m_hashPath = path ? path : ""; }

void UpdateRecord::LibraryNotLoaded(DWORD error) {
    Note("link library " ZEPL_LIBRARY_NAME " not loaded: system error %lu", static_cast<unsigned long>(error));
}

void UpdateRecord::LibraryLacks(const char* entry) { Note("link library lacks %s", entry); }

void UpdateRecord::LibraryInit(int result) {
    Note("link library loaded; ZEPL_InitDll %d (%s)", result, result == 1 ? "ok" : "refused");
}

void UpdateRecord::PlotterCount(int count) { Note("ZEPL_EntryUsbCheck: %d plotter(s) attached", count); }

void UpdateRecord::Port(const char* port) { Note("plotter port %s", Quoted(port).c_str()); }

void UpdateRecord::Channels(const char* firstName, long long first, const char* secondName, long long second) {
    Note("channels: %s %s, %s %s", firstName, ChannelText(first).c_str(), secondName, ChannelText(second).c_str());
}

void UpdateRecord::CommandWritten(const char* command, int count, int written, int result) {
    Note("ZEPL_Write %s, %d bytes: %d (%s), %d taken", CommandName(command), count, result, LinkWord(result), written);
}

void UpdateRecord::ReplyRead(int result, int count, const char* buffer, bool poll) {
    const int shown = count < 0 ? 0 : count > protocol::kReplyCapacity ? protocol::kReplyCapacity : count;
    if (poll) {
        ++m_polls;
        m_pollResult = result;
        m_pollCount = count;
        m_pollReply = QuotedBytes(buffer, shown);
        return;
    }
    Note("ZEPL_Read: %d (%s), %d bytes %s", result, LinkWord(result), count, QuotedBytes(buffer, shown).c_str());
}

void UpdateRecord::PollsEnded(int result, int percent) {
    if (m_polls == 0) {
        Note("polls: none: %d (%s)", result, ResultWord(result));
    } else {
        Note("polls: %d, the last ZEPL_Read %d (%s), %d bytes %s: %d (%s); %d %% shown", m_polls, m_pollResult,
             LinkWord(m_pollResult), m_pollCount, m_pollReply.c_str(), result, ResultWord(result), percent);
    }
    m_polls = 0;
}

void UpdateRecord::Result(const char* what, int code) { Note("%s: %d (%s)", what, code, ResultWord(code)); }

void UpdateRecord::Box(int code, UINT textId) {
    CString text;
    text.LoadString(textId);
    Note("box %u %s for %d (%s)", textId, Quoted(text).c_str(), code, ResultWord(code));
    // The box waits for the user, who may end the program instead.
    Flush();
}

void UpdateRecord::Guidance(UINT id, UINT textId) {
    if (textId == 0) {
        Note("guidance %u: empty", id);
    } else if (textId != id) {
        Note("guidance %u: text %u", id, textId);
    } else {
        Note("guidance %u", id);
    }
}
