// Tells whether the wizard would take a file of the given name as its
// firmware, so that a release never ships one it would not: the name must be
// one that every Windows code page reads alike and a Windows folder can hold,
// match the "*.x" the wizard looks for, and decode, by the wizard's own code,
// to a model key of the model table and a version above 0 (version 0 is never
// newer than a plotter's).
//
// usage: firmware_name_check NAME
// Exits 0 and prints nothing when the name is accepted; otherwise prints one
// line saying why and exits 1.
#include <cstdio>
#include <cstring>
#include <string>

#include "package/firmware_name.h"
#include "package/model_table.h"
#include "platform/afx.h"
#include "platform/paths.h"

// The decoding needs only the text functions of the system layer. A name
// that reaches them is printable ASCII, where the ANSI ones step and
// upper-case byte by byte; nothing here loads strings or asks for a module.
namespace os {
LPSTR CharNextA(LPCSTR p) { return const_cast<LPSTR>(*p ? p + 1 : p); }
DWORD CharUpperBuffA(LPSTR s, DWORD len) {
    for (DWORD i = 0; i < len; ++i) {
        if (s[i] >= 'a' && s[i] <= 'z') s[i] = static_cast<char>(s[i] - 'a' + 'A');
    }
    return len;
}
int LoadStringA(HINSTANCE, UINT, LPSTR buf, int size) {
    if (size > 0) buf[0] = '\0';
    return 0;
}
DWORD GetModuleFileNameA(HMODULE, LPSTR, DWORD) { return 0; }
}  // namespace os
HINSTANCE AfxGetResourceHandle() { return nullptr; }

namespace {
// Why the wizard would not take name, or null when it would.
std::string Refusal(const std::string& name) {
    for (const char c : name) {
        if (c < 0x20 || c > 0x7E) return "it holds characters other than printable ASCII, which code pages read differently";
        if (std::strchr("<>:\"/\\|?*", c)) return std::string("a Windows file name cannot hold '") + c + "'";
    }
    // What "*.x" finds: the text after the last dot is "x", in either case.
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (name.substr(dot) != ".x" && name.substr(dot) != ".X"))
        return "the wizard looks only for a file ending in \".x\"";

    CString upper = paths::BaseName(name).c_str();
    upper.MakeUpper();
    const FirmwareName decoded = DecodeFirmwareName(upper);
    if (!decoded.hasKey) return "no model key stands before a \"_\"";
    if (!FindModelEntry(decoded.key)) return std::string("model key \"") + decoded.key.GetString() + "\" is not in the model table";
    if (decoded.version <= 0) return "no version above 0 follows the \"V\" (KM500_V300.x is version 3.00)";
    return "";
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: firmware_name_check NAME\n");
        return 2;
    }
    const std::string why = Refusal(argv[1]);
    if (why.empty()) return 0;
    std::printf("%s\n", why.c_str());
    return 1;
}
