// The test platform's print spooler: the os:: spooler functions answered
// from a list of printers that a test sets, in the Windows call forms and
// buffer layouts, with failures that a test can switch on at each step, and
// a record of every call, of the printer handles and of the print jobs.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/os.h"

namespace testplat {

struct SpoolerPrinter {
    std::string name;
    std::string port;
    std::string driver;
};

// The calls that a scene can make fail, every time they are made.
enum class SpoolerStep {
    EnumSize,        // EnumPrintersA without a buffer: reports no size at all
    EnumRecords,     // EnumPrintersA into a buffer
    OpenPrinter,     // OpenPrinterA, for every name
    GetPrinterSize,  // GetPrinterA without a buffer: reports no size at all
    GetPrinter,      // GetPrinterA into a buffer
    StartDoc,
    StartPage,
    Write,           // WritePrinter, reporting failedWriteTakes bytes taken
    EndDoc,          // EndDocPrinter: the job is not handed on (the document stays closed)
    GetJob,          // GetJobA: the spooler does not answer (RPC_S_SERVER_UNAVAILABLE)
};

// Where an ended print job stands from a moment on, the moment counted in
// milliseconds the program has slept since it ended the job.
struct JobPhase {
    DWORD fromMs = 0;
    DWORD status = 0;   // JOB_STATUS_* as GetJobA reports it; 0 is queued
    bool gone = false;  // left the queue: GetJobA no longer knows the job
};

struct SpoolerJob {
    DWORD id = 0;
    std::string printer;
    std::string document;     // pDocName
    bool outputFile = false;  // pOutputFile was given
    std::string datatype;     // pDatatype
    int pagesStarted = 0;
    int pagesEnded = 0;
    bool ended = false;   // EndDocPrinter
    std::string bytes;    // what WritePrinter took
    size_t endedAtSleep = 0;  // count of the program's sleeps when it ended the job
};

struct Spooler {
    // --- the scene, set by tests --------------------------------------
    std::vector<SpoolerPrinter> printers;  // in enumeration order
    std::set<SpoolerStep> failing;
    std::set<std::string> unopenable;  // OpenPrinterA fails for these names
    // Taken off the list by the first enumeration into a buffer: listed, but
    // gone by the time the caller opens them.
    std::set<std::string> vanishAfterEnumeration;
    DWORD failedWriteTakes = 0;  // bytes a failing WritePrinter reports taken
    // How every ended job fares over time, phases in order of fromMs; before
    // the first it is queued. Without phases a job leaves the queue as soon
    // as it ends, as one written to a file port does.
    std::vector<JobPhase> jobPhases;

    // --- what happened, read by tests ---------------------------------
    // One line per call: "EnumPrintersA flags=6 level=2 size=0",
    // "OpenPrinterA name=P1", "GetPrinterA level=2 size=0", "ClosePrinter",
    // "StartDocPrinterA level=1", "StartPagePrinter", "WritePrinter count=5",
    // "EndPagePrinter", "EndDocPrinter", "GetJobA id=1 level=1 size=0". A
    // call on a handle that is not open ends in " bad_handle".
    std::vector<std::string> calls;
    std::vector<SpoolerJob> jobs;
    int opened = 0;  // successful OpenPrinterA calls
    int closed = 0;  // successful ClosePrinter calls
    size_t OpenPrinters() const { return handles.size(); }
    // Calls that named a handle which was not open, or misused one.
    int misuses = 0;

    // --- internal -----------------------------------------------------
    struct Open {
        HANDLE kernelHandle;
        SpoolerPrinter printer;  // as it was when opened
        int job = -1;            // index into jobs while a document is open
        bool pageOpen = false;
    };
    std::map<HANDLE, Open> handles;
};

Spooler& spooler();
// No printers, no failures, nothing recorded. testplat::Reset() calls it.
void ResetSpooler();

}  // namespace testplat
