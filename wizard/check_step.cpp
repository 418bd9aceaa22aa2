// The check step: the handler of the hidden Check button's command, which the
// dialog posts to itself when it opens and the Start button runs again. The
// first run finds the firmware file, reads the plotter's version and decides
// whether the update is allowed, needed and by which route; the second
// confirms the plotter's Windows printer.
#include "wizard/firmware_update_dlg.h"
#include "wizard/message_catalogue.h"
#include "wizard/update_result.h"
#include "wizard/version_decision.h"

void CFirmwareUpdateDlg::OnCheck() {
    // Only the command posted on opening and the Start button's second step
    // run a check: the same command from elsewhere, above all during or
    // after the transfer, changes nothing.
    if (m_state != WizardState::Checking) return;
    const RecordedStep step(m_record, m_nStage == 0 ? "check 1" : "check 2");

    m_btnStart.EnableWindow(FALSE);

    if (m_nStage == 0) {
        SetModelLine(CatalogueText(IDS_CAP_NO_MODEL));
        const int found = LocateFirmwarePackage();
        RecordFirmware(found);
        m_stcNewVersion.SetWindowText(m_nNewVersion != 0 ? FormatVersion(m_nNewVersion) : CString("*.**"));
        if (found != 1) return Block(kResultNoFirmwareFile, IDS_GUIDE_FILES_MISSING);
    }
    SetModelLine(m_strVendor + " " + m_strModel);

    // A library that loaded but is incomplete stays loaded until the dialog goes.
    if (LoadLinkLibrary() != 1) return Block(kResultLinkLibraryMissing, IDS_GUIDE_FILES_MISSING);
    const int r = QueryPlotter(m_nStage == 0 ? 1 : 0);
    FreeLinkLibrary();
    m_record.Result("plotter query", r);
    if (r != kResultOk) {
        m_stcCurrentVersion.SetWindowText(CatalogueText(IDS_CAP_NOT_UPDATABLE));
        return Block(r, r == kResultSeveralPlotters ? IDS_GUIDE_MULTIPLE_PLOTTERS : IDS_GUIDE_NOT_DETECTED);
    }

    if (m_nStage == 1) {
        m_state = WizardState::Confirmed;
        ShowGuidance(IDS_GUIDE_PRESS_UPDATE);
        m_btnStart.SetWindowText(CatalogueText(IDS_CAP_UPDATE));
        m_btnStart.EnableWindow(TRUE);
        return;
    }

    m_stcCurrentVersion.SetWindowText(FormatVersion(m_nCurrentVersion));
    const VersionVerdict verdict = DecideUpdate(m_nCurrentVersion, m_nNewVersion, m_nSpoolerLimit);
    if (verdict.throughSpooler) m_bDirectUsb = 0;
    RecordDecision(verdict);
    switch (verdict.decision) {
        case UpdateDecision::WrongGeneration:
            return Block(kResultWrongGeneration, IDS_GUIDE_WRONG_GENERATION);
        case UpdateDecision::AlreadyCurrent:
            Block(kResultAlreadyCurrent, IDS_GUIDE_NOT_NEEDED);
            m_btnClose.SetWindowText(CatalogueText(IDS_CAP_CLOSE));
            return;
        case UpdateDecision::Needed:
            m_state = WizardState::Ready;
            // The model's own way into its update mode.
            ShowGuidance(IDS_GUIDE_MODE_LOADER);
            m_btnStart.EnableWindow(TRUE);
            return;
    }
}

void CFirmwareUpdateDlg::SetModelLine(const CString& model) {
    m_stcModelName.SetWindowText(CatalogueText(IDS_CAP_MODEL_NAME) + model);
}

void CFirmwareUpdateDlg::Block(int code, UINT guidance) {
    // Decided before the box is up: commands that arrive while it is shown
    // find the wizard blocked.
    m_state = WizardState::Blocked;
    ShowResultBox(code);
    ShowGuidance(guidance);
}
