// Files of the test platform: real files and folders on disk, searched and
// opened with the Windows semantics the wizard relies on (case-insensitive
// wildcards that match folders too; sharing modes between open handles).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "testing/test_platform.h"

namespace testplat {
namespace {
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Windows wildcard match: "*" any run, "?" one character, letter case ignored.
bool WildcardMatch(const char* pat, const char* name) {
    if (!*pat) return !*name;
    if (*pat == '*') {
        for (const char* n = name;; ++n) {
            if (WildcardMatch(pat + 1, n)) return true;
            if (!*n) return false;
        }
    }
    if (!*name) return false;
    if (*pat == '?' || Lower(*pat) == Lower(*name)) return WildcardMatch(pat + 1, name + 1);
    return false;
}

struct Search {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};
std::map<HANDLE, std::unique_ptr<Search>>& Searches() {
    static std::map<HANDLE, std::unique_ptr<Search>> searches;
    return searches;
}

struct OpenFile {
    int fd;
    std::string key;  // the file's identity, for sharing checks
    DWORD access;
    DWORD share;
};
std::map<HANDLE, OpenFile>& OpenFiles() {
    static std::map<HANDLE, OpenFile> files;
    return files;
}

// The file behind a handle opened with `access`; null, with the error
// Windows gives, for any other handle.
OpenFile* OpenedFor(HANDLE h, DWORD access) {
    auto it = OpenFiles().find(h);
    if (it == OpenFiles().end() || !(it->second.access & access)) {
        os::SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &it->second;
}

std::string Identity(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : path;
}

// A path of the wide functions as a Linux path: UTF-8, either separator.
std::string LocalPath(LPCWSTR wide) {
    const int n = os::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string path(static_cast<size_t>(n > 0 ? n : 0), '\0');
    os::WideCharToMultiByte(CP_UTF8, 0, wide, -1, path.data(), static_cast<int>(path.size()), nullptr, nullptr);
    if (!path.empty() && path.back() == '\0') path.pop_back();
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool ConflictsWith(const OpenFile& open, DWORD access, DWORD share) {
    if ((access & GENERIC_READ) && !(open.share & FILE_SHARE_READ)) return true;
    if ((access & GENERIC_WRITE) && !(open.share & FILE_SHARE_WRITE)) return true;
    if ((open.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return true;
    if ((open.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return true;
    return false;
}
HANDLE OpenReal(const std::string& name, DWORD access, DWORD share, int mode) {
    const std::string key = Identity(name);
    if (world().lockedFiles.count(name) || world().lockedFiles.count(key)) {
        os::SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    for (const auto& [h, open] : OpenFiles()) {
        if (open.key == key && ConflictsWith(open, access, share)) {
            os::SetLastError(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
    }
    const int fd = open(name.c_str(), mode | O_CLOEXEC, 0666);
    if (fd < 0) {
        os::SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        os::SetLastError(ERROR_ACCESS_DENIED);  // a folder is not a file
        return INVALID_HANDLE_VALUE;
    }
    auto self = std::make_shared<HANDLE>(nullptr);
    HANDLE h = NewHandle([self] {
        auto it = OpenFiles().find(*self);
        if (it == OpenFiles().end()) return false;
        const int fd = it->second.fd;
        OpenFiles().erase(it);
        return close(fd) == 0;
    });
    *self = h;
    OpenFiles()[h] = {fd, Identity(name), access, share};
    return h;
}
}  // namespace
}  // namespace testplat

using testplat::world;

namespace os {

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    const std::string p = pattern ? pattern : "";
    const size_t sep = p.find_last_of("\\/");
    const std::string folder = sep == std::string::npos ? "." : p.substr(0, sep + 1);
    const std::string namePattern = sep == std::string::npos ? p : p.substr(sep + 1);

    auto search = std::make_unique<testplat::Search>();
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            if (!testplat::WildcardMatch(namePattern.c_str(), e->d_name)) continue;
            struct stat st {};
            if (stat((folder + "/" + e->d_name).c_str(), &st) != 0) continue;
            WIN32_FIND_DATAA fd{};
            fd.dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
            const uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
            fd.nFileSizeHigh = static_cast<DWORD>(size >> 32);
            fd.nFileSizeLow = static_cast<DWORD>(size);
            std::strncpy(fd.cFileName, e->d_name, MAX_PATH - 1);
            search->entries.push_back(fd);
        }
        closedir(dir);
    }
    if (search->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(search->entries.begin(), search->entries.end(),
              [](const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b) { return std::strcmp(a.cFileName, b.cFileName) < 0; });
    *data = search->entries[0];
    search->next = 1;
    HANDLE h = testplat::NewHandle([] { return false; });  // a search is closed by FindClose only
    testplat::Searches()[h] = std::move(search);
    return h;
}

BOOL FindNextFileA(HANDLE h, LPWIN32_FIND_DATAA data) {
    auto it = testplat::Searches().find(h);
    if (it == testplat::Searches().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    testplat::Search& s = *it->second;
    if (s.next >= s.entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *data = s.entries[s.next++];
    return TRUE;
}

BOOL FindClose(HANDLE h) {
    if (testplat::Searches().erase(h) == 0) return FALSE;
    testplat::ReleaseHandle(h);
    return TRUE;
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD, HANDLE) {
    if (!name || disposition != OPEN_EXISTING || (access & GENERIC_WRITE)) {
        SetLastError(ERROR_INVALID_PARAMETER);  // the wizard only reads existing files through this
        return INVALID_HANDLE_VALUE;
    }
    return testplat::OpenReal(name, access, share, O_RDONLY);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD, HANDLE) {
    // Only what the record of a run asks: appending, the file made when missing.
    if (!name || disposition != OPEN_ALWAYS || access != FILE_APPEND_DATA) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return testplat::OpenReal(testplat::LocalPath(name), GENERIC_WRITE, share, O_WRONLY | O_APPEND | O_CREAT);
}

BOOL WriteFile(HANDLE h, LPCVOID buf, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
    if (written) *written = 0;
    const testplat::OpenFile* file = testplat::OpenedFor(h, GENERIC_WRITE);
    if (!file) return FALSE;
    const ssize_t n = ::write(file->fd, buf, toWrite);
    if (n < 0) return FALSE;
    if (written) *written = static_cast<DWORD>(n);
    return static_cast<DWORD>(n) == toWrite;
}

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES) {
    if (!path) return FALSE;
    if (mkdir(testplat::LocalPath(path).c_str(), 0777) == 0) return TRUE;
    SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : ERROR_PATH_NOT_FOUND);
    return FALSE;
}

BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    if (!from || !to) return FALSE;
    const std::string source = testplat::LocalPath(from);
    const std::string target = testplat::LocalPath(to);
    // Windows renames no file that is open without delete sharing; the
    // wizard never holds it with that sharing.
    for (const auto& [h, open] : testplat::OpenFiles()) {
        if (open.key == testplat::Identity(source) || open.key == testplat::Identity(target)) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
    }
    struct stat st {};
    if (!(flags & MOVEFILE_REPLACE_EXISTING) && stat(target.c_str(), &st) == 0) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (rename(source.c_str(), target.c_str()) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileSize(HANDLE h, LPDWORD high) {
    auto it = testplat::OpenFiles().find(h);
    struct stat st {};
    if (it == testplat::OpenFiles().end() || world().fileSizeFails || fstat(it->second.fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (high) *high = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL ReadFile(HANDLE h, LPVOID buf, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
    if (read) *read = 0;
    const testplat::OpenFile* file = testplat::OpenedFor(h, GENERIC_READ);
    if (!file) return FALSE;
    const int call = ++world().readFileCalls;
    if (world().readFileFailsFrom > 0 && call >= world().readFileFailsFrom) {
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    const ssize_t n = ::read(file->fd, buf, toRead);
    if (n < 0) return FALSE;
    if (read) *read = static_cast<DWORD>(n);
    return TRUE;
}

}  // namespace os
