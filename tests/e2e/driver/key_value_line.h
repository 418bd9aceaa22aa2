// One "key=value" line of the driver's and the probe's answers, as the
// harness parses them: backslash, line feed and carriage return escaped.
#pragma once

#include <string>

inline std::string KeyValueLine(const std::string& key, const std::string& value) {
    std::string line = key + '=';
    for (char c : value) {
        if (c == '\\') line += "\\\\";
        else if (c == '\n') line += "\\n";
        else if (c == '\r') line += "\\r";
        else line += c;
    }
    line += '\n';
    return line;
}
