// Result codes and guidance requests turned into what the user sees.
#include "wizard/message_catalogue.h"

#include "res/resource.h"
#include "wizard/firmware_update_dlg.h"
#include "wizard/update_result.h"

UINT ResultBoxTextId(int code) {
    switch (code) {
        case kResultOk: return 0;
        case kResultSeveralPlotters: return IDS_ERR_MULTIPLE_PLOTTERS;
        case kResultFileNotOpened: return IDS_ERR_FILE_OPEN;
        case kResultNoChannel: return IDS_ERR_PLOTTER_UNAVAILABLE;
        case kResultUpdateFailed: return IDS_ERR_UPDATE_FAILED;
        case kResultCommunicationError: return IDS_ERR_COMMUNICATION;
        case kResultLinkLibraryMissing: return IDS_ERR_FILES_MISSING;
        case kResultNoFirmwareFile: return IDS_ERR_NO_FIRMWARE_FILE;
        case kResultAlreadyCurrent: return IDS_ERR_ALREADY_LATEST;
        case kResultWrongGeneration: return IDS_ERR_WRONG_GENERATION;
        // "Still busy" (50) never reaches the user as its own text.
        default: return IDS_ERR_OTHER;
    }
}

UINT GuidanceTextId(UINT id, int procedure) {
    switch (id) {
        case IDS_GUIDE_FILES_MISSING:
        case IDS_GUIDE_MULTIPLE_PLOTTERS:
        case IDS_GUIDE_NOT_DETECTED:
        case IDS_GUIDE_PRESS_UPDATE:
        case IDS_GUIDE_UPDATING:
        case IDS_GUIDE_FINISHED:
        case IDS_GUIDE_FAILED:
        case IDS_GUIDE_NOT_NEEDED:
        case IDS_GUIDE_WRONG_GENERATION:
            return id;
        case IDS_GUIDE_MODE_LOADER:
            // One request, the model's own way into update mode.
            if (procedure == 2) return IDS_GUIDE_MODE_READY;
            if (procedure == 1) return IDS_GUIDE_MODE_BEEP;
            return IDS_GUIDE_MODE_LOADER;
        default:
            // 2005 and 2006 are reached only through 2004.
            return 0;
    }
}

CString CatalogueText(UINT id) {
    CString text;
    text.LoadString(id);
    return text;
}

BOOL CFirmwareUpdateDlg::ShowResultBox(int code) {
    if (code == kResultOk) return TRUE;
    m_record.Box(code, ResultBoxTextId(code));
    // One OK button and the information icon for failures too; which button
    // closed the box does not matter.
    AfxMessageBox(ResultBoxTextId(code), MB_OK | MB_ICONINFORMATION, 0);
    return FALSE;
}

void CFirmwareUpdateDlg::ShowGuidance(UINT id) {
    CString text;
    const UINT textId = GuidanceTextId(id, m_nProcedure);
    if (textId != 0) text.LoadString(textId);
    m_record.Guidance(id, textId);
    // Replaces the previous guidance whole.
    m_stcMessage.SetWindowText(text);
    UpdateData(FALSE);
}
