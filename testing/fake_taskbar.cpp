// The taskbar button's progress on the test platform: what the program
// asked, in order, unless the scene has no taskbar interface.
#include <string>

#include "platform/taskbar.h"
#include "testing/test_platform.h"

using testplat::world;

CTaskbarProgress::CTaskbarProgress(HWND window) : m_hWnd(window) {
    // As on Windows: a window that has a button, and a system that has the interface.
    m_bComStarted = world().Find(m_hWnd) != nullptr;
    if (!m_bComStarted || world().taskbarMissing) return;
    m_pTaskbar = this;
    world().taskbar.push_back("normal");
}

CTaskbarProgress::~CTaskbarProgress() {
    if (m_pTaskbar && m_bComStarted) world().taskbar.push_back("none");
}

void CTaskbarProgress::SetPercent(unsigned percent) {
    if (m_pTaskbar && world().Find(m_hWnd)) world().taskbar.push_back(std::to_string(percent));
}
