// Finding the one firmware file beside the program and learning the model and
// the version from its name.
#include <climits>
#include <cstdint>
#include <string>

#include "package/firmware_name.h"
#include "package/model_table.h"
#include "platform/paths.h"
#include "wizard/firmware_update_dlg.h"

int CFirmwareUpdateDlg::LocateFirmwarePackage() {
    // The program's own folder, not the current one: the folder is delivered
    // as a whole. A module path or pattern that does not fit the system's path
    // limit is never used cut short, since it would name another place.
    int r = 0;
    std::string module;
    if (paths::ModulePath(AfxGetInstanceHandle(), &module)) {
        const std::string folder = paths::Folder(module);
        const std::string pattern = folder + "*" + ".x";
        m_strFirmwarePath = folder.c_str();
        if (paths::FitsMaxPath(pattern)) r = FindFirmwareFile(pattern.c_str());
    }
    if (r == 0) {
        // The model members keep what the dialog gave them on opening.
        m_strFirmwarePath.Empty();
        m_nNewVersion = 0;
        return 0;
    }

    CString name = paths::BaseName(m_strFirmwarePath.GetString()).c_str();
    name.MakeUpper();
    const FirmwareName decoded = DecodeFirmwareName(name);

    if (decoded.hasKey) {
        // An unknown key leaves the model "Unknown"; the driver and the
        // status-reply flag are left as they are.
        m_strModel.LoadString(IDS_CAP_NO_MODEL);
        m_strVendor.Empty();
        m_nSpoolerLimit = 0;
        m_nProcedure = 0;
        if (const ModelEntry* row = FindModelEntry(decoded.key)) {
            m_strVendor = row->szVendor;
            m_strModel = row->szModel;
            m_strDriver = row->szDriver;
            m_nSpoolerLimit = row->nSpoolerLimit;
            m_nProcedure = row->nProcedure;
            m_bStatusReplies = row->bStatusReplies;
        }
    }

    // A name without a readable version still is the firmware file: version 0
    // is never newer than the plotter's.
    m_nNewVersion = decoded.version;
    return r;
}

int CFirmwareUpdateDlg::FindFirmwareFile(CString pattern) {
    // Exactly one match, of any kind: a second one, even a folder, means the
    // folder is not as delivered and no file is trusted.
    CString name;
    bool accepted = false;
    {
        CFileFind finder;
        if (finder.FindFile(pattern) && !finder.FindNextFile()) {
            accepted = true;
            name = finder.GetFileName();
        }
        finder.Close();
    }
    m_strFirmwarePath += name;
    if (!accepted) return 0;

    // Others may keep reading or writing it; only its length is needed now,
    // the transfer opens it again. A folder cannot be opened as a file.
    CFile file;
    if (!file.Open(m_strFirmwarePath, CFile::modeRead | CFile::shareDenyNone)) return 0;
    uint64_t length = 0;
    // A length the size member cannot hold counts as a file that cannot be measured.
    if (!file.GetLength(&length) || length > static_cast<uint64_t>(INT_MAX)) return 0;
    m_nFirmwareSize = static_cast<int>(length);
    return file.Close() ? 1 : 0;
}
