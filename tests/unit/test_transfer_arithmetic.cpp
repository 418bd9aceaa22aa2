// The transfer's percentage and bar, and the first check's version decision.
#include <gtest/gtest.h>

#include <climits>

#include "protocol/transfer_progress.h"
#include "wizard/version_decision.h"

using protocol::BarPosition;
using protocol::TransferProgress;

TEST(TransferProgressTest, FiguresOfBothKindsOfModel) {
    // Without status replies: 1,200,000 bytes wait in steps of 10,000.
    const TransferProgress waits(1200000, false);
    EXPECT_EQ(waits.WaitStep(), 10000u);
    EXPECT_EQ(waits.Total(), 3600000u);
    EXPECT_EQ(waits.AfterSending(1200000), 33u);
    EXPECT_EQ(waits.AfterWaits(1200000, 1), 33u);
    EXPECT_EQ(waits.AfterWaits(1200000, 120), 66u);
    EXPECT_EQ(waits.AfterWaits(1200000, 240), 100u);

    // With status replies: 1,000,000 bytes, 0.16 points per busy reply.
    const TransferProgress polls(1000000, true);
    EXPECT_EQ(polls.Total(), 1250000u);
    EXPECT_EQ(polls.AfterSending(1000000), 80u);
    EXPECT_EQ(polls.AfterBusyReplies(1000000, 7), 81u);
    EXPECT_EQ(polls.AfterBusyReplies(1000000, 124), 99u);
    EXPECT_EQ(polls.AfterBusyReplies(1000000, 125), 100u);
    EXPECT_EQ(polls.AfterBusyReplies(1000000, 240), 100u) << "held at 100";

    // An empty file without status replies has no total: nothing divides by it.
    const TransferProgress empty(0, false);
    EXPECT_EQ(empty.Total(), 0u);
    EXPECT_EQ(empty.AfterSending(0), 0u);
    EXPECT_EQ(empty.AfterWaits(0, 240), 0u);
}

TEST(TransferProgressTest, StaysExactAtTheLast32BitSizeAndCorrectBeyondIt) {
    // 14,316,599 is the last size whose figures fit 32 bits: the final wait
    // lands exactly on 100 there, and at 14,316,600 where 32 bits would wrap.
    for (uint32_t size : {14316599u, 14316600u, 100000000u, 0x7FFFFFFFu}) {
        const TransferProgress p(size, false);
        EXPECT_EQ(p.AfterSending(size), static_cast<unsigned>((uint64_t{size} * 100) / p.Total())) << size;
        EXPECT_EQ(p.AfterWaits(size, 240), 100u) << size;
        unsigned last = 0;
        for (int k = 1; k <= 240; ++k) {
            const unsigned now = p.AfterWaits(size, k);
            EXPECT_GE(now, last) << size << " wait " << k;
            last = now;
        }
        const TransferProgress s(size, true);
        EXPECT_EQ(s.AfterBusyReplies(size, 240), 100u) << size;
    }
    // At the limit the 32-bit figures and ours agree to the last wait.
    const TransferProgress edge(14316599u, false);
    const uint32_t total32 = 14316599u + 240u * (14316599u / 120u);
    for (int k : {0, 1, 239, 240}) {
        const uint32_t num32 = 14316599u * 100u + static_cast<uint32_t>(k) * ((14316599u / 120u) * 100u);
        EXPECT_EQ(edge.AfterWaits(14316599u, k), num32 / total32) << k;
    }
    // A file that grew since it was measured never shows more than done.
    EXPECT_EQ(TransferProgress(1000, false).AfterSending(5000), 100u);
}

TEST(TransferProgressTest, BarStandsAt21PerPoint) {
    EXPECT_EQ(BarPosition(0), 0);
    EXPECT_EQ(BarPosition(95), 1995);
    EXPECT_EQ(BarPosition(96), 2016);  // beyond the range: a full bar
    EXPECT_EQ(BarPosition(100), 2100);
}

TEST(VersionDecisionTest, LimitSplitsGenerationsAndRoutes) {
    const struct {
        int plotter, file, limit;
        UpdateDecision decision;
        bool spooler;
    } cases[] = {
        {480, 520, 500, UpdateDecision::WrongGeneration, true},
        {480, 500, 500, UpdateDecision::Needed, true},
        {510, 490, 500, UpdateDecision::WrongGeneration, false},
        {510, 500, 500, UpdateDecision::AlreadyCurrent, false},
        {510, 520, 500, UpdateDecision::Needed, false},
        {500, 500, 500, UpdateDecision::AlreadyCurrent, true},  // equal values are on the permitted side
        {480, 0, 500, UpdateDecision::AlreadyCurrent, true},    // no file version
        {100, 300, 0, UpdateDecision::Needed, false},           // no limit: always the library
        {300, 100, 0, UpdateDecision::AlreadyCurrent, false},
        {230, 230, 0, UpdateDecision::AlreadyCurrent, false},
    };
    for (const auto& c : cases) {
        const VersionVerdict v = DecideUpdate(c.plotter, c.file, c.limit);
        EXPECT_EQ(v.decision, c.decision) << c.plotter << "/" << c.file << "/" << c.limit;
        EXPECT_EQ(v.throughSpooler, c.spooler) << c.plotter << "/" << c.file << "/" << c.limit;
    }
}

TEST(VersionDecisionTest, VersionsReadAsUsersWriteThem) {
    EXPECT_STREQ(FormatVersion(210), "2.10");
    EXPECT_STREQ(FormatVersion(5), "0.05");
    EXPECT_STREQ(FormatVersion(12345), "123.45");
    EXPECT_STREQ(FormatVersion(-150), "-1.50");
    EXPECT_STREQ(FormatVersion(INT_MIN), "-21474836.48");
}
