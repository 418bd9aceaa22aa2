// Kernel services of the test platform: handles, last error, module path,
// current folder, named mutexes, sleeping, string resources and icons, and
// library loading through dlopen.
#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"
#include "res/string_table.h"
#include "testing/spooler.h"
#include "testing/test_platform.h"

namespace testplat {
namespace {
World* g_world = nullptr;
DWORD g_lastError = 0;
uintptr_t g_nextHandle = 0x10000;
std::map<HANDLE, std::function<bool()>>& Handles() {
    static std::map<HANDLE, std::function<bool()>> handles;
    return handles;
}
const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
const HICON kAppIcon = reinterpret_cast<HICON>(static_cast<uintptr_t>(0x2000));

// Copies text to a Windows-style output buffer; returns what the Win32
// function returns for it.
DWORD CopyOut(const std::string& text, LPSTR buf, DWORD size) {
    if (size == 0) return 0;
    if (text.size() >= size) {
        std::memcpy(buf, text.data(), size - 1);
        buf[size - 1] = '\0';
        os::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buf, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}
}  // namespace

World& world() {
    if (!g_world) g_world = new World();
    return *g_world;
}

void Reset() {
    delete g_world;
    g_world = new World();
    g_lastError = 0;
    ResetSpooler();
}

HANDLE NewHandle(std::function<bool()> onClose) {
    g_nextHandle += 4;
    HANDLE h = reinterpret_cast<HANDLE>(g_nextHandle);
    Handles()[h] = std::move(onClose);
    return h;
}

bool ReleaseHandle(HANDLE h) { return Handles().erase(h) > 0; }

size_t OpenHandleCount() { return Handles().size(); }

}  // namespace testplat

using testplat::world;

namespace os {

DWORD GetLastError() { return testplat::g_lastError; }
void SetLastError(DWORD e) { testplat::g_lastError = e; }

BOOL CloseHandle(HANDLE h) {
    auto& handles = testplat::Handles();
    auto it = handles.find(h);
    if (it == handles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto onClose = std::move(it->second);
    handles.erase(it);
    return onClose() ? TRUE : FALSE;
}

HMODULE GetModuleHandleA(LPCSTR name) { return name ? nullptr : testplat::kInstance; }

DWORD GetModuleFileNameA(HMODULE m, LPSTR buf, DWORD size) {
    if (m && m != testplat::kInstance) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    SetLastError(ERROR_SUCCESS);
    return testplat::CopyOut(world().modulePath, buf, size);
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buf) {
    const std::string& dir = world().currentDir;
    if (size <= dir.size()) return static_cast<DWORD>(dir.size() + 1);
    std::memcpy(buf, dir.c_str(), dir.size() + 1);
    return static_cast<DWORD>(dir.size());
}

BOOL SetCurrentDirectoryA(LPCSTR dir) {
    struct stat st {};
    if (!dir || stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    world().currentDir = dir;
    world().currentDirChanges.push_back(dir);
    return TRUE;
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
    if (name && !world().existingMutexes.insert(name).second) {
        SetLastError(ERROR_ALREADY_EXISTS);
    } else {
        SetLastError(ERROR_SUCCESS);
    }
    return testplat::NewHandle([] { return true; });
}

void Sleep(DWORD ms) {
    world().sleeps.push_back(ms);
    world().clockMicroseconds += 1000ull * ms;
}

// A clock of microseconds that moves only when the program sleeps or reads
// it (by the step a test set: the time each stretch of work takes).
BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    count->QuadPart = static_cast<LONGLONG>(world().clockMicroseconds);
    world().clockMicroseconds += world().clockStepMicroseconds;
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    frequency->QuadPart = 1000000;
    return TRUE;
}

DWORD GetTickCount() { return static_cast<DWORD>(world().clockMicroseconds / 1000); }

void GetLocalTime(LPSYSTEMTIME time) {
    // From 2026-12-07 (a Monday) 10:00:00.000 on the same clock; a test never
    // runs past the month.
    const uint64_t ms = 10ULL * 3600 * 1000 + world().clockMicroseconds / 1000;
    const uint64_t days = ms / 86400000;
    time->wYear = 2026;
    time->wMonth = 12;
    time->wDay = static_cast<WORD>(7 + days);
    time->wDayOfWeek = static_cast<WORD>((1 + days) % 7);
    time->wHour = static_cast<WORD>(ms / 3600000 % 24);
    time->wMinute = static_cast<WORD>(ms / 60000 % 60);
    time->wSecond = static_cast<WORD>(ms / 1000 % 60);
    time->wMilliseconds = static_cast<WORD>(ms % 1000);
}

DWORD GetCurrentProcessId() { return 4242; }

LANGID GetUserDefaultUILanguage() {
    return world().language == testplat::Language::Japanese ? 0x0411 : 0x0409;
}

// The test platform is Windows 10 22H2, a workstation.
BOOL GetVersionExW(LPOSVERSIONINFOW info) {
    if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW) &&
                  info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 19045;
    info->dwPlatformId = 2;
    info->szCSDVersion[0] = 0;
    if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXW)) {
        auto* ex = reinterpret_cast<OSVERSIONINFOEXW*>(info);
        ex->wServicePackMajor = 0;
        ex->wServicePackMinor = 0;
        ex->wSuiteMask = 0;
        ex->wProductType = VER_NT_WORKSTATION;
    }
    return TRUE;
}

// The program's version block, laid out as the resource compiler lays it out:
// VS_VERSION_INFO with the fixed file information (file version 2.30.0.0),
// then a string table whose comment names the commit.
namespace {
std::vector<BYTE> MakeVersionBlock() {
    std::vector<BYTE> b;
    const auto word = [&b](unsigned w) {
        b.push_back(static_cast<BYTE>(w & 0xFF));
        b.push_back(static_cast<BYTE>(w >> 8));
    };
    const auto pad = [&b] {
        while (b.size() % 4) b.push_back(0);
    };
    // A node: length (patched when it ends), value length, type, key.
    const auto begin = [&](unsigned valueLength, unsigned type, const char* key) {
        pad();
        const size_t at = b.size();
        word(0);
        word(valueLength);
        word(type);
        for (const char* k = key; *k; ++k) word(static_cast<unsigned char>(*k));
        word(0);
        pad();
        return at;
    };
    const auto end = [&b](size_t at) {
        const size_t length = b.size() - at;
        b[at] = static_cast<BYTE>(length & 0xFF);
        b[at + 1] = static_cast<BYTE>(length >> 8);
    };
    const size_t root = begin(52, 0, "VS_VERSION_INFO");
    for (uint32_t d : {0xFEEF04BDu, 0x00010000u, 0x0002001Eu, 0u, 0x0002001Eu, 0u, 0x3Fu, 0u, 0x00040004u, 1u, 0u, 0u,
                       0u}) {
        word(d & 0xFFFF);
        word(d >> 16);
    }
    const size_t info = begin(0, 1, "StringFileInfo");
    const size_t table = begin(0, 1, "040904b0");
    const char kComment[] = "Commit of the test platform";
    const size_t comment = begin(sizeof kComment, 1, "Comments");
    for (const char* c = kComment; *c; ++c) word(static_cast<unsigned char>(*c));
    word(0);
    end(comment);
    end(table);
    end(info);
    end(root);
    return b;
}
const std::vector<BYTE>& VersionBlock() {
    static const std::vector<BYTE> block = MakeVersionBlock();
    return block;
}
const HRSRC kVersionResource = reinterpret_cast<HRSRC>(static_cast<uintptr_t>(0x3000));
}  // namespace

HRSRC FindResourceA(HMODULE m, LPCSTR name, LPCSTR type) {
    if ((m && m != testplat::kInstance) || type != RT_VERSION || name != MAKEINTRESOURCEA(VS_VERSION_INFO)) {
        SetLastError(1813);  // ERROR_RESOURCE_TYPE_NOT_FOUND
        return nullptr;
    }
    return kVersionResource;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    return resource == kVersionResource ? const_cast<BYTE*>(VersionBlock().data()) : nullptr;
}

LPVOID LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE, HRSRC resource) {
    return resource == kVersionResource ? static_cast<DWORD>(VersionBlock().size()) : 0;
}

// The environment holds one variable: the user's local application data
// folder, when the scene gives one.
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR value, DWORD size) {
    const std::u16string kName = u"LOCALAPPDATA";
    const std::string& dir = world().localAppData;
    if (!name || name != kName || dir.empty()) {
        SetLastError(203);  // ERROR_ENVVAR_NOT_FOUND
        return 0;
    }
    const int n = MultiByteToWideChar(CP_ACP, 0, dir.c_str(), -1, nullptr, 0);
    if (n <= 0) return 0;
    if (static_cast<DWORD>(n) > size) return static_cast<DWORD>(n);  // the size needed, with the NUL
    MultiByteToWideChar(CP_ACP, 0, dir.c_str(), -1, value, n);
    return static_cast<DWORD>(n - 1);
}

EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE flags) {
    auto& states = world().executionStates;
    const EXECUTION_STATE previous = states.empty() ? ES_CONTINUOUS : states.back();
    states.push_back(flags);
    return previous;
}

// The test platform's code page is UTF-8.
int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int length, LPWSTR wide, int wideLength) {
    if (codePage != CP_ACP || !text) return 0;
    const size_t n = length < 0 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    std::u16string out;
    for (size_t i = 0; i < n;) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        const int extra = b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        char32_t c = extra == 2 ? (b & 0x0F) : extra == 1 ? (b & 0x1F) : b;
        for (int k = 1; k <= extra && i + k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out += static_cast<char16_t>(c);
        i += static_cast<size_t>(extra) + 1;
    }
    if (wideLength == 0) return static_cast<int>(out.size());
    if (static_cast<int>(out.size()) > wideLength) return 0;
    std::copy(out.begin(), out.end(), wide);
    return static_cast<int>(out.size());
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int wideLength, LPSTR text, int length, LPCSTR,
                        LPBOOL usedDefault) {
    if (usedDefault) *usedDefault = FALSE;
    if (codePage != CP_UTF8 && codePage != CP_ACP) return 0;  // both are UTF-8 here
    if (!wide) return 0;
    size_t n = 0;
    if (wideLength < 0) {
        while (wide[n]) ++n;
        ++n;
    } else {
        n = static_cast<size_t>(wideLength);
    }
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    if (length == 0) return static_cast<int>(out.size());
    if (static_cast<int>(out.size()) > length) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(text, out.data(), out.size());
    return static_cast<int>(out.size());
}

LPSTR CharNextA(LPCSTR p) {
    if (!*p) return const_cast<LPSTR>(p);
    // Texts on this platform are UTF-8: step over a whole character.
    const unsigned char lead = static_cast<unsigned char>(*p);
    ++p;
    if (lead >= 0xC0) {
        while ((static_cast<unsigned char>(*p) & 0xC0) == 0x80) ++p;
    }
    return const_cast<LPSTR>(p);
}

DWORD CharUpperBuffA(LPSTR s, DWORD len) {
    for (DWORD i = 0; i < len; ++i) {
        if (s[i] >= 'a' && s[i] <= 'z') s[i] = static_cast<char>(s[i] - 'a' + 'A');
    }
    return len;
}

int LoadStringA(HINSTANCE, UINT id, LPSTR buf, int size) {
    const StringResource* r = FindStringResource(id);
    if (!r || size <= 0) return 0;
    const char* text = r->english;
    if (world().language == testplat::Language::Japanese && r->japanese) text = r->japanese;
    int n = std::min(static_cast<int>(std::strlen(text)), size - 1);
    // As Windows converts into a narrow buffer: a character of several bytes
    // that does not fit is left out whole, so a cut text can be two short.
    while (n > 0 && n < static_cast<int>(std::strlen(text)) && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(buf, text, static_cast<size_t>(n));
    buf[n] = '\0';
    return n;
}

HICON LoadIconA(HINSTANCE, LPCSTR name) {
    if (world().iconMissing || name != MAKEINTRESOURCEA(IDI_APP)) return nullptr;
    return testplat::kAppIcon;
}

HANDLE LoadImageA(HINSTANCE, LPCSTR name, UINT type, int cx, int cy, UINT) {
    if (world().iconMissing || name != MAKEINTRESOURCEA(IDI_APP) || type != IMAGE_ICON) return nullptr;
    static uintptr_t next = 0x30000;
    HICON icon = reinterpret_cast<HICON>(next += 4);
    world().iconsLoaded[icon] = testplat::IconRecord{cx, cy, false};
    return icon;
}

BOOL DestroyIcon(HICON icon) {
    auto it = world().iconsLoaded.find(icon);
    if (it == world().iconsLoaded.end() || it->second.destroyed) return FALSE;
    it->second.destroyed = true;
    return TRUE;
}

HMODULE LoadLibraryExA(LPCSTR name, HANDLE, DWORD flags) {
    void* lib = name ? dlopen(name, RTLD_NOW | RTLD_LOCAL) : nullptr;
    world().libraryEvents.push_back({name ? name : "", flags, lib != nullptr, false});
    if (!lib) SetLastError(ERROR_MOD_NOT_FOUND);
    return static_cast<HMODULE>(lib);
}

FARPROC GetProcAddress(HMODULE m, LPCSTR name) {
    void* sym = (m && name) ? dlsym(m, name) : nullptr;
    if (!sym) SetLastError(ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<FARPROC>(sym);
}

BOOL FreeLibrary(HMODULE m) {
    world().libraryEvents.push_back({"", 0, false, true});
    return m && dlclose(m) == 0 ? TRUE : FALSE;
}

}  // namespace os
