// A program folder on disk and the whole program run against the test
// platform, with the plotter simulator standing in for the link library.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "testing/test_platform.h"
#include "wizard/firmware_update_dlg.h"

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new program folder and an empty desktop, for the next row of a table.
    void StartAfresh() {
        TearDown();
        SetUp();
    }

    // Path of a simulator build: "zepl_sim" or a variant such as
    // "zepl_sim_without_ZEPL_Close".
    static std::string SimulatorPath(const std::string& variant = "zepl_sim");
    // Puts a simulator build into the program folder as the link library.
    void InstallLibrary(const std::string& variant = "zepl_sim");
    // Writes the simulator's scenario (its log and received bytes go beside it).
    void WriteScenario(const std::string& text);
    void WriteFile(const std::string& name, const std::string& bytes);
    void MakeFolder(const std::string& name);
    std::string ReadFile(const std::string& name) const;

    // Runs the program: application object, start-up, the wizard modally.
    // body runs once, when the wizard first waits for the user; then the user
    // closes it. Returns the process exit code.
    int RunProgram(const std::function<void(CFirmwareUpdateDlg& dlg, HWND dialog)>& body = nullptr);
    // The same, with the user acting at every wait until user returns false.
    int RunWithUser(const std::function<bool(HWND dialog)>& user);

    std::string dir;          // the program's folder, ending in "/"
    std::string scenarioPath;
    std::string logPath;
    std::string receivedPath;
};
