#include "record/record_text.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/os.h"

namespace record {
namespace {
void AppendEscaped(std::string* out, unsigned char c) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    *out += hex;
}
}  // namespace

std::string Utf8(const char* text) {
    if (!text || !*text) return std::string();
    const int n = os::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0) return std::string();
    std::vector<WCHAR> wide(static_cast<size_t>(n), 0);
    if (os::MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), n) != n) return std::string();
    const int m = os::WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    if (m <= 0) return std::string();
    std::string utf8(static_cast<size_t>(m), '\0');
    if (os::WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, &utf8[0], m, nullptr, nullptr) != m)
        return std::string();
    utf8.pop_back();  // the terminating NUL
    return utf8;
}

std::string Quoted(const char* text) {
    std::string out = "\"";
    for (unsigned char c : Utf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            AppendEscaped(&out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string QuotedBytes(const char* bytes, int count, int limit) {
    std::string out = "\"";
    const int shown = count < limit ? count : limit;
    for (int i = 0; i < shown; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            AppendEscaped(&out, c);
        }
    }
    if (shown < count) out += "...";
    return out + "\"";
}

}  // namespace record
