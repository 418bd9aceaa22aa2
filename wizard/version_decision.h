// What the first check makes of three versions (each x100): the plotter's,
// the firmware file's and the model's limit between its two firmware
// generations. Plain logic.
#pragma once

#include "platform/afx.h"

enum class UpdateDecision {
    WrongGeneration,  // the file belongs to the plotter's other generation
    AlreadyCurrent,   // the file is not newer than the plotter's firmware
    Needed,           // the update is allowed and needed
};

struct VersionVerdict {
    UpdateDecision decision;
    // A plotter at or below the limit takes its firmware through the
    // Windows spooler, whatever the decision.
    bool throughSpooler;
};

// A limit of 0 means the model has none. A plotter at or below the limit
// takes only files at or below it; one above it only files at or above it.
VersionVerdict DecideUpdate(int plotterVersion, int fileVersion, int spoolerLimit);

// A version x100 as the user reads it: 210 is "2.10".
CString FormatVersion(int version);
