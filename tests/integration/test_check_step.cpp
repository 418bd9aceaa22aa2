// The first and second check against the simulated plotter: what the user
// reads after each outcome, and the route the update will take.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/integration/update_fixture.h"

using testplat::world;
using zepl_sim::Scenario;

namespace {
const char* kKM500 = "Tarvonic KM500";
}

// First run: one row per outcome of the version decision.
TEST_F(UpdateTest, FirstCheckDecidesFromPlotterFileAndLimit) {
    const struct {
        const char* file;
        const char* plotter;
        unsigned box;  // 0: none
        unsigned guidance;
        bool start;
        unsigned close;
        bool direct;
        const char* fresh;
    } rows[] = {
        {"KM500_V520.x", "V4.80\x03", IDS_ERR_WRONG_GENERATION, IDS_GUIDE_WRONG_GENERATION, false, IDS_CAP_CANCEL, false, "5.20"},
        {"KM500_V500.x", "V4.80\x03", 0, IDS_GUIDE_MODE_LOADER, true, IDS_CAP_CANCEL, false, "5.00"},
        {"KM500_V490.x", "V5.10\x03", IDS_ERR_WRONG_GENERATION, IDS_GUIDE_WRONG_GENERATION, false, IDS_CAP_CANCEL, true, "4.90"},
        {"KM500_V500.x", "V5.10\x03", IDS_ERR_ALREADY_LATEST, IDS_GUIDE_NOT_NEEDED, false, IDS_CAP_CLOSE, true, "5.00"},
        {"KM500_V520.x", "V5.10\x03", 0, IDS_GUIDE_MODE_LOADER, true, IDS_CAP_CANCEL, true, "5.20"},
        {"KM500_VX.x", "V4.80\x03", IDS_ERR_ALREADY_LATEST, IDS_GUIDE_NOT_NEEDED, false, IDS_CAP_CLOSE, false, "*.**"},
        {"LX700_V900.x", "V1.00\x03", 0, IDS_GUIDE_MODE_LOADER, true, IDS_CAP_CANCEL, true, "9.00"},
        {"LX700_V100.x", "V1.00\x03", IDS_ERR_ALREADY_LATEST, IDS_GUIDE_NOT_NEEDED, false, IDS_CAP_CLOSE, true, "1.00"},
        {"LX450_V300.x", "V1.00\x03", 0, IDS_GUIDE_MODE_BEEP, true, IDS_CAP_CANCEL, true, "3.00"},
        {"KM600_V300.x", "V1.00\x03", 0, IDS_GUIDE_MODE_READY, true, IDS_CAP_CANCEL, true, "3.00"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.file) + " plotter " + row.plotter);
        StartAfresh();
        Deliver(row.file, 100, Scenario().Set("version_reply", row.plotter));
        Run(0);
        ASSERT_EQ(screens.size(), 1u);
        const Screen& s = Last();
        EXPECT_EQ(BoxTexts(), row.box ? std::vector<std::string>{Str(row.box)} : std::vector<std::string>{});
        EXPECT_EQ(s.guidance, Str(row.guidance));
        EXPECT_EQ(s.startEnabled, row.start);
        EXPECT_EQ(s.start, Str(IDS_CAP_NEXT));
        EXPECT_EQ(s.close, Str(row.close));
        EXPECT_TRUE(s.closeEnabled);
        EXPECT_EQ(s.directUsb, row.direct);
        EXPECT_EQ(s.fresh, row.fresh);
        EXPECT_EQ(s.state, row.start ? WizardState::Ready : WizardState::Blocked);
        const std::string plotter = row.plotter;
        EXPECT_EQ(s.current, plotter.substr(1, 4));
        EXPECT_THAT(s.model, ::testing::StartsWith(Str(IDS_CAP_MODEL_NAME) + "Tarvonic "));
    }
}

TEST_F(UpdateTest, UnknownKeyQueriesWithAnEmptyVendorAndUnknownModel) {
    Deliver("ZZ999_V200.x", 10, Scenario());
    Run(0);
    EXPECT_EQ(Last().model, Str(IDS_CAP_MODEL_NAME) + " Unknown");  // the caption's blank and the joiner
    const auto checks = zepl_sim::CallsOf(Log(), "ZEPL_EntryUsbCheck");
    ASSERT_FALSE(checks.empty());
    EXPECT_EQ(checks[0].Text("vendor"), "");
    EXPECT_EQ(checks[0].Text("model"), "Unknown");
    EXPECT_EQ(Last().guidance, Str(IDS_GUIDE_MODE_LOADER));  // 2.00 over the plotter's 1.00
}

// Every way a check fails, in both runs, leaves only Close.
TEST_F(UpdateTest, FailedChecksShowTheirBoxAndGuidanceInBothLanguages) {
    enum Setup { NoFile, NoLibrary, Plain };
    const struct {
        const char* name;
        Setup setup;
        const char* scenario;  // scenario lines
        bool printer;          // a Windows printer for the second check
        int presses;
        unsigned box, guidance;
        bool notUpdatable;     // current-version box reads 3010
        bool modelKnown;
    } rows[] = {
        {"no firmware file", NoFile, "", false, 0, IDS_ERR_NO_FIRMWARE_FILE, IDS_GUIDE_FILES_MISSING, true, false},
        {"no link library", NoLibrary, "", false, 0, IDS_ERR_FILES_MISSING, IDS_GUIDE_FILES_MISSING, true, true},
        {"library refuses", Plain, "init_result = 0\n", false, 0, IDS_ERR_FILES_MISSING, IDS_GUIDE_FILES_MISSING, true, true},
        {"two plotters", Plain, "plotter_count = 2\n", false, 0, IDS_ERR_MULTIPLE_PLOTTERS, IDS_GUIDE_MULTIPLE_PLOTTERS, true, true},
        {"no plotter", Plain, "plotter_count = 0\n", false, 0, IDS_ERR_PLOTTER_UNAVAILABLE, IDS_GUIDE_NOT_DETECTED, true, true},
        {"no version", Plain, "version_reply = \"V\\x03\"\n", false, 0, IDS_ERR_COMMUNICATION, IDS_GUIDE_NOT_DETECTED, true, true},
        {"no printer on the port", Plain, "", false, 1, IDS_ERR_COMMUNICATION, IDS_GUIDE_NOT_DETECTED, true, true},
        {"library refuses at the second check", Plain, "[load 2]\ninit_result = 0\n", true, 1, IDS_ERR_FILES_MISSING,
         IDS_GUIDE_FILES_MISSING, false, true},
    };
    for (auto lang : {testplat::Language::English, testplat::Language::Japanese}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(row.name);
            StartAfresh();
            world().language = lang;
            if (row.setup != NoLibrary) InstallLibrary();
            if (row.setup != NoFile) WriteFile("KM500_V300.x", Bytes(10));
            WriteScenario(row.scenario);
            if (row.printer) AddPrinter(kKM500);
            Run(row.presses);
            const Screen& s = Last();
            EXPECT_EQ(BoxTexts(), std::vector<std::string>{Str(row.box, lang)});
            EXPECT_EQ(s.guidance, Str(row.guidance, lang));
            EXPECT_FALSE(s.startEnabled);
            EXPECT_EQ(s.close, Str(IDS_CAP_CANCEL, lang));
            EXPECT_EQ(s.state, WizardState::Blocked);
            if (row.notUpdatable) {
                EXPECT_EQ(s.current, Str(IDS_CAP_NOT_UPDATABLE, lang));
            }
            EXPECT_EQ(s.model, Str(IDS_CAP_MODEL_NAME, lang) + (row.modelKnown ? kKM500 : Str(IDS_CAP_NO_MODEL, lang)));
            EXPECT_EQ(s.fresh, row.setup == NoFile ? "*.**" : "3.00");
        }
    }
}

TEST_F(UpdateTest, SecondCheckConfirmsThePrinterAndOffersUpdate) {
    Deliver("KM500_V300.x", 10, Scenario());
    Run(1);
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[0].state, WizardState::Ready);
    const Screen& s = screens[1];
    EXPECT_EQ(s.state, WizardState::Confirmed);
    EXPECT_EQ(s.guidance, Str(IDS_GUIDE_PRESS_UPDATE));
    EXPECT_EQ(s.start, Str(IDS_CAP_UPDATE));
    EXPECT_TRUE(s.startEnabled);
    EXPECT_EQ(s.current, "1.00");
    EXPECT_TRUE(BoxTexts().empty());
    // The library is loaded for each check and released after it.
    int loads = 0, frees = 0;
    for (const auto& e : world().libraryEvents) (e.isFree ? frees : loads) += 1;
    EXPECT_EQ(loads, 2);
    EXPECT_EQ(frees, 2);
}
