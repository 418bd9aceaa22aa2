// The send and reply channels: through the simulated link library, and as a
// RAW print job on the test platform's spooler.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/integration/plotter_link_fixture.h"

using testplat::spooler;
using testplat::SpoolerStep;
using ::testing::ElementsAre;
using zepl_sim::Scenario;

TEST_F(PlotterLinkTest, DirectSendChannelIsTheLibrarysWriteChannel) {
    Run([&](CFirmwareUpdateDlg& dlg) {
        dlg.m_strPort = "USB007";
        const PlotterChannel send = dlg.OpenSendChannel();
        EXPECT_EQ(send, 101);
        DWORD written = 0;
        EXPECT_EQ(dlg.WriteSendChannel(send, "firm", 4, &written), 0);
        EXPECT_EQ(written, 4u);
        EXPECT_EQ(dlg.WriteSendChannel(send, "ware", 4, &written), 0);
        dlg.CloseSendChannel(send);
    });
    const auto opens = Calls("ZEPL_OpenUsbEx");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].Int("reserved"), 0);
    EXPECT_EQ(opens[0].Int("kind"), 0);
    EXPECT_EQ(opens[0].Int("flags"), 0x40000000);
    EXPECT_EQ(opens[0].Text("vendor"), "Tarvonic");
    EXPECT_EQ(opens[0].Text("model"), "KM600");
    EXPECT_EQ(opens[0].Text("port"), "USB007");
    for (const auto& w : Calls("ZEPL_Write")) EXPECT_EQ(w.Int("timeout"), 10000);
    EXPECT_EQ(ReadFile(receivedPath), "firmware");
    EXPECT_EQ(Closed(), (std::vector<long long>{101}));
    EXPECT_TRUE(spooler().calls.empty());
    ExpectNoMisuse();
}

TEST_F(PlotterLinkTest, DirectWriteReportsTheLibrarysResultAndCount) {
    const struct {
        const char* fault;
        bool ok;
        DWORD written;
    } cases[] = {{"refused", false, 0}, {"timeout", false, 0}, {"refused_taken", false, 8}, {"short", true, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Run(Scenario().Add("fail_write", std::string("data:") + c.fault), [&](CFirmwareUpdateDlg& dlg) {
            const PlotterChannel send = dlg.OpenSendChannel();
            DWORD written = 0;
            const int r = dlg.WriteSendChannel(send, "firmware", 8, &written);
            EXPECT_EQ(r == 0, c.ok) << r;
            EXPECT_EQ(written, c.written);
            dlg.CloseSendChannel(send);
        });
    }
}

TEST_F(PlotterLinkTest, ReplyChannelIsTheLibrarysReadChannelOnEitherRoute) {
    for (BOOL direct : {1, 0}) {
        SCOPED_TRACE(direct);
        Run([&](CFirmwareUpdateDlg& dlg) {
            dlg.m_bDirectUsb = direct;
            dlg.m_strPort = "USB001";
            const PlotterChannel reply = dlg.OpenReplyChannel();
            EXPECT_EQ(reply, 102);
            dlg.CloseReplyChannel(reply);
        });
        const auto opens = Calls("ZEPL_OpenUsbEx");
        ASSERT_EQ(opens.size(), 1u);
        EXPECT_EQ(opens[0].Int("kind"), 1);
        EXPECT_EQ(opens[0].Int("flags"), 0x40000000);
        EXPECT_EQ(opens[0].Text("port"), "USB001");
        EXPECT_EQ(Closed(), (std::vector<long long>{102}));
        EXPECT_TRUE(spooler().calls.empty());
    }
}

TEST_F(PlotterLinkTest, ModelWithoutStatusRepliesHasNoReplyChannel) {
    Run([&](CFirmwareUpdateDlg& dlg) {
        dlg.m_bStatusReplies = 0;
        EXPECT_EQ(dlg.OpenReplyChannel(), 0);
        dlg.CloseReplyChannel(102);  // whatever it is given
    });
    EXPECT_TRUE(Calls("ZEPL_OpenUsbEx").empty());
    EXPECT_TRUE(Calls("ZEPL_Close").empty());
}

TEST_F(PlotterLinkTest, ChannelsTheLibraryRefusesOrGivesAsZeroAreNotClosed) {
    for (const char* open : {"fail", "zero"}) {
        SCOPED_TRACE(open);
        Run(Scenario().Set("open_write", open).Set("open_read", open), [&](CFirmwareUpdateDlg& dlg) {
            const PlotterChannel send = dlg.OpenSendChannel();
            const PlotterChannel reply = dlg.OpenReplyChannel();
            EXPECT_EQ(send, std::string(open) == "fail" ? kNoChannel : 0);
            EXPECT_EQ(reply, send);
            dlg.CloseReplyChannel(reply);
            dlg.CloseSendChannel(send);
        });
        EXPECT_TRUE(Calls("ZEPL_Close").empty());
    }
}

namespace {
// A dialog on the spooler route to printer "Cutter"; no library is loaded,
// so any library call would crash the test.
class SpoolerRouteTest : public ::testing::Test {
protected:
    void SetUp() override {
        testplat::Reset();
        spooler().printers = {{"Cutter", "USB001", "Tarvonic KM500"}};
        dlg.m_bDirectUsb = 0;
        dlg.m_strVendor = "Tarvonic";
        dlg.m_strModel = "KM500";
        dlg.m_strPort = "USB001";
        dlg.m_strPrinter = "Cutter";
    }
    void TearDown() override {
        EXPECT_EQ(spooler().OpenPrinters(), 0u);
        EXPECT_EQ(spooler().misuses, 0);
    }
    CFirmwareUpdateDlg dlg;
};
}  // namespace

TEST_F(SpoolerRouteTest, SendChannelIsOneRawJobWithOnePage) {
    const PlotterChannel send = dlg.OpenSendChannel();
    ASSERT_NE(send, kNoChannel);
    // The spooler's handle comes back whole, above 4 GiB on 64-bit builds.
    ASSERT_EQ(spooler().handles.size(), 1u);
    EXPECT_EQ(reinterpret_cast<HANDLE>(send), spooler().handles.begin()->first);
    EXPECT_THAT(spooler().calls,
                ElementsAre("OpenPrinterA name=Cutter", "StartDocPrinterA level=1", "StartPagePrinter"));

    DWORD written = 0;
    EXPECT_EQ(dlg.WriteSendChannel(send, "\x1b\x00\xff" "abc", 6, &written), 0);
    EXPECT_EQ(written, 6u);
    EXPECT_EQ(dlg.WriteSendChannel(send, "def", 3, &written), 0);
    EXPECT_EQ(written, 3u);
    spooler().calls.clear();
    dlg.CloseSendChannel(send);
    EXPECT_THAT(spooler().calls, ElementsAre("EndPagePrinter", "EndDocPrinter", "ClosePrinter"));

    ASSERT_EQ(spooler().jobs.size(), 1u);
    const testplat::SpoolerJob& job = spooler().jobs[0];
    EXPECT_EQ(job.printer, "Cutter");
    EXPECT_EQ(job.document, "Tarvonic KM500");
    EXPECT_EQ(job.datatype, "RAW");
    EXPECT_FALSE(job.outputFile);
    EXPECT_EQ(job.bytes, std::string("\x1b\x00\xff" "abcdef", 9));
    EXPECT_EQ(job.pagesStarted, 1);
    EXPECT_EQ(job.pagesEnded, 1);
    EXPECT_TRUE(job.ended);
}

TEST_F(SpoolerRouteTest, FailedOpeningUndoesWhatWasDone) {
    const struct {
        SpoolerStep step;
        std::vector<std::string> calls;
    } cases[] = {
        {SpoolerStep::OpenPrinter, {"OpenPrinterA name=Cutter"}},
        {SpoolerStep::StartDoc, {"OpenPrinterA name=Cutter", "StartDocPrinterA level=1", "ClosePrinter"}},
        {SpoolerStep::StartPage,
         {"OpenPrinterA name=Cutter", "StartDocPrinterA level=1", "StartPagePrinter", "EndDocPrinter",
          "ClosePrinter"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.step));
        spooler().calls.clear();
        spooler().failing = {c.step};
        EXPECT_EQ(dlg.OpenSendChannel(), kNoChannel);
        EXPECT_EQ(spooler().calls, c.calls);
        EXPECT_EQ(spooler().OpenPrinters(), 0u);
    }
    ASSERT_EQ(spooler().jobs.size(), 1u) << "the job of the page that failed";
    EXPECT_TRUE(spooler().jobs[0].ended);
}

TEST_F(SpoolerRouteTest, FailedWriteGivesMinus3AndTheCountTheSpoolerReported) {
    const PlotterChannel send = dlg.OpenSendChannel();
    spooler().failing = {SpoolerStep::Write};
    for (DWORD reported : {0u, 3u}) {
        spooler().failedWriteTakes = reported;
        DWORD written = 99;
        EXPECT_EQ(dlg.WriteSendChannel(send, "abcdef", 6, &written), -3);
        EXPECT_EQ(written, reported);
    }
    dlg.CloseSendChannel(send);
}
