// The wizard with the simulated plotter's library loaded, for the channels
// and the query protocol: a test writes a scenario and runs its body on the
// dialog while the library is loaded, then reads the simulator's log.
#pragma once

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim_log.h"
#include "testing/spooler.h"
#include "tests/integration/wizard_fixture.h"

class PlotterLinkTest : public WizardTest {
protected:
    // Loads the library for a model that answers status queries, runs body
    // and releases the library. The log holds the calls from this load only.
    void Run(const zepl_sim::Scenario& scenario, const std::function<void(CFirmwareUpdateDlg&)>& body) {
        InstallLibrary();
        WriteScenario(scenario.ToText());
        // The run before this one has ended and let go of its mutex; the
        // program would otherwise take itself for a second copy.
        testplat::world().existingMutexes.clear();
        bool ran = false;
        RunProgram([&](CFirmwareUpdateDlg& dlg, HWND) {
            std::ofstream(logPath, std::ios::trunc).close();
            dlg.m_strVendor = "Tarvonic";
            dlg.m_strModel = "KM600";
            dlg.m_bStatusReplies = 1;
            ASSERT_EQ(dlg.LoadLinkLibrary(), 1);
            ran = true;
            body(dlg);
            dlg.FreeLinkLibrary();
        });
        ASSERT_TRUE(ran);
    }
    void Run(const std::function<void(CFirmwareUpdateDlg&)>& body) { Run(zepl_sim::Scenario(), body); }

    std::vector<zepl_sim::Call> Log() const { return zepl_sim::ReadLog(logPath); }
    std::vector<zepl_sim::Call> Calls(const std::string& entry) const { return zepl_sim::CallsOf(Log(), entry); }
    // The channels closed, in order.
    std::vector<long long> Closed() const {
        std::vector<long long> channels;
        for (const zepl_sim::Call& c : Calls("ZEPL_Close")) channels.push_back(c.Int("channel").value_or(-999));
        return channels;
    }
    // No call the simulator found wrong.
    void ExpectNoMisuse() const {
        for (const zepl_sim::Call& c : Log()) EXPECT_FALSE(c.Has("error")) << c.entry << " " << c.Text("error");
    }
};
