// The Start button: "Next >" leads to the second check.
#include "wizard/firmware_update_dlg.h"

void CFirmwareUpdateDlg::OnOK() {
    if (m_nStage != 1) {
        m_nStage = 1;
        OnCheck();
    }
}
