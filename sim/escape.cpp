#include "sim/escape.h"

namespace zepl_sim {
namespace {

const char kDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string EscapeText(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c >= 0x20 && c < 0x7F) {
                    out += static_cast<char>(c);
                } else {
                    out += "\\x";
                    out += kDigits[c >> 4];
                    out += kDigits[c & 15];
                }
        }
    }
    return out;
}

bool UnescapeText(const std::string& text, std::string* bytes, std::string* error) {
    bytes->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *bytes += text[i];
            continue;
        }
        if (++i == text.size()) {
            *error = "escape cut off at the end";
            return false;
        }
        switch (text[i]) {
            case '\\': *bytes += '\\'; break;
            case '"': *bytes += '"'; break;
            case 'r': *bytes += '\r'; break;
            case 'n': *bytes += '\n'; break;
            case 't': *bytes += '\t'; break;
            case '0': *bytes += '\0'; break;
            case 'x': {
                const int hi = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
                const int lo = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
                if (hi < 0 || lo < 0) {
                    *error = "\\x needs two hex digits";
                    return false;
                }
                *bytes += static_cast<char>(hi * 16 + lo);
                i += 2;
                break;
            }
            default:
                *error = std::string("unknown escape \\") + text[i];
                return false;
        }
    }
    return true;
}

std::string ToHex(const char* data, size_t count) {
    std::string out;
    out.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

bool FromHex(const std::string& hex, std::string* bytes) {
    bytes->clear();
    if (hex.size() % 2) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = HexValue(hex[i]), lo = HexValue(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        *bytes += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

unsigned long Crc32(const char* data, size_t count) {
    struct Table {
        unsigned long entry[256];
        Table() {
            for (unsigned long n = 0; n < 256; ++n) {
                unsigned long c = n;
                for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320UL ^ (c >> 1) : c >> 1;
                entry[n] = c;
            }
        }
    };
    static const Table table;
    unsigned long crc = 0xFFFFFFFFUL;
    for (size_t i = 0; i < count; ++i)
        crc = table.entry[(crc ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFUL;
}

}  // namespace zepl_sim
