// Binding the plotter maker's link library from the program's own folder.
#include <cstring>

#include "link/library_buffers.h"
#include "platform/paths.h"
#include "wizard/firmware_update_dlg.h"

namespace {
// Resolves one entry into its member; false when the library lacks it.
template <typename Fn>
bool Resolve(HMODULE lib, const char* name, Fn* member) {
    *member = reinterpret_cast<Fn>(reinterpret_cast<void*>(os::GetProcAddress(lib, name)));
    return *member != nullptr;
}

}  // namespace

int CFirmwareUpdateDlg::LoadLinkLibrary() {
    std::string module;
    if (!paths::ModulePath(AfxGetInstanceHandle(), &module)) return 0;
    const std::string path = paths::Folder(module) + ZEPL_LIBRARY_NAME;
    if (!paths::FitsMaxPath(path)) return 0;

    m_hLinkLib = os::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!m_hLinkLib) {
        m_record.LibraryNotLoaded(os::GetLastError());
        return 0;
    }

    // In this order, stopping at the first that is missing.
    const auto lacks = [this](const char* entry) {
        m_record.LibraryLacks(entry);
        return 0;
    };
    if (!Resolve(m_hLinkLib, "ZEPL_InitDll", &m_pfnInitDll)) return lacks("ZEPL_InitDll");
    if (!Resolve(m_hLinkLib, "ZEPL_EntryUsbCheck", &m_pfnEntryUsbCheck)) return lacks("ZEPL_EntryUsbCheck");
    if (!Resolve(m_hLinkLib, "ZEPL_OpenUsbEx", &m_pfnOpenUsbEx)) return lacks("ZEPL_OpenUsbEx");
    if (!Resolve(m_hLinkLib, "ZEPL_Write", &m_pfnWrite)) return lacks("ZEPL_Write");
    if (!Resolve(m_hLinkLib, "ZEPL_Read", &m_pfnRead)) return lacks("ZEPL_Read");
    if (!Resolve(m_hLinkLib, "ZEPL_Close", &m_pfnClose)) return lacks("ZEPL_Close");

    char vendor[256];
    CopyForLibrary(vendor, m_strVendor);
    const int initialised = m_pfnInitDll(vendor, 1, 9100, 0, 0);
    m_record.LibraryInit(initialised);
    return initialised == 1 ? 1 : 0;
}

int CFirmwareUpdateDlg::FreeLinkLibrary() {
    if (!m_hLinkLib) return 0;
    os::FreeLibrary(m_hLinkLib);
    ForgetLinkLibrary();
    return 1;
}

void CFirmwareUpdateDlg::ForgetLinkLibrary() {
    m_hLinkLib = nullptr;
    m_pfnInitDll = nullptr;
    m_pfnEntryUsbCheck = nullptr;
    m_pfnOpenUsbEx = nullptr;
    m_pfnWrite = nullptr;
    m_pfnRead = nullptr;
    m_pfnClose = nullptr;
}
