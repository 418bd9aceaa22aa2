// The string tables for the test platform, built from res/strings.inc.
#pragma once

#include <cstddef>

struct StringResource {
    unsigned id;
    const char* english;
    const char* japanese;  // null for texts that exist in English only
};

// The entry for id, or null.
const StringResource* FindStringResource(unsigned id);
// The whole table, in id order.
const StringResource* StringResources(size_t* count);
