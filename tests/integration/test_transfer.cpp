// The whole update against the simulated plotter: "Next >", "Update", the
// firmware on the wire, the percent text and bar, the polls and waits, and
// the outcome the user reads. Faults on each side must never end as success.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "protocol/transfer_progress.h"

#include "tests/integration/update_fixture.h"

using testplat::Control;
using testplat::world;
using zepl_sim::Scenario;

namespace {
const char* kKM500 = "Tarvonic KM500";
// Percent texts that appeared, each once, in order.
void Note(std::vector<std::string>* seen, HWND h) {
    const std::string p = testplat::Text(Control(h, IDC_PERCENT));
    if (seen->empty() || seen->back() != p) seen->push_back(p);
}
}  // namespace

class TransferTest : public UpdateTest {
protected:
    // Runs through both checks and the update. Outcome read at the end.
    void Update() {
        world().onPump = [&](HWND h) {
            Note(&percents, h);
            if (onPump) onPump(h);
        };
        if (afterOpen) world().afterInit = afterOpen;
        Run(2);
        world().onPump = nullptr;
    }
    // What every ended update leaves: only Close, reading "Close".
    void ExpectEnded(unsigned box, unsigned guidance) {
        EXPECT_EQ(BoxTexts(), box ? std::vector<std::string>{Str(box)} : std::vector<std::string>{});
        const Screen& s = Last();
        EXPECT_EQ(s.state, box ? WizardState::Failed : WizardState::Finished);
        EXPECT_EQ(s.guidance, Str(guidance));
        EXPECT_FALSE(s.startEnabled);
        EXPECT_EQ(s.close, Str(IDS_CAP_CLOSE));
        EXPECT_TRUE(s.closeEnabled);
        EXPECT_FALSE(s.closeGrayed);
        EXPECT_FALSE(s.percentShown);
        EXPECT_FALSE(s.barShown);
    }
    int ProgressReads() const {
        int n = 0;
        for (const auto& c : zepl_sim::CallsOf(Log(), "ZEPL_Read")) n += c.Text("answer") == "progress";
        return n;
    }
    std::vector<long long> ClosedLast(size_t n) const {
        std::vector<long long> closed;
        for (const auto& c : zepl_sim::CallsOf(Log(), "ZEPL_Close")) closed.push_back(*c.Int("channel"));
        return std::vector<long long>(closed.end() - static_cast<long>(std::min(n, closed.size())), closed.end());
    }

    std::vector<std::string> percents;
    std::function<void(HWND)> onPump;
    std::function<void(HWND)> afterOpen;  // right after the dialog opened
};

TEST_F(TransferTest, StatusModelThroughTheLibrary) {
    // 1,000,000 bytes: 80 % after sending, 0.16 points per busy reply.
    Deliver("KM600_V300.x", 1000000, Scenario().Set("progress_busy_count", "130").Add("progress_reply", "0\x03"));
    std::vector<int> bars;
    onPump = [&](HWND h) {
        const int bar = static_cast<int>(os::SendMessageA(Control(h, IDC_PROGRESS), PBM_GETPOS, 0, 0));
        if (bars.empty() || bars.back() != bar) bars.push_back(bar);
    };
    Update();
    // Every distinct percentage of the figures appears, in order, and its bar.
    const protocol::TransferProgress figures(1000000, true);
    std::vector<std::string> expected{"0 %"};
    std::vector<int> expectedBars{1};  // position 0 shows as the range's low end
    auto add = [&](unsigned p) {
        const std::string text = std::to_string(p) + " %";
        if (expected.back() != text) expected.push_back(text);
        const int bar = std::clamp(protocol::BarPosition(p), 1, 2000);
        if (expectedBars.back() != bar) expectedBars.push_back(bar);
    };
    for (uint64_t sent = 1024; sent < 1000000 + 1024; sent += 1024) add(figures.AfterSending(std::min<uint64_t>(sent, 1000000)));
    for (int k = 1; k <= 129; ++k) add(figures.AfterBusyReplies(1000000, k));
    EXPECT_EQ(percents, expected);
    EXPECT_EQ(bars, expectedBars);
    ExpectEnded(0, IDS_GUIDE_FINISHED);
    EXPECT_TRUE(ReadFile(receivedPath) == firmware);
    EXPECT_EQ(DataWrites().size(), 977u);
    EXPECT_EQ(ProgressReads(), 131);  // the prepare exchange took the first busy reply
    EXPECT_EQ(Last().current, "*.**");
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.front(), "0 %");
    EXPECT_EQ(percents.back(), "100 %");
    EXPECT_THAT(percents, ::testing::Contains("80 %"));
    EXPECT_THAT(percents, ::testing::Not(::testing::Contains("101 %")));
    // The prepare exchange comes first; the reply channel closes first.
    const auto commands = zepl_sim::CommandsWritten(Log());
    EXPECT_THAT(std::vector<std::string>(commands.end() - 3, commands.end()),
                ::testing::ElementsAre("status", "version", "update"));
    EXPECT_EQ(ClosedLast(2), (std::vector<long long>{102, 101}));
    EXPECT_EQ(Sleeps(500), 0);
    EXPECT_EQ(world().sleeps.back(), 1000u);
}

TEST_F(TransferTest, ModelWithoutStatusRepliesWaitsTwoMinutes) {
    Deliver("LX700_V300.x", 1200000, Scenario());
    std::vector<int> bars;
    onPump = [&](HWND h) { bars.push_back(static_cast<int>(os::SendMessageA(Control(h, IDC_PROGRESS), PBM_GETPOS, 0, 0))); };
    Update();
    ExpectEnded(0, IDS_GUIDE_FINISHED);
    EXPECT_TRUE(ReadFile(receivedPath) == firmware);
    EXPECT_EQ(Sleeps(500), 240);
    EXPECT_EQ(world().sleeps.back(), 1000u);
    EXPECT_THAT(percents, ::testing::Contains("33 %"));
    EXPECT_EQ(percents.back(), "100 %");
    EXPECT_THAT(bars, ::testing::Contains(1995));  // 95 %
    EXPECT_EQ(bars.back(), 2000);                  // full from 96 % on
    EXPECT_EQ(ClosedLast(1), (std::vector<long long>{101}));
    EXPECT_THAT(testplat::spooler().calls, ::testing::Not(::testing::Contains(::testing::StartsWith("GetJobA"))));
}

TEST_F(TransferTest, SpoolerRouteSendsARawJobOfTheFile) {
    Deliver("KM500_V450.x", 5000, Scenario().Set("version_reply", "V4.10\x03"));
    Update();
    ExpectEnded(0, IDS_GUIDE_FINISHED);
    ASSERT_EQ(testplat::spooler().jobs.size(), 1u);
    const auto& job = testplat::spooler().jobs[0];
    EXPECT_TRUE(job.bytes == firmware);
    EXPECT_EQ(job.document, kKM500);
    EXPECT_EQ(job.datatype, "RAW");
    EXPECT_TRUE(job.ended);
    EXPECT_EQ(testplat::spooler().OpenPrinters(), 0u);
    EXPECT_TRUE(DataWrites().empty());
    EXPECT_EQ(Sleeps(500), 240);
}

TEST_F(TransferTest, ChunksOf1024AndNoWriteAfterTheEnd) {
    for (size_t size : {2048u, 1500u, 1u, 1024u, 1025u}) {
        SCOPED_TRACE(size);
        StartAfresh();
        Deliver("LX700_V300.x", size, Scenario());
        Update();
        std::vector<long long> counts;
        for (const auto& w : DataWrites()) counts.push_back(*w.Int("count"));
        std::vector<long long> expected;
        for (size_t left = size; left; left -= std::min<size_t>(left, 1024)) expected.push_back(std::min<size_t>(left, 1024));
        EXPECT_EQ(counts, expected);
        EXPECT_TRUE(ReadFile(receivedPath) == firmware);
    }
}

// While sending, the queue is drained whenever the percentage changes and
// otherwise once the interval has passed: after every chunk of a link slower
// than the interval, seldom on a fast one.
TEST_F(TransferTest, WhileSendingTheQueueIsDrainedByTheClockAndAtEveryNewPercentage) {
    const uint64_t interval = protocol::kPumpIntervalMilliseconds * 1000ull;
    const struct {
        const char* link;
        uint64_t step;  // microseconds the work between two readings of the clock takes
        size_t atLeast, atMost;  // drains while sending 977 chunks, whose percentage changes 80 times
    } rows[] = {
        {"instant", 0, 80, 80},
        {"1 ms a chunk", 1000, 80, 80 + 977 / 16},
        {"slower than the interval", interval + 1000, 977, 977},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.link);
        StartAfresh();
        percents.clear();
        Deliver("KM600_V300.x", 1000000, Scenario());  // ready at the first poll: no busy replies
        world().clockStepMicroseconds = row.step;
        std::vector<std::pair<uint64_t, std::string>> drains;  // clock and percent text at each
        onPump = [&](HWND h) { drains.emplace_back(world().clockMicroseconds, testplat::Text(Control(h, IDC_PERCENT))); };
        Update();
        ExpectEnded(0, IDS_GUIDE_FINISHED);
        EXPECT_EQ(percents.size(), 81u) << "every percentage from 0 to 80";
        // Two drains show the transfer before the first chunk, two end it.
        ASSERT_GE(drains.size(), 4u);
        const std::vector<std::pair<uint64_t, std::string>> sending(drains.begin() + 2, drains.end() - 2);
        EXPECT_GE(sending.size(), row.atLeast);
        EXPECT_LE(sending.size(), row.atMost);
        // Without a new percentage, never two drains within the interval.
        for (size_t i = 1; i < sending.size(); ++i) {
            if (sending[i].second != sending[i - 1].second) continue;
            EXPECT_GE(sending[i].first - sending[i - 1].first, interval) << "drain at " << sending[i].second;
        }
    }
}

// The polls of a status-reply model, and the prepare exchange before them.
TEST_F(TransferTest, PollsDecideAndPrepareRefusalsLeaveTheWindowAlone) {
    const struct {
        const char* name;
        Scenario plotter;
        unsigned box, guidance;
        int progressReads;
        bool started;  // the window showed the transfer
    } rows[] = {
        {"busy forever", Scenario().Set("progress_busy_count", "100000"), IDS_ERR_OTHER, IDS_GUIDE_FAILED, 1 + 240, true},
        {"first poll ready", Scenario(), 0, IDS_GUIDE_FINISHED, 2, true},
        {"poll failed", Scenario().Add("progress_reply", "0\x03").Add("progress_reply", "4\x03"), IDS_ERR_UPDATE_FAILED,
         IDS_GUIDE_FAILED, 2, true},
        {"busy while preparing", Scenario().Set("progress_busy_count", "1").Add("progress_reply", "0\x03"), 0, IDS_GUIDE_FINISHED, 2, true},
        {"status refused", Scenario().Set("status_reply", "1\x03"), IDS_ERR_COMMUNICATION, IDS_GUIDE_FAILED, 0, false},
        {"prepare answers failure", Scenario().Add("progress_reply", "3\x03"), IDS_ERR_UPDATE_FAILED, IDS_GUIDE_FAILED, 1,
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        StartAfresh();
        Deliver("KM600_V300.x", 3000, row.plotter);
        Screen atBox;
        world().onMessageBox = [&](const testplat::MessageBoxRecord&) {
            atBox = Look(testplat::CurrentDialog());
            return IDOK;
        };
        Update();
        ExpectEnded(row.box, row.guidance);
        EXPECT_EQ(ProgressReads(), row.progressReads);
        EXPECT_EQ(world().pumps > 0, row.started);
        if (!row.started) {
            EXPECT_EQ(atBox.guidance, Str(IDS_GUIDE_PRESS_UPDATE)) << "the refusal changed the window";
            EXPECT_FALSE(atBox.percentShown);
            EXPECT_TRUE(atBox.closeEnabled);
            EXPECT_TRUE(DataWrites().empty());
            EXPECT_EQ(ClosedLast(2), (std::vector<long long>{102, 101}));
        } else if (row.box == 0 && row.progressReads == 2) {
            EXPECT_EQ(percents.back(), "1 %") << "the first poll's ready leaves the sending's figure";
        }
    }
}

// Faults of the file, the channels and the writes: each ends as its result,
// never as success, with every channel closed.
TEST_F(TransferTest, FaultsEndAsFailuresWithEverythingClosed) {
    const struct {
        const char* name;
        const char* file;
        size_t size;
        Scenario plotter;
        int readFailsFrom;
        unsigned box;  // 0: success
        int waits;     // completion waits of 500 ms
        bool wholeFileArrives;
    } rows[] = {
        {"a short write, sent again", "LX700_V300.x", 3000, Scenario().Add("fail_write", "data.2:short"), 0, 0, 240, true},
        {"short writes, status model", "KM600_V300.x", 3000, Scenario().Add("fail_write", "data.3:short"), 0, 0, 0, true},
        {"success taking nothing", "LX700_V300.x", 3000, Scenario().Add("fail_write", "data.2:zero_taken"), 0,
         IDS_ERR_UPDATE_FAILED, 0, false},
        {"a refused chunk", "LX700_V300.x", 3000, Scenario().Add("fail_write", "data.2:refused"), 0,
         IDS_ERR_UPDATE_FAILED, 0, false},
        {"a refused chunk, then the plotter says ready", "KM600_V300.x", 3000,
         Scenario().Add("fail_write", "data.2:refused"), 0, IDS_ERR_UPDATE_FAILED, 0, false},
        {"unplugged from chunk 2", "LX700_V300.x", 5000, Scenario().Add("fail_write", "data.2+:timeout"), 0,
         IDS_ERR_UPDATE_FAILED, 0, false},
        {"failed write that took every byte, middle", "LX700_V300.x", 3000,
         Scenario().Add("fail_write", "data.2:refused_taken"), 0, IDS_ERR_UPDATE_FAILED, 240, true},
        {"failed write that took every byte, last", "LX700_V300.x", 3000,
         Scenario().Add("fail_write", "data.3:refused_taken"), 0, IDS_ERR_UPDATE_FAILED, 0, true},
        {"failed write that took every byte, status model", "KM600_V300.x", 3000,
         Scenario().Add("fail_write", "data.2:refused_taken"), 0, 0, 0, true},
        {"the file cannot be read", "LX700_V300.x", 3000, Scenario(), 2, IDS_ERR_UPDATE_FAILED, 0, false},
        {"an empty file", "LX700_V300.x", 0, Scenario(), 0, IDS_ERR_UPDATE_FAILED, 0, true},
        {"an empty file, status model", "KM600_V300.x", 0, Scenario(), 0, IDS_ERR_UPDATE_FAILED, 0, true},
        {"a poll whose field holds no number", "KM600_V300.x", 3000,
         Scenario().Add("progress_reply", "0\x03").Add("progress_reply", "#?!\x03"), 0, IDS_ERR_UPDATE_FAILED, 0, true},
        {"no send channel", "LX700_V300.x", 3000, Scenario().Set("open_write", "fail", 3), 0,
         IDS_ERR_PLOTTER_UNAVAILABLE, 0, false},
        {"no reply channel", "KM600_V300.x", 3000, Scenario().Set("open_read", "fail", 3), 0,
         IDS_ERR_PLOTTER_UNAVAILABLE, 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        StartAfresh();
        Deliver(row.file, row.size, row.plotter);
        // The read fault strikes the transfer's reads only.
        beforePress = [&](int press) {
            if (press == 1) world().readFileFailsFrom = world().readFileCalls + row.readFailsFrom;
        };
        if (!row.readFailsFrom) beforePress = nullptr;
        Update();
        ExpectEnded(row.box, row.box ? IDS_GUIDE_FAILED : IDS_GUIDE_FINISHED);
        EXPECT_EQ(Sleeps(500), row.waits);
        EXPECT_EQ(ReadFile(receivedPath) == firmware, row.wholeFileArrives);
        // Every channel opened was closed, and nothing was misused.
        int opened = 0, closed = 0;
        for (const auto& c : Log()) {
            opened += c.entry == "ZEPL_OpenUsbEx" && c.Int("result").value_or(-1) > 0;
            closed += c.entry == "ZEPL_Close";
            EXPECT_FALSE(c.Has("error")) << c.entry << " " << c.Text("error");
        }
        EXPECT_EQ(opened, closed);
    }
}

TEST_F(TransferTest, APrintJobTheSpoolerDidNotTakeIsAFailure) {
    Deliver("KM500_V450.x", 5000, Scenario().Set("version_reply", "V4.10\x03"));
    testplat::spooler().failing.insert(testplat::SpoolerStep::EndDoc);
    Update();
    ExpectEnded(IDS_ERR_UPDATE_FAILED, IDS_GUIDE_FAILED);
    EXPECT_EQ(Sleeps(500), 0) << "no two minutes' wait for a job that never left";
    EXPECT_EQ(testplat::spooler().OpenPrinters(), 0u);
}

// The spooler's word on the print job during the completion wait: only a job
// that left the queue, or shows printed, ends as success; a spooler that
// cannot be asked leaves the verdict as it was.
TEST_F(TransferTest, ThePrintJobsFateDecidesTheSpoolerRoute) {
    using testplat::JobPhase;
    const struct {
        const char* name;
        std::vector<JobPhase> phases;
        bool unreachable;
        unsigned box;  // 0: success
        int waits;     // of 500 ms
        int asks;      // questions about the job
    } rows[] = {
        {"delivered at once", {}, false, 0, 240, 1},
        {"delivered during the wait", {{0, JOB_STATUS_PRINTING}, {30000, 0, true}}, false, 0, 240, 60},
        {"printed and kept", {{0, JOB_STATUS_PRINTED}}, false, 0, 240, 1},
        {"paused to the end", {{0, JOB_STATUS_PAUSED}}, false, IDS_ERR_UPDATE_FAILED, 240, 240},
        {"error mid-wait", {{0, JOB_STATUS_PRINTING}, {10000, JOB_STATUS_PRINTING | JOB_STATUS_ERROR}}, false,
         IDS_ERR_UPDATE_FAILED, 20, 20},
        {"printer offline", {{0, JOB_STATUS_OFFLINE}}, false, IDS_ERR_UPDATE_FAILED, 1, 1},
        {"deleted unprinted", {{0, JOB_STATUS_DELETED}}, false, IDS_ERR_UPDATE_FAILED, 1, 1},
        {"spooler unreachable", {{0, JOB_STATUS_PAUSED}}, true, 0, 240, 240},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        StartAfresh();
        Deliver("KM500_V450.x", 5000, Scenario().Set("version_reply", "V4.10\x03"));
        testplat::spooler().jobPhases = row.phases;
        if (row.unreachable) testplat::spooler().failing.insert(testplat::SpoolerStep::GetJob);
        Update();
        ExpectEnded(row.box, row.box ? IDS_GUIDE_FAILED : IDS_GUIDE_FINISHED);
        EXPECT_EQ(Sleeps(500), row.waits);
        EXPECT_EQ(world().sleeps.back(), 1000u);
        int asks = 0;
        for (const std::string& call : testplat::spooler().calls) asks += call == "GetJobA id=1 level=1 size=0";
        EXPECT_EQ(asks, row.asks);
        EXPECT_EQ(testplat::spooler().OpenPrinters(), 0u);
        EXPECT_EQ(testplat::spooler().misuses, 0);
        ASSERT_EQ(testplat::spooler().jobs.size(), 1u);
        EXPECT_TRUE(testplat::spooler().jobs[0].bytes == firmware);
    }
}

TEST_F(TransferTest, AnUnopenableFileFailsBeforeAnythingChanges) {
    Deliver("LX700_V300.x", 3000, Scenario());
    beforePress = [&](int press) {
        if (press == 1) std::remove((dir + firmwareName_).c_str());
    };
    Update();
    ExpectEnded(IDS_ERR_FILE_OPEN, IDS_GUIDE_FAILED);
    EXPECT_EQ(world().pumps, 0);
    EXPECT_EQ(Last().current, "1.00");  // the transfer never got as far as its end
}

TEST_F(TransferTest, LibraryMissingAtUpdateKeepsCancel) {
    Deliver("LX700_V300.x", 3000, Scenario().Set("init_result", "0", 3));
    Update();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Str(IDS_ERR_FILES_MISSING)});
    const Screen& s = Last();
    EXPECT_EQ(s.state, WizardState::Failed);
    EXPECT_EQ(s.guidance, Str(IDS_GUIDE_FILES_MISSING));
    EXPECT_EQ(s.close, Str(IDS_CAP_CANCEL));
    EXPECT_FALSE(s.startEnabled);
    EXPECT_TRUE(DataWrites().empty());
}

// Mid-transfer the user sees the update running and can neither close the
// dialog nor start again; messages are still dispatched.
TEST_F(TransferTest, CommandsDuringAndAfterTheTransferChangeNothing) {
    Deliver("LX700_V300.x", 20 * 1024, Scenario());
    std::vector<Screen> middle;
    int pump = 0;
    HWND dialog = nullptr;
    onPump = [&](HWND h) {
        dialog = h;
        if (++pump == 5) {
            middle.push_back(Look(h));
            for (int id : {IDOK, IDCANCEL, IDC_CHECK}) os::PostMessageA(h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        } else if (pump == 6) {
            middle.push_back(Look(h));
            EXPECT_TRUE(world().queue.empty()) << "posted commands were not dispatched";
        }
    };
    bool ended = false;
    int idles = 0;
    RunWithUser([&](HWND h) {
        world().onPump = [&](HWND d) { onPump(d); };
        screens.push_back(Look(h));
        ++idles;
        if (idles <= 2) {
            os::SendMessageA(Control(h, IDOK), BM_CLICK, 0, 0);
            return true;
        }
        if (idles == 3) {  // finished: Enter and a posted Start do nothing now
            os::SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            os::SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDC_CHECK, BN_CLICKED), 0);
            return true;
        }
        ended = world().Find(h)->ended;
        return false;
    });
    world().onPump = nullptr;
    ASSERT_EQ(middle.size(), 2u);
    for (const Screen& s : middle) {
        EXPECT_EQ(s.state, WizardState::Updating);
        EXPECT_EQ(s.guidance, Str(IDS_GUIDE_UPDATING));
        EXPECT_TRUE(s.percentShown);
        EXPECT_TRUE(s.barShown);
        EXPECT_FALSE(s.startEnabled);
        EXPECT_FALSE(s.closeEnabled);
        EXPECT_TRUE(s.closeGrayed);
    }
    EXPECT_FALSE(ended);
    EXPECT_EQ(screens[2].state, WizardState::Finished);
    EXPECT_EQ(screens.back().state, WizardState::Finished);
    EXPECT_EQ(DataWrites().size(), 20u) << "one transfer, and only one";
    int loads = 0;
    for (const auto& e : world().libraryEvents) loads += !e.isFree;
    EXPECT_EQ(loads, 3);
    EXPECT_TRUE(world().messageBoxes.empty());
    (void)dialog;
}

// While the firmware is written the system is held: awake, no shutdown
// without the reason, progress on the taskbar; all of it undone on every path.
TEST_F(TransferTest, SystemIsHeldForTheTransferAndLetGoOnEveryPath) {
    const struct {
        const char* name;
        const char* file;
        Scenario plotter;
        bool started;  // the window showed the transfer
    } rows[] = {
        {"success", "LX700_V300.x", Scenario(), true},
        {"a refused chunk", "LX700_V300.x", Scenario().Add("fail_write", "data.2:refused"), true},
        {"busy forever", "KM600_V300.x", Scenario().Set("progress_busy_count", "100000"), true},
        {"prepare refused", "KM600_V300.x", Scenario().Set("status_reply", "1\x03"), false},
        {"no send channel", "LX700_V300.x", Scenario().Set("open_write", "fail", 3), false},
    };
    for (auto lang : {testplat::Language::English, testplat::Language::Japanese}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(row.name);
            StartAfresh();
            world().language = lang;
            Deliver(row.file, 5000, row.plotter);
            std::vector<LRESULT> answers;  // to WM_QUERYENDSESSION at each pump
            size_t statesAtFirstPump = 0;
            onPump = [&](HWND h) {
                if (answers.empty()) statesAtFirstPump = world().executionStates.size();
                answers.push_back(os::SendMessageA(h, WM_QUERYENDSESSION, 0, 0));
            };
            Update();
            const auto& states = world().executionStates;
            if (!row.started) {
                EXPECT_TRUE(states.empty());
                EXPECT_TRUE(world().shutdownReasons.empty());
                continue;
            }
            ASSERT_EQ(states.size(), 2u);
            EXPECT_EQ(states[0], static_cast<EXECUTION_STATE>(ES_CONTINUOUS | ES_SYSTEM_REQUIRED));
            EXPECT_EQ(states[1], static_cast<EXECUTION_STATE>(ES_CONTINUOUS));
            EXPECT_EQ(statesAtFirstPump, 1u) << "awake before the first chunk";
            const std::string guidance = Str(IDS_GUIDE_UPDATING, lang);
            EXPECT_EQ(world().shutdownReasons,
                      (std::vector<std::string>{"create " + guidance.substr(0, guidance.find('\n')), "destroy"}));
            ASSERT_FALSE(answers.empty());
            for (LRESULT a : answers) EXPECT_EQ(a, FALSE);
        }
    }
}

TEST_F(TransferTest, OutsideTheTransferTheSessionMayEnd) {
    Deliver("LX700_V300.x", 5000, Scenario());
    std::vector<LRESULT> answers;
    RunWithUser([&](HWND h) {
        answers.push_back(os::SendMessageA(h, WM_QUERYENDSESSION, 0, 0));
        if (answers.size() > 2) return false;
        os::SendMessageA(Control(h, IDOK), BM_CLICK, 0, 0);
        return true;
    });
    EXPECT_EQ(answers, (std::vector<LRESULT>{TRUE, TRUE, TRUE}));  // ready, confirmed, finished
}

TEST_F(TransferTest, TaskbarFollowsThePercentTextOnceItsButtonExists) {
    const struct {
        const char* name;
        bool buttonCreated, missing;
    } rows[] = {{"button created", true, false}, {"no button yet", false, false}, {"no taskbar interface", true, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        StartAfresh();
        world().taskbarMissing = row.missing;
        Deliver("KM600_V300.x", 30 * 1024, Scenario().Set("progress_busy_count", "10").Add("progress_reply", "0\x03"));
        afterOpen = [&](HWND h) {
            if (row.buttonCreated) os::SendMessageA(h, os::RegisterWindowMessageA("TaskbarButtonCreated"), 0, 0);
        };
        Update();
        ExpectEnded(0, IDS_GUIDE_FINISHED);
        if (!row.buttonCreated || row.missing) {
            EXPECT_TRUE(world().taskbar.empty());
            continue;
        }
        std::vector<std::string> expected{"normal"};
        for (const std::string& p : percents) expected.push_back(p.substr(0, p.find(' ')));
        expected.push_back("none");
        EXPECT_EQ(world().taskbar, expected);
    }
}

TEST_F(TransferTest, TheEndFlashesOnlyAWizardInTheBackground) {
    for (bool away : {false, true}) {
        SCOPED_TRACE(away ? "user away" : "user watching");
        StartAfresh();
        Deliver("LX700_V300.x", 5000, Scenario().Add("fail_write", "data.2:refused"));
        onPump = [&](HWND) {
            if (away) world().foreground = nullptr;  // another program came to the front
        };
        HWND dialog = nullptr;
        world().onMessageBox = [&](const testplat::MessageBoxRecord& box) {
            dialog = box.owner;
            EXPECT_EQ(world().flashes.size(), away ? 1u : 0u) << "flashed before the box";
            return IDOK;
        };
        Update();
        ASSERT_EQ(world().flashes.size(), away ? 1u : 0u);
        if (away) {
            EXPECT_EQ(world().flashes[0].hwnd, dialog);
            EXPECT_EQ(world().flashes[0].dwFlags, static_cast<DWORD>(FLASHW_TRAY | FLASHW_TIMERNOFG));
        }
    }
}
