// Test helpers for the plotter simulator: the call log read back into
// records, and scenario files written from a test.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zepl_sim {

// One logged call: "ZEPL_Write channel=101 count=5 ... result=0".
struct Call {
    std::string entry;                          // "ZEPL_Write", or "SIM_ERROR"
    std::map<std::string, std::string> fields;  // quoted values unescaped, others as written

    bool Has(const std::string& key) const { return fields.count(key) != 0; }
    // The field as text; empty when absent.
    std::string Text(const std::string& key) const;
    // The field as an integer; nothing when absent or not a number.
    std::optional<long long> Int(const std::string& key) const;
    // A hex field ("bytes") as the bytes it stands for; empty when absent.
    std::string Bytes(const std::string& key) const;
};

bool ParseLogLine(const std::string& line, Call* call);
// Every line of the log; an absent file gives none. A line that does not
// parse becomes a Call with entry "UNPARSED" and the line in field "line".
std::vector<Call> ReadLog(const std::string& path);
std::vector<Call> CallsOf(const std::vector<Call>& calls, const std::string& entry);
// The kinds of the commands written, in order: "status", "version", "update".
std::vector<std::string> CommandsWritten(const std::vector<Call>& calls);

// A scenario file built from a test. Values are raw bytes; ToText escapes them.
class Scenario {
public:
    // Sets key, replacing what was set for it before in the same part
    // (load 0: the common part; N: the "[load N]" section).
    Scenario& Set(const std::string& key, const std::string& value, int load = 0);
    // Adds one more value of a repeatable key (progress_reply, fail_write, fail_read).
    Scenario& Add(const std::string& key, const std::string& value, int load = 0);
    std::string ToText() const;
    bool WriteFile(const std::string& path) const;

private:
    struct Line {
        int load;
        std::string key;
        std::string value;
    };
    std::vector<Line> lines_;
};

}  // namespace zepl_sim
