// The progress on the program's taskbar button, as Windows' own copy dialogs
// show it. On Windows it is the taskbar's COM interface; the test platform
// records what it was asked. Where the system offers no such interface
// (Vista, or a system that only stubs it), every call does nothing.
#pragma once

#include "platform/os.h"

class CTaskbarProgress {
public:
    // Shows a normal progress on window's button, at 0.
    explicit CTaskbarProgress(HWND window);
    // Clears the progress from the button.
    ~CTaskbarProgress();
    CTaskbarProgress(const CTaskbarProgress&) = delete;
    CTaskbarProgress& operator=(const CTaskbarProgress&) = delete;

    void SetPercent(unsigned percent);

private:
    HWND m_hWnd;
    void* m_pTaskbar = nullptr;  // the interface, when the system has one
    bool m_bComStarted = false;
};
