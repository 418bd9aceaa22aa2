// The model table's data and its lookup.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "package/model_table.h"

namespace {
const int kModels = kModelTableRows - 1;
}  // namespace

TEST(ModelTableTest, FifteenUniqueKeysThenTheEmptyClosingRow) {
    std::set<std::string> keys;
    for (int i = 0; i < kModels; ++i) {
        const ModelEntry& e = g_modelTable[i];
        EXPECT_NE(e.szKey[0], '\0') << "row " << i;
        EXPECT_TRUE(keys.insert(e.szKey).second) << e.szKey;
        // Upper case, letters and digits: never the separator "_" or the version marker "V".
        for (const char* p = e.szKey; *p; ++p)
            EXPECT_TRUE(((*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9')) && *p != 'V') << e.szKey;
    }
    const ModelEntry& end = g_modelTable[kModels];
    EXPECT_STREQ(end.szKey, "");
    EXPECT_STREQ(end.szVendor, "");
    EXPECT_STREQ(end.szModel, "");
    EXPECT_STREQ(end.szDriver, "");
    EXPECT_EQ(end.nSpoolerLimit + end.nProcedure + end.bStatusReplies, 0);
}

TEST(ModelTableTest, LimitsProceduresAndStatusRepliesFallOnTheRightRows) {
    // A row moved or mistyped here gets another route, other instructions or
    // no polling. Status-reply models never have a limit: their status
    // exchange needs the link library's send channel.
    std::string limited, beep, ready, replies;
    for (int i = 0; i < kModels; ++i) {
        const ModelEntry& e = g_modelTable[i];
        const std::string key = std::string(e.szKey) + " ";
        if (e.nSpoolerLimit != 0) limited += key + std::to_string(e.nSpoolerLimit) + " ";
        if (e.nProcedure == 1) beep += key;
        if (e.nProcedure == 2) ready += key;
        if (e.nProcedure < 0 || e.nProcedure > 2) ADD_FAILURE() << e.szKey;
        if (e.bStatusReplies == 1) replies += key;
        if (e.bStatusReplies != 0 && e.bStatusReplies != 1) ADD_FAILURE() << e.szKey;
    }
    EXPECT_EQ(limited, "KM500HB 500 KM500 500 KM500AP 500 ");
    EXPECT_EQ(beep, "LX450 LX224 LX225 ");
    EXPECT_EQ(ready, "KM600 KM600AP LX860 LXW200 RT600 ");
    EXPECT_EQ(replies, ready);
}

TEST(ModelTableTest, OnlyTheWholeKeyInItsOwnLetterCaseMatches) {
    for (int i = 0; i < kModels; ++i) EXPECT_EQ(FindModelEntry(g_modelTable[i].szKey), &g_modelTable[i]) << i;
    for (const char* key : {"KM50", "KM500H", "KM500 ", " KM500", "km500", "KM500-120AP", "KM300Mk2", ""})
        EXPECT_EQ(FindModelEntry(key), nullptr) << '"' << key << '"';
}

TEST(ModelTableTest, TextsThatDifferFromTheKeyAreKeptExactly) {
    const struct {
        const char* key;
        const char* vendor;
        const char* model;
        const char* driver;
    } rows[] = {
        {"KM300HB", "Tarvonic", "KM300-40-HB", "Tarvonic Hobby Cutter Pro"},
        {"KM300MK2", "Tarvonic", "KM300Mk2", "Tarvonic KM300Mk2"},
        {"KM500HB", "Tarvonic", "KM500-40-HB", "Tarvonic Hobby Cutter Pro S"},
        {"KM500AP", "Tarvonic", "KM500-120AP", "Tarvonic KM500-120AP"},
        {"LX450", "Tarvonic", "LX450", "Tarvonic LX450 SERIES"},
        {"KM600AP", "Tarvonic", "KM600-120AP", "Tarvonic KM600-120AP"},
        {"RT600", "Brookvale", "RT600", "Brook Vale Rt600"},
    };
    for (const auto& r : rows) {
        const ModelEntry* e = FindModelEntry(r.key);
        ASSERT_NE(e, nullptr) << r.key;
        EXPECT_STREQ(e->szVendor, r.vendor) << r.key;
        EXPECT_STREQ(e->szModel, r.model) << r.key;
        EXPECT_STREQ(e->szDriver, r.driver) << r.key;
    }
}
