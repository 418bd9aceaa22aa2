// The simulated plotter behind the link-library entries: one plotter, one
// write and one read channel. It answers the last query written, fails where
// the scenario says and keeps what it was sent (README.md).
#include "sim/plotter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "link/zepl_entries.h"
#include "sim/escape.h"
#include "sim/host.h"
#include "sim/log_writer.h"
#include "sim/scenario.h"

namespace zepl_sim {
namespace {

// Results besides 0. The wizard only tells 0 from the rest.
enum : int { kRefused = 1, kTimeout = 2, kMisuse = 6, kBrokenScenario = 99 };

// Buffer sizes the callers hand over; strings are never read beyond them.
enum : size_t { kVendorSize = 256, kModelSize = 128, kPortSize = 128, kDescriptionSize = 384, kPortOffset = 256 };

enum class Command { None, Status, Version, Update };

struct Plotter {
    Config config;
    bool broken = false;  // the scenario could not be used: every call fails
    int load = 1;
    bool initialised = false;
    bool write_open = false;
    bool read_open = false;
    Command pending = Command::None;  // a query not yet answered
    bool updating = false;            // an update request was taken: reads give progress
    size_t progress_taken = 0;
    int writes = 0;
    int reads = 0;
    std::map<std::string, int> kind_counts;  // "write:status", "read:progress", ...
};

// Constant-initialised; the plotter itself is made at the first call of a load.
std::unique_ptr<Plotter> g_plotter;

const char kInitPrefix[] = "ZEPL_InitDll ";

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool IsAbsolute(const std::string& p) {
    return (!p.empty() && (p[0] == '/' || p[0] == '\\')) || (p.size() > 1 && p[1] == ':');
}

// Paths in a scenario are relative to the scenario's folder.
std::string Resolve(const std::string& scenario_path, const std::string& path) {
    if (path.empty() || IsAbsolute(path)) return path;
    const size_t slash = scenario_path.find_last_of("/\\");
    return slash == std::string::npos ? path : scenario_path.substr(0, slash + 1) + path;
}

void Broken(Plotter& p, const std::string& why) {
    p.broken = true;
    std::fprintf(stderr, "plotter simulator: %s\n", why.c_str());
    AppendLine(p.config.log_path, LogLine("SIM_ERROR").Text("message", why).str());
}

// Starts a load afresh from the scenario file.
Plotter& StartLoad() {
    g_plotter.reset(new Plotter);
    Plotter& p = *g_plotter;
    const std::string path = Env("ZEPL_SIM_SCENARIO");
    std::vector<ScenarioLine> lines;
    std::string text, error;
    bool ok = true;
    if (!path.empty()) {
        if (!ReadWholeFile(path, &text)) {
            error = "cannot read scenario " + path;
            ok = false;
        } else {
            ok = ReadScenario(text, &lines, &error);
        }
    }
    // The log is known first: load numbers are counted from it.
    if (ok) ok = MakeConfig(lines, 0, &p.config, &error);
    for (const ScenarioLine& l : lines)
        if (l.key == "log" && l.load == 0) p.config.log_path = l.value;
    const std::string log = p.config.log_path.empty() ? Env("ZEPL_SIM_LOG") : Resolve(path, p.config.log_path);
    p.load = CountLinesStartingWith(log, kInitPrefix) + 1;
    if (ok) ok = MakeConfig(lines, p.load, &p.config, &error);

    p.config.log_path = log;
    p.config.received_path = p.config.received_path.empty() ? Env("ZEPL_SIM_RECEIVED")
                                                            : Resolve(path, p.config.received_path);
    if (!ok) Broken(p, error);
    return p;
}

Plotter& Current() { return g_plotter ? *g_plotter : StartLoad(); }

// A caller's string, read no further than its buffer.
std::string Bounded(const char* s, size_t size, bool* terminated) {
    if (!s) return std::string();
    const void* nul = std::memchr(s, 0, size);
    *terminated = *terminated && nul != nullptr;
    return std::string(s, nul ? static_cast<const char*>(nul) - s : size);
}

// Logs one string argument, noting an unterminated or missing one.
void LogString(LogLine& line, const char* key, const char* s, size_t size, const char** error) {
    if (!s) {
        line.Word(key, "null");
        if (!*error) *error = "null_argument";
        return;
    }
    bool terminated = true;
    line.Text(key, Bounded(s, size, &terminated));
    if (!terminated && !*error) *error = "unterminated";
}

// Completes and writes the call's line. Calls made without an accepted
// initialisation in this load are marked.
void Finish(Plotter& p, LogLine& line, const char* error, int result, bool needs_init = true) {
    if (!error && needs_init && !p.initialised) error = "not_initialised";
    if (p.broken) error = "scenario";
    if (error) line.Word("error", error);
    line.Int("result", result);
    AppendLine(p.config.log_path, line.str());
}

// Counts one more call of a kind; the result is its number in this load.
int NextCount(Plotter& p, const char* dir, const std::string& kind) {
    return ++p.kind_counts[std::string(dir) + ":" + kind];
}

const char kStatusQuery[] = "\x1b.C1:";
const char kVersionQuery[] = "\x1b.C31;9:";
const char kUpdateRequest[] = "\x1b.C18:";

Command Classify(const char* data, int count) {
    const std::string bytes(data, static_cast<size_t>(count));
    if (bytes == kStatusQuery) return Command::Status;
    if (bytes == kVersionQuery) return Command::Version;
    if (bytes == kUpdateRequest) return Command::Update;
    return Command::None;
}

const char* KindName(Command c) {
    switch (c) {
        case Command::Status: return "status";
        case Command::Version: return "version";
        case Command::Update: return "update";
        case Command::None: break;
    }
    return "data";
}

std::string NextProgress(Plotter& p) {
    const Config& c = p.config;
    const size_t i = p.progress_taken++;
    const size_t busy = static_cast<size_t>(c.progress_busy_count);
    if (i < busy) return "-1\x03";
    if (c.progress_replies.empty()) return busy ? "-1\x03" : "0\x03";
    return c.progress_replies[std::min(i - busy, c.progress_replies.size() - 1)];
}

// The reply as a fault changes it.
std::string Shape(std::string reply, Fault fault, size_t capacity) {
    switch (fault) {
        case Fault::Full:
        case Fault::OverCount:
            if (reply.size() < capacity) reply.insert(0, capacity - reply.size(), ' ');
            break;
        case Fault::NoEtx: reply.erase(std::remove(reply.begin(), reply.end(), '\x03'), reply.end()); break;
        case Fault::EtxFirst: reply.insert(0, 1, '\x03'); break;
        case Fault::NulBeforeEtx: {
            const size_t etx = reply.find('\x03');
            reply.insert(etx == std::string::npos ? reply.size() : etx, 1, '\0');
            break;
        }
        default: break;
    }
    return reply;
}

const char* ItemWord(DialogState::Item item, const char* on, const char* off) {
    return item == DialogState::Absent ? "absent" : item == DialogState::On ? on : off;
}

// The calling dialog's state as a data write finds it.
void LogObservation(LogLine& line) {
    DialogState d;
    const Observation seen = ObserveCallingDialog(&d);
    if (seen != Observation::Dialog) {
        line.Word("observe", seen == Observation::Unsupported ? "unsupported" : "none");
        return;
    }
    line.Word("observe", "dialog")
        .Word("menu_close", ItemWord(d.menu_close, "on", "grey"))
        .Word("close_button", ItemWord(d.close_button, "on", "off"))
        .Word("start_button", ItemWord(d.start_button, "on", "off"));
    if (d.has_percent) line.Text("percent", d.percent);
    else line.Word("percent", "absent");
    if (d.has_progress) line.Int("progress", d.progress);
    else line.Word("progress", "absent");
}

int OpenResult(const Config& c, Open open, int handle) {
    if (open == Open::Auto) open = c.plotter_count > 0 ? Open::Ok : Open::Fail;
    if (open == Open::Ok) return handle;
    return open == Open::Zero ? 0 : ZEPL_NO_CHANNEL;
}

}  // namespace

int InitDll(char* vendor, int a, int b, int c, int d) {
    Plotter& p = StartLoad();
    LogLine line("ZEPL_InitDll");
    const char* error = nullptr;
    LogString(line, "vendor", vendor, kVendorSize, &error);
    line.Int("a", a).Int("b", b).Int("c", c).Int("d", d).Int("load", p.load);
    const int result = p.broken ? kBrokenScenario : p.config.init_result;
    p.initialised = result == 1;
    Finish(p, line, error, result, false);
    return result;
}

int EntryUsbCheck(char* vendor, char* model, char* description) {
    Plotter& p = Current();
    const Config& c = p.config;
    LogLine line("ZEPL_EntryUsbCheck");
    const char* error = nullptr;
    LogString(line, "vendor", vendor, kVendorSize, &error);
    LogString(line, "model", model, kModelSize, &error);
    if (p.broken) {
        Finish(p, line, error, 0);
        return 0;
    }
    if (!description) {
        line.Word("description", "null");
    } else {
        line.Word("description", "buffer");
        // A description text in front, where callers must not look for the port.
        bool terminated = true;
        const std::string about = Bounded(vendor, kVendorSize, &terminated) + " " +
                                  Bounded(model, kModelSize, &terminated);
        const size_t about_size = std::min(about.size(), size_t{kPortOffset - 1});
        std::memcpy(description, about.data(), about_size);
        description[about_size] = '\0';
        char* port = description + kPortOffset;
        if (c.port_raw_fill) {
            const std::string fill = c.port.empty() ? std::string("X") : c.port;
            for (size_t i = 0; i < kDescriptionSize - kPortOffset; ++i) port[i] = fill[i % fill.size()];
            line.Int("port_fill", kDescriptionSize - kPortOffset);
        } else {
            const size_t n = std::min(c.port.size(), size_t{kPortSize - 1});
            std::memcpy(port, c.port.data(), n);
            port[n] = '\0';
            line.Text("port", c.port.substr(0, n));
        }
    }
    Finish(p, line, error, c.plotter_count);
    return c.plotter_count;
}

int OpenUsbEx(int reserved, int kind, int flags, char* vendor, char* model, char* port) {
    Plotter& p = Current();
    const Config& c = p.config;
    LogLine line("ZEPL_OpenUsbEx");
    const char* error = nullptr;
    line.Int("reserved", reserved).Int("kind", kind).Int("flags", flags);
    LogString(line, "vendor", vendor, kVendorSize, &error);
    LogString(line, "model", model, kModelSize, &error);
    LogString(line, "port", port, kPortSize, &error);
    int result = ZEPL_NO_CHANNEL;
    if (p.broken) {
        result = ZEPL_NO_CHANNEL;
    } else if (kind == ZEPL_CHANNEL_WRITE) {
        result = OpenResult(c, c.open_write, c.write_handle);
        p.write_open = result != ZEPL_NO_CHANNEL;
    } else if (kind == ZEPL_CHANNEL_READ) {
        result = OpenResult(c, c.open_read, c.read_handle);
        p.read_open = result != ZEPL_NO_CHANNEL;
    } else if (!error) {
        error = "bad_kind";
    }
    Finish(p, line, error, result);
    return result;
}

int Write(int channel, const char* data, int count, int* written, int timeout) {
    const long long arrived = SteadyMicroseconds();
    Plotter& p = Current();
    const Config& c = p.config;
    LogLine line("ZEPL_Write");
    line.Int("channel", channel).Int("count", count).Int("timeout", timeout);
    const char* error = nullptr;
    if (p.broken) {
        Finish(p, line, error, kBrokenScenario);
        return kBrokenScenario;
    }
    if (!written || count < 0 || (!data && count > 0)) error = "bad_argument";
    else if (!p.write_open || channel != c.write_handle) error = "bad_handle";
    if (error) {
        if (written) *written = 0;
        Finish(p, line, error, kMisuse);
        return kMisuse;
    }
    const Command command = Classify(data, count);
    const bool is_data = command == Command::None;
    if (is_data && !c.log_data_bytes) {
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08lX", Crc32(data, static_cast<size_t>(count)));
        line.Word("crc32", crc);
    } else {
        line.Bytes("bytes", data, static_cast<size_t>(count));
    }
    const char* kind = KindName(command);
    line.Word("kind", kind);
    if (is_data) {
        line.Int("t_us", arrived);
        if (c.observe_window) LogObservation(line);
    }

    const int kind_no = NextCount(p, "write", kind);
    const FaultRule* rule = FindFault(c.write_faults, kind, ++p.writes, kind_no);
    int result = 0;
    int taken = count;
    if (rule) {
        line.Word("fault", FaultName(rule->fault));
        switch (rule->fault) {
            case Fault::Refused: result = kRefused; taken = 0; break;
            case Fault::RefusedTaken: result = kRefused; break;
            case Fault::Short: taken = count / 2; break;
            case Fault::ZeroTaken: taken = 0; break;
            case Fault::Timeout: result = kTimeout; taken = 0; break;
            default: break;
        }
    }
    // A firmware block takes the plotter a while, whatever becomes of it.
    if (is_data) SleepMilliseconds(c.data_delay_ms);
    *written = taken;
    if (is_data) {
        AppendBytes(c.received_path, data, static_cast<size_t>(taken));
    } else if (taken == count) {
        // A command the plotter took whole: the next read answers it.
        if (command == Command::Update) {
            p.updating = true;
            p.pending = Command::None;
        } else {
            p.pending = command;
        }
    }
    line.Int("written", taken);
    Finish(p, line, nullptr, result);
    return result;
}

int Read(int channel, char* buffer, int capacity, int* read, int timeout) {
    Plotter& p = Current();
    const Config& c = p.config;
    LogLine line("ZEPL_Read");
    line.Int("channel", channel).Int("capacity", capacity).Int("timeout", timeout);
    const char* error = nullptr;
    if (p.broken) {
        Finish(p, line, error, kBrokenScenario);
        return kBrokenScenario;
    }
    if (!read || !buffer || capacity <= 0) error = "bad_argument";
    else if (!p.read_open || channel != c.read_handle) error = "bad_handle";
    if (error) {
        if (read) *read = 0;
        Finish(p, line, error, kMisuse);
        return kMisuse;
    }

    // Every read uses up the answer it gets, whether a fault spoils it or not.
    std::string reply;
    const char* kind = "none";
    if (p.pending == Command::Status) {
        reply = c.status_reply;
        kind = "status";
    } else if (p.pending == Command::Version) {
        reply = c.version_reply;
        kind = "version";
    } else if (p.updating) {
        reply = NextProgress(p);
        kind = "progress";
    }
    p.pending = Command::None;
    line.Word("answer", kind);

    const int kind_no = NextCount(p, "read", kind);
    const FaultRule* rule = FindFault(c.read_faults, kind, ++p.reads, kind_no);
    const size_t cap = static_cast<size_t>(capacity);
    int result = std::string(kind) == "none" ? kTimeout : 0;
    if (rule) {
        line.Word("fault", FaultName(rule->fault));
        reply = Shape(reply, rule->fault, cap);
        if (rule->fault == Fault::Refused) result = kRefused;
        else if (rule->fault == Fault::Timeout) result = kTimeout;
        else if (rule->fault == Fault::Empty) result = 0;
    }
    if (result != 0 || (rule && rule->fault == Fault::Empty)) reply.clear();

    const size_t placed = std::min(reply.size(), cap);
    std::memcpy(buffer, reply.data(), placed);
    const int reported = static_cast<int>(placed) + (rule && rule->fault == Fault::OverCount ? 44 : 0);
    *read = reported;
    line.Int("read", reported).Bytes("bytes", buffer, placed);
    Finish(p, line, nullptr, result);
    return result;
}

int Close(int channel) {
    Plotter& p = Current();
    LogLine line("ZEPL_Close");
    line.Int("channel", channel);
    int result = 0;
    const char* error = nullptr;
    if (p.broken) {
        result = kBrokenScenario;
    } else if (p.write_open && channel == p.config.write_handle) {
        p.write_open = false;
    } else if (p.read_open && channel == p.config.read_handle) {
        p.read_open = false;
    } else {
        error = "not_open";
        result = kMisuse;
    }
    Finish(p, line, error, result);
    return result;
}

}  // namespace zepl_sim
