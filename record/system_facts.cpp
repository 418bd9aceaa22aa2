#include "record/system_facts.h"

#include <cstdio>
#include <cstring>

#include "platform/afx.h"
#include "res/resource.h"

namespace record {
namespace {
// The "Comments" value of the block's string table, printable ASCII; "" when
// there is none. A string's value follows its UTF-16 key and NUL at the next
// 32-bit boundary of the block.
std::string Comments(const BYTE* block, DWORD size) {
    static const char kKey[] = "Comments";
    const DWORD keyBytes = sizeof kKey * 2;
    for (DWORD at = 6; at + keyBytes <= size; at += 2) {
        bool match = true;
        for (DWORD i = 0; i < sizeof kKey && match; ++i)
            match = block[at + 2 * i] == static_cast<BYTE>(kKey[i]) && block[at + 2 * i + 1] == 0;
        if (!match) continue;
        std::string text;
        for (DWORD value = (at + keyBytes + 3) & ~3UL; value + 1 < size && text.size() < 128; value += 2) {
            const unsigned c = block[value] | block[value + 1] << 8;
            if (c == 0) break;
            text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
        }
        return text;
    }
    return std::string();
}
}  // namespace

std::string ProgramVersion() {
    HRSRC found = os::FindResourceA(nullptr, MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
    HGLOBAL loaded = found ? os::LoadResource(nullptr, found) : nullptr;
    const BYTE* block = loaded ? static_cast<const BYTE*>(os::LockResource(loaded)) : nullptr;
    const DWORD size = found ? os::SizeofResource(nullptr, found) : 0;
    // The fixed file information follows the block's header at a 32-bit
    // boundary and begins with its signature.
    const DWORD kSignature = 0xFEEF04BD;
    for (DWORD at = 0; block && at + 16 <= size; at += 4) {
        DWORD word[4];
        std::memcpy(word, block + at, sizeof word);
        if (word[0] != kSignature) continue;
        char text[48];
        std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", static_cast<unsigned long>(word[2] >> 16),
                      static_cast<unsigned long>(word[2] & 0xFFFF), static_cast<unsigned long>(word[3] >> 16),
                      static_cast<unsigned long>(word[3] & 0xFFFF));
        const std::string comments = Comments(block, size);
        return comments.empty() ? std::string(text) : std::string(text) + ", " + comments;
    }
    return "unknown";
}

std::string WindowsVersion() {
    // The manifest names every Windows up to 10, so the system reports its own
    // version rather than an older one it pretends to be.
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!os::GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&info))) return "unknown";
    const char* kind = info.wProductType == VER_NT_WORKSTATION ? "workstation" : "server";
    char text[96];
    if (info.wServicePackMajor != 0) {
        std::snprintf(text, sizeof text, "%lu.%lu.%lu %s, service pack %u",
                      static_cast<unsigned long>(info.dwMajorVersion), static_cast<unsigned long>(info.dwMinorVersion),
                      static_cast<unsigned long>(info.dwBuildNumber), kind,
                      static_cast<unsigned>(info.wServicePackMajor));
    } else {
        std::snprintf(text, sizeof text, "%lu.%lu.%lu %s", static_cast<unsigned long>(info.dwMajorVersion),
                      static_cast<unsigned long>(info.dwMinorVersion), static_cast<unsigned long>(info.dwBuildNumber),
                      kind);
    }
    return text;
}

std::string Language() {
    // Windows chose the string table; the texts tell which: only the Japanese
    // ones hold bytes beyond ASCII.
    CString sample;
    sample.LoadString(IDS_CAP_NEXT);
    bool ascii = true;
    for (int i = 0; i < sample.GetLength(); ++i) ascii = ascii && static_cast<unsigned char>(sample.GetAt(i)) < 0x80;
    char text[48];
    std::snprintf(text, sizeof text, "0x%04X, texts %s", static_cast<unsigned>(os::GetUserDefaultUILanguage()),
                  ascii ? "English" : "Japanese");
    return text;
}

}  // namespace record
