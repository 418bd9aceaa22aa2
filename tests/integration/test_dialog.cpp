// The wizard as it opens, and what it leaves behind when it closes.
#include <gtest/gtest.h>

#include "res/string_table.h"
#include "tests/integration/wizard_fixture.h"

using testplat::Control;
using testplat::Enabled;
using testplat::Shown;
using testplat::Text;
using testplat::world;

namespace {
std::string Str(unsigned id, testplat::Language lang) {
    const StringResource* r = FindStringResource(id);
    if (!r) return "<missing " + std::to_string(id) + ">";
    return (lang == testplat::Language::Japanese && r->japanese) ? r->japanese : r->english;
}
}  // namespace

class OpenedDialog : public WizardTest, public ::testing::WithParamInterface<testplat::Language> {};

TEST_P(OpenedDialog, ShowsItsOpeningStateInTheUsersLanguage) {
    const auto lang = GetParam();
    world().language = lang;
    bool seen = false;
    // As it opens, before the posted check has run.
    world().afterInit = [&](HWND h) {
        seen = true;
        auto& dlg = *static_cast<CFirmwareUpdateDlg*>(AfxGetMainWnd());
        EXPECT_EQ(Text(h), "Firmware Update Ver.2.30");  // English in both languages
        EXPECT_EQ(Text(Control(h, IDC_MODEL_NAME)), "Plotter Model : ");
        EXPECT_EQ(Text(Control(h, IDC_CURRENT_CAPTION)), Str(IDS_CAP_CURRENT_VERSION, lang));
        EXPECT_EQ(Text(Control(h, IDC_NEW_CAPTION)), Str(IDS_CAP_NEW_VERSION, lang));
        EXPECT_EQ(Text(Control(h, IDC_CURRENT_VERSION)), Str(IDS_CAP_NOT_UPDATABLE, lang));
        EXPECT_EQ(Text(Control(h, IDC_NEW_VERSION)), "*.**");
        EXPECT_EQ(Text(Control(h, IDC_MESSAGE)), "");
        EXPECT_EQ(Text(Control(h, IDOK)), Str(IDS_CAP_NEXT, lang));
        EXPECT_EQ(Text(Control(h, IDCANCEL)), Str(IDS_CAP_CANCEL, lang));
        EXPECT_EQ(Text(Control(h, IDC_CHECK)), Str(IDS_CAP_CHECK, lang));
        EXPECT_FALSE(Shown(Control(h, IDC_CHECK)));
        EXPECT_FALSE(Shown(Control(h, IDC_PERCENT)));
        EXPECT_FALSE(Shown(Control(h, IDC_PROGRESS)));
        EXPECT_TRUE(Shown(Control(h, IDC_MESSAGE)));
        EXPECT_TRUE(Enabled(Control(h, IDCANCEL)));
        EXPECT_TRUE(Shown(h));
        EXPECT_EQ(dlg.m_strModel, Str(IDS_CAP_NO_MODEL, lang).c_str());
        EXPECT_EQ(dlg.m_nStage, 0);
    };
    RunProgram();
    EXPECT_TRUE(seen);
}

INSTANTIATE_TEST_SUITE_P(Languages, OpenedDialog,
                         ::testing::Values(testplat::Language::English, testplat::Language::Japanese),
                         [](const auto& info) { return info.param == testplat::Language::English ? "English" : "Japanese"; });

TEST_F(WizardTest, OpensTopmostCentredWithIconPropertyAndProgressRange) {
    RunProgram([&](CFirmwareUpdateDlg& dlg, HWND h) {
        const testplat::FakeWindow* w = world().Find(h);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->exStyle & WS_EX_TOPMOST);
        EXPECT_EQ(os::GetPropA(h, "UPDATE"), reinterpret_cast<HANDLE>(1));
        ASSERT_NE(dlg.m_hIcon, nullptr);
        EXPECT_EQ(os::SendMessageA(h, WM_QUERYDRAGICON, 0, 0), reinterpret_cast<LRESULT>(dlg.m_hIcon));

        // Centred on the work area, which the template's 0, 0 position asks of the framework.
        const RECT& r = w->rect;
        const RECT& a = world().workArea;
        EXPECT_LE(std::abs((r.left + r.right) / 2 - (a.left + a.right) / 2), 1);
        EXPECT_LE(std::abs((r.top + r.bottom) / 2 - (a.top + a.bottom) / 2), 1);

        HWND bar = Control(h, IDC_PROGRESS);
        EXPECT_EQ(os::SendMessageA(bar, PBM_GETRANGE, TRUE, 0), 1);
        EXPECT_EQ(os::SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 2000);
        EXPECT_EQ(world().Find(bar)->step, 1);
    });
}

TEST_F(WizardTest, PostsTheCheckCommandOnceAndRunsItOnlyFromTheMessageLoop) {
    std::vector<testplat::PostedMessage> queuedAtInit;
    world().afterInit = [&](HWND) { queuedAtInit = world().queue; };
    RunProgram([&](CFirmwareUpdateDlg&, HWND h) {
        ASSERT_EQ(queuedAtInit.size(), 1u);
        EXPECT_EQ(queuedAtInit[0].hwnd, h);
        EXPECT_EQ(queuedAtInit[0].message, static_cast<UINT>(WM_COMMAND));
        EXPECT_EQ(queuedAtInit[0].wParam, static_cast<WPARAM>(IDC_CHECK));
        EXPECT_EQ(queuedAtInit[0].lParam, 0);
        EXPECT_TRUE(world().queue.empty());  // dispatched by the time the user acts
    });
    EXPECT_EQ(world().dialogsCreated, 1);
}

TEST_F(WizardTest, NewDialogHoldsTheInitialValuesOfEveryMember) {
    CFirmwareUpdateDlg dlg;
    EXPECT_NE(dlg.m_hIcon, nullptr);
    EXPECT_EQ(dlg.m_hLinkLib, nullptr);
    EXPECT_EQ(dlg.m_pfnInitDll, nullptr);
    EXPECT_EQ(dlg.m_pfnEntryUsbCheck, nullptr);
    EXPECT_EQ(dlg.m_pfnOpenUsbEx, nullptr);
    EXPECT_EQ(dlg.m_pfnWrite, nullptr);
    EXPECT_EQ(dlg.m_pfnRead, nullptr);
    EXPECT_EQ(dlg.m_pfnClose, nullptr);
    for (const CString* s : {&dlg.m_strVendor, &dlg.m_strModel, &dlg.m_strPort, &dlg.m_strDriver, &dlg.m_strPrinter,
                             &dlg.m_strFirmwarePath})
        EXPECT_TRUE(s->IsEmpty());
    for (int n : {dlg.m_nFirmwareSize, dlg.m_nCurrentVersion, dlg.m_nNewVersion, dlg.m_nSpoolerLimit, dlg.m_nProcedure,
                  dlg.m_nStage})
        EXPECT_EQ(n, 0);
    EXPECT_EQ(dlg.m_bDirectUsb, 1);
    EXPECT_EQ(dlg.m_bStatusReplies, 0);
}

TEST_F(WizardTest, IconLoadFailureLeavesNoIcon) {
    world().iconMissing = true;
    CFirmwareUpdateDlg dlg;
    EXPECT_EQ(dlg.m_hIcon, nullptr);
}

TEST_F(WizardTest, DestroyingTheDialogRemovesThePropertyAndReleasesALoadedLibrary) {
    InstallLibrary();
    WriteScenario("init_result = 0\n");
    HWND dialog = nullptr;
    RunProgram([&](CFirmwareUpdateDlg& dlg, HWND h) {
        dialog = h;
        EXPECT_EQ(dlg.LoadLinkLibrary(), 0);  // refused initialisation: stays loaded
        EXPECT_NE(dlg.m_hLinkLib, nullptr);
    });
    ASSERT_EQ(world().destroyedWindows.count(dialog), 1u);
    EXPECT_TRUE(world().destroyedWindows[dialog].props.empty());
    ASSERT_FALSE(world().libraryEvents.empty());
    EXPECT_TRUE(world().libraryEvents.back().isFree);
}

TEST_F(WizardTest, DestroyingTheDialogWithoutLibraryFreesNothing) {
    RunProgram([](CFirmwareUpdateDlg&, HWND) {});
    EXPECT_TRUE(world().libraryEvents.empty());
}

// The window's icons and the one it paints when minimised are those of its
// DPI, at 100 % to 200 % scaling.
class DpiDialog : public WizardTest, public ::testing::WithParamInterface<UINT> {};

TEST_P(DpiDialog, MinimisedWindowPaintsItsIconCentred) {
    const UINT dpi = GetParam();
    const int big = 32 * static_cast<int>(dpi) / 96;
    world().dpi = dpi;
    RunProgram([&](CFirmwareUpdateDlg&, HWND h) {
        const testplat::FakeWindow* w = world().Find(h);
        ASSERT_EQ(world().iconsLoaded.count(w->bigIcon), 1u);
        ASSERT_EQ(world().iconsLoaded.count(w->smallIcon), 1u);
        EXPECT_EQ(world().iconsLoaded[w->bigIcon].cx, big);
        EXPECT_EQ(world().iconsLoaded[w->smallIcon].cx, big / 2);

        os::ShowWindow(h, SW_MINIMIZE);
        RECT client{};
        os::GetClientRect(h, &client);
        os::SendMessageA(h, WM_PAINT, 0, 0);
        ASSERT_EQ(world().iconsDrawn.size(), 1u);
        const testplat::DrawnIcon& drawn = world().iconsDrawn[0];
        EXPECT_EQ(drawn.icon, w->bigIcon);
        EXPECT_EQ(drawn.cx, big);
        EXPECT_EQ(drawn.cy, big);
        EXPECT_EQ(drawn.x, (client.right - client.left - big + 1) / 2);
        EXPECT_EQ(drawn.y, (client.bottom - client.top - big + 1) / 2);

        os::ShowWindow(h, SW_RESTORE);
        os::SendMessageA(h, WM_PAINT, 0, 0);
        EXPECT_EQ(world().iconsDrawn.size(), 1u);  // a normal window paints as usual
    });
    for (const auto& icon : world().iconsLoaded) EXPECT_TRUE(icon.second.destroyed);
}

INSTANTIATE_TEST_SUITE_P(Scalings, DpiDialog, ::testing::Values(96u, 120u, 144u, 192u),
                         [](const auto& info) { return "dpi" + std::to_string(info.param); });

// Moved to a screen of 150 %: the icons follow, and the window takes the
// suggested rectangle where the system lays the controls out again for it
// (per-monitor v2), else only its position.
class DpiChange : public WizardTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DpiChange, IconsFollowAndTheWindowTakesTheSuggestedRectangle) {
    const bool relaidOut = GetParam();
    world().perMonitorV2 = relaidOut;
    RunProgram([&](CFirmwareUpdateDlg&, HWND h) {
        testplat::FakeWindow* w = world().Find(h);
        const RECT before = w->rect;
        const HICON oldBig = w->bigIcon;
        const HICON oldSmall = w->smallIcon;
        world().dpi = 144;
        RECT suggested{1500, 40, 1500 + 730, 40 + 900};
        os::SendMessageA(h, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));

        w = world().Find(h);
        EXPECT_EQ(world().iconsLoaded[w->bigIcon].cx, 48);
        EXPECT_EQ(world().iconsLoaded[w->smallIcon].cx, 24);
        EXPECT_TRUE(world().iconsLoaded[oldBig].destroyed);
        EXPECT_TRUE(world().iconsLoaded[oldSmall].destroyed);
        EXPECT_EQ(w->rect.left, suggested.left);
        EXPECT_EQ(w->rect.top, suggested.top);
        const LONG width = relaidOut ? suggested.right - suggested.left : before.right - before.left;
        const LONG height = relaidOut ? suggested.bottom - suggested.top : before.bottom - before.top;
        EXPECT_EQ(w->rect.right - w->rect.left, width);
        EXPECT_EQ(w->rect.bottom - w->rect.top, height);
        EXPECT_TRUE(w->exStyle & WS_EX_TOPMOST);
    });
}

INSTANTIATE_TEST_SUITE_P(Awareness, DpiChange, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "PerMonitorV2" : "PerMonitor"; });
