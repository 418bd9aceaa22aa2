// The whole wizard against the simulated plotter, driven as a user drives it:
// the program opens and checks by itself, the user presses Start a number of
// times and then closes. What the user saw at each pause, every message box,
// and what the plotter received are kept for the test to read.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "package/model_table.h"
#include "res/string_table.h"
#include "sim/sim_log.h"
#include "testing/spooler.h"
#include "tests/integration/wizard_fixture.h"

// What the dialog shows, read from its controls.
struct Screen {
    std::string model, current, fresh, guidance, start, close, percent;
    bool startEnabled = false, closeEnabled = false, percentShown = false, barShown = false, closeGrayed = false;
    int bar = 0;
    bool directUsb = true;
    WizardState state = WizardState::Checking;
};

class UpdateTest : public WizardTest {
protected:
    static std::string Str(unsigned id, testplat::Language lang = testplat::Language::English) {
        const StringResource* r = FindStringResource(id);
        if (!r) return "<missing " + std::to_string(id) + ">";
        return (lang == testplat::Language::Japanese && r->japanese) ? r->japanese : r->english;
    }
    static Screen Look(HWND h) {
        using testplat::Control;
        using testplat::Text;
        Screen s;
        s.model = Text(Control(h, IDC_MODEL_NAME));
        s.current = Text(Control(h, IDC_CURRENT_VERSION));
        s.fresh = Text(Control(h, IDC_NEW_VERSION));
        s.guidance = Text(Control(h, IDC_MESSAGE));
        s.start = Text(Control(h, IDOK));
        s.close = Text(Control(h, IDCANCEL));
        s.percent = Text(Control(h, IDC_PERCENT));
        s.startEnabled = testplat::Enabled(Control(h, IDOK));
        s.closeEnabled = testplat::Enabled(Control(h, IDCANCEL));
        s.percentShown = testplat::Shown(Control(h, IDC_PERCENT));
        s.barShown = testplat::Shown(Control(h, IDC_PROGRESS));
        s.bar = static_cast<int>(os::SendMessageA(Control(h, IDC_PROGRESS), PBM_GETPOS, 0, 0));
        s.closeGrayed = testplat::world().Find(h)->closeGrayed;
        const auto* dlg = static_cast<CFirmwareUpdateDlg*>(AfxGetMainWnd());
        s.state = dlg->m_state;
        s.directUsb = dlg->m_bDirectUsb != 0;
        return s;
    }

    // A folder as delivered: the simulator as the link library, one firmware
    // file of size bytes, and the plotter's scenario; the model's Windows
    // printer is on the plotter's port.
    void Deliver(const std::string& firmwareName, size_t size, const zepl_sim::Scenario& scenario) {
        if (const ModelEntry* row = FindModelEntry(firmwareName.substr(0, firmwareName.find('_')).c_str()))
            AddPrinter(row->szDriver);
        InstallLibrary();
        firmware = Bytes(size);
        firmwareName_ = firmwareName;
        WriteFile(firmwareName, firmware);
        WriteScenario(scenario.ToText());
    }
    static std::string Bytes(size_t size) {
        std::string b(size, '\0');
        for (size_t i = 0; i < size; ++i) b[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
        return b;
    }
    // The Windows printer the second check looks for.
    static void AddPrinter(const std::string& driver, const std::string& port = "USB001") {
        testplat::spooler().printers.push_back({"Cutter", port, driver});
    }

    // Runs the program: the user presses Start up to presses times, each time
    // it is enabled when the wizard waits, then closes. The screen is kept
    // at every wait.
    int Run(int presses) {
        screens.clear();
        int left = presses;
        return RunWithUser([&](HWND h) {
            screens.push_back(Look(h));
            if (!screens.back().startEnabled) {
                // Enter or a posted Start command, where the button is off:
                // it neither closes the dialog nor changes anything.
                os::SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                EXPECT_FALSE(testplat::world().Find(h)->ended);
                EXPECT_EQ(Look(h).guidance, screens.back().guidance);
                EXPECT_EQ(Look(h).state, screens.back().state);
                return false;
            }
            if (left <= 0) return false;
            if (beforePress) beforePress(presses - left);
            --left;
            os::SendMessageA(testplat::Control(h, IDOK), BM_CLICK, 0, 0);
            return true;
        });
    }
    const Screen& Last() const { return screens.back(); }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& b : testplat::world().messageBoxes) texts.push_back(b.text);
        return texts;
    }
    std::vector<zepl_sim::Call> Log() const { return zepl_sim::ReadLog(logPath); }
    std::vector<zepl_sim::Call> DataWrites() const {
        std::vector<zepl_sim::Call> data;
        for (const auto& c : zepl_sim::CallsOf(Log(), "ZEPL_Write"))
            if (c.Text("kind") == "data") data.push_back(c);
        return data;
    }
    int Sleeps(DWORD ms) const {
        int n = 0;
        for (DWORD s : testplat::world().sleeps) n += s == ms;
        return n;
    }

    // Runs before the n-th press (from 0), as the user or the world acts.
    std::function<void(int press)> beforePress;
    std::string firmware;
    std::string firmwareName_;
    std::vector<Screen> screens;
};
