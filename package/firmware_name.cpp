#include "package/firmware_name.h"

#include <climits>

FirmwareName DecodeFirmwareName(const CString& upperName) {
    FirmwareName decoded;

    const int underscore = upperName.Find('_');
    if (underscore > 0) {
        decoded.hasKey = true;
        decoded.key = upperName.Left(underscore);
        decoded.key.Trim();
    }

    // The first "V" anywhere, even one inside the key: no model key holds a
    // "V", so for the names we ship it is the version marker.
    const int v = upperName.Find('V');
    CString versionText = v >= 0 ? upperName.Mid(v + 1) : upperName;
    versionText.Trim();
    decoded.version = ReadLeadingInteger(versionText);
    return decoded;
}

int ReadLeadingInteger(const char* text) {
    const char* p = text;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    // Accumulated negatively: INT_MIN has no positive counterpart.
    int value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const int digit = *p - '0';
        if (value < (INT_MIN + digit) / 10) return negative ? INT_MIN : INT_MAX;
        value = value * 10 - digit;
    }
    if (negative) return value;
    return value == INT_MIN ? INT_MAX : -value;
}
