#include "package/model_table.h"

#include <cstring>

// The texts go out exactly as written here: the driver name must equal the
// installed driver's, letter case and blanks included ("Brook Vale Rt600").
const ModelEntry g_modelTable[kModelTableRows] = {
    {"KM300HB", "Tarvonic", "KM300-40-HB", "Tarvonic Hobby Cutter Pro", 0, 0, 0},
    {"KM300MK2", "Tarvonic", "KM300Mk2", "Tarvonic KM300Mk2", 0, 0, 0},
    {"KM500HB", "Tarvonic", "KM500-40-HB", "Tarvonic Hobby Cutter Pro S", 500, 0, 0},
    {"KM500", "Tarvonic", "KM500", "Tarvonic KM500", 500, 0, 0},
    {"KM500AP", "Tarvonic", "KM500-120AP", "Tarvonic KM500-120AP", 500, 0, 0},
    {"LX700", "Tarvonic", "LX700", "Tarvonic LX700", 0, 0, 0},
    {"LX800", "Tarvonic", "LX800", "Tarvonic LX800", 0, 0, 0},
    {"LX450", "Tarvonic", "LX450", "Tarvonic LX450 SERIES", 0, 1, 0},
    {"LX224", "Tarvonic", "LX224", "Tarvonic LX224", 0, 1, 0},
    {"LX225", "Tarvonic", "LX225", "Tarvonic LX225", 0, 1, 0},
    {"KM600", "Tarvonic", "KM600", "Tarvonic KM600", 0, 2, 1},
    {"KM600AP", "Tarvonic", "KM600-120AP", "Tarvonic KM600-120AP", 0, 2, 1},
    {"LX860", "Tarvonic", "LX860", "Tarvonic LX860", 0, 2, 1},
    {"LXW200", "Tarvonic", "LXW200", "Tarvonic LXW200", 0, 2, 1},
    {"RT600", "Brookvale", "RT600", "Brook Vale Rt600", 0, 2, 1},
    {"", "", "", "", 0, 0, 0},
};

const ModelEntry* FindModelEntry(const char* key) {
    // Keys are plain ASCII, so byte equality is the code page's comparison.
    for (const ModelEntry* row = g_modelTable; row->szKey[0] != '\0'; ++row) {
        if (std::strcmp(key, row->szKey) == 0) return row;
    }
    return nullptr;
}
