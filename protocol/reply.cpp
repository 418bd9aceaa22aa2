#include "protocol/reply.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "package/firmware_name.h"

namespace protocol {
namespace {

// The white space that atoi and atof skip in the "C" locale.
bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

const char* SkipSpace(const char* p) {
    while (IsCSpace(*p)) ++p;
    return p;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Where the number that begins at p would stand in powers of the radix
// (decimal digits, or bits for a hexadecimal number): positive when it is at
// least 1. Only asked for numbers a double cannot hold, to tell too large
// from too small; the exponent is read saturated.
long long Magnitude(const char* p, bool hex) {
    long long position = 0;  // of the first non-zero digit, counted from the point
    bool nonZero = false, point = false;
    for (;; ++p) {
        if (*p == '.' && !point) {
            point = true;
            continue;
        }
        if (!(hex ? IsHexDigit(*p) : IsDigit(*p))) break;
        if (!nonZero && *p != '0') {
            nonZero = true;
            if (!point) position = 1;
        } else if (!nonZero && point) {
            --position;  // a zero between the point and the first other digit
        } else if (nonZero && !point) {
            ++position;  // a further digit before the point
        }
    }
    if (hex) position *= 4;
    long long exponent = 0;
    if (*p == (hex ? 'p' : 'e') || *p == (hex ? 'P' : 'E')) {
        ++p;
        const bool negative = *p == '-';
        if (*p == '+' || *p == '-') ++p;
        for (; IsDigit(*p); ++p) {
            if (exponent < 1000000000) exponent = exponent * 10 + (*p - '0');
        }
        if (negative) exponent = -exponent;
    }
    return position + exponent;
}

// Where the hexadecimal number that begins at p (after its "0x") ends: its
// digits and point, then its binary exponent only when a digit follows the
// "p" and at most one sign. The standard library's from_chars takes "p+-1"
// for an exponent of -1, so it is given no more than the number.
const char* HexNumberEnd(const char* p) {
    bool point = false;
    for (;; ++p) {
        if (*p == '.' && !point) {
            point = true;
            continue;
        }
        if (!IsHexDigit(*p)) break;
    }
    if (*p != 'p' && *p != 'P') return p;
    const char* e = p + 1;
    if (*e == '+' || *e == '-') ++e;
    if (!IsDigit(*e)) return p;
    while (IsDigit(*e)) ++e;
    return e;
}

}  // namespace

CString ReplyText(const char* buffer, int count) {
    if (count <= 0) return CString();
    const size_t n = static_cast<size_t>(count < kReplyCapacity ? count : kReplyCapacity);
    const void* nul = std::memchr(buffer, '\0', n);
    const size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - buffer) : n;
    return CString(buffer, static_cast<int>(length));
}

bool ReplyField(const CString& text, CString* field) {
    const int etx = text.Find(kEtx);
    if (etx < 1) return false;
    *field = text.Left(etx);
    field->Trim();
    return true;
}

int ReadInteger(const char* text) { return ReadLeadingInteger(SkipSpace(text)); }

double ReadDecimal(const char* text) {
    const char* p = SkipSpace(text);
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    const double sign = negative ? -1.0 : 1.0;
    const char* end = p + std::strlen(p);

    // A hexadecimal number needs a digit after "0x"; without one, the "0" is
    // the whole number.
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        const char* h = p + 2;
        if (!(IsHexDigit(h[0]) || (h[0] == '.' && IsHexDigit(h[1])))) return sign * 0.0;
        double value = 0;
        const auto r = std::from_chars(h, HexNumberEnd(h), value, std::chars_format::hex);
        if (r.ec == std::errc::result_out_of_range)
            return Magnitude(h, true) > 0 ? sign * std::numeric_limits<double>::infinity() : sign * 0.0;
        return sign * value;
    }

    // A second sign is no number; from_chars would take a "-" here.
    if (*p == '+' || *p == '-') return 0.0;
    double value = 0;
    const auto r = std::from_chars(p, end, value, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range)
        return Magnitude(p, false) > 0 ? sign * std::numeric_limits<double>::infinity() : sign * 0.0;
    if (r.ec != std::errc()) return 0.0;
    return sign * value;
}

CString VersionText(const CString& replyText) {
    CString text = replyText;
    CString field;
    if (ReplyField(text, &field)) text = field;

    const int comma = text.Find(',');
    if (comma >= 1) {
        text = text.Left(comma);
        text.Trim();
    }
    const int v = text.Find('V');
    if (v >= 0) text = text.Mid(v + 1);
    text.Trim();
    return text;
}

bool ScaleVersion(double x, int* version) {
    // Each step is rounded to double, also where the x87 unit would keep more
    // precision: 2.30 must come out as 230 on every build.
    volatile double shifted = x + 0.0001;
    volatile double scaled = shifted * 100.0;
    const double y = scaled;
    // NaN fails both comparisons.
    if (!(y > -2147483649.0 && y < 2147483648.0)) {
        *version = 0;
        return false;
    }
    *version = static_cast<int>(y);
    return true;
}

bool StatusAccepted(int status) { return (status & ~0x84) == 0; }

int ProgressResult(int progress) {
    if (progress == -1) return kResultBusy;
    if (progress == 0) return kResultOk;
    return kResultUpdateFailed;
}

bool HoldsNumber(const char* text) {
    const char* p = SkipSpace(text);
    if (*p == '+' || *p == '-') ++p;
    return IsDigit(*p);
}

}  // namespace protocol
