// One reply as the link library leaves it: a zero-filled buffer of the reply
// capacity and the byte count the read reports. Then every reading a reply
// goes through: the text, the field, the status and progress values, the
// version text, its number and its scaling. Numbers are compared with the C
// library's own reading in the "C" locale.
//
// The first input byte says what count the library reports: '=' the bytes
// that follow, '>' INT_MAX, '<' -1, any other byte its own value. The bytes
// that follow fill the buffer from its start.
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "protocol/reply.h"
#include "wizard/update_result.h"

using namespace protocol;

namespace {

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Trimmed(std::string s) {
    while (!s.empty() && IsCSpace(s.back())) s.pop_back();
    size_t i = 0;
    while (i < s.size() && IsCSpace(s[i])) ++i;
    return s.substr(i);
}

int ReferenceInteger(const char* text) {
    const long long value = std::strtoll(text, nullptr, 10);
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

// atof is strtod; this process never leaves the "C" locale.
void CheckDecimal(const char* text) {
    const double mine = ReadDecimal(text);
    const double libc = std::strtod(text, nullptr);
    if (std::isnan(libc)) {
        FUZZ_CHECK(std::isnan(mine));
    } else {
        FUZZ_CHECK(mine == libc);
        FUZZ_CHECK(std::signbit(mine) == std::signbit(libc));
    }
}

// A version written with at most two decimals ("2.30", "3", "12.5") and
// nothing after it that could continue a number: its value x100, or -1.
long long ExactVersion(const std::string& text) {
    size_t i = 0;
    long long whole = 0;
    while (i < text.size() && IsDigit(text[i]) && i < 7) whole = whole * 10 + (text[i++] - '0');
    if (i == 0) return -1;
    long long hundredths = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        for (int place = 10; place >= 1; place /= 10) {
            if (i < text.size() && IsDigit(text[i])) hundredths += place * (text[i++] - '0');
        }
    }
    if (i < text.size() && std::strchr("0123456789.eExXpP", text[i])) return -1;
    return whole * 100 + hundredths;
}

void CheckScale(const std::string& versionText) {
    const double x = ReadDecimal(versionText.c_str());
    int version = 12345;
    const bool fits = ScaleVersion(x, &version);
    const long double exact = static_cast<long double>(x) * 100 + 0.01L;
    if (!fits) {
        FUZZ_CHECK(version == 0);
        FUZZ_CHECK(std::isnan(x) || exact >= 2147483647.0L || exact <= -2147483648.0L);
        return;
    }
    FUZZ_CHECK(!std::isnan(x));
    // Truncated towards zero from a value a few roundings away from exact.
    FUZZ_CHECK(std::fabs(version - exact) < 1.0L + std::fabs(exact) * 1e-14L);
    if (x >= 0.01) FUZZ_CHECK(version >= 1);  // the smallest version there is counts
    if (x <= 0) FUZZ_CHECK(version <= 0);     // and nothing that is none does
    const long long expected = ExactVersion(versionText);
    if (expected >= 0) FUZZ_CHECK(version == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t given = size - 1 < static_cast<size_t>(kReplyCapacity) ? size - 1 : kReplyCapacity;
    int count = data[0];
    if (data[0] == '=') count = static_cast<int>(given);
    if (data[0] == '>') count = INT_MAX;
    if (data[0] == '<') count = -1;

    // Exactly the capacity, on the heap: a read past it is a finding.
    std::unique_ptr<char[]> buffer(new char[kReplyCapacity]());
    std::memcpy(buffer.get(), data + 1, given);

    const CString text = ReplyText(buffer.get(), count);
    const size_t readable = count <= 0 ? 0 : count < kReplyCapacity ? static_cast<size_t>(count) : kReplyCapacity;
    const std::string expectedText(buffer.get(), strnlen(buffer.get(), readable));
    FUZZ_CHECK(std::string(text, static_cast<size_t>(text.GetLength())) == expectedText);

    // ETX is ASCII: with this platform's UTF-8 it is never inside a character.
    CString field = "untouched";
    const bool hasField = ReplyField(text, &field);
    const size_t etx = expectedText.find(kEtx);
    FUZZ_CHECK(hasField == (etx != std::string::npos && etx >= 1));
    if (hasField) {
        FUZZ_CHECK(std::string(field) == Trimmed(expectedText.substr(0, etx)));
        FUZZ_CHECK(std::string(field).find(kEtx) == std::string::npos);
    } else {
        FUZZ_CHECK(field == "untouched");
    }

    const int value = ReadInteger(hasField ? field : text);
    FUZZ_CHECK(value == ReferenceInteger(hasField ? field : text));
    const bool accepted = StatusAccepted(value);
    FUZZ_CHECK(accepted == (value == 0 || value == 0x04 || value == 0x80 || value == 0x84));
    const int progress = ProgressResult(value);
    FUZZ_CHECK(progress == (value == -1 ? kResultBusy : value == 0 ? kResultOk : kResultUpdateFailed));

    // The version text: the field, cut before a "," that is not its first
    // byte, then after the first "V".
    std::string expectedVersion = hasField ? std::string(field) : expectedText;
    const size_t comma = expectedVersion.find(',');
    if (comma != std::string::npos && comma >= 1) expectedVersion = Trimmed(expectedVersion.substr(0, comma));
    const size_t v = expectedVersion.find('V');
    if (v != std::string::npos) expectedVersion = expectedVersion.substr(v + 1);
    expectedVersion = Trimmed(expectedVersion);
    const CString versionText = VersionText(text);
    FUZZ_CHECK(std::string(versionText) == expectedVersion);
    if (hasField) FUZZ_CHECK(expectedVersion.find(kEtx) == std::string::npos);

    CheckDecimal(text);
    CheckDecimal(versionText);
    CheckScale(expectedVersion);
    return 0;
}
