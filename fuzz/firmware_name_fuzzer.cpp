// A firmware file's name, as the file search gives it (a text without NUL),
// upper-cased and decoded. The result is compared with a reading of our own,
// done with the C library.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "package/firmware_name.h"

namespace {

bool IsTrimSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Trimmed(std::string s) {
    while (!s.empty() && IsTrimSpace(s.back())) s.pop_back();
    size_t i = 0;
    while (i < s.size() && IsTrimSpace(s[i])) ++i;
    return s.substr(i);
}

// atoi's reading without its white space, through strtol in the "C" locale,
// saturated at the range of int.
int ReferenceLeadingInteger(const char* text) {
    if (IsTrimSpace(*text)) return 0;  // strtol would skip it; the reading does not
    const long long value = std::strtoll(text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string raw(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    CString name(raw.c_str());
    name.MakeUpper();
    const std::string upper(name);
    FUZZ_CHECK(upper.size() == raw.size());

    const FirmwareName decoded = DecodeFirmwareName(name);
    const std::string key(decoded.key);

    // "_" and "V" are ASCII, and this platform's texts are UTF-8: neither can
    // be part of a longer character, so the first byte of each is the one.
    const size_t underscore = upper.find('_');
    FUZZ_CHECK(decoded.hasKey == (underscore != std::string::npos && underscore > 0));
    if (decoded.hasKey) {
        FUZZ_CHECK(key == Trimmed(upper.substr(0, underscore)));
    } else {
        FUZZ_CHECK(key.empty());
    }
    FUZZ_CHECK(key.find('_') == std::string::npos);
    FUZZ_CHECK(key == Trimmed(key));

    const size_t v = upper.find('V');
    const std::string versionText = Trimmed(v == std::string::npos ? upper : upper.substr(v + 1));
    FUZZ_CHECK(decoded.version == ReferenceLeadingInteger(versionText.c_str()));
    FUZZ_CHECK(ReadLeadingInteger(raw.c_str()) == ReferenceLeadingInteger(raw.c_str()));
    return 0;
}
