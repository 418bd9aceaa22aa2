#include "res/string_table.h"

namespace {
const StringResource kStrings[] = {
#define STRING_EN_JA(id, name, en, ja) {id, en, ja},
#define STRING_EN(id, name, en) {id, en, nullptr},
#include "res/strings.inc"
#undef STRING_EN_JA
#undef STRING_EN
};
}  // namespace

const StringResource* FindStringResource(unsigned id) {
    for (const StringResource& s : kStrings)
        if (s.id == id) return &s;
    return nullptr;
}

const StringResource* StringResources(size_t* count) {
    *count = sizeof(kStrings) / sizeof(kStrings[0]);
    return kStrings;
}
