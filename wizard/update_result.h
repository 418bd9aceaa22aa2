// The outcome of every step that talks to the firmware file, the link
// library or the plotter. Workers return these codes and show nothing; the
// check step and the Start button turn them into a message box and guidance.
#pragma once

enum UpdateResult : int {
    kResultOk = 0,
    kResultSeveralPlotters = 1,      // more than one plotter of the model attached
    kResultFileNotOpened = 2,        // the firmware file cannot be opened
    kResultNoChannel = 3,            // a channel to the plotter cannot be opened
    kResultUpdateFailed = 4,
    kResultCommunicationError = 5,
    kResultBusy = 50,                // the plotter still busy after the last poll
    kResultLinkLibraryMissing = 100, // the link library is missing or incomplete
    kResultNoFirmwareFile = 101,
    kResultAlreadyCurrent = 102,     // the plotter's firmware is not older than the file's
    kResultWrongGeneration = 103,    // the file is of the other firmware generation
};
