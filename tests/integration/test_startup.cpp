// Start-up: one copy per desktop, the program's folder current while it runs.
#include <gtest/gtest.h>

#include "tests/integration/wizard_fixture.h"

using testplat::world;

TEST_F(WizardTest, SecondCopyRestoresAndActivatesTheRunningWizardAndShowsNothing) {
    world().existingMutexes.insert("UPDATE");
    world().AddTopLevelWindow("other program", "");
    world().AddTopLevelWindow("running wizard", "UPDATE", /*iconic=*/true);
    RunProgram();
    EXPECT_EQ(world().dialogsCreated, 0);
    EXPECT_TRUE(world().messageBoxes.empty());
    EXPECT_EQ(world().activations,
              (std::vector<std::string>{"restore running wizard", "top running wizard", "foreground running wizard"}));
    EXPECT_TRUE(world().currentDirChanges.empty());
}

TEST_F(WizardTest, SecondCopyBringsTheRunningCopysMessageBoxToTheFront) {
    world().existingMutexes.insert("UPDATE");
    HWND wizard = world().AddTopLevelWindow("running wizard", "UPDATE");
    HWND box = world().AddTopLevelWindow("its message box", "");
    world().Find(wizard)->lastActivePopup = box;
    RunProgram();
    EXPECT_EQ(world().activations,
              (std::vector<std::string>{"top running wizard", "top its message box", "foreground its message box"}));
    EXPECT_EQ(world().foreground, box);
}

TEST_F(WizardTest, SecondCopyEndsQuietlyBeforeTheFirstHasItsProperty) {
    world().existingMutexes.insert("UPDATE");
    world().AddTopLevelWindow("wizard still opening", "");
    RunProgram();
    EXPECT_EQ(world().dialogsCreated, 0);
    EXPECT_TRUE(world().activations.empty());
}

TEST_F(WizardTest, CopyUnderAnotherNameIsNotBlocked) {
    world().existingMutexes.insert("UPDATE");
    world().AddTopLevelWindow("running wizard", "UPDATE");
    world().modulePath = dir + "UPDATE2.EXE";
    RunProgram([](CFirmwareUpdateDlg&, HWND h) { EXPECT_EQ(os::GetPropA(h, "UPDATE2"), reinterpret_cast<HANDLE>(1)); });
    EXPECT_EQ(world().dialogsCreated, 1);
    EXPECT_TRUE(world().activations.empty());
}

TEST_F(WizardTest, ProgramFolderIsCurrentWhileRunningAndTheStartFolderComesBack) {
    const std::string folder = dir.substr(0, dir.size() - 1);
    RunProgram([&](CFirmwareUpdateDlg&, HWND) { EXPECT_EQ(world().currentDir, folder); });
    EXPECT_EQ(world().currentDirChanges, (std::vector<std::string>{folder, "/"}));
    EXPECT_EQ(world().currentDir, "/");
}

TEST_F(WizardTest, CutModulePathIsNeverUsed) {
    // A folder so deep that the program's own path does not fit MAX_PATH.
    std::string deep = dir;
    while (deep.size() < MAX_PATH + 10) deep += "deeper-folder/";
    world().modulePath = deep + "UPDATE.EXE";
    RunProgram([&](CFirmwareUpdateDlg& dlg, HWND) {
        EXPECT_EQ(world().currentDir, "/");
        EXPECT_EQ(dlg.LoadLinkLibrary(), 0);
        EXPECT_EQ(dlg.m_hLinkLib, nullptr);
    });
    EXPECT_TRUE(world().libraryEvents.empty());
    EXPECT_EQ(world().dialogsCreated, 1);
}

TEST_F(WizardTest, MessageBoxesAreCaptionedWithTheApplicationTitle) {
    RunProgram([](CFirmwareUpdateDlg&, HWND h) {
        world().messageBoxes.clear();  // the check's own box, with no firmware file here
        AfxMessageBox("hello", MB_OK | MB_ICONINFORMATION);
        ASSERT_EQ(world().messageBoxes.size(), 1u);
        EXPECT_EQ(world().messageBoxes[0].caption, "Firmware Update Ver.2.30");
        EXPECT_EQ(world().messageBoxes[0].owner, h);
    });
}
