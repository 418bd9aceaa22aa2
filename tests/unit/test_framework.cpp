// The framework's string and path helpers, which every subsystem leans on.
#include <gtest/gtest.h>

#include "platform/afx.h"
#include "platform/paths.h"
#include "testing/test_platform.h"

TEST(CStringTest, FindCountsBytesAndNeverMatchesInsideAMultibyteCharacter) {
    EXPECT_EQ(CString("KM500_V300").Find('_'), 5);
    EXPECT_EQ(CString("KM500_V300").Find('V'), 6);
    EXPECT_EQ(CString("KM500").Find('_'), -1);
    EXPECT_EQ(CString("").Find('_'), -1);
    EXPECT_EQ(CString("ab,cd,").Find(","), 2);
    // On this platform texts are UTF-8: the search steps over whole characters.
    EXPECT_EQ(CString("\xE3\x83\x97_V1").Find('_'), 3);
}

TEST(CStringTest, TrimRemovesExactlyTheSixWhiteSpaceCharacters) {
    CString s(" \t\r\n\v\fKM 500\f\v\n\r\t ");
    s.Trim();
    EXPECT_EQ(s, "KM 500");
    CString keep("\x1f" "x\xA0");
    keep.Trim();
    EXPECT_EQ(keep.GetLength(), 3);
}

TEST(CStringTest, PartsAndUpperCase) {
    CString s("km500_v300");
    s.MakeUpper();
    EXPECT_EQ(s, "KM500_V300");
    EXPECT_EQ(s.Left(5), "KM500");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Left(99), "KM500_V300");
    EXPECT_EQ(s.Mid(7), "300");
    EXPECT_EQ(s.Mid(10), "");
    EXPECT_EQ(s.Right(3), "300");
    CString f;
    f.Format("%d.%02d", 210 / 100, 210 % 100);
    EXPECT_EQ(f, "2.10");
}

TEST(PathsTest, FolderNameAndBaseName) {
    struct Case {
        const char* path;
        const char* folder;
        const char* file;
        const char* base;
    } cases[] = {
        {"C:\\Tools\\Update\\UPDATE.EXE", "C:\\Tools\\Update\\", "UPDATE.EXE", "UPDATE"},
        {"/tmp/x/UPDATE.EXE", "/tmp/x/", "UPDATE.EXE", "UPDATE"},
        {"C:UPDATE.EXE", "C:", "UPDATE.EXE", "UPDATE"},
        {"UPDATE", "", "UPDATE", "UPDATE"},
        {"C:\\a.b\\KM500_V3.00.x", "C:\\a.b\\", "KM500_V3.00.x", "KM500_V3.00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(paths::Folder(c.path), c.folder) << c.path;
        EXPECT_EQ(paths::FileName(c.path), c.file) << c.path;
        EXPECT_EQ(paths::BaseName(c.path), c.base) << c.path;
    }
}

TEST(PathsTest, ModulePathRefusesAPathThatDoesNotFitMaxPath) {
    testplat::Reset();
    std::string path;
    testplat::world().modulePath = "/" + std::string(MAX_PATH - 2, 'a');  // 259 characters: fits
    EXPECT_TRUE(paths::ModulePath(nullptr, &path));
    EXPECT_EQ(path.size(), static_cast<size_t>(MAX_PATH - 1));
    testplat::world().modulePath += "b";  // 260: the system would cut it
    EXPECT_FALSE(paths::ModulePath(nullptr, &path));
}
