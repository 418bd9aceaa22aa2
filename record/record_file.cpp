#include "record/record_file.h"

#include <vector>

#include "platform/os.h"

namespace record {
namespace {
// A path in wide characters, always ending in its NUL. (A vector, not a wide
// string: the library's wide strings would weigh more than the record.)
typedef std::vector<WCHAR> WidePath;

void AppendAscii(WidePath* path, const char* ascii) {
    path->pop_back();
    for (const char* p = ascii; *p; ++p) path->push_back(static_cast<WCHAR>(*p));
    path->push_back(0);
}

// Appends a text of the system code page, such as the program's name.
bool AppendText(WidePath* path, const std::string& text) {
    const int n = os::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 1) return false;
    const size_t at = path->size() - 1;
    path->resize(at + static_cast<size_t>(n));
    return os::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &(*path)[at], n) == n;
}

WidePath Path(const WidePath& folder, const std::string& program, const char* suffix) {
    WidePath path = folder;
    AppendAscii(&path, "\\");
    AppendText(&path, program);
    AppendAscii(&path, suffix);
    return path;
}

// The record's file, held while one batch of lines is appended.
class RecordHandle {
public:
    explicit RecordHandle(const WidePath& path) { Open(path); }
    ~RecordHandle() { Close(); }
    RecordHandle(const RecordHandle&) = delete;
    RecordHandle& operator=(const RecordHandle&) = delete;

    // Appends only; readers may look meanwhile, no other writer may open it.
    bool Open(const WidePath& path) {
        Close();
        m_h = os::CreateFileW(path.data(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        return m_h != INVALID_HANDLE_VALUE;
    }
    void Close() {
        if (m_h != INVALID_HANDLE_VALUE) os::CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }
    bool IsOpen() const { return m_h != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h = INVALID_HANDLE_VALUE;
};
}  // namespace

bool AppendToRecordFile(const std::string& programName, const std::string& text, bool mayRotate) {
    // The folder Windows names in every user's environment. (The shell would
    // name it too, but loading the shell costs the wizard megabytes.)
    WCHAR base[MAX_PATH] = {0};
    const WCHAR kVariable[] = {'L', 'O', 'C', 'A', 'L', 'A', 'P', 'P', 'D', 'A', 'T', 'A', 0};
    const DWORD n = os::GetEnvironmentVariableW(kVariable, base, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    WidePath folder(base, base + std::char_traits<WCHAR>::length(base) + 1);
    AppendAscii(&folder, "\\");
    if (programName.empty() || !AppendText(&folder, programName)) return false;
    const WidePath path = Path(folder, programName, ".log");
    const WidePath old = Path(folder, programName, ".old.log");
    if (old.size() > MAX_PATH) return false;  // never a path cut short

    // Made at the first run; when it cannot be made, the open fails.
    os::CreateDirectoryW(folder.data(), nullptr);
    RecordHandle file(path);
    if (!file.IsOpen()) return false;

    DWORD high = 0;
    const DWORD low = os::GetFileSize(file.Get(), &high);
    if (mayRotate && low != INVALID_FILE_SIZE && (high != 0 || low > kRotateBytes)) {
        // Moved aside once; when it cannot be moved, the record goes on growing.
        file.Close();
        os::MoveFileExW(path.data(), old.data(), MOVEFILE_REPLACE_EXISTING);
        if (!file.Open(path)) return false;
    }
    DWORD written = 0;
    return os::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

}  // namespace record
