// Result codes as message boxes and guidance requests as guidance texts, in
// both languages, with the texts taken from the program's string tables.
#include <gtest/gtest.h>

#include <climits>

#include "res/string_table.h"
#include "tests/integration/wizard_fixture.h"

using testplat::Control;
using testplat::Language;
using testplat::Text;
using testplat::world;

namespace {
std::string Str(unsigned id, Language lang) {
    const StringResource* r = FindStringResource(id);
    if (!r) return "<missing " + std::to_string(id) + ">";
    return (lang == Language::Japanese && r->japanese) ? r->japanese : r->english;
}
}  // namespace

class MessageCatalogueTest : public WizardTest, public ::testing::WithParamInterface<Language> {};

TEST_P(MessageCatalogueTest, EachFailureCodeShowsOneInformationBoxWithItsText) {
    const Language lang = GetParam();
    world().language = lang;
    const struct {
        int code;
        unsigned text;
    } cases[] = {
        {1, IDS_ERR_MULTIPLE_PLOTTERS}, {2, IDS_ERR_FILE_OPEN},          {3, IDS_ERR_PLOTTER_UNAVAILABLE},
        {4, IDS_ERR_UPDATE_FAILED},     {5, IDS_ERR_COMMUNICATION},      {100, IDS_ERR_FILES_MISSING},
        {101, IDS_ERR_NO_FIRMWARE_FILE}, {102, IDS_ERR_ALREADY_LATEST},  {103, IDS_ERR_WRONG_GENERATION},
        // Codes without a text of their own.
        {50, IDS_ERR_OTHER}, {6, IDS_ERR_OTHER}, {99, IDS_ERR_OTHER}, {104, IDS_ERR_OTHER},
        {-1, IDS_ERR_OTHER}, {INT_MIN, IDS_ERR_OTHER}, {INT_MAX, IDS_ERR_OTHER},
    };
    RunProgram([&](CFirmwareUpdateDlg& dlg, HWND h) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.code);
            world().messageBoxes.clear();
            EXPECT_EQ(dlg.ShowResultBox(c.code), FALSE);
            ASSERT_EQ(world().messageBoxes.size(), 1u);
            const testplat::MessageBoxRecord& box = world().messageBoxes[0];
            EXPECT_EQ(box.text, Str(c.text, lang));
            EXPECT_EQ(box.caption, "Firmware Update Ver.2.30");  // English in both languages
            EXPECT_EQ(box.type, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
            EXPECT_EQ(box.owner, h);
        }
        world().messageBoxes.clear();
        EXPECT_EQ(dlg.ShowResultBox(0), TRUE);
        EXPECT_TRUE(world().messageBoxes.empty());

        // The text itself, in the user's language.
        dlg.ShowResultBox(50);
        ASSERT_EQ(world().messageBoxes.size(), 1u);
        EXPECT_EQ(world().messageBoxes[0].text,
                  lang == Language::Japanese ? "不明なエラーが発生しました。" : "The unknown error occurred.");
    });
}

TEST_P(MessageCatalogueTest, GuidanceShowsItsTextOrTheModelsProcedureOrNothing) {
    const Language lang = GetParam();
    world().language = lang;
    const struct {
        unsigned id;
        int procedure;
        unsigned text;  // 0: the empty text
    } cases[] = {
        {IDS_GUIDE_MODE_LOADER, 0, IDS_GUIDE_MODE_LOADER},
        {IDS_GUIDE_MODE_LOADER, 1, IDS_GUIDE_MODE_BEEP},
        {IDS_GUIDE_MODE_LOADER, 2, IDS_GUIDE_MODE_READY},
        {IDS_GUIDE_MODE_LOADER, 3, IDS_GUIDE_MODE_LOADER},
        {IDS_GUIDE_MODE_LOADER, -1, IDS_GUIDE_MODE_LOADER},
        {IDS_GUIDE_MODE_BEEP, 1, 0},
        {IDS_GUIDE_MODE_READY, 2, 0},
        {0, 0, 0},
        {2000, 0, 0},
        {2013, 0, 0},
        {IDS_ERR_FILES_MISSING, 0, 0},
        {IDS_GUIDE_FILES_MISSING, 2, IDS_GUIDE_FILES_MISSING},
        {IDS_GUIDE_MULTIPLE_PLOTTERS, 1, IDS_GUIDE_MULTIPLE_PLOTTERS},
        {IDS_GUIDE_NOT_DETECTED, 0, IDS_GUIDE_NOT_DETECTED},
        {IDS_GUIDE_PRESS_UPDATE, 2, IDS_GUIDE_PRESS_UPDATE},
        {IDS_GUIDE_UPDATING, 1, IDS_GUIDE_UPDATING},
        {IDS_GUIDE_FINISHED, 0, IDS_GUIDE_FINISHED},
        {IDS_GUIDE_FAILED, 2, IDS_GUIDE_FAILED},
        {IDS_GUIDE_NOT_NEEDED, 0, IDS_GUIDE_NOT_NEEDED},
        {IDS_GUIDE_WRONG_GENERATION, 1, IDS_GUIDE_WRONG_GENERATION},
    };
    RunProgram([&](CFirmwareUpdateDlg& dlg, HWND h) {
        const HWND message = Control(h, IDC_MESSAGE);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.id);
            SCOPED_TRACE(c.procedure);
            // Something else is showing first: the new text replaces it whole.
            dlg.m_nProcedure = 0;
            dlg.ShowGuidance(IDS_GUIDE_UPDATING);
            dlg.m_nProcedure = c.procedure;
            dlg.ShowGuidance(c.id);
            EXPECT_EQ(Text(message), c.text ? Str(c.text, lang) : "");
        }
        world().messageBoxes.clear();
        dlg.ShowGuidance(IDS_GUIDE_FAILED);
        EXPECT_TRUE(world().messageBoxes.empty());  // guidance never shows a box
    });
}

INSTANTIATE_TEST_SUITE_P(Languages, MessageCatalogueTest, ::testing::Values(Language::English, Language::Japanese),
                         [](const auto& info) { return info.param == Language::English ? "English" : "Japanese"; });
