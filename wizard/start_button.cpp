// The Start button: "Next >" leads to the second check, "Update" runs the
// firmware transfer and shows its outcome. Neither closes the dialog.
#include "wizard/firmware_update_dlg.h"
#include "wizard/message_catalogue.h"
#include "wizard/update_result.h"

void CFirmwareUpdateDlg::OnOK() {
    // Enter and a posted IDOK arrive whatever the button shows: only the two
    // states in which Start is enabled act, so no second transfer ever starts.
    if (m_state == WizardState::Ready) {
        m_nStage = 1;
        m_state = WizardState::Checking;
        OnCheck();
        return;
    }
    if (m_state != WizardState::Confirmed) return;
    const RecordedStep step(m_record, "update");

    if (LoadLinkLibrary() != 1) {
        m_state = WizardState::Failed;
        ShowResultBox(kResultLinkLibraryMissing);
        ShowGuidance(IDS_GUIDE_FILES_MISSING);
        m_btnStart.EnableWindow(FALSE);
    } else {
        m_state = WizardState::Updating;
        RecordRoute();
        const int r = TransferFirmware();
        m_record.Result("transfer", r);
        m_state = r == kResultOk ? WizardState::Finished : WizardState::Failed;
        FlashIfInBackground();
        const BOOL ok = ShowResultBox(r);
        ShowGuidance(ok ? IDS_GUIDE_FINISHED : IDS_GUIDE_FAILED);
        m_btnStart.EnableWindow(FALSE);
        m_stcPercent.ShowWindow(SW_HIDE);
        m_prgProgress.ShowWindow(SW_HIDE);
        m_btnClose.SetWindowText(CatalogueText(IDS_CAP_CLOSE));
    }
    FreeLinkLibrary();
}

void CFirmwareUpdateDlg::OnCancel() {
    // Esc, Alt+F4 and the window's Close command come here even while the
    // Close button is disabled and the menu item greyed: the dialog does not
    // end while the firmware is being written.
    if (m_state == WizardState::Updating) return;
    CDialog::OnCancel();
}

LRESULT CFirmwareUpdateDlg::OnQueryEndSession(WPARAM, LPARAM) {
    // Windows asks before shutting down, restarting or logging off: not now.
    if (m_state == WizardState::Updating) return FALSE;
    return Default();
}

void CFirmwareUpdateDlg::FlashIfInBackground() {
    // A user who walked away during the update sees at once that it ended.
    if (os::GetForegroundWindow() == m_hWnd) return;
    FLASHWINFO flash = {sizeof(FLASHWINFO), m_hWnd, FLASHW_TRAY | FLASHW_TIMERNOFG, 0, 0};
    os::FlashWindowEx(&flash);
}
