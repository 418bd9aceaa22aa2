// The taskbar button's progress through the taskbar's COM interface.
#include <shobjidl.h>

#include "platform/taskbar.h"

CTaskbarProgress::CTaskbarProgress(HWND window) : m_hWnd(window) {
    // The dialog's thread may already have COM in another model; then it is
    // used as it is, and not ended here.
    m_bComStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ITaskbarList3* taskbar = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&taskbar))) ||
        !taskbar)
        return;
    if (FAILED(taskbar->HrInit())) {
        taskbar->Release();
        return;
    }
    m_pTaskbar = taskbar;
    taskbar->SetProgressState(m_hWnd, TBPF_NORMAL);
}

CTaskbarProgress::~CTaskbarProgress() {
    if (auto* taskbar = static_cast<ITaskbarList3*>(m_pTaskbar)) {
        taskbar->SetProgressState(m_hWnd, TBPF_NOPROGRESS);
        taskbar->Release();
    }
    if (m_bComStarted) CoUninitialize();
}

void CTaskbarProgress::SetPercent(unsigned percent) {
    if (auto* taskbar = static_cast<ITaskbarList3*>(m_pTaskbar)) taskbar->SetProgressValue(m_hWnd, percent, 100);
}
