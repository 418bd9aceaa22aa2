// The simulator's two outputs: one log line per call, and the bytes the
// plotter took. Both are appended and the file closed at once, so that a
// killed process loses nothing and every load of a run adds to the same files.
#pragma once

#include <cstddef>
#include <string>

namespace zepl_sim {

// Builds "ENTRY key=value key=value ..."; strings are quoted and escaped,
// byte dumps are hex, numbers decimal.
class LogLine {
public:
    explicit LogLine(const char* entry) : text_(entry) {}
    LogLine& Int(const char* key, long long value);
    LogLine& Word(const char* key, const char* word);   // a bare token without blanks
    LogLine& Text(const char* key, const std::string& text);
    LogLine& Bytes(const char* key, const char* data, size_t count);
    const std::string& str() const { return text_; }

private:
    std::string text_;
};

// Both do nothing for an empty path.
void AppendLine(const std::string& path, const std::string& line);
void AppendBytes(const std::string& path, const char* data, size_t count);

// Lines of the file that begin with prefix; 0 when the file is absent.
int CountLinesStartingWith(const std::string& path, const std::string& prefix);

bool ReadWholeFile(const std::string& path, std::string* text);

}  // namespace zepl_sim
