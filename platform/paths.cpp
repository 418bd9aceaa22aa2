#include "platform/paths.h"

namespace paths {
namespace {
size_t AfterLastSeparator(const std::string& path) {
    const size_t sep = path.find_last_of("\\/:");
    return sep == std::string::npos ? 0 : sep + 1;
}
}  // namespace

std::string Folder(const std::string& path) { return path.substr(0, AfterLastSeparator(path)); }

std::string FileName(const std::string& path) { return path.substr(AfterLastSeparator(path)); }

std::string BaseName(const std::string& path) {
    std::string name = FileName(path);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

bool ModulePath(HMODULE module, std::string* path) {
    char buf[MAX_PATH + 1] = {0};
    const DWORD n = os::GetModuleFileNameA(module, buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    path->assign(buf, n);
    return true;
}
}  // namespace paths
