// The record each run leaves in the user's local application data: its key
// lines after a success and after failures of each kind, its rotation, a
// folder that cannot be made, a second copy, and no writing while firmware
// goes out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <set>

#include "record/record_file.h"
#include "record/sha256.h"
#include "tests/integration/update_fixture.h"

using testplat::world;
using zepl_sim::Scenario;

class UpdateRecordTest : public UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        MakeFolder("Local");
        world().localAppData = dir + "Local";
    }
    std::string RecordPath(const char* suffix = ".log") const { return dir + "Local/UPDATE/UPDATE" + suffix; }
    std::string Record() const { return ReadFile(RecordPath()); }
    static std::string Sha(const std::string& bytes) {
        Sha256 hash;
        hash.Add(bytes.data(), bytes.size());
        return hash.HexDigest();
    }
};

TEST_F(UpdateRecordTest, KeyLinesOfASuccessAndOfFailures) {
    using testing::HasSubstr;
    using testing::Not;
    struct Row {
        const char* name;
        const char* firmware;
        Scenario scenario;
        int presses;
        std::vector<std::string> lines;  // each a part of some line of the record
        std::function<void()> setup = nullptr;
        testplat::Language language = testplat::Language::English;
    };
    const std::vector<Row> rows = {
        {"success, status replies", "KM600_V300.x", Scenario(), 2,
         {"[4242] start: UPDATE 2.30.0.0, Commit of the test platform, ",
          "Windows 10.0.19045 workstation; language 0x0409, texts English",
          "check 1: firmware file \"KM600_V300.x\", 5000 bytes, version 3.00",
          "check 1: model key \"KM600\": \"Tarvonic\" \"KM600\", driver \"Tarvonic KM600\", limit none, "
          "status replies yes",
          "check 1: link library loaded; ZEPL_InitDll 1 (ok)", "check 1: ZEPL_EntryUsbCheck: 1 plotter(s) attached",
          "check 1: plotter port \"USB001\"", "check 1: ZEPL_Write version query, 8 bytes: 0 (ok), 8 taken",
          "check 1: ZEPL_Read: 0 (ok), 6 bytes \"V1.00\\x03\"",
          "check 1: decision: plotter 1.00, file 3.00, no limit: update needed; route link library",
          "check 2: printer \"Cutter\" on port \"USB001\" with driver \"Tarvonic KM600\"",
          "update: route: link library, port \"USB001\"", "update: firmware file opened, 5000 bytes",
          "update: channels: send 101, reply 102", "update: prepare: 0 (ok)",
          "update: sent 5000 of 5000 bytes: 5 chunks in 5 writes; no write failed; 1 % shown",
          "update: polls: 1, the last ZEPL_Read 0 (ok), 2 bytes \"0\\x03\": 0 (ok)", "update: transfer: 0 (ok)",
          "update: guidance 2009", "update: ended after", "] end"}},
        {"a chunk refused, in Japanese", "KM600_V300.x", Scenario().Set("fail_write", "data.3:refused"), 2,
         {"language 0x0411, texts Japanese",
          "the first failed write: chunk 3, ZEPL_Write 1 (failed), 0 of 1024 bytes taken",
          "update: sent 2048 of 5000 bytes: 3 chunks in 3 writes", "update: transfer: 4 (update failed)",
          "update: box 2507 \"" + Str(IDS_ERR_UPDATE_FAILED, testplat::Language::Japanese) + "\" for 4",
          "update: guidance 2010"},
         nullptr, testplat::Language::Japanese},
        {"no link library", "KM600_V300.x", Scenario(), 0,
         {"check 1: link library ZEPLPRNP.DLL not loaded: system error 126", "check 1: box 2501",
          "check 1: guidance 2001"},
         [this] { std::remove((dir + ZEPL_LIBRARY_NAME).c_str()); }},
        {"two plotters", "KM600_V300.x", Scenario().Set("plotter_count", "2"), 0,
         {"check 1: ZEPL_EntryUsbCheck: 2 plotter(s) attached", "check 1: plotter query: 1 (more than one plotter)",
          "check 1: box 2504", "check 1: guidance 2002"}},
        {"status 8 at the prepare exchange", "KM600_V300.x", Scenario().Set("status_reply", "8\x03", 3), 2,
         {"update: ZEPL_Read: 0 (ok), 2 bytes \"8\\x03\"", "update: prepare: 5 (communication error)",
          "update: transfer: 5 (communication error)", "update: box 2508"}},
        {"busy to every poll", "KM600_V300.x", Scenario().Set("progress_busy_count", "1000"), 2,
         {"update: polls: 240, the last ZEPL_Read 0 (ok), 3 bytes \"-1\\x03\": 50 (plotter still busy); 100 % shown",
          "update: box 2509"}},
        {"the other generation", "KM500_V520.x", Scenario().Set("version_reply", "V4.10\x03"), 0,
         {"model key \"KM500\": \"Tarvonic\" \"KM500\", driver \"Tarvonic KM500\", limit 5.00, status replies no",
          "decision: plotter 4.10, file 5.20, plotter at or below the limit 5.00, which the file must not pass: "
          "update refused, the other generation; route spooler",
          "check 1: box 2510"}},
        {"spooler route", "KM500_V450.x", Scenario().Set("version_reply", "V4.10\x03"), 2,
         {"update: route: spooler, printer \"Cutter\" on port \"USB001\"",
          "update: sent 5000 of 5000 bytes: 5 chunks in 5 writes; no write failed",
          "update: channels closed; the spooler took the print job",
          "update: completion wait: 240 of 500 ms, 120000 ms in all; 100 % shown", "update: transfer: 0 (ok)"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        StartAfresh();
        world().language = row.language;
        Deliver(row.firmware, 5000, row.scenario);
        if (row.setup) row.setup();
        Run(row.presses);
        const std::string record = Record();
        for (const std::string& line : row.lines) EXPECT_THAT(record, HasSubstr(line));
        // The firmware by its name and hash only; no folder of this machine.
        EXPECT_THAT(record, HasSubstr("check 1: firmware sha256 " + Sha(firmware)));
        EXPECT_THAT(record, Not(HasSubstr(dir)));
        EXPECT_EQ(record.back(), '\n');
    }
}

TEST_F(UpdateRecordTest, NoLineIsWrittenWhileTheFirmwareGoesOut) {
    Deliver("KM600_V300.x", 50000, Scenario().Set("progress_busy_count", "3"));
    std::set<long long> sizesWhileSending;
    world().onPump = [&](HWND) {
        struct stat received {}, record {};
        const bool sending = stat(receivedPath.c_str(), &received) == 0 && received.st_size > 0;
        if (sending && stat(RecordPath().c_str(), &record) == 0) sizesWhileSending.insert(record.st_size);
    };
    Run(2);
    EXPECT_EQ(sizesWhileSending.size(), 1u);
    EXPECT_THAT(Record(), testing::HasSubstr("update: sent 50000 of 50000 bytes: 49 chunks in 49 writes"));
}

TEST_F(UpdateRecordTest, ABigRecordIsMovedAsideOnceAndARunStaysWhole) {
    using testing::EndsWith;
    using testing::StartsWith;
    MakeFolder("Local/UPDATE");
    WriteFile("Local/UPDATE/UPDATE.old.log", "older");
    // At the limit: the run is added whole, beyond it.
    WriteFile("Local/UPDATE/UPDATE.log", std::string(record::kRotateBytes, '\x01'));
    Deliver("KM600_V300.x", 5000, Scenario());
    Run(0);
    const std::string grown = Record();
    EXPECT_EQ(ReadFile(RecordPath(".old.log")), "older");
    EXPECT_THAT(grown.substr(record::kRotateBytes), StartsWith("2026-12-07 10:00:00.000 [4242] start: UPDATE"));
    EXPECT_THAT(grown, EndsWith("] end\r\n"));

    // Beyond it: moved aside, replacing the older one, before the next run writes.
    Run(0);
    EXPECT_TRUE(ReadFile(RecordPath(".old.log")) == grown);
    EXPECT_THAT(Record(), StartsWith("2026-12-07 10:00:00.000 [4242] start: UPDATE"));
    EXPECT_THAT(Record(), EndsWith("] end\r\n"));
}

TEST_F(UpdateRecordTest, NoFolderNoSecondCopyNoRecordAndTheSameWizard) {
    // The local application data folder lies under a file: nothing can be made there.
    WriteFile("file", "f");
    world().localAppData = dir + "file/Local";
    Deliver("KM600_V300.x", 5000, Scenario().Set("fail_write", "data.3:refused"));
    Run(2);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Str(IDS_ERR_UPDATE_FAILED)});
    EXPECT_EQ(Last().guidance, Str(IDS_GUIDE_FAILED));

    // A second copy hands over to the first and writes nothing.
    world().localAppData = dir + "Local";
    world().existingMutexes.insert("UPDATE");
    world().AddTopLevelWindow("Firmware Update Ver.2.30", "UPDATE");
    RunProgram();
    struct stat st {};
    EXPECT_NE(stat((dir + "Local/UPDATE").c_str(), &st), 0);
}
