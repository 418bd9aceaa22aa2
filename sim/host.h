// What the simulator needs of the system it runs on: a sleep, a steady
// clock and, on Windows, a look at the calling program's dialog. The Linux
// half is host_posix.cpp, the Windows half host_win.cpp.
#pragma once

#include <string>

namespace zepl_sim {

void SleepMilliseconds(int ms);

// Microseconds of a steady clock; only differences mean anything. The
// clock is the machine's, so stamps of several loads and processes compare.
long long SteadyMicroseconds();

// The calling program's dialog as the user would see it, at one moment.
// A control or menu item the dialog lacks is reported absent.
struct DialogState {
    enum Item { Absent, Off, On };
    Item menu_close = Absent;    // system menu's Close: On enabled, Off greyed
    Item close_button = Absent;  // control 2
    Item start_button = Absent;  // control 1
    bool has_percent = false;    // control 1508, its text
    std::string percent;
    bool has_progress = false;   // control 1509, PBM_GETPOS
    int progress = 0;
};

enum class Observation { Unsupported, NoDialog, Dialog };

// Finds the calling thread's top-level dialog (class #32770, no owner, with
// a control 2), falling back to the process's, and reads its state.
Observation ObserveCallingDialog(DialogState* state);

}  // namespace zepl_sim
