// Finding the plotter's Windows printer, against the test platform's spooler.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "testing/spooler.h"
#include "testing/test_platform.h"
#include "wizard/firmware_update_dlg.h"

using testplat::spooler;
using testplat::SpoolerPrinter;
using testplat::SpoolerStep;
using ::testing::ElementsAre;

namespace {
const char kPort[] = "USB001";
const char kDriver[] = "Tarvonic KM500";

class SpoolerLookupTest : public ::testing::Test {
protected:
    void SetUp() override { testplat::Reset(); }

    // Runs the lookup for the plotter's port and driver on a dialog that
    // still holds an earlier printer's name; checks that no printer handle
    // stays open.
    int Find(CFirmwareUpdateDlg& dlg) {
        dlg.m_strPort = kPort;
        dlg.m_strDriver = kDriver;
        dlg.m_strPrinter = "earlier printer";
        const size_t handles = testplat::OpenHandleCount();
        const int r = dlg.FindSpoolerPrinter();
        EXPECT_EQ(spooler().OpenPrinters(), 0u);
        EXPECT_EQ(spooler().opened, spooler().closed);
        EXPECT_EQ(spooler().misuses, 0);
        EXPECT_EQ(testplat::OpenHandleCount(), handles);
        if (r == 0) {
            EXPECT_TRUE(dlg.m_strPrinter.IsEmpty());
        }
        return r;
    }

    // The names that were opened, in order.
    static std::vector<std::string> Opened() {
        std::vector<std::string> names;
        for (const std::string& call : spooler().calls)
            if (call.rfind("OpenPrinterA name=", 0) == 0) names.push_back(call.substr(18));
        return names;
    }
};
}  // namespace

TEST_F(SpoolerLookupTest, AsksForTheLevel2SizeThenEnumeratesLevel5AndOpensOnlyMatchingPorts) {
    spooler().printers = {{"Office", "LPT1:", kDriver}, {"Cutter", kPort, kDriver}};
    CFirmwareUpdateDlg dlg;
    EXPECT_EQ(Find(dlg), 1);
    EXPECT_EQ(dlg.m_strPrinter, "Cutter");
    using ::testing::StartsWith;
    EXPECT_THAT(spooler().calls,
                ElementsAre("EnumPrintersA flags=6 level=2 size=0", StartsWith("EnumPrintersA flags=6 level=5 size="),
                            "OpenPrinterA name=Cutter", "GetPrinterA level=2 size=0",
                            StartsWith("GetPrinterA level=2 size="), "ClosePrinter"));
}

TEST_F(SpoolerLookupTest, FirstPrinterWithTheWholePortAndTheDriverWins) {
    const struct {
        const char* name;
        std::vector<SpoolerPrinter> printers;
        std::string found;               // empty: none
        std::vector<std::string> opened;  // printers looked at, in order
    } cases[] = {
        {"the first of two that match",
         {{"A", kPort, kDriver}, {"B", kPort, kDriver}},
         "A",
         {"A"}},
        {"another driver on the port is skipped",
         {{"Other", kPort, "Tarvonic KM300Mk2"}, {"Ours", kPort, kDriver}},
         "Ours",
         {"Other", "Ours"}},
        {"the port differs in letter case only", {{"A", "usb001", kDriver}}, "", {}},
        {"a port list is not the port", {{"A", "USB001,USB002", kDriver}}, "", {}},
        {"the driver differs in letter case only", {{"A", kPort, "tarvonic KM500"}}, "", {"A"}},
        {"the driver name is longer", {{"A", kPort, "Tarvonic KM500 "}}, "", {"A"}},
        {"no printer is installed", {}, "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testplat::Reset();
        spooler().printers = c.printers;
        CFirmwareUpdateDlg dlg;
        EXPECT_EQ(Find(dlg), c.found.empty() ? 0 : 1);
        EXPECT_EQ(std::string(dlg.m_strPrinter), c.found);
        EXPECT_EQ(Opened(), c.opened);
    }
}

TEST_F(SpoolerLookupTest, APrinterThatCannotBeReachedIsSkipped) {
    for (int vanish = 0; vanish < 2; ++vanish) {
        SCOPED_TRACE(vanish ? "gone after the enumeration" : "cannot be opened");
        testplat::Reset();
        spooler().printers = {{"Gone", kPort, kDriver}, {"Here", kPort, kDriver}};
        (vanish ? spooler().vanishAfterEnumeration : spooler().unopenable).insert("Gone");
        CFirmwareUpdateDlg dlg;
        EXPECT_EQ(Find(dlg), 1);
        EXPECT_EQ(dlg.m_strPrinter, "Here");
        EXPECT_EQ(Opened(), (std::vector<std::string>{"Gone", "Here"}));
    }
}

TEST_F(SpoolerLookupTest, EverySpoolerFailureEndsInNoPrinter) {
    for (SpoolerStep step : {SpoolerStep::EnumSize, SpoolerStep::EnumRecords, SpoolerStep::OpenPrinter,
                             SpoolerStep::GetPrinterSize, SpoolerStep::GetPrinter}) {
        SCOPED_TRACE(static_cast<int>(step));
        testplat::Reset();
        spooler().printers = {{"A", kPort, kDriver}, {"B", kPort, kDriver}};
        spooler().failing.insert(step);
        CFirmwareUpdateDlg dlg;
        EXPECT_EQ(Find(dlg), 0);
        // Inside the loop a failure only skips that printer.
        const bool inLoop = step != SpoolerStep::EnumSize && step != SpoolerStep::EnumRecords;
        EXPECT_EQ(Opened().size(), inLoop ? 2u : 0u);
    }
}

TEST_F(SpoolerLookupTest, GetPrinterInfo2HandsOverOneBlockWithItsStrings) {
    spooler().printers = {{"Cutter", kPort, kDriver}};
    PRINTER_INFO_2A* info = CFirmwareUpdateDlg::GetPrinterInfo2("Cutter");
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->pPrinterName, "Cutter");
    EXPECT_STREQ(info->pPortName, kPort);
    EXPECT_STREQ(info->pDriverName, kDriver);
    std::free(info);
    EXPECT_EQ(spooler().OpenPrinters(), 0u) << "closed before the block is handed over";

    EXPECT_EQ(CFirmwareUpdateDlg::GetPrinterInfo2(nullptr), nullptr);
    EXPECT_EQ(CFirmwareUpdateDlg::GetPrinterInfo2("Unknown"), nullptr);
    for (SpoolerStep step : {SpoolerStep::GetPrinterSize, SpoolerStep::GetPrinter}) {
        spooler().failing = {step};
        EXPECT_EQ(CFirmwareUpdateDlg::GetPrinterInfo2("Cutter"), nullptr);
    }
    EXPECT_EQ(spooler().OpenPrinters(), 0u);
    EXPECT_EQ(spooler().opened, 3);
    EXPECT_EQ(spooler().closed, 3);
    EXPECT_THAT(spooler().calls, ::testing::Not(::testing::Contains("OpenPrinterA name=(null)")));
}
