#include "sim/scenario.h"

#include <cerrno>
#include <cstdlib>
#include <set>

#include "sim/escape.h"

namespace zepl_sim {
namespace {

const char kBlanks[] = " \t\r\n";

std::string Trim(const std::string& s) {
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string::npos) return std::string();
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

bool ParseInt(const std::string& text, int* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (errno || *end || v < -2147483647L - 1 || v > 2147483647L) return false;
    *value = static_cast<int>(v);
    return true;
}

bool ParseOpen(const std::string& text, Open* open) {
    if (text == "ok") *open = Open::Ok;
    else if (text == "fail") *open = Open::Fail;
    else if (text == "zero") *open = Open::Zero;
    else return false;
    return true;
}

bool ParseYesNo(const std::string& text, bool* value) {
    if (text == "yes" || text == "1") *value = true;
    else if (text == "no" || text == "0") *value = false;
    else return false;
    return true;
}

struct FaultInfo {
    const char* name;
    Fault fault;
    bool for_write;
    bool for_read;
};
const FaultInfo kFaults[] = {
    {"refused", Fault::Refused, true, true},
    {"refused_taken", Fault::RefusedTaken, true, false},
    {"short", Fault::Short, true, false},
    {"zero_taken", Fault::ZeroTaken, true, false},
    {"timeout", Fault::Timeout, true, true},
    {"empty", Fault::Empty, false, true},
    {"full", Fault::Full, false, true},
    {"overcount", Fault::OverCount, false, true},
    {"no_etx", Fault::NoEtx, false, true},
    {"etx_first", Fault::EtxFirst, false, true},
    {"nul_before_etx", Fault::NulBeforeEtx, false, true},
};

// "ADDRESS:FAULT", ADDRESS being N, KIND or KIND.N; N+ is the Nth call and on.
bool ParseFault(const std::string& text, bool write, FaultRule* rule) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    std::string address = Trim(text.substr(0, colon));
    rule->onwards = !address.empty() && address.back() == '+';
    if (rule->onwards) address.pop_back();
    const std::string name = Trim(text.substr(colon + 1));

    const FaultInfo* info = nullptr;
    for (const FaultInfo& f : kFaults)
        if (name == f.name && (write ? f.for_write : f.for_read)) info = &f;
    if (!info) return false;
    rule->fault = info->fault;

    const std::set<std::string> kinds =
        write ? std::set<std::string>{"status", "version", "update", "data"}
              : std::set<std::string>{"status", "version", "progress", "none"};
    const size_t dot = address.find('.');
    rule->kind = address.substr(0, dot);
    rule->nth = 0;
    if (!kinds.count(rule->kind)) {
        // A bare number: the nth call of the entry.
        rule->kind.clear();
        return dot == std::string::npos && ParseInt(address, &rule->nth) && rule->nth > 0;
    }
    if (dot == std::string::npos) return !rule->onwards;  // "KIND+" says nothing more than KIND
    return ParseInt(address.substr(dot + 1), &rule->nth) && rule->nth > 0;
}

bool IsListKey(const std::string& key) {
    return key == "progress_reply" || key == "fail_write" || key == "fail_read";
}

// Applies one line; false when its value does not fit its key or the key is unknown.
bool Apply(const ScenarioLine& l, Config* c, std::string* why) {
    const std::string& k = l.key;
    const std::string& v = l.value;
    bool ok = true;
    if (k == "init_result") ok = ParseInt(v, &c->init_result);
    else if (k == "plotter_count") ok = ParseInt(v, &c->plotter_count);
    else if (k == "port") c->port = v;
    else if (k == "port_raw_fill") ok = ParseYesNo(v, &c->port_raw_fill);
    else if (k == "open_write") ok = ParseOpen(v, &c->open_write);
    else if (k == "open_read") ok = ParseOpen(v, &c->open_read);
    else if (k == "write_handle") ok = ParseInt(v, &c->write_handle);
    else if (k == "read_handle") ok = ParseInt(v, &c->read_handle);
    else if (k == "status_reply") c->status_reply = v;
    else if (k == "version_reply") c->version_reply = v;
    else if (k == "progress_reply") c->progress_replies.push_back(v);
    else if (k == "progress_busy_count") ok = ParseInt(v, &c->progress_busy_count) && c->progress_busy_count >= 0;
    else if (k == "data_delay_ms") ok = ParseInt(v, &c->data_delay_ms) && c->data_delay_ms >= 0;
    else if (k == "log_data_bytes") ok = ParseYesNo(v, &c->log_data_bytes);
    else if (k == "observe_window") ok = ParseYesNo(v, &c->observe_window);
    else if (k == "fail_write" || k == "fail_read") {
        FaultRule rule;
        ok = ParseFault(v, k == "fail_write", &rule);
        if (ok) (k == "fail_write" ? c->write_faults : c->read_faults).push_back(rule);
    } else if (k == "log" || k == "received") {
        if (l.load != 0) {
            *why = "'" + k + "' belongs before the first section";
            return false;
        }
        (k == "log" ? c->log_path : c->received_path) = v;
    } else {
        *why = "unknown key '" + k + "'";
        return false;
    }
    if (!ok) *why = "bad value for '" + k + "': \"" + EscapeText(v) + "\"";
    return ok;
}

}  // namespace

const char* FaultName(Fault fault) {
    for (const FaultInfo& f : kFaults)
        if (f.fault == fault) return f.name;
    return "?";
}

bool ReadScenario(const std::string& text, std::vector<ScenarioLine>* lines, std::string* error) {
    lines->clear();
    int load = 0;
    int number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        ++number;
        const std::string where = "line " + std::to_string(number) + ": ";
        if (line.empty() || line[0] == '#') continue;

        if (line[0] == '[') {
            const std::string prefix = "[load ";
            if (line.compare(0, prefix.size(), prefix) != 0 || line.back() != ']' ||
                !ParseInt(Trim(line.substr(prefix.size(), line.size() - prefix.size() - 1)), &load) || load < 1) {
                *error = where + "a section is written [load N], N from 1";
                return false;
            }
            continue;
        }

        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            *error = where + "expected key = value";
            return false;
        }
        ScenarioLine l;
        l.load = load;
        l.line = number;
        l.key = Trim(line.substr(0, eq));
        std::string value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        std::string why;
        if (!UnescapeText(value, &l.value, &why)) {
            *error = where + why;
            return false;
        }
        lines->push_back(l);
    }
    return true;
}

bool MakeConfig(const std::vector<ScenarioLine>& lines, int load, Config* config, std::string* error) {
    *config = Config();
    for (int pass = 0; pass < 2; ++pass) {
        const int wanted = pass == 0 ? 0 : load;
        if (pass == 1 && load == 0) break;
        std::set<std::string> replaced;  // list keys this section has started over
        for (const ScenarioLine& l : lines) {
            if (l.load != wanted) continue;
            if (pass == 1 && IsListKey(l.key) && replaced.insert(l.key).second) {
                if (l.key == "progress_reply") config->progress_replies.clear();
                if (l.key == "fail_write") config->write_faults.clear();
                if (l.key == "fail_read") config->read_faults.clear();
            }
            std::string why;
            if (!Apply(l, config, &why)) {
                *error = "line " + std::to_string(l.line) + ": " + why;
                return false;
            }
        }
    }
    return true;
}

const FaultRule* FindFault(const std::vector<FaultRule>& rules, const std::string& kind, int call_no,
                           int kind_no) {
    for (const FaultRule& r : rules) {
        if (!r.kind.empty() && r.kind != kind) continue;
        const int no = r.kind.empty() ? call_no : kind_no;
        if (r.nth == 0 || no == r.nth || (r.onwards && no > r.nth)) return &r;
    }
    return nullptr;
}

}  // namespace zepl_sim
