// Finding the firmware file beside the program and what its name sets.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "res/string_table.h"
#include "tests/integration/wizard_fixture.h"

using testplat::world;

namespace {
// What discovery must leave alone shows up as these values.
const char kVendor[] = "vendor before";
const char kModel[] = "model before";
const char kDriver[] = "driver before";
const int kLimit = 7, kProcedure = 8, kReplies = 9, kVersion = 999, kSize = 12345;

const char* Unknown() { return FindStringResource(IDS_CAP_NO_MODEL)->english; }
}  // namespace

class FirmwarePackageTest : public WizardTest {
protected:
    void Preset(CFirmwareUpdateDlg& dlg) {
        dlg.m_strVendor = kVendor;
        dlg.m_strModel = kModel;
        dlg.m_strDriver = kDriver;
        dlg.m_nSpoolerLimit = kLimit;
        dlg.m_nProcedure = kProcedure;
        dlg.m_bStatusReplies = kReplies;
        dlg.m_nNewVersion = kVersion;
        dlg.m_nFirmwareSize = kSize;
    }
    // Runs discovery on a dialog holding the values above; checks that it
    // leaves nothing open behind it.
    int Locate(CFirmwareUpdateDlg& dlg) {
        Preset(dlg);
        const size_t handles = testplat::OpenHandleCount();
        const int r = dlg.LocateFirmwarePackage();
        EXPECT_EQ(testplat::OpenHandleCount(), handles);
        return r;
    }
    void ExpectNoFileAndModelUntouched(const CFirmwareUpdateDlg& dlg) {
        EXPECT_EQ(dlg.m_strFirmwarePath, "");
        EXPECT_EQ(dlg.m_nNewVersion, 0);
        EXPECT_EQ(dlg.m_nFirmwareSize, kSize);
        EXPECT_EQ(dlg.m_strVendor, kVendor);
        EXPECT_EQ(dlg.m_strModel, kModel);
        EXPECT_EQ(dlg.m_strDriver, kDriver);
        EXPECT_EQ(dlg.m_nSpoolerLimit, kLimit);
        EXPECT_EQ(dlg.m_nProcedure, kProcedure);
        EXPECT_EQ(dlg.m_bStatusReplies, kReplies);
    }
};

namespace {
struct Found {
    const char* file;  // the one entry of the program's folder
    const char* vendor;
    const char* model;  // null: "Unknown"
    const char* driver;
    int limit, procedure, replies, version;
};

const Found kFound[] = {
    {"KM500_V300.x", "Tarvonic", "KM500", "Tarvonic KM500", 500, 0, 0, 300},
    {"km500_v300.X", "Tarvonic", "KM500", "Tarvonic KM500", 500, 0, 0, 300},  // the name is upper-cased
    {"KM500AP_V300.x", "Tarvonic", "KM500-120AP", "Tarvonic KM500-120AP", 500, 0, 0, 300},
    {"RT600_V105.x", "Brookvale", "RT600", "Brook Vale Rt600", 0, 2, 1, 105},
    // A key that is no row: "Unknown", vendor, limit and procedure reset;
    // driver and status-reply flag keep their values.
    {"KM500-120AP_V300.x", "", nullptr, kDriver, 0, 0, kReplies, 300},
    // No key at all: no member of the model is touched.
    {"KM500.x", kVendor, kModel, kDriver, kLimit, kProcedure, kReplies, 0},
    {"_V300.x", kVendor, kModel, kDriver, kLimit, kProcedure, kReplies, 300},
    {"KM500.V2.x", kVendor, kModel, kDriver, kLimit, kProcedure, kReplies, 2},  // only the last "." starts the extension
};
}  // namespace

TEST_F(FirmwarePackageTest, TheOneFileSetsPathSizeModelAndVersion) {
    for (const Found& c : kFound) {
        SCOPED_TRACE(c.file);
        WriteFile(c.file, std::string(1234, 'F'));
        CFirmwareUpdateDlg dlg;
        EXPECT_EQ(Locate(dlg), 1);
        EXPECT_EQ(dlg.m_strFirmwarePath, (dir + c.file).c_str());  // in the directory's letter case
        EXPECT_EQ(dlg.m_nFirmwareSize, 1234);
        EXPECT_EQ(dlg.m_strVendor, c.vendor);
        EXPECT_EQ(dlg.m_strModel, c.model ? c.model : Unknown());
        EXPECT_EQ(dlg.m_strDriver, c.driver);
        EXPECT_EQ(dlg.m_nSpoolerLimit, c.limit);
        EXPECT_EQ(dlg.m_nProcedure, c.procedure);
        EXPECT_EQ(dlg.m_bStatusReplies, c.replies);
        EXPECT_EQ(dlg.m_nNewVersion, c.version);
        std::filesystem::remove(dir + c.file);
    }
}

TEST_F(FirmwarePackageTest, AnUnknownKeyReadsUnknownInTheUsersLanguage) {
    world().language = testplat::Language::Japanese;
    WriteFile("ZZ9_V100.x", "F");
    CFirmwareUpdateDlg dlg;
    EXPECT_EQ(Locate(dlg), 1);
    EXPECT_EQ(dlg.m_strModel, FindStringResource(IDS_CAP_NO_MODEL)->japanese);
}

TEST_F(FirmwarePackageTest, NoFileIsAcceptedUnlessExactlyOneEntryMatches) {
    const struct {
        const char* name;
        std::vector<std::string> files;
        std::vector<std::string> folders;
    } cases[] = {
        {"empty folder", {}, {}},
        {"two firmware files", {"KM500_V300.x", "KM600_V120.x"}, {}},
        {"one firmware twice", {"KM500_V300.x", "km500_v300.X"}, {}},
        {"a folder named like a firmware file", {}, {"LX700_V100.x"}},
        {"a firmware file beside such a folder", {"KM500_V300.x"}, {"LX700_V100.x"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string& f : c.files) WriteFile(f, "F");
        for (const std::string& f : c.folders) MakeFolder(f);
        CFirmwareUpdateDlg dlg;
        EXPECT_EQ(Locate(dlg), 0);
        ExpectNoFileAndModelUntouched(dlg);
        for (const std::string& f : c.files) std::filesystem::remove(dir + f);
        for (const std::string& f : c.folders) std::filesystem::remove(dir + f);
    }
}

TEST_F(FirmwarePackageTest, NearNamesBesideTheFirmwareFileDoNotCount) {
    for (const char* f : {"KM500_V300.xx", "KM500_V300.x.bak", "KM500_V300", "readme.txt"}) WriteFile(f, "near");
    WriteFile("KM500_V300.x", "FIRMWARE");
    CFirmwareUpdateDlg dlg;
    EXPECT_EQ(Locate(dlg), 1);
    EXPECT_EQ(dlg.m_strFirmwarePath, (dir + "KM500_V300.x").c_str());
    EXPECT_EQ(dlg.m_nFirmwareSize, 8);
}

TEST_F(FirmwarePackageTest, AFileThatCannotBeOpenedOrMeasuredIsNoFirmware) {
    WriteFile("KM500_V300.x", "FIRMWARE");
    {
        SCOPED_TRACE("held open by another program without sharing");
        world().lockedFiles.insert(dir + "KM500_V300.x");
        CFirmwareUpdateDlg dlg;
        EXPECT_EQ(Locate(dlg), 0);
        ExpectNoFileAndModelUntouched(dlg);
        world().lockedFiles.clear();
    }
    {
        SCOPED_TRACE("length cannot be read");
        world().fileSizeFails = true;
        CFirmwareUpdateDlg dlg;
        EXPECT_EQ(Locate(dlg), 0);
        ExpectNoFileAndModelUntouched(dlg);
        world().fileSizeFails = false;
    }
    CFirmwareUpdateDlg dlg;
    EXPECT_EQ(Locate(dlg), 1);  // the same file, once it can be read
}

TEST_F(FirmwarePackageTest, ALengthBeyondTheSizeMemberCountsAsUnmeasurable) {
    // Sparse files: the length is set, no disk is used.
    const std::string path = dir + "KM500_V300.x";
    WriteFile("KM500_V300.x", "");
    const off_t lengths[] = {INT_MAX, off_t{INT_MAX} + 1, off_t{1} << 32};  // the last: low half 0
    for (const off_t length : lengths) {
        SCOPED_TRACE(length);
        ASSERT_EQ(truncate(path.c_str(), length), 0);
        CFirmwareUpdateDlg dlg;
        if (length == INT_MAX) {
            EXPECT_EQ(Locate(dlg), 1);
            EXPECT_EQ(dlg.m_nFirmwareSize, INT_MAX);
        } else {
            EXPECT_EQ(Locate(dlg), 0);
            ExpectNoFileAndModelUntouched(dlg);
        }
    }
}

TEST_F(FirmwarePackageTest, SearchesTheProgramsFolderNotTheCurrentOne) {
    const std::string elsewhere = dir + "current/";
    MakeFolder("current");
    std::ofstream(elsewhere + "LX700_V100.x") << "F";
    world().currentDir = elsewhere;
    WriteFile("KM500_V300.x", "F");
    CFirmwareUpdateDlg dlg;
    EXPECT_EQ(Locate(dlg), 1);
    EXPECT_EQ(dlg.m_strFirmwarePath, (dir + "KM500_V300.x").c_str());
}

TEST_F(FirmwarePackageTest, APathBeyondTheSystemLimitIsNeverUsedCutShort) {
    {
        SCOPED_TRACE("module path too long: cut, its folder would still be this one");
        WriteFile("KM500_V300.x", "F");
        world().modulePath = dir + std::string(300, 'U') + ".EXE";
        CFirmwareUpdateDlg dlg;
        EXPECT_EQ(Locate(dlg), 0);
        ExpectNoFileAndModelUntouched(dlg);
    }
    {
        SCOPED_TRACE("module path fits, the search pattern does not");
        // A folder of MAX_PATH - 3 characters: folder + "U" fits, folder + "*.x" does not.
        std::string folder = dir;
        while (folder.size() < MAX_PATH - 3) {
            const size_t part = std::min<size_t>(100, MAX_PATH - 3 - folder.size() - 1);
            folder += std::string(part, 'd') + "/";
        }
        ASSERT_EQ(folder.size(), static_cast<size_t>(MAX_PATH - 3));
        std::filesystem::create_directories(folder);
        std::ofstream(folder + "KM500_V300.x") << "F";
        world().modulePath = folder + "U";
        CFirmwareUpdateDlg dlg;
        EXPECT_EQ(Locate(dlg), 0);
        ExpectNoFileAndModelUntouched(dlg);
    }
}
