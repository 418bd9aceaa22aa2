// The record of one run of the wizard, kept for the support desk: one line
// per event, stamped with the local time to the millisecond and the process,
// held in memory and appended to the program's record file (record_file.h)
// at the end of each step, before each message box and before the firmware
// starts to go out. Nothing is written while firmware is being sent: the
// transfer keeps counters and hands them over afterwards.
//
// Keeping the record never changes the update: nothing here shows anything,
// and every failure to write is ignored (the lines are tried again at the
// next write). It holds file names only, never a folder (a path can name the
// user), and of the firmware only its length and hash.
#pragma once

#include <string>

#include "platform/afx.h"

class UpdateRecord {
public:
    UpdateRecord() = default;
    UpdateRecord(const UpdateRecord&) = delete;
    UpdateRecord& operator=(const UpdateRecord&) = delete;

    // Starts the run's record: the program (as its mutex is named, which
    // also names the record), its version, the system and the language.
    void Begin(const char* programName);
    // The run's last line; everything held is written.
    void End();

    // Lines between the two carry the step's name. The end notes how long
    // the step took, the firmware's hash when the step asked for it, and
    // writes the lines.
    void BeginStep(const char* name);
    void EndStep();

    // One event: what printf makes of format, which must give UTF-8
    // (record_text.h turns the system's texts into it).
    void Note(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // Writes the lines held; kept for the next time when that fails.
    void Flush();

    // The firmware file to hash when the step ends, once the user has read
    // what the step shows.
    void HashAtStepEnd(const char* path);

    // A moment to time a part of a step from.
    void Mark() { m_mark = os::GetTickCount(); }
    DWORD SinceMark() const { return os::GetTickCount() - m_mark; }

    // The link library and its exchanges, with the library's own codes.
    void LibraryNotLoaded(DWORD error);
    void LibraryLacks(const char* entry);
    void LibraryInit(int result);
    void PlotterCount(int count);
    void Port(const char* port);
    void Channels(const char* firstName, long long first, const char* secondName, long long second);
    void CommandWritten(const char* command, int count, int written, int result);
    // A reply read into buffer (of protocol::kReplyCapacity bytes). Polls
    // are only counted, their last reply kept, until PollsEnded.
    void ReplyRead(int result, int count, const char* buffer, bool poll);
    void PollsEnded(int result, int percent);

    // An outcome in the system's own code (UpdateResult), with its word.
    void Result(const char* what, int code);
    // The message box for code, noted and written before it is shown.
    void Box(int code, UINT textId);
    void Guidance(UINT id, UINT textId);

private:
    std::string m_program;  // names the record; empty until Begin
    std::string m_held;     // lines not written yet
    bool m_written = false;  // some of the run's lines are in the file
    std::string m_step;     // the step running; empty between steps
    DWORD m_stepStart = 0;
    DWORD m_mark = 0;
    std::string m_hashPath;
    int m_polls = 0;
    int m_pollResult = 0;
    int m_pollCount = 0;
    std::string m_pollReply;
};

// A step of the wizard from here to the end of the scope, on every path out.
class RecordedStep {
public:
    RecordedStep(UpdateRecord& record, const char* name) : m_record(record) { m_record.BeginStep(name); }
    ~RecordedStep() { m_record.EndStep(); }
    RecordedStep(const RecordedStep&) = delete;
    RecordedStep& operator=(const RecordedStep&) = delete;

private:
    UpdateRecord& m_record;
};

// The word for an UpdateResult: "ok", "update failed", ...
const char* ResultWord(int code);
