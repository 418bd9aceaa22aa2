// Binding the link library from the program's folder, with the simulator and
// its variants that lack one entry.
#include <gtest/gtest.h>

#include "sim/sim_log.h"
#include "tests/integration/wizard_fixture.h"

using testplat::world;

namespace {
const char* const kEntries[] = {"ZEPL_InitDll", "ZEPL_EntryUsbCheck", "ZEPL_OpenUsbEx",
                                "ZEPL_Write",   "ZEPL_Read",          "ZEPL_Close"};

// The six entry members, in binding order.
std::vector<bool> Resolved(const CFirmwareUpdateDlg& d) {
    return {d.m_pfnInitDll != nullptr, d.m_pfnEntryUsbCheck != nullptr, d.m_pfnOpenUsbEx != nullptr,
            d.m_pfnWrite != nullptr,   d.m_pfnRead != nullptr,          d.m_pfnClose != nullptr};
}

bool AllClear(const CFirmwareUpdateDlg& d) {
    const auto r = Resolved(d);
    return d.m_hLinkLib == nullptr && std::none_of(r.begin(), r.end(), [](bool b) { return b; });
}
}  // namespace

TEST_F(WizardTest, LoadsTheLibraryBesideTheProgramAndInitialisesItWithTheVendor) {
    InstallLibrary();
    WriteScenario("");
    RunProgram([&](CFirmwareUpdateDlg& dlg, HWND) {
        dlg.m_strVendor = "Tarvonic";
        ASSERT_EQ(dlg.LoadLinkLibrary(), 1);
        EXPECT_NE(dlg.m_hLinkLib, nullptr);
        EXPECT_EQ(Resolved(dlg), std::vector<bool>(6, true));
        EXPECT_EQ(dlg.FreeLinkLibrary(), 1);
        EXPECT_TRUE(AllClear(dlg));
        EXPECT_EQ(dlg.FreeLinkLibrary(), 0);
    });
    ASSERT_GE(world().libraryEvents.size(), 1u);
    const testplat::LibraryEvent& load = world().libraryEvents[0];
    EXPECT_EQ(load.path, dir + "ZEPLPRNP.DLL");
    EXPECT_EQ(load.flags, static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH));

    const auto inits = zepl_sim::CallsOf(zepl_sim::ReadLog(logPath), "ZEPL_InitDll");
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0].Text("vendor"), "Tarvonic");
    EXPECT_EQ(inits[0].Int("a"), 1);
    EXPECT_EQ(inits[0].Int("b"), 9100);
    EXPECT_EQ(inits[0].Int("c"), 0);
    EXPECT_EQ(inits[0].Int("d"), 0);
}

TEST_F(WizardTest, InitialisationIsAcceptedOnlyWhenItReturnsExactlyOne) {
    InstallLibrary();
    for (const char* result : {"0", "2", "-1", "99"}) {
        WriteScenario(std::string("init_result = ") + result + "\n");
        RunProgram([&](CFirmwareUpdateDlg& dlg, HWND) {
            EXPECT_EQ(dlg.LoadLinkLibrary(), 0) << result;
            EXPECT_NE(dlg.m_hLinkLib, nullptr) << "a refused library stays loaded until released";
            EXPECT_EQ(Resolved(dlg), std::vector<bool>(6, true));
        });
        EXPECT_TRUE(world().libraryEvents.back().isFree) << "released when the dialog went";
    }
}

TEST_F(WizardTest, MissingLibraryFileGivesZeroAndLoadsNothing) {
    RunProgram([&](CFirmwareUpdateDlg& dlg, HWND) {
        EXPECT_EQ(dlg.LoadLinkLibrary(), 0);
        EXPECT_TRUE(AllClear(dlg));
        EXPECT_EQ(dlg.FreeLinkLibrary(), 0);
    });
    ASSERT_EQ(world().libraryEvents.size(), 1u);
    EXPECT_FALSE(world().libraryEvents[0].loaded);
}

class MissingEntry : public WizardTest, public ::testing::WithParamInterface<int> {};

TEST_P(MissingEntry, StopsAtTheFirstMissingEntryWithoutInitialising) {
    const int missing = GetParam();
    InstallLibrary(std::string("zepl_sim_without_") + kEntries[missing]);
    WriteScenario("");
    RunProgram([&](CFirmwareUpdateDlg& dlg, HWND) {
        EXPECT_EQ(dlg.LoadLinkLibrary(), 0);
        EXPECT_NE(dlg.m_hLinkLib, nullptr);
        std::vector<bool> expected(6, false);
        for (int i = 0; i < missing; ++i) expected[static_cast<size_t>(i)] = true;
        EXPECT_EQ(Resolved(dlg), expected) << "entries after the missing one are not resolved";
        EXPECT_EQ(dlg.FreeLinkLibrary(), 1);
        EXPECT_TRUE(AllClear(dlg));
    });
    EXPECT_TRUE(zepl_sim::CallsOf(zepl_sim::ReadLog(logPath), "ZEPL_InitDll").empty());
}

INSTANTIATE_TEST_SUITE_P(EachEntry, MissingEntry, ::testing::Range(0, 6),
                         [](const auto& info) { return std::string(kEntries[info.param]); });

TEST_F(WizardTest, LibraryPathThatWouldNotFitMaxPathIsNotLoaded) {
    // The program's own path fits, but the library's name beside it would not.
    std::string deep = dir;
    deep += std::string(MAX_PATH - 11 - deep.size() - 1, 'd') + "/";  // 249 characters
    world().modulePath = deep + "UPDATE.EXE";
    ASSERT_LT(world().modulePath.size(), static_cast<size_t>(MAX_PATH));
    ASSERT_GE((deep + "ZEPLPRNP.DLL").size(), static_cast<size_t>(MAX_PATH));
    RunProgram([&](CFirmwareUpdateDlg& dlg, HWND) { EXPECT_EQ(dlg.LoadLinkLibrary(), 0); });
    EXPECT_TRUE(world().libraryEvents.empty());
}
