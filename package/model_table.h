// The plotter models whose firmware this program can update: one row per
// model, from the key that begins a firmware file's name to the texts the
// link library, the user and the print spooler know the model by, and the
// three settings that steer its update.
#pragma once

struct ModelEntry {
    char szKey[64];       // upper case; the text before the first "_" of a firmware file's name
    char szVendor[128];   // handed to the link library and shown to the user
    char szModel[128];    // handed to the link library and shown to the user
    char szDriver[128];   // exact name of the model's Windows printer driver
    int nSpoolerLimit;    // version x100 splitting the two firmware generations; 0: none
    int nProcedure;       // which update-mode instructions the user reads: 0, 1 or 2
    int bStatusReplies;   // 1: the model answers status queries while it is updated
};

// Fifteen models, then a row with an empty key that ends every lookup.
const int kModelTableRows = 16;
extern const ModelEntry g_modelTable[kModelTableRows];

// The row whose key is exactly key (same bytes, same letter case, whole text),
// or null. The closing row is never compared, so an empty key matches nothing.
const ModelEntry* FindModelEntry(const char* key);
