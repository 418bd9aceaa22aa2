// The scenario a simulated plotter answers from: a text file of
// "key = value" lines (README.md lists the keys).
#pragma once

#include <string>
#include <vector>

namespace zepl_sim {

// How an open call of one channel kind answers. Auto: a handle when a plotter
// is attached (plotter_count above 0), -1 otherwise.
enum class Open { Auto, Ok, Fail, Zero };

// What goes wrong at one write or read.
enum class Fault {
    Refused,       // write, read: result 1, nothing taken or read
    RefusedTaken,  // write: result 1, yet every byte reported taken
    Short,         // write: result 0, half the bytes reported taken
    ZeroTaken,     // write: result 0, nothing taken
    Timeout,       // write, read: result 2, nothing taken or read
    Empty,         // read: result 0, count 0
    Full,          // read: blanks, then the reply, filling the capacity exactly
    OverCount,     // read: as Full, but the count reported is capacity + 44
    NoEtx,         // read: the reply with its ETX bytes removed
    EtxFirst,      // read: an ETX, then the reply
    NulBeforeEtx,  // read: a NUL inserted before the reply's first ETX
};
const char* FaultName(Fault fault);

// Where a fault strikes. With an empty kind: the nth call of the entry in
// this load. With a kind: the nth call of that kind, or every one when nth is 0.
// Onwards: the nth call and every one after it (a plotter unplugged).
// Write kinds: status, version, update, data. Read kinds: the command being
// answered, status, version or progress, or none.
struct FaultRule {
    std::string kind;
    int nth = 0;
    bool onwards = false;
    Fault fault = Fault::Refused;
};

struct Config {
    int init_result = 1;
    int plotter_count = 1;
    std::string port = "USB001";
    bool port_raw_fill = false;
    Open open_write = Open::Auto;
    Open open_read = Open::Auto;
    int write_handle = 101;
    int read_handle = 102;
    std::string status_reply = "0\x03";
    std::string version_reply = "V1.00\x03";
    int progress_busy_count = 0;
    std::vector<std::string> progress_replies;  // after the busy ones; the last repeats
    std::vector<FaultRule> write_faults;
    std::vector<FaultRule> read_faults;
    int data_delay_ms = 0;        // slept at every data write, never at a command
    bool log_data_bytes = true;   // false: data writes log a CRC-32, not their hex
    bool observe_window = false;  // data writes log the calling dialog's state (Windows)
    std::string log_path;
    std::string received_path;
};

// One "key = value" line; load is 0 for the common part, N inside "[load N]".
struct ScenarioLine {
    int load = 0;
    int line = 0;
    std::string key;
    std::string value;  // escapes already resolved
};

bool ReadScenario(const std::string& text, std::vector<ScenarioLine>* lines, std::string* error);

// The settings for the given load (1 = first): the common lines, then that
// load's section, whose keys replace the common ones (a repeatable key's
// whole list included). Fills what it can even when it fails.
bool MakeConfig(const std::vector<ScenarioLine>& lines, int load, Config* config, std::string* error);

// The first rule that strikes the call_no-th call, which is the kind_no-th of its kind.
const FaultRule* FindFault(const std::vector<FaultRule>& rules, const std::string& kind, int call_no,
                           int kind_no);

}  // namespace zepl_sim
