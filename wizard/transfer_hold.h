// What the system is asked while firmware is being written, because a
// plotter whose flash is cut off halfway does not start again: the computer
// stays awake (the display may still turn off), shutdown, restart and
// log-off are held with the reason shown to the user, and the taskbar button
// shows the progress. Everything is undone when the hold goes, on every path.
#pragma once

#include <memory>

#include "platform/taskbar.h"

class TransferHold {
public:
    // taskbarReady: the window's taskbar button exists already.
    TransferHold(HWND dialog, bool taskbarReady);
    ~TransferHold();
    TransferHold(const TransferHold&) = delete;
    TransferHold& operator=(const TransferHold&) = delete;

    // The taskbar button has appeared during the transfer.
    void TaskbarReady();
    // The percentage the window now shows.
    void ShowPercent(unsigned percent);

private:
    HWND m_hDialog;
    bool m_bReason = false;
    unsigned m_nPercent = 0;
    std::unique_ptr<CTaskbarProgress> m_taskbar;
};
