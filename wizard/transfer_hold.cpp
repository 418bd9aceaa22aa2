#include "wizard/transfer_hold.h"

#include <vector>

#include "res/resource.h"
#include "wizard/message_catalogue.h"

TransferHold::TransferHold(HWND dialog, bool taskbarReady) : m_hDialog(dialog) {
    os::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);

    // The reason Windows shows for holding the shutdown: the first line of
    // the guidance the window shows meanwhile, in the user's language.
    CString guidance = CatalogueText(IDS_GUIDE_UPDATING);
    const int end = guidance.Find('\n');
    const CString line = end >= 0 ? guidance.Left(end) : guidance;
    const int length = os::MultiByteToWideChar(CP_ACP, 0, line, -1, nullptr, 0);
    if (length > 0) {
        std::vector<WCHAR> reason(static_cast<size_t>(length));
        if (os::MultiByteToWideChar(CP_ACP, 0, line, -1, reason.data(), length) > 0)
            m_bReason = os::ShutdownBlockReasonCreate(m_hDialog, reason.data()) != FALSE;
    }

    if (taskbarReady) TaskbarReady();
}

TransferHold::~TransferHold() {
    m_taskbar.reset();
    if (m_bReason) os::ShutdownBlockReasonDestroy(m_hDialog);
    os::SetThreadExecutionState(ES_CONTINUOUS);
}

void TransferHold::TaskbarReady() {
    if (m_taskbar) return;
    m_taskbar.reset(new CTaskbarProgress(m_hDialog));
    if (m_nPercent != 0) m_taskbar->SetPercent(m_nPercent);
}

void TransferHold::ShowPercent(unsigned percent) {
    m_nPercent = percent;
    if (m_taskbar) m_taskbar->SetPercent(percent);
}
