// The record's file on the real Win32 services: made in the user's local
// application data, appended to, refused while another program writes to
// it (so lines of two runs never mix), and moved aside when it is big.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/os.h"
#include "record/record_file.h"

namespace {
std::string ReadAll(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string text;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
    CloseHandle(h);
    return text;
}
}  // namespace

TEST(RecordFileWin, AppendsInLocalAppDataRefusedWhileAnotherWritesMovedAsideWhenBig) {
    wchar_t base[MAX_PATH] = {0};
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    const std::string name = "updater-record-test-" + std::to_string(GetCurrentProcessId());
    const std::wstring wideName(name.begin(), name.end());
    const std::wstring folder = std::wstring(base) + L"\\" + wideName;
    const std::wstring path = folder + L"\\" + wideName + L".log";
    const std::wstring old = folder + L"\\" + wideName + L".old.log";

    EXPECT_TRUE(record::AppendToRecordFile(name, "one\r\n", true));
    {
        // Another program appending right now: this batch waits for a later try.
        HANDLE other = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(other, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(record::AppendToRecordFile(name, "two\r\n", false));
        CloseHandle(other);
    }
    EXPECT_TRUE(record::AppendToRecordFile(name, "three\r\n", false));
    EXPECT_EQ(ReadAll(path), "one\r\nthree\r\n");

    const std::string big(record::kRotateBytes, 'b');
    EXPECT_TRUE(record::AppendToRecordFile(name, big, false));
    EXPECT_TRUE(record::AppendToRecordFile(name, "four\r\n", true));
    EXPECT_EQ(ReadAll(old), "one\r\nthree\r\n" + big);
    EXPECT_EQ(ReadAll(path), "four\r\n");

    DeleteFileW(path.c_str());
    DeleteFileW(old.c_str());
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str()));
}
