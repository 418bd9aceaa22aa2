#include "sim/sim_log.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "sim/escape.h"
#include "sim/log_writer.h"

namespace zepl_sim {

std::string Call::Text(const std::string& key) const {
    const auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
}

std::optional<long long> Call::Int(const std::string& key) const {
    const auto it = fields.find(key);
    if (it == fields.end() || it->second.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(it->second.c_str(), &end, 10);
    if (errno || *end) return std::nullopt;
    return v;
}

std::string Call::Bytes(const std::string& key) const {
    std::string bytes;
    return FromHex(Text(key), &bytes) ? bytes : std::string();
}

bool ParseLogLine(const std::string& line, Call* call) {
    *call = Call();
    size_t i = line.find(' ');
    call->entry = line.substr(0, i);
    if (call->entry.empty()) return false;
    while (i != std::string::npos && i < line.size()) {
        ++i;  // the blank before the field
        const size_t eq = line.find('=', i);
        if (eq == std::string::npos) return false;
        const std::string key = line.substr(i, eq - i);
        std::string value;
        i = eq + 1;
        if (i < line.size() && line[i] == '"') {
            // Quoted and escaped: runs to the first quote that is not escaped.
            size_t end = i + 1;
            while (end < line.size() && line[end] != '"') end += line[end] == '\\' ? 2 : 1;
            if (end >= line.size()) return false;
            std::string error;
            if (!UnescapeText(line.substr(i + 1, end - i - 1), &value, &error)) return false;
            i = end + 1;
            if (i < line.size() && line[i] != ' ') return false;
        } else {
            const size_t end = line.find(' ', i);
            value = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end;
        }
        if (key.empty() || key.find(' ') != std::string::npos) return false;
        call->fields[key] = value;
    }
    return true;
}

std::vector<Call> ReadLog(const std::string& path) {
    std::vector<Call> calls;
    std::string text;
    if (!ReadWholeFile(path, &text)) return calls;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        Call call;
        if (!ParseLogLine(line, &call)) {
            call = Call();
            call.entry = "UNPARSED";
            call.fields["line"] = line;
        }
        calls.push_back(call);
    }
    return calls;
}

std::vector<Call> CallsOf(const std::vector<Call>& calls, const std::string& entry) {
    std::vector<Call> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
                 [&](const Call& c) { return c.entry == entry; });
    return out;
}

std::vector<std::string> CommandsWritten(const std::vector<Call>& calls) {
    std::vector<std::string> out;
    for (const Call& c : calls)
        if (c.entry == "ZEPL_Write" && c.Has("kind") && c.Text("kind") != "data") out.push_back(c.Text("kind"));
    return out;
}

Scenario& Scenario::Set(const std::string& key, const std::string& value, int load) {
    lines_.erase(std::remove_if(lines_.begin(), lines_.end(),
                                [&](const Line& l) { return l.load == load && l.key == key; }),
                 lines_.end());
    return Add(key, value, load);
}

Scenario& Scenario::Add(const std::string& key, const std::string& value, int load) {
    lines_.push_back({load, key, value});
    return *this;
}

std::string Scenario::ToText() const {
    std::vector<Line> sorted = lines_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Line& a, const Line& b) { return a.load < b.load; });
    std::string text;
    int section = 0;
    for (const Line& l : sorted) {
        if (l.load != section) {
            section = l.load;
            text += "[load " + std::to_string(section) + "]\n";
        }
        text += l.key + " = \"" + EscapeText(l.value) + "\"\n";
    }
    return text;
}

bool Scenario::WriteFile(const std::string& path) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const std::string text = ToText();
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace zepl_sim
