#include "tests/integration/wizard_fixture.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <fstream>
#include <sstream>

#include "app/firmware_update_app.h"

namespace fs = std::filesystem;

void WizardTest::SetUp() {
    testplat::Reset();
    char templ[] = "/tmp/wizard-test-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    dir = std::string(templ) + "/";
    testplat::world().modulePath = dir + "UPDATE.EXE";
    testplat::world().currentDir = "/";
    scenarioPath = dir + "scenario.txt";
    logPath = dir + "sim.log";
    receivedPath = dir + "received.bin";
    unsetenv("ZEPL_SIM_SCENARIO");
    unsetenv("ZEPL_SIM_LOG");
    unsetenv("ZEPL_SIM_RECEIVED");
}

void WizardTest::TearDown() {
    std::error_code ec;
    fs::remove_all(dir, ec);
    unsetenv("ZEPL_SIM_SCENARIO");
    unsetenv("ZEPL_SIM_LOG");
    unsetenv("ZEPL_SIM_RECEIVED");
}

std::string WizardTest::SimulatorPath(const std::string& variant) {
    return std::string(ZEPL_SIM_DIR) + "/lib" + variant + ".so";
}

void WizardTest::InstallLibrary(const std::string& variant) {
    fs::copy_file(SimulatorPath(variant), dir + ZEPL_LIBRARY_NAME, fs::copy_options::overwrite_existing);
}

void WizardTest::WriteScenario(const std::string& text) {
    std::ofstream(scenarioPath, std::ios::binary) << text;
    setenv("ZEPL_SIM_SCENARIO", scenarioPath.c_str(), 1);
    setenv("ZEPL_SIM_LOG", logPath.c_str(), 1);
    setenv("ZEPL_SIM_RECEIVED", receivedPath.c_str(), 1);
}

void WizardTest::WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(dir + name, std::ios::binary) << bytes;
}

void WizardTest::MakeFolder(const std::string& name) { fs::create_directories(dir + name); }

std::string WizardTest::ReadFile(const std::string& name) const {
    std::ifstream in(name.empty() || name[0] == '/' ? name : dir + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int WizardTest::RunProgram(const std::function<void(CFirmwareUpdateDlg&, HWND)>& body) {
    bool ran = false;
    return RunWithUser([&](HWND dialog) {
        if (ran || !body) return false;
        ran = true;
        body(*static_cast<CFirmwareUpdateDlg*>(AfxGetMainWnd()), dialog);
        return true;
    });
}

int WizardTest::RunWithUser(const std::function<bool(HWND)>& user) {
    // The process's named mutexes go with it: a later run is a new process.
    const std::set<std::string> mutexesBefore = testplat::world().existingMutexes;
    CFirmwareUpdateApp app;
    testplat::world().onIdle = user;
    const int code = AfxRunApplication(os::GetModuleHandleA(nullptr));
    testplat::world().onIdle = nullptr;
    testplat::world().existingMutexes = mutexesBefore;
    return code;
}
