#include "sim/log_writer.h"

#include <cstdio>

#include "sim/escape.h"

namespace zepl_sim {

LogLine& LogLine::Int(const char* key, long long value) {
    text_ += std::string(" ") + key + "=" + std::to_string(value);
    return *this;
}

LogLine& LogLine::Word(const char* key, const char* word) {
    text_ += std::string(" ") + key + "=" + word;
    return *this;
}

LogLine& LogLine::Text(const char* key, const std::string& text) {
    text_ += std::string(" ") + key + "=\"" + EscapeText(text) + "\"";
    return *this;
}

LogLine& LogLine::Bytes(const char* key, const char* data, size_t count) {
    text_ += std::string(" ") + key + "=" + ToHex(data, count);
    return *this;
}

void AppendLine(const std::string& path, const std::string& line) {
    const std::string whole = line + "\n";
    AppendBytes(path, whole.data(), whole.size());
}

void AppendBytes(const std::string& path, const char* data, size_t count) {
    if (path.empty()) return;
    if (FILE* f = std::fopen(path.c_str(), "ab")) {
        if (count) std::fwrite(data, 1, count, f);
        std::fclose(f);
    }
}

bool ReadWholeFile(const std::string& path, std::string* text) {
    text->clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text->append(buf, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

int CountLinesStartingWith(const std::string& path, const std::string& prefix) {
    std::string text;
    if (path.empty() || !ReadWholeFile(path, &text)) return 0;
    int count = 0;
    for (size_t start = 0; start < text.size();) {
        if (text.compare(start, prefix.size(), prefix) == 0) ++count;
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return count;
}

}  // namespace zepl_sim
