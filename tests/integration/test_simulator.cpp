// The plotter simulator, driven through its six entries as the wizard calls
// them: what later tests rely on when they script a plotter and read its log.
#include <dlfcn.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/zepl_entries.h"
#include "sim/escape.h"
#include "sim/sim_log.h"

namespace fs = std::filesystem;
using zepl_sim::Call;
using zepl_sim::Scenario;

namespace {

const char kStatus[] = "\x1b.C1:";
const char kVersion[] = "\x1b.C31;9:";
const char kUpdate[] = "\x1b.C18:";
const char* const kEntries[] = {"ZEPL_InitDll", "ZEPL_EntryUsbCheck", "ZEPL_OpenUsbEx",
                                "ZEPL_Write",   "ZEPL_Read",          "ZEPL_Close"};

std::string LibraryPath(const std::string& target) { return std::string(ZEPL_SIM_DIR) + "/lib" + target + ".so"; }

// One load of the simulator, unloaded at the end of the scope.
struct Library {
    void* handle = nullptr;
    PFN_ZEPL_InitDll InitDll = nullptr;
    PFN_ZEPL_EntryUsbCheck EntryUsbCheck = nullptr;
    PFN_ZEPL_OpenUsbEx OpenUsbEx = nullptr;
    PFN_ZEPL_Write Write = nullptr;
    PFN_ZEPL_Read Read = nullptr;
    PFN_ZEPL_Close Close = nullptr;

    explicit Library(const std::string& target = "zepl_sim") {
        handle = dlopen(LibraryPath(target).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        Bind(&InitDll, "ZEPL_InitDll");
        Bind(&EntryUsbCheck, "ZEPL_EntryUsbCheck");
        Bind(&OpenUsbEx, "ZEPL_OpenUsbEx");
        Bind(&Write, "ZEPL_Write");
        Bind(&Read, "ZEPL_Read");
        Bind(&Close, "ZEPL_Close");
    }
    ~Library() {
        if (handle) dlclose(handle);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    template <typename Fn>
    void Bind(Fn* fn, const char* name) {
        *fn = reinterpret_cast<Fn>(dlsym(handle, name));
    }

    // The wizard's opening moves: initialise, then open both channels.
    void Start(int* write, int* read) {
        ASSERT_NE(handle, nullptr) << dlerror();
        char vendor[256] = "ZEPL", model[128] = "KM500", port[128] = "USB001";
        ASSERT_EQ(InitDll(vendor, 1, 9100, 0, 0), 1);
        *write = OpenUsbEx(0, ZEPL_CHANNEL_WRITE, ZEPL_OPEN_FLAGS, vendor, model, port);
        *read = OpenUsbEx(0, ZEPL_CHANNEL_READ, ZEPL_OPEN_FLAGS, vendor, model, port);
    }
    int Send(int channel, const std::string& bytes, int* written = nullptr) {
        int count = -7;
        const int result = Write(channel, bytes.data(), static_cast<int>(bytes.size()), &count, 10000);
        if (written) *written = count;
        return result;
    }
    // A read as the wizard makes it: 256 bytes capacity, zero-filled.
    int Receive(int channel, std::string* reply, int* count) {
        char buffer[256] = {};
        *count = -7;
        const int result = Read(channel, buffer, sizeof buffer, count, 30000);
        reply->assign(buffer, *count > 0 ? std::min<size_t>(*count, sizeof buffer) : 0);
        return result;
    }
};

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name = (fs::temp_directory_path() / "zepl_sim_test_XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        dir = name + "/";
        unsetenv("ZEPL_SIM_SCENARIO");
        unsetenv("ZEPL_SIM_LOG");
        unsetenv("ZEPL_SIM_RECEIVED");
    }
    void TearDown() override {
        unsetenv("ZEPL_SIM_SCENARIO");
        unsetenv("ZEPL_SIM_LOG");
        unsetenv("ZEPL_SIM_RECEIVED");
        fs::remove_all(dir);
    }
    // Log and received bytes go beside the scenario, by relative paths.
    void Use(Scenario s) {
        s.Set("log", "sim.log").Set("received", "received.bin");
        ASSERT_TRUE(s.WriteFile(dir + "scenario.txt"));
        setenv("ZEPL_SIM_SCENARIO", (dir + "scenario.txt").c_str(), 1);
    }
    std::vector<Call> Log() const { return zepl_sim::ReadLog(dir + "sim.log"); }
    std::string Received() const {
        std::ifstream in(dir + "received.bin", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string dir;
};

TEST_F(SimulatorTest, WithoutScenarioIsOneHealthyPlotter) {
    setenv("ZEPL_SIM_LOG", (dir + "env.log").c_str(), 1);
    Library lib;
    ASSERT_NE(lib.handle, nullptr) << dlerror();
    char vendor[256] = "ZEPL", model[128] = "KM500";
    EXPECT_EQ(lib.InitDll(vendor, 1, 9100, 0, 0), 1);
    EXPECT_EQ(lib.EntryUsbCheck(vendor, model, nullptr), 1);
    char description[384] = {};
    lib.EntryUsbCheck(vendor, model, description);
    EXPECT_STREQ(description + 256, "USB001");
    EXPECT_STRNE(description, "USB001");

    int write = -1, read = -1;
    lib.Start(&write, &read);
    EXPECT_NE(write, ZEPL_NO_CHANNEL);
    EXPECT_NE(read, ZEPL_NO_CHANNEL);
    EXPECT_NE(write, read);
    std::string reply;
    int count = 0;
    ASSERT_EQ(lib.Send(write, kStatus), 0);
    ASSERT_EQ(lib.Receive(read, &reply, &count), 0);
    EXPECT_EQ(reply, "0\x03");
    ASSERT_EQ(lib.Send(write, kVersion), 0);
    ASSERT_EQ(lib.Receive(read, &reply, &count), 0);
    EXPECT_EQ(reply, "V1.00\x03");
    EXPECT_FALSE(zepl_sim::ReadLog(dir + "env.log").empty());
}

TEST_F(SimulatorTest, ScenarioSetsResultsPortAndHandles) {
    Use(Scenario()
            .Set("init_result", "2")
            .Set("plotter_count", "2")
            .Set("port", "USB 007")
            .Set("open_write", "fail")
            .Set("open_read", "zero"));
    Library lib;
    char vendor[256] = "ZEPL", model[128] = "KM500", port[128] = "USB 007";
    EXPECT_EQ(lib.InitDll(vendor, 1, 9100, 0, 0), 2);
    EXPECT_EQ(lib.EntryUsbCheck(vendor, model, nullptr), 2);
    char description[384] = {};
    lib.EntryUsbCheck(vendor, model, description);
    EXPECT_STREQ(description + 256, "USB 007");
    EXPECT_EQ(lib.OpenUsbEx(0, ZEPL_CHANNEL_WRITE, ZEPL_OPEN_FLAGS, vendor, model, port), -1);
    EXPECT_EQ(lib.OpenUsbEx(0, ZEPL_CHANNEL_READ, ZEPL_OPEN_FLAGS, vendor, model, port), 0);
}

TEST_F(SimulatorTest, NoPlotterAttachedOpensNoChannel) {
    Use(Scenario().Set("plotter_count", "0"));
    Library lib;
    int write = 0, read = 0;
    lib.Start(&write, &read);
    EXPECT_EQ(write, ZEPL_NO_CHANNEL);
    EXPECT_EQ(read, ZEPL_NO_CHANNEL);
}

TEST_F(SimulatorTest, RawFillLeavesPortUnterminated) {
    Use(Scenario().Set("port", "AB").Set("port_raw_fill", "yes"));
    Library lib;
    char vendor[256] = "ZEPL", model[128] = "KM500";
    char description[384] = {};
    lib.EntryUsbCheck(vendor, model, description);
    for (int i = 256; i < 384; ++i) ASSERT_EQ(description[i], "AB"[i % 2]) << i;
}

TEST_F(SimulatorTest, AnswersTheLastQueryOnceAndIgnoresFirmware) {
    Use(Scenario().Set("status_reply", "4\x03").Set("version_reply", "V2.10,12\x03"));
    Library lib;
    int write, read;
    lib.Start(&write, &read);
    std::string reply;
    int count = 0;
    lib.Send(write, kStatus);
    lib.Send(write, kVersion);
    lib.Send(write, "firmware");
    ASSERT_EQ(lib.Receive(read, &reply, &count), 0);
    EXPECT_EQ(reply, "V2.10,12\x03");
    // Nothing more was asked: the next read times out.
    EXPECT_NE(lib.Receive(read, &reply, &count), 0);
    EXPECT_EQ(count, 0);
    lib.Send(write, kStatus);
    lib.Receive(read, &reply, &count);
    EXPECT_EQ(reply, "4\x03");
}

TEST_F(SimulatorTest, ProgressRepliesFollowTheUpdateRequestAndRepeatTheLast) {
    Use(Scenario().Set("progress_busy_count", "3").Add("progress_reply", " -1x\x03").Add("progress_reply", "0\x03"));
    Library lib;
    int write, read;
    lib.Start(&write, &read);
    lib.Send(write, kUpdate);
    std::vector<std::string> replies;
    for (int i = 0; i < 6; ++i) {
        std::string reply;
        int count = 0;
        EXPECT_EQ(lib.Receive(read, &reply, &count), 0);
        replies.push_back(reply);
    }
    EXPECT_EQ(replies, (std::vector<std::string>{"-1\x03", "-1\x03", "-1\x03", " -1x\x03", "0\x03", "0\x03"}));
}

TEST_F(SimulatorTest, WriteFaultsStrikeTheAddressedWrite) {
    struct Case {
        const char* rule;
        int result;
        int written;  // of the struck third write, 8 bytes of firmware
    };
    const Case cases[] = {
        {"3:refused", 1, 0},       {"data.2:refused_taken", 1, 8}, {"data:short", 0, 4},
        {"data.2:timeout", 2, 0},  {"status:refused", 0, 8},      {"update:refused", 0, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        Use(Scenario().Set("fail_write", c.rule));
        Library lib;
        int write, read, written = 0;
        lib.Start(&write, &read);
        lib.Send(write, kStatus);
        lib.Send(write, "12345678");
        EXPECT_EQ(lib.Send(write, "abcdefgh", &written), c.result);
        EXPECT_EQ(written, c.written);
    }
}

TEST_F(SimulatorTest, OnwardAddressesStrikeEveryLaterWrite) {
    struct Case {
        const char* rule;
        std::vector<int> results;
        std::vector<int> written;
    };
    // The writes: data, data, status, data, data; each data write is 8 bytes.
    const Case cases[] = {
        {"data.2+:timeout", {0, 2, 0, 2, 2}, {8, 0, 5, 0, 0}},
        {"3+:refused", {0, 0, 1, 1, 1}, {8, 8, 0, 0, 0}},
        {"data.3+:zero_taken", {0, 0, 0, 0, 0}, {8, 8, 5, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        Use(Scenario().Set("fail_write", c.rule));
        Library lib;
        int write, read;
        lib.Start(&write, &read);
        std::vector<int> results, written;
        for (const char* bytes : {"abcdefgh", "ijklmnop", kStatus, "qrstuvwx", "yz012345"}) {
            int n = -1;
            results.push_back(lib.Send(write, bytes, &n));
            written.push_back(n);
        }
        EXPECT_EQ(results, c.results);
        EXPECT_EQ(written, c.written);
    }
}

// The wizard's transfer: 1024-byte blocks, after a short write only the
// untaken rest again, and the run's three loads append to one received file.
TEST_F(SimulatorTest, TransferKeepsTakenBytesInOrderAndStampsDataWrites) {
    const int kDelayMs = 2;
    std::string firmware;
    for (int i = 0; i < 3 * 2500; ++i) firmware += static_cast<char>(i * 7 + i / 251);
    for (const bool hex : {true, false}) {
        SCOPED_TRACE(hex ? "log_data_bytes = yes" : "log_data_bytes = no");
        fs::remove(dir + "sim.log");
        fs::remove(dir + "received.bin");
        // Per load: block 2 is taken 512 + 256 + 0 + 256 bytes at a time.
        Use(Scenario()
                .Set("data_delay_ms", std::to_string(kDelayMs))
                .Set("log_data_bytes", hex ? "yes" : "no")
                .Set("observe_window", "yes")
                .Add("fail_write", "data.2:short")
                .Add("fail_write", "data.3:short")
                .Add("fail_write", "data.4:zero_taken"));
        std::vector<std::string> sent;
        for (int load = 0; load < 3; ++load) {
            Library lib;
            int write, read;
            lib.Start(&write, &read);
            lib.Send(write, kUpdate);
            const std::string part = firmware.substr(load * 2500, 2500);
            for (size_t at = 0; at < part.size(); at += 1024) {
                const std::string block = part.substr(at, 1024);
                for (size_t done = 0; done < block.size();) {
                    int written = 0;
                    sent.push_back(block.substr(done));
                    ASSERT_EQ(lib.Send(write, sent.back(), &written), 0);
                    done += static_cast<size_t>(written);
                }
            }
        }
        EXPECT_EQ(Received(), firmware);
        ASSERT_EQ(sent.size(), 18u) << "every fault struck once a load";

        std::vector<Call> data;
        for (const Call& w : zepl_sim::CallsOf(Log(), "ZEPL_Write")) {
            if (w.Text("kind") == "data") {
                data.push_back(w);
                continue;
            }
            EXPECT_EQ(w.Bytes("bytes"), kUpdate);
            EXPECT_FALSE(w.Has("t_us") || w.Has("observe"));
        }
        ASSERT_EQ(data.size(), sent.size());
        for (size_t i = 0; i < data.size(); ++i) {
            SCOPED_TRACE(i);
            char crc[9];
            std::snprintf(crc, sizeof crc, "%08lX", zepl_sim::Crc32(sent[i].data(), sent[i].size()));
            EXPECT_EQ(data[i].Has("bytes") ? data[i].Bytes("bytes") : data[i].Text("crc32"), hex ? sent[i] : crc);
            EXPECT_EQ(data[i].Text("observe"), "unsupported");
            ASSERT_TRUE(data[i].Int("t_us").has_value());
            // Each data write sleeps before it returns: the next comes no sooner.
            if (i > 0) {
                EXPECT_GE(*data[i].Int("t_us") - *data[i - 1].Int("t_us"), kDelayMs * 1000);
            }
        }
    }
}

TEST_F(SimulatorTest, ReadFaultsShapeTheReply) {
    struct Case {
        const char* rule;
        int result;
        int count;
        std::string reply;  // as placed in the 256-byte buffer
    };
    const Case cases[] = {
        {"refused", 1, 0, ""},
        {"timeout", 2, 0, ""},
        {"empty", 0, 0, ""},
        {"full", 0, 256, std::string(253, ' ') + "12\x03"},
        {"overcount", 0, 300, std::string(253, ' ') + "12\x03"},
        {"no_etx", 0, 2, "12"},
        {"etx_first", 0, 4, "\x03" "12\x03"},
        {"nul_before_etx", 0, 4, std::string("12\0\x03", 4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        Use(Scenario().Set("status_reply", "12\x03").Set("fail_read", std::string("status.2:") + c.rule));
        Library lib;
        int write, read, count = 0;
        lib.Start(&write, &read);
        std::string reply;
        lib.Send(write, kStatus);
        ASSERT_EQ(lib.Receive(read, &reply, &count), 0);
        ASSERT_EQ(reply, "12\x03");  // the first status read is not struck
        lib.Send(write, kStatus);
        // Guard bytes behind the capacity must stay untouched.
        char buffer[300];
        std::memset(buffer, 0, 256);
        std::memset(buffer + 256, '#', 44);
        EXPECT_EQ(lib.Read(read, buffer, 256, &count, 30000), c.result);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(std::string(buffer, c.reply.size()), c.reply);
        EXPECT_EQ(std::string(buffer + 256, 44), std::string(44, '#'));
    }
}

TEST_F(SimulatorTest, KeepsFirmwareAcrossLoadsAndLogsCommandsInOrder) {
    Use(Scenario().Set("fail_write", "data.2:short"));
    for (int load = 0; load < 2; ++load) {
        Library lib;
        int write, read;
        lib.Start(&write, &read);
        lib.Send(write, kStatus);
        lib.Send(write, std::string("AB\0\x1b", 4));
        lib.Send(write, "CDEF");  // short: CD taken
        lib.Send(write, kUpdate);
        lib.Close(read);
        lib.Close(write);
    }
    EXPECT_EQ(Received(), std::string("AB\0\x1b" "CD" "AB\0\x1b" "CD", 12));

    const std::vector<Call> log = Log();
    EXPECT_EQ(zepl_sim::CommandsWritten(log), (std::vector<std::string>{"status", "update", "status", "update"}));
    const std::vector<Call> inits = zepl_sim::CallsOf(log, "ZEPL_InitDll");
    ASSERT_EQ(inits.size(), 2u);
    EXPECT_EQ(inits[0].Text("vendor"), "ZEPL");
    EXPECT_EQ(inits[0].Int("b"), 9100);
    EXPECT_EQ(inits[0].Int("load"), 1);
    EXPECT_EQ(inits[1].Int("load"), 2);

    const std::vector<Call> writes = zepl_sim::CallsOf(log, "ZEPL_Write");
    ASSERT_EQ(writes.size(), 8u);
    EXPECT_EQ(writes[0].Bytes("bytes"), kStatus);
    EXPECT_EQ(writes[0].Int("timeout"), 10000);
    EXPECT_EQ(writes[2].Text("fault"), "short");
    EXPECT_EQ(writes[2].Int("written"), 2);
    for (const Call& c : log) EXPECT_FALSE(c.Has("error")) << c.entry;
}

TEST_F(SimulatorTest, LoadSectionReplacesTheCommonValues) {
    Scenario s;
    s.Set("status_reply", "0\x03").Add("fail_read", "1:timeout");
    s.Set("status_reply", "1\x03", 2).Add("fail_read", "2:empty", 2);
    Use(s);
    struct Read {
        int result;
        std::string reply;
    };
    // Load 2 has its own reply, and its fault list replaces the common one.
    const Read expected[2][2] = {{{2, ""}, {0, "0\x03"}}, {{0, "1\x03"}, {0, ""}}};
    for (int load = 0; load < 2; ++load) {
        SCOPED_TRACE(load + 1);
        Library lib;
        int write, read;
        lib.Start(&write, &read);
        for (const Read& e : expected[load]) {
            std::string reply;
            int count;
            lib.Send(write, kStatus);
            EXPECT_EQ(lib.Receive(read, &reply, &count), e.result);
            EXPECT_EQ(reply, e.reply);
        }
    }
}

TEST_F(SimulatorTest, MisuseIsRefusedAndLogged) {
    Use(Scenario());
    Library lib;
    int write, read, written;
    lib.Start(&write, &read);
    EXPECT_NE(lib.Send(read, kStatus, &written), 0);
    EXPECT_EQ(lib.Close(write), 0);
    EXPECT_NE(lib.Close(write), 0);
    EXPECT_NE(lib.Send(write, kStatus), 0);
    const std::vector<Call> log = Log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[log.size() - 4].Text("error"), "bad_handle");
    EXPECT_EQ(log[log.size() - 2].Text("error"), "not_open");
    EXPECT_EQ(log.back().Text("error"), "bad_handle");
}

TEST_F(SimulatorTest, ReloadForgetsChannelsAndQueries) {
    Use(Scenario());
    int write, read;
    {
        Library lib;
        lib.Start(&write, &read);
        lib.Send(write, kStatus);
    }
    Library lib;  // no InitDll: the first call starts the load
    std::string reply;
    int count;
    EXPECT_NE(lib.Receive(read, &reply, &count), 0);
    const std::vector<Call> log = Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().Text("error"), "bad_handle");
}

TEST_F(SimulatorTest, BrokenScenarioFailsLoudly) {
    for (const char* text : {"stauts_reply = 0\n", "fail_read = 2:short\n", "port = \\q\n", "[load 0]\n",
                             "fail_write = data+:timeout\n", "data_delay_ms = -1\n"}) {
        SCOPED_TRACE(text);
        std::ofstream(dir + "scenario.txt", std::ios::binary) << "log = sim.log\n" << text;
        setenv("ZEPL_SIM_SCENARIO", (dir + "scenario.txt").c_str(), 1);
        fs::remove(dir + "sim.log");
        Library lib;
        char vendor[256] = "ZEPL";
        EXPECT_NE(lib.InitDll(vendor, 1, 9100, 0, 0), 1);
        const std::vector<Call> log = Log();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log[0].entry, "SIM_ERROR");
    }
}

TEST_F(SimulatorTest, EachVariantLacksExactlyItsEntry) {
    for (const char* missing : kEntries) {
        SCOPED_TRACE(missing);
        Library lib(std::string("zepl_sim_without_") + missing);
        ASSERT_NE(lib.handle, nullptr) << dlerror();
        for (const char* entry : kEntries)
            EXPECT_EQ(dlsym(lib.handle, entry) == nullptr, std::strcmp(entry, missing) == 0) << entry;
    }
}

TEST(SimulatorLogText, EveryByteSurvivesEscapingAndParsing) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    const std::string line = "ZEPL_OpenUsbEx port=\"" + zepl_sim::EscapeText(all + "\" x=1") + "\" kind=1";
    Call call;
    ASSERT_TRUE(zepl_sim::ParseLogLine(line, &call));
    EXPECT_EQ(call.Text("port"), all + "\" x=1");
    EXPECT_EQ(call.Int("kind"), 1);
    EXPECT_FALSE(call.Has("x"));
}

TEST(SimulatorLogText, Crc32GivesTheCheckValue) { EXPECT_EQ(zepl_sim::Crc32("123456789", 9), 0xCBF43926UL); }

}  // namespace
