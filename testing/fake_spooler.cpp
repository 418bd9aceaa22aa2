// The print spooler of the test platform (spooler.h).
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "testing/spooler.h"
#include "testing/test_platform.h"

namespace testplat {
namespace {
// Error codes of the Windows spooler that the wizard's headers do not name.
const DWORD kErrorInvalidName = 123;
const DWORD kErrorInvalidLevel = 124;
const DWORD kErrorServerUnavailable = 1722;  // the spooler service does not answer

Spooler* g_spooler = nullptr;
DWORD g_nextJob = 1;

std::string Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Line(const char* format, ...) {
    char buf[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return buf;
}

void Record(const std::string& line) { spooler().calls.push_back(line); }

// The open printer behind a handle, or null: then the call is recorded as a
// misuse and fails as Windows fails it.
Spooler::Open* Find(HANDLE h) {
    Spooler& s = spooler();
    auto it = s.handles.find(h);
    if (it != s.handles.end()) return &it->second;
    ++s.misuses;
    if (!s.calls.empty()) s.calls.back() += " bad_handle";
    os::SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

bool Misuse() {
    ++spooler().misuses;
    os::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

bool Failing(SpoolerStep step) { return spooler().failing.count(step) != 0; }

// What a query of an open printer checks first: the handle, the room for
// the size it reports, the level it knows, the step failing. The printer
// opened, or null with the error set.
Spooler::Open* Queried(HANDLE printer, DWORD level, DWORD known, LPDWORD needed, SpoolerStep step) {
    Spooler::Open* open = Find(printer);
    if (!open) return nullptr;
    if (!needed) {
        Misuse();
        return nullptr;
    }
    *needed = 0;
    if (level != known) {
        os::SetLastError(kErrorInvalidLevel);
        return nullptr;
    }
    if (Failing(step)) {
        os::SetLastError(kErrorServerUnavailable);
        return nullptr;
    }
    return open;
}

// On 64-bit builds printer handles lie above 4 GiB, so that a caller that
// narrows them to 32 bits loses them.
HANDLE Present(HANDLE kernelHandle) {
    uintptr_t v = reinterpret_cast<uintptr_t>(kernelHandle);
#if UINTPTR_MAX > 0xFFFFFFFFu
    v |= static_cast<uintptr_t>(1) << 40;
#endif
    return reinterpret_cast<HANDLE>(v);
}

// Records at the front of the caller's buffer, the strings they point to
// after them, as the spooler lays them out.
class Layout {
public:
    Layout(LPBYTE buf, size_t recordBytes) : m_buf(buf), m_next(recordBytes) {}
    LPSTR Put(const std::string& s) {
        char* p = reinterpret_cast<char*>(m_buf) + m_next;
        std::memcpy(p, s.c_str(), s.size() + 1);
        m_next += s.size() + 1;
        return p;
    }

private:
    LPBYTE m_buf;
    size_t m_next;
};

// The strings of a level-2 record other than name, port and driver.
const char* const kShare = "";
const char* const kComment = "";
const char* const kLocation = "";
const char* const kSepFile = "";
const char* const kPrintProcessor = "WinPrint";
const char* const kDatatype = "RAW";
const char* const kParameters = "";

size_t Level2Size(const SpoolerPrinter& p) {
    size_t n = sizeof(PRINTER_INFO_2A);
    for (const char* s : {kShare, kComment, kLocation, kSepFile, kPrintProcessor, kDatatype, kParameters})
        n += std::strlen(s) + 1;
    return n + p.name.size() + 1 + p.port.size() + 1 + p.driver.size() + 1;
}

size_t Level5Size(const SpoolerPrinter& p) { return sizeof(PRINTER_INFO_5A) + p.name.size() + 1 + p.port.size() + 1; }

void Fill2(PRINTER_INFO_2A* r, Layout& out, const SpoolerPrinter& p) {
    std::memset(r, 0, sizeof *r);
    r->pPrinterName = out.Put(p.name);
    r->pShareName = out.Put(kShare);
    r->pPortName = out.Put(p.port);
    r->pDriverName = out.Put(p.driver);
    r->pComment = out.Put(kComment);
    r->pLocation = out.Put(kLocation);
    r->pSepFile = out.Put(kSepFile);
    r->pPrintProcessor = out.Put(kPrintProcessor);
    r->pDatatype = out.Put(kDatatype);
    r->pParameters = out.Put(kParameters);
}

void Fill5(PRINTER_INFO_5A* r, Layout& out, const SpoolerPrinter& p) {
    std::memset(r, 0, sizeof *r);
    r->pPrinterName = out.Put(p.name);
    r->pPortName = out.Put(p.port);
}

// The strings of a level-1 job record other than printer, document and type.
const char* const kMachine = "";
const char* const kUser = "user";

size_t Level1Size(const SpoolerJob& j) {
    return sizeof(JOB_INFO_1A) + j.printer.size() + 1 + std::strlen(kMachine) + 1 + std::strlen(kUser) + 1 +
           j.document.size() + 1 + j.datatype.size() + 1;
}

// Whether the job is still in the queue, and then its status: spooling
// until its document ends, then as the scene's phases say for the time the
// program has slept since.
bool Queued(const SpoolerJob& job, DWORD* status) {
    *status = JOB_STATUS_SPOOLING;
    if (!job.ended) return true;
    const std::vector<JobPhase>& phases = spooler().jobPhases;
    if (phases.empty()) return false;
    const std::vector<DWORD>& sleeps = world().sleeps;
    uint64_t slept = 0;
    for (size_t i = job.endedAtSleep; i < sleeps.size(); ++i) slept += sleeps[i];
    *status = 0;
    for (const JobPhase& phase : phases) {
        if (phase.fromMs > slept) break;
        if (phase.gone) return false;
        *status = phase.status;
    }
    return true;
}

// The size check every spooler query makes before it fills a buffer.
bool Fits(LPBYTE buf, DWORD size, size_t required, LPDWORD needed) {
    *needed = static_cast<DWORD>(required);
    if (buf && size >= required) return true;
    os::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
}
}  // namespace

Spooler& spooler() {
    if (!g_spooler) g_spooler = new Spooler();
    return *g_spooler;
}

void ResetSpooler() {
    if (g_spooler) {
        for (const auto& h : g_spooler->handles) ReleaseHandle(h.second.kernelHandle);
    }
    delete g_spooler;
    g_spooler = new Spooler();
    g_nextJob = 1;
}

}  // namespace testplat

using testplat::Spooler;
using testplat::SpoolerStep;
using testplat::spooler;

namespace os {

BOOL EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buf, DWORD size, LPDWORD needed, LPDWORD returned) {
    testplat::Record(testplat::Line("EnumPrintersA flags=%u level=%u size=%u%s", flags, level, size,
                                    name ? " server" : ""));
    if (!needed || !returned) return testplat::Misuse();
    *needed = 0;
    *returned = 0;
    if (name) {
        // Only this machine's spooler is here.
        SetLastError(testplat::kErrorInvalidName);
        return FALSE;
    }
    if (level != 2 && level != 5) {
        SetLastError(testplat::kErrorInvalidLevel);
        return FALSE;
    }
    if (testplat::Failing(buf ? SpoolerStep::EnumRecords : SpoolerStep::EnumSize)) {
        SetLastError(testplat::kErrorServerUnavailable);
        return FALSE;
    }
    Spooler& s = spooler();
    // The printers are all local ones.
    const std::vector<testplat::SpoolerPrinter> listed =
        (flags & PRINTER_ENUM_LOCAL) ? s.printers : std::vector<testplat::SpoolerPrinter>();
    if (listed.empty()) return TRUE;

    const size_t recordSize = level == 2 ? sizeof(PRINTER_INFO_2A) : sizeof(PRINTER_INFO_5A);
    size_t required = 0;
    for (const auto& p : listed) required += level == 2 ? testplat::Level2Size(p) : testplat::Level5Size(p);
    if (!testplat::Fits(buf, size, required, needed)) return FALSE;

    testplat::Layout out(buf, recordSize * listed.size());
    for (size_t i = 0; i < listed.size(); ++i) {
        if (level == 2) {
            testplat::Fill2(reinterpret_cast<PRINTER_INFO_2A*>(buf) + i, out, listed[i]);
        } else {
            testplat::Fill5(reinterpret_cast<PRINTER_INFO_5A*>(buf) + i, out, listed[i]);
        }
    }
    *returned = static_cast<DWORD>(listed.size());

    std::vector<testplat::SpoolerPrinter> remaining;
    for (const auto& p : s.printers)
        if (!s.vanishAfterEnumeration.count(p.name)) remaining.push_back(p);
    s.printers = remaining;
    return TRUE;
}

BOOL OpenPrinterA(LPSTR name, HANDLE* printer, LPPRINTER_DEFAULTSA defaults) {
    testplat::Record(testplat::Line("OpenPrinterA name=%s%s", name ? name : "(null)", defaults ? " defaults" : ""));
    if (!printer) return testplat::Misuse();
    *printer = nullptr;
    Spooler& s = spooler();
    const testplat::SpoolerPrinter* found = nullptr;
    if (name) {
        for (const auto& p : s.printers)
            if (p.name == name && !found) found = &p;
    }
    if (!found || s.unopenable.count(name) || testplat::Failing(SpoolerStep::OpenPrinter)) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    HANDLE kernel = testplat::NewHandle([] { return true; });
    HANDLE h = testplat::Present(kernel);
    s.handles[h] = Spooler::Open{kernel, *found, -1, false};
    ++s.opened;
    *printer = h;
    return TRUE;
}

BOOL GetPrinterA(HANDLE printer, DWORD level, LPBYTE buf, DWORD size, LPDWORD needed) {
    testplat::Record(testplat::Line("GetPrinterA level=%u size=%u", level, size));
    Spooler::Open* open =
        testplat::Queried(printer, level, 2, needed, buf ? SpoolerStep::GetPrinter : SpoolerStep::GetPrinterSize);
    if (!open) return FALSE;
    if (!testplat::Fits(buf, size, testplat::Level2Size(open->printer), needed)) return FALSE;
    testplat::Layout out(buf, sizeof(PRINTER_INFO_2A));
    testplat::Fill2(reinterpret_cast<PRINTER_INFO_2A*>(buf), out, open->printer);
    return TRUE;
}

BOOL ClosePrinter(HANDLE printer) {
    testplat::Record("ClosePrinter");
    Spooler::Open* open = testplat::Find(printer);
    if (!open) return FALSE;
    Spooler& s = spooler();
    testplat::ReleaseHandle(open->kernelHandle);
    s.handles.erase(printer);
    ++s.closed;
    return TRUE;
}

DWORD StartDocPrinterA(HANDLE printer, DWORD level, LPBYTE docInfo) {
    testplat::Record(testplat::Line("StartDocPrinterA level=%u", level));
    Spooler::Open* open = testplat::Find(printer);
    if (!open) return 0;
    if (level != 1) {
        SetLastError(testplat::kErrorInvalidLevel);
        return 0;
    }
    if (!docInfo || open->job >= 0) {
        testplat::Misuse();
        return 0;
    }
    if (testplat::Failing(SpoolerStep::StartDoc)) {
        SetLastError(testplat::kErrorServerUnavailable);
        return 0;
    }
    const DOC_INFO_1A* doc = reinterpret_cast<const DOC_INFO_1A*>(docInfo);
    testplat::SpoolerJob job;
    job.id = testplat::g_nextJob++;
    job.printer = open->printer.name;
    job.document = doc->pDocName ? doc->pDocName : "";
    job.outputFile = doc->pOutputFile != nullptr;
    job.datatype = doc->pDatatype ? doc->pDatatype : "";
    Spooler& s = spooler();
    s.jobs.push_back(job);
    open->job = static_cast<int>(s.jobs.size() - 1);
    return job.id;
}

BOOL StartPagePrinter(HANDLE printer) {
    testplat::Record("StartPagePrinter");
    Spooler::Open* open = testplat::Find(printer);
    if (!open) return FALSE;
    if (open->job < 0 || open->pageOpen) return testplat::Misuse();
    if (testplat::Failing(SpoolerStep::StartPage)) {
        SetLastError(testplat::kErrorServerUnavailable);
        return FALSE;
    }
    ++spooler().jobs[static_cast<size_t>(open->job)].pagesStarted;
    open->pageOpen = true;
    return TRUE;
}

BOOL WritePrinter(HANDLE printer, LPVOID buf, DWORD size, LPDWORD written) {
    testplat::Record(testplat::Line("WritePrinter count=%u", size));
    Spooler::Open* open = testplat::Find(printer);
    if (!open) return FALSE;
    if (!written || (!buf && size > 0)) return testplat::Misuse();
    *written = 0;
    if (open->job < 0 || !open->pageOpen) return testplat::Misuse();
    testplat::SpoolerJob& job = spooler().jobs[static_cast<size_t>(open->job)];
    const bool fails = testplat::Failing(SpoolerStep::Write);
    const DWORD taken = fails ? std::min(size, spooler().failedWriteTakes) : size;
    job.bytes.append(static_cast<const char*>(buf), taken);
    *written = taken;
    if (fails) {
        SetLastError(testplat::kErrorServerUnavailable);
        return FALSE;
    }
    return TRUE;
}

BOOL EndPagePrinter(HANDLE printer) {
    testplat::Record("EndPagePrinter");
    Spooler::Open* open = testplat::Find(printer);
    if (!open) return FALSE;
    if (!open->pageOpen) return testplat::Misuse();
    ++spooler().jobs[static_cast<size_t>(open->job)].pagesEnded;
    open->pageOpen = false;
    return TRUE;
}

BOOL EndDocPrinter(HANDLE printer) {
    testplat::Record("EndDocPrinter");
    Spooler::Open* open = testplat::Find(printer);
    if (!open) return FALSE;
    if (open->job < 0) return testplat::Misuse();
    const bool fails = spooler().failing.count(testplat::SpoolerStep::EndDoc) != 0;
    testplat::SpoolerJob& job = spooler().jobs[static_cast<size_t>(open->job)];
    job.ended = !fails;
    job.endedAtSleep = testplat::world().sleeps.size();
    open->job = -1;
    open->pageOpen = false;
    return fails ? FALSE : TRUE;
}

BOOL GetJobA(HANDLE printer, DWORD jobId, DWORD level, LPBYTE buf, DWORD size, LPDWORD needed) {
    testplat::Record(testplat::Line("GetJobA id=%u level=%u size=%u", jobId, level, size));
    const Spooler::Open* open = testplat::Queried(printer, level, 1, needed, SpoolerStep::GetJob);
    if (!open) return FALSE;
    const testplat::SpoolerJob* job = nullptr;
    DWORD status = 0;
    for (const auto& j : spooler().jobs)
        if (j.id == jobId && j.printer == open->printer.name && testplat::Queued(j, &status)) job = &j;
    if (!job) {
        SetLastError(ERROR_INVALID_PARAMETER);  // no such job, as the spooler says of one that has left
        return FALSE;
    }
    if (!testplat::Fits(buf, size, testplat::Level1Size(*job), needed)) return FALSE;
    JOB_INFO_1A* r = reinterpret_cast<JOB_INFO_1A*>(buf);
    std::memset(r, 0, sizeof *r);
    testplat::Layout out(buf, sizeof(JOB_INFO_1A));
    r->JobId = job->id;
    r->pPrinterName = out.Put(job->printer);
    r->pMachineName = out.Put(testplat::kMachine);
    r->pUserName = out.Put(testplat::kUser);
    r->pDocument = out.Put(job->document);
    r->pDatatype = out.Put(job->datatype);
    r->Status = status;
    r->Priority = 1;
    r->Position = 1;
    r->TotalPages = static_cast<DWORD>(job->pagesStarted);
    return TRUE;
}

}  // namespace os
