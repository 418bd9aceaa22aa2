// The plotter query protocol against the simulated plotter: the check
// stage's count, port, status and version, the update stage's printer, and
// the status exchanges of an update.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/integration/plotter_link_fixture.h"

using testplat::spooler;
using ::testing::ElementsAre;
using zepl_sim::Scenario;

namespace {
const char kStatusBytes[] = "\x1b\x2e\x43\x31\x3a";
const char kVersionBytes[] = "\x1b\x2e\x43\x33\x31\x3b\x39\x3a";
const char kUpdateBytes[] = "\x1b\x2e\x43\x31\x38\x3a";

std::vector<std::string> Entries(const std::vector<zepl_sim::Call>& log) {
    std::vector<std::string> entries;
    for (const auto& c : log) entries.push_back(c.entry);
    return entries;
}
}  // namespace

// --- check stage -------------------------------------------------------------

TEST_F(PlotterLinkTest, CheckStageReadsPortStatusAndVersionOnItsOwnChannels) {
    int result = -1;
    Run(Scenario().Set("port", "USB003").Set("version_reply", "V2.30\x03"), [&](CFirmwareUpdateDlg& dlg) {
        result = dlg.QueryPlotter(1);
        EXPECT_EQ(dlg.m_strPort, "USB003");
        EXPECT_EQ(dlg.m_nCurrentVersion, 230);
    });
    EXPECT_EQ(result, 0);
    const auto log = Log();
    EXPECT_THAT(Entries(log), ElementsAre("ZEPL_InitDll", "ZEPL_EntryUsbCheck", "ZEPL_EntryUsbCheck", "ZEPL_OpenUsbEx",
                                          "ZEPL_OpenUsbEx", "ZEPL_Write", "ZEPL_Read", "ZEPL_Write", "ZEPL_Read",
                                          "ZEPL_Close", "ZEPL_Close"));
    const auto checks = zepl_sim::CallsOf(log, "ZEPL_EntryUsbCheck");
    EXPECT_EQ(checks[0].Text("description"), "null");
    EXPECT_EQ(checks[1].Text("description"), "buffer");
    for (const auto& c : checks) {
        EXPECT_EQ(c.Text("vendor"), "Tarvonic");
        EXPECT_EQ(c.Text("model"), "KM600");
    }
    const auto opens = zepl_sim::CallsOf(log, "ZEPL_OpenUsbEx");
    EXPECT_EQ(opens[0].Int("kind"), 0);
    EXPECT_EQ(opens[1].Int("kind"), 1);
    for (const auto& o : opens) {
        EXPECT_EQ(o.Int("reserved"), 0);
        EXPECT_EQ(o.Int("flags"), 0x40000000);
        EXPECT_EQ(o.Text("port"), "USB003") << "the port is taken from offset 256, not from the front";
    }
    const auto writes = zepl_sim::CallsOf(log, "ZEPL_Write");
    EXPECT_EQ(writes[0].Bytes("bytes"), kStatusBytes);
    EXPECT_EQ(writes[1].Bytes("bytes"), kVersionBytes);
    for (const auto& w : writes) {
        EXPECT_EQ(w.Int("channel"), 101);
        EXPECT_EQ(w.Int("count"), static_cast<long long>(w.Bytes("bytes").size()));
        EXPECT_EQ(w.Int("timeout"), 10000);
    }
    for (const auto& r : zepl_sim::CallsOf(log, "ZEPL_Read")) {
        EXPECT_EQ(r.Int("channel"), 102);
        EXPECT_EQ(r.Int("capacity"), 256);
        EXPECT_EQ(r.Int("timeout"), 30000);
    }
    EXPECT_EQ(Closed(), (std::vector<long long>{101, 102}));
    ExpectNoMisuse();
}

TEST_F(PlotterLinkTest, MoreThanOnePlotterStopsBeforeTheDescription) {
    Run(Scenario().Set("plotter_count", "2"), [&](CFirmwareUpdateDlg& dlg) {
        dlg.m_strPort = "earlier";
        EXPECT_EQ(dlg.QueryPlotter(1), 1);
        EXPECT_EQ(dlg.m_strPort, "earlier");
    });
    EXPECT_THAT(Entries(Log()), ElementsAre("ZEPL_InitDll", "ZEPL_EntryUsbCheck"));
}

TEST_F(PlotterLinkTest, NoPlotterStillDescribesAndTriesBothChannels) {
    Run(Scenario().Set("plotter_count", "0"), [&](CFirmwareUpdateDlg& dlg) { EXPECT_EQ(dlg.QueryPlotter(1), 3); });
    EXPECT_THAT(Entries(Log()), ElementsAre("ZEPL_InitDll", "ZEPL_EntryUsbCheck", "ZEPL_EntryUsbCheck",
                                            "ZEPL_OpenUsbEx", "ZEPL_OpenUsbEx"));
}

TEST_F(PlotterLinkTest, ChannelThatDidNotOpenLeavesOnlyTheOtherToClose) {
    const struct {
        const char* write;
        const char* read;
        int result;
        std::vector<long long> closed;
    } cases[] = {
        {"fail", "ok", 3, {102}},
        {"ok", "fail", 3, {101}},
        {"fail", "fail", 3, {}},
        {"fail", "zero", 3, {}},
        {"zero", "ok", 5, {102}},  // 0 is a handle that is never closed
        {"ok", "zero", 5, {101}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.write) + "/" + c.read);
        Run(Scenario().Set("open_write", c.write).Set("open_read", c.read),
            [&](CFirmwareUpdateDlg& dlg) { EXPECT_EQ(dlg.QueryPlotter(1), c.result); });
        EXPECT_EQ(Calls("ZEPL_OpenUsbEx").size(), 2u);
        EXPECT_EQ(Closed(), c.closed);
    }
}

TEST_F(PlotterLinkTest, CheckStageFailsWhenAnExchangeDoesAndClosesBoth) {
    const struct {
        const char* key;
        const char* rule;
        std::vector<std::string> commands;
    } cases[] = {
        {"fail_write", "status:refused", {"status"}},
        {"fail_write", "status:timeout", {"status"}},
        {"fail_read", "status:refused", {"status"}},
        {"fail_read", "status:timeout", {"status"}},
        {"fail_read", "status:empty", {"status"}},
        {"fail_read", "status:no_etx", {"status"}},
        {"fail_read", "status:etx_first", {"status"}},
        {"fail_read", "status:nul_before_etx", {"status"}},
        {"fail_write", "version:refused", {"status", "version"}},
        {"fail_read", "version:refused", {"status", "version"}},
        {"fail_read", "version:empty", {"status", "version"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        Run(Scenario().Add(c.key, c.rule), [&](CFirmwareUpdateDlg& dlg) { EXPECT_EQ(dlg.QueryPlotter(1), 5); });
        EXPECT_EQ(zepl_sim::CommandsWritten(Log()), c.commands);
        EXPECT_EQ(Closed(), (std::vector<long long>{101, 102}));
    }
}

TEST_F(PlotterLinkTest, VersionReplies) {
    const struct {
        const char* reply;
        const char* fault;  // of the version read
        int version;
        int result;
    } cases[] = {
        {"V2.30\x03", "", 230, 0},
        {"V2.10,12\x03", "", 210, 0},
        {"V2.10\r\n", "", 210, 0},
        {"2.10\x03", "", 210, 0},
        {"1.00,V2.10\x03", "", 100, 0},
        {"V2,30\x03", "", 200, 0},
        {"V\x03", "", 0, 5},
        {"Vx\x03", "", 0, 5},
        {"V0.009\x03", "", 0, 5},
        {"V0.01\x03", "", 1, 0},
        {"V-1.00\x03", "", -99, 5},
        {"V99999999\x03", "", 0, 5},  // no int: no version
        {"Vinf\x03", "", 0, 5},
        {"Vnan\x03", "", 0, 5},
        {"V2.30\x03", "full", 230, 0},       // exactly 256 bytes, blanks first
        {"V2.30\x03", "overcount", 230, 0},  // 300 bytes claimed: 256 taken
        {"V2.30\x03", "no_etx", 230, 0},
        {"V2.30\x03", "etx_first", 230, 0},  // no field: the whole reply is searched
        {"V2.30\x03", "nul_before_etx", 230, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.reply) + " " + c.fault);
        Scenario s;
        s.Set("version_reply", c.reply);
        if (*c.fault) s.Add("fail_read", std::string("version:") + c.fault);
        Run(s, [&](CFirmwareUpdateDlg& dlg) {
            dlg.m_nCurrentVersion = 777;
            EXPECT_EQ(dlg.QueryPlotter(1), c.result);
            EXPECT_EQ(dlg.m_nCurrentVersion, c.version);
        });
        EXPECT_EQ(Closed(), (std::vector<long long>{101, 102}));
    }
}

TEST_F(PlotterLinkTest, PortIsAtMost127CharactersEvenWithoutANul) {
    Run(Scenario().Set("port", "ABC").Set("port_raw_fill", "yes"), [&](CFirmwareUpdateDlg& dlg) {
        EXPECT_EQ(dlg.QueryPlotter(1), 0);
        std::string expected;
        while (expected.size() < 127) expected += "ABC";
        expected.resize(127);
        EXPECT_EQ(std::string(dlg.m_strPort), expected);
    });
    for (const auto& o : Calls("ZEPL_OpenUsbEx")) EXPECT_EQ(o.Text("port").size(), 127u);
    ExpectNoMisuse();
}

// --- update stage --------------------------------------------------------------

TEST(UpdateStageTest, OnlyLooksForThePrinterOnThePort) {
    for (int mode : {0, 2}) {
        testplat::Reset();
        CFirmwareUpdateDlg dlg;  // no library: a library call would crash
        dlg.m_strPort = "USB001";
        dlg.m_strDriver = "Tarvonic KM600";
        EXPECT_EQ(dlg.QueryPlotter(mode), 5);
        spooler().printers = {{"Cutter", "USB001", "Tarvonic KM600"}};
        EXPECT_EQ(dlg.QueryPlotter(mode), 0);
        EXPECT_EQ(dlg.m_strPrinter, "Cutter");
    }
}

// --- status exchanges of an update ---------------------------------------------

TEST_F(PlotterLinkTest, PrepareExchangeSendsStatusVersionAndUpdateThenReadsProgress) {
    Run([&](CFirmwareUpdateDlg& dlg) {
        const PlotterChannel send = dlg.OpenSendChannel();
        const PlotterChannel reply = dlg.OpenReplyChannel();
        EXPECT_EQ(dlg.PollUpdateStatus(send, reply, 1), 0);
        dlg.CloseReplyChannel(reply);
        dlg.CloseSendChannel(send);
    });
    const auto log = Log();
    const auto writes = zepl_sim::CallsOf(log, "ZEPL_Write");
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].Bytes("bytes"), kStatusBytes);
    EXPECT_EQ(writes[1].Bytes("bytes"), kVersionBytes);
    EXPECT_EQ(writes[2].Bytes("bytes"), kUpdateBytes);
    for (const auto& w : writes) {
        EXPECT_EQ(w.Int("channel"), 101);
        EXPECT_EQ(w.Int("count"), static_cast<long long>(w.Bytes("bytes").size()));
    }
    const auto reads = zepl_sim::CallsOf(log, "ZEPL_Read");
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[2].Text("answer"), "progress");
    for (const auto& r : reads) EXPECT_EQ(r.Int("channel"), 102);
    EXPECT_EQ(Closed(), (std::vector<long long>{102, 101}));
    ExpectNoMisuse();
}

TEST_F(PlotterLinkTest, StatusValuesPassTheCheckStageAndOnlyBits4And128PassThePrepareExchange) {
    const struct {
        const char* status;
        int prepare;
    } cases[] = {
        {"0", 0}, {"4", 0}, {"128", 0}, {"132", 0}, {"abc", 0}, {" ", 0},
        {"1", 5}, {"2", 5}, {"8", 5},   {"255", 5}, {"256", 5}, {"-1", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        Run(Scenario().Set("status_reply", std::string(c.status) + "\x03"), [&](CFirmwareUpdateDlg& dlg) {
            EXPECT_EQ(dlg.QueryPlotter(1), 0) << "any status passes the check stage";
            EXPECT_EQ(dlg.PollUpdateStatus(dlg.OpenSendChannel(), dlg.OpenReplyChannel(), 1), c.prepare);
        });
        EXPECT_EQ(zepl_sim::CommandsWritten(Log()).size(), c.prepare == 0 ? 5u : 3u);
    }
}

TEST_F(PlotterLinkTest, PrepareExchangeFailures) {
    const struct {
        const char* key;
        const char* rule;
        int result;
        size_t commands;
    } cases[] = {
        {"fail_write", "status:refused", 5, 1},
        {"fail_read", "status:refused", 5, 1},
        {"fail_read", "status:empty", 5, 1},
        {"fail_read", "status:no_etx", 5, 1},
        {"fail_read", "status:etx_first", 5, 1},
        {"fail_read", "status:nul_before_etx", 5, 1},
        {"fail_write", "version:refused", 5, 2},
        {"fail_read", "version:refused", 5, 2},
        {"fail_read", "version:timeout", 5, 2},
        {"fail_read", "version:empty", 0, 3},   // only the read call has to succeed
        {"fail_read", "version:etx_first", 0, 3},
        {"fail_write", "update:refused_taken", 0, 3},  // its result is not looked at
        {"fail_write", "update:refused", 5, 3},        // not understood: no progress reply comes
        {"fail_read", "progress:empty", 5, 3},
        {"fail_read", "progress:no_etx", 5, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        Run(Scenario().Add(c.key, c.rule), [&](CFirmwareUpdateDlg& dlg) {
            EXPECT_EQ(dlg.PollUpdateStatus(dlg.OpenSendChannel(), dlg.OpenReplyChannel(), 1), c.result);
        });
        EXPECT_EQ(zepl_sim::CommandsWritten(Log()).size(), c.commands);
    }
}

TEST_F(PlotterLinkTest, ProgressReplies) {
    const struct {
        const char* reply;
        const char* fault;
        int result;
    } cases[] = {
        {"-1\x03", "", 50},  {" -1 \x03", "", 50}, {"-1x\x03", "", 50}, {"0\x03", "", 0},
        {"3\x03", "", 4},    {"-2\x03", "", 4},    {"0", "", 5},        {"\x03" "0\x03", "", 5},
        {"0\x03", "empty", 5},  {"0\x03", "refused", 5}, {"0\x03", "nul_before_etx", 5},
        {"0\x03", "full", 0},   {"0\x03", "overcount", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.reply) + " " + c.fault);
        // The prepare call takes a busy reply; the poll under test the next.
        Scenario s;
        s.Set("progress_busy_count", "1").Add("progress_reply", c.reply);
        if (*c.fault) s.Add("fail_read", std::string("progress.2:") + c.fault);
        Run(s, [&](CFirmwareUpdateDlg& dlg) {
            const PlotterChannel send = dlg.OpenSendChannel();
            const PlotterChannel reply = dlg.OpenReplyChannel();
            ASSERT_EQ(dlg.PollUpdateStatus(send, reply, 1), 50);
            EXPECT_EQ(dlg.PollUpdateStatus(send, reply, 0), c.result);
        });
        const auto log = Log();
        EXPECT_EQ(zepl_sim::CommandsWritten(log).size(), 3u) << "a poll only reads";
        EXPECT_EQ(zepl_sim::CallsOf(log, "ZEPL_Read").size(), 4u);
    }
}

TEST_F(PlotterLinkTest, ModelWithoutStatusRepliesExchangesNothing) {
    for (BOOL replies : {0, 2}) {
        Run([&](CFirmwareUpdateDlg& dlg) {
            dlg.m_bStatusReplies = replies;
            EXPECT_EQ(dlg.PollUpdateStatus(101, 102, 1), 0);
            EXPECT_EQ(dlg.PollUpdateStatus(101, 102, 0), 0);
        });
        EXPECT_TRUE(Calls("ZEPL_Write").empty());
        EXPECT_TRUE(Calls("ZEPL_Read").empty());
    }
}
