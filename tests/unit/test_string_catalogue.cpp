// The one source of the string tables: every text in both languages, in the
// form the static controls and message boxes expect.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "res/resource.h"
#include "res/string_table.h"

TEST(StringCatalogueTest, EveryTextExistsInBothLanguagesExceptTheTwoTitles) {
    std::set<unsigned> expected = {IDS_VERSION_TITLE, AFX_IDS_APP_TITLE};
    for (unsigned id = 2001; id <= 2012; ++id) expected.insert(id);
    for (unsigned id = 2501; id <= 2510; ++id) expected.insert(id);
    for (unsigned id = 3001; id <= 3010; ++id) expected.insert(id);

    size_t count = 0;
    const StringResource* all = StringResources(&count);
    std::set<unsigned> present;
    for (size_t i = 0; i < count; ++i) {
        const StringResource& s = all[i];
        EXPECT_TRUE(present.insert(s.id).second) << "duplicate id " << s.id;
        const bool englishOnly = s.id == IDS_VERSION_TITLE || s.id == AFX_IDS_APP_TITLE;
        EXPECT_EQ(s.japanese == nullptr, englishOnly) << s.id;
        for (const char* text : {s.english, s.japanese}) {
            if (!text) continue;
            EXPECT_GT(std::strlen(text), 0u) << s.id;
            EXPECT_EQ(std::strchr(text, '\r'), nullptr) << "carriage return in " << s.id;
        }
    }
    EXPECT_EQ(present, expected);
}

TEST(StringCatalogueTest, TextsKeepTheirBlanksQuotesAndLineFeeds) {
    auto en = [](unsigned id) { return std::string(FindStringResource(id)->english); };
    auto ja = [](unsigned id) { return std::string(FindStringResource(id)->japanese); };
    EXPECT_EQ(en(AFX_IDS_APP_TITLE), "Firmware Update Ver.2.30");
    EXPECT_EQ(en(IDS_CAP_MODEL_NAME), "Plotter Model Name : ");
    EXPECT_NE(en(IDS_GUIDE_MODE_LOADER).find("when the \n   [PLEASE SEND PRG]"), std::string::npos);
    EXPECT_NE(en(IDS_GUIDE_MODE_READY).find("the \"Ready\" or the \"Media selection\" menu"), std::string::npos);
    EXPECT_EQ(en(IDS_ERR_PLOTTER_UNAVAILABLE), en(IDS_CAP_NOT_UPDATABLE));
    EXPECT_EQ(ja(IDS_CAP_NOT_UPDATABLE), "更新対象のプロッタが接続されていません。");
    EXPECT_EQ(ja(IDS_CAP_NEXT), "次へ >");
    EXPECT_EQ(en(IDS_GUIDE_FILES_MISSING), "There are not enough files to update the firmware.\nPlease get the correct update program.");
}
