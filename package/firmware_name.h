// What a firmware file's name says: the model key before the first "_" and
// the version x100 after the first "V" (KM500_V300 is model KM500, 3.00).
#pragma once

#include "platform/afx.h"

struct FirmwareName {
    // A "_" stands after at least one character: the name has a key to look
    // up. A name with none, or beginning with one, has no key.
    bool hasKey = false;
    // The text before the first "_", without surrounding white space.
    CString key;
    // The number at the start of the text after the first "V" (the whole
    // name when it has none); 0 when no digit stands there.
    int version = 0;
};

// Decodes a name without folder and extension, already upper-cased.
FirmwareName DecodeFirmwareName(const CString& upperName);

// The decimal integer at the start of text, read the way atoi reads it: an
// optional sign, then digits up to the first other character; 0 when no
// digit comes first. Independent of the locale; a value beyond the range of
// int saturates at INT_MAX or INT_MIN.
int ReadLeadingInteger(const char* text);
