// The shell's known folders, bound once from the shell's DLL in the system
// folder by its full path. Binding at the first call rather than importing
// keeps the shell's libraries out of the program's start-up: only the record
// of a run asks, after the first check has ended. Where the shell cannot be
// bound, the call fails as the shell would for a folder it does not know.
#include <shlobj.h>

#include <string>

#include "platform/os.h"

namespace {
decltype(&::SHGetFolderPathW) Load() {
    char folder[MAX_PATH] = {0};
    const UINT n = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    const std::string path = std::string(folder) + "\\shell32.dll";
    if (path.size() >= MAX_PATH) return nullptr;
    HMODULE dll = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!dll) return nullptr;
    // Stays loaded for the process: the shell does not like being unloaded.
    return reinterpret_cast<decltype(&::SHGetFolderPathW)>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "SHGetFolderPathW")));
}
}  // namespace

namespace os {
HRESULT SHGetFolderPathW(HWND owner, int folder, HANDLE token, DWORD flags, LPWSTR path) {
    // One user-interface thread calls this; the first call binds.
    static const auto entry = Load();
    if (!entry) return E_FAIL;
    return entry(owner, folder, token, flags, path);
}
}  // namespace os
