// The menu bar with real windows and menus: the File menu, layout, the
// server's menus, hot tracking under capture, popup tracking, teardown and
// the version label.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "ui/MenuBar.h"

using namespace uitest;

namespace {

bool RectEq(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != 0; }
std::string Str(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}
#define EXPECT_RECT(l, t, r, b, actual) \
    EXPECT_PRED2(RectEq, RECT({l, t, r, b}), actual) << Str(actual)

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }
LPARAM Centre(const RECT& rc) { return At((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2); }

std::wstring MenuString(HMENU hMenu, int nPos) {
    wchar_t sz[512] = {};
    GetMenuStringW(hMenu, nPos, sz, 512, MF_BYPOSITION);
    return sz;
}

// A document server's shared menu: popups with mnemonics, a plain command
// at the top level (no popup) and a popup with a very long caption.
class ServerMenu {
public:
    ServerMenu() : m_longCaption(300, L'x') {
        m_hMenu = CreateMenu();
        m_hEdit = CreatePopupMenu();
        AppendMenuW(m_hEdit, MF_STRING, 100, L"撤消(&U)");
        m_hView = CreatePopupMenu();
        AppendMenuW(m_hView, MF_STRING, 200, L"&Zoom");
        m_hLong = CreatePopupMenu();
        AppendMenuW(m_hMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(m_hEdit), L"编辑(&E)");
        AppendMenuW(m_hMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(m_hView), L"&View");
        AppendMenuW(m_hMenu, MF_STRING, 300, L"&Help");
        AppendMenuW(m_hMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(m_hLong), m_longCaption.c_str());
    }
    ~ServerMenu() { DestroyMenu(m_hMenu); }
    ServerMenu(const ServerMenu&) = delete;
    ServerMenu& operator=(const ServerMenu&) = delete;

    HMENU m_hMenu, m_hEdit, m_hView, m_hLong;
    std::wstring m_longCaption;
};

// A bar built on a window as the control builds it, laid out for a client
// area 400 pixels wide with a border of 3.
struct BuiltBar {
    explicit BuiltBar(int cx = 400, int nBorder = 3) : window(nullptr, cx, 300) {
        bar.Create(window.hwnd());
        rect = MenuBarRect(cx, nBorder);
        bar.SetRect(&rect);
    }
    TestWindow window;
    CMenuBar bar;
    RECT rect;
};

}  // namespace

TEST(FileMenu, CreateBuildsTheFileItemWithItsPopupInMenuOrder) {
    TestWindow window;
    CMenuBar bar;
    ASSERT_TRUE(bar.Create(window.hwnd()));
    ASSERT_EQ(1, bar.GetItemCount());
    EXPECT_EQ(L"文件(F)", bar.GetItem(0)->GetText());
    HMENU hFile = bar.GetItemMenu(0);
    ASSERT_TRUE(IsMenu(hFile));

    struct Expected {
        UINT id;
        const wchar_t* caption;  // null: separator
    };
    const Expected expected[] = {
        {40001, L"新建(&N)...\tCtrl+N"},
        {40002, L"打开(&O)...\tCtrl+O"},
        {40003, L"关闭(&X)"},
        {0, nullptr},
        {40004, L"保存(&S)\tCtrl+S"},
        {40005, L"另存为(&A)..."},
        {0, nullptr},
        {40006, L"页面设置(&U)..."},
        {40009, L"打印预览(&V)"},
        {40007, L"打印(&P)..."},
        {0, nullptr},
        {40008, L"属性(&I)"},
    };
    ASSERT_EQ(12, GetMenuItemCount(hFile));
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        MENUITEMINFOW mii = {sizeof(mii)};
        mii.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STATE;
        ASSERT_TRUE(GetMenuItemInfoW(hFile, i, TRUE, &mii));
        EXPECT_EQ(nullptr, mii.hSubMenu);
        if (!expected[i].caption) {
            EXPECT_TRUE(mii.fType & MFT_SEPARATOR);
            continue;
        }
        EXPECT_EQ(0u, mii.fState & (MFS_GRAYED | MFS_CHECKED));
        EXPECT_EQ(static_cast<UINT>(MFT_STRING), mii.fType);
        EXPECT_EQ(expected[i].id, mii.wID);
        EXPECT_EQ(expected[i].caption, MenuString(hFile, i));
    }

    // One font for bar and label, as the bar's appearance fixes it.
    LOGFONTW lf = {};
    ASSERT_EQ(static_cast<int>(sizeof(lf)), GetObjectW(bar.GetFont(), sizeof(lf), &lf));
    EXPECT_EQ(-12, lf.lfHeight);
    EXPECT_EQ(0, lf.lfWidth);
    EXPECT_EQ(400, lf.lfWeight);
    EXPECT_EQ(0, lf.lfItalic + lf.lfUnderline + lf.lfStrikeOut + lf.lfCharSet);
    EXPECT_EQ(32, lf.lfPitchAndFamily);
    EXPECT_STREQ(L"宋体", lf.lfFaceName);
}

TEST(FileMenu, CommandsEnableByMaskAndOpenDocumentAndMapToOleCommands) {
    TestWindow window;
    CMenuBar bar;
    bar.Create(window.hwnd());
    HMENU hFile = bar.GetItemMenu(0);
    const UINT kIds[] = {40001, 40002, 40003, 40004, 40005, 40006, 40009, 40007, 40008};
    auto grayed = [&](UINT id) { return (GetMenuState(hFile, id, MF_BYCOMMAND) & MF_GRAYED) != 0; };

    EnableFileMenuItems(hFile, 0xFFFF, false);
    for (UINT id : kIds) EXPECT_EQ(id > 40002, grayed(id)) << id;
    EnableFileMenuItems(hFile, 0xFFFF, true);
    for (UINT id : kIds) EXPECT_FALSE(grayed(id)) << id;
    EnableFileMenuItems(hFile, static_cast<WORD>(~(0x0001 | 0x0008 | 0x0100)), true);
    for (UINT id : kIds) EXPECT_EQ(id == 40001 || id == 40004 || id == 40009, grayed(id)) << id;

    // OLE command → File identifier and mask bit, as QueryStatus needs them.
    struct {
        DWORD cmd;
        UINT id;
        WORD bit;
    } const map[] = {{1, 40002, 0x0002}, {2, 40001, 0x0001}, {3, 40004, 0x0008},
                     {4, 40005, 0x0010}, {6, 40007, 0x0020}, {7, 40009, 0x0100},
                     {8, 40006, 0x0040}, {10, 40008, 0x0080}};
    for (const auto& m : map) {
        const FileMenuEntry* e = FindFileCommandByOleCmd(m.cmd);
        ASSERT_NE(nullptr, e) << m.cmd;
        EXPECT_EQ(m.id, e->nId);
        EXPECT_EQ(m.bit, e->wMaskBit);
        EXPECT_EQ(e, FindFileCommand(m.id));
    }
    for (DWORD cmd : {0u, 5u, 9u, 11u, 0xFFFFFFFFu})
        EXPECT_EQ(nullptr, FindFileCommandByOleCmd(cmd));
    const FileMenuEntry* close = FindFileCommand(40003);
    ASSERT_NE(nullptr, close);
    EXPECT_EQ(0x0004, close->wMaskBit);
    EXPECT_TRUE(close->bNeedsDocument);
    for (UINT id : {0u, 40000u, 40010u, 100u}) EXPECT_EQ(nullptr, FindFileCommand(id));
}

TEST(MenuBarLayout, BarAndLabelFollowClientWidthAndBorder) {
    EXPECT_RECT(3, 3, 397, 24, MenuBarRect(400, 3));
    EXPECT_RECT(244, 3, 394, 24, VersionLabelRect(400, 3));
    EXPECT_RECT(0, 0, 640, 21, MenuBarRect(640, 0));
    EXPECT_RECT(490, 0, 640, 21, VersionLabelRect(640, 0));
    EXPECT_RECT(10, 10, 90, 31, MenuBarRect(100, 10));
    EXPECT_RECT(-70, 10, 80, 31, VersionLabelRect(100, 10));
}

TEST(MenuBarLayout, ItemsPackSixtyPixelsFromTheLeftAndRunPastTheRightEdge) {
    BuiltBar built(200, 3);  // bar 3..197: three items fit, the fourth does not
    ServerMenu server;
    built.bar.AddMenu(server.m_hMenu);
    ASSERT_EQ(5, built.bar.GetItemCount());
    EXPECT_RECT(3, 5, 63, 22, built.bar.GetItem(0)->GetRect());
    EXPECT_RECT(63, 5, 123, 22, built.bar.GetItem(1)->GetRect());
    EXPECT_RECT(123, 5, 183, 22, built.bar.GetItem(2)->GetRect());
    EXPECT_RECT(183, 5, 243, 22, built.bar.GetItem(3)->GetRect());
    EXPECT_RECT(243, 5, 303, 22, built.bar.GetItem(4)->GetRect());

    // A later layout moves every item with the bar.
    RECT rc = MenuBarRect(640, 10);
    built.bar.SetRect(&rc);
    EXPECT_RECT(10, 10, 630, 31, built.bar.GetRect());
    EXPECT_RECT(10, 12, 70, 29, built.bar.GetItem(0)->GetRect());
    EXPECT_RECT(250, 12, 310, 29, built.bar.GetItem(4)->GetRect());
}

TEST(MenuBarServerMenus, AddMenuTakesTopLevelEntriesAndNeverDestroysThem) {
    BuiltBar built;
    CMenuBar& bar = built.bar;
    ServerMenu server;
    HMENU hFile = bar.GetItemMenu(0);

    bar.AddMenu(server.m_hMenu);
    ASSERT_EQ(5, bar.GetItemCount());
    EXPECT_EQ(hFile, bar.GetItemMenu(0));
    EXPECT_EQ(L"编辑(&E)", bar.GetItem(1)->GetText());  // ampersands kept for DrawText
    EXPECT_EQ(server.m_hEdit, bar.GetItemMenu(1));
    EXPECT_EQ(L"&View", bar.GetItem(2)->GetText());
    EXPECT_EQ(server.m_hView, bar.GetItemMenu(2));
    EXPECT_EQ(L"&Help", bar.GetItem(3)->GetText());
    EXPECT_EQ(nullptr, bar.GetItemMenu(3));
    // The caption buffer holds 256 characters: the rest is cut, not overrun.
    EXPECT_EQ(server.m_longCaption.substr(0, 255), bar.GetItem(4)->GetText());
    EXPECT_EQ(server.m_hLong, bar.GetItemMenu(4));

    // A second menu replaces the server's items instead of adding to them.
    bar.AddMenu(server.m_hMenu);
    EXPECT_EQ(5, bar.GetItemCount());
    EXPECT_EQ(hFile, bar.GetItemMenu(0));

    // Not a menu: nothing is added.
    bar.AddMenu(nullptr);
    EXPECT_EQ(1, bar.GetItemCount());

    bar.AddMenu(server.m_hMenu);
    bar.RemoveDocumentMenus();
    ASSERT_EQ(1, bar.GetItemCount());
    EXPECT_EQ(hFile, bar.GetItemMenu(0));
    EXPECT_TRUE(IsMenu(hFile));

    bar.AddMenu(server.m_hMenu);
    bar.Clear();
    EXPECT_FALSE(IsMenu(hFile));
    for (HMENU h : {server.m_hMenu, server.m_hEdit, server.m_hView, server.m_hLong})
        EXPECT_TRUE(IsMenu(h));

    // An empty bar stays empty.
    bar.RemoveDocumentMenus();
    EXPECT_EQ(0, bar.GetItemCount());
}

TEST(MenuBarServerMenus, ItemMenuOutsideTheListIsNull) {
    CMenuBar empty;
    EXPECT_EQ(nullptr, empty.GetItemMenu(0));
    EXPECT_EQ(nullptr, empty.GetItem(0));

    BuiltBar built;
    ServerMenu server;
    built.bar.AddMenu(server.m_hMenu);
    for (int i : {-1, 5, 6, INT_MAX, INT_MIN}) {
        EXPECT_EQ(nullptr, built.bar.GetItemMenu(i)) << i;
        EXPECT_EQ(nullptr, built.bar.GetItem(i)) << i;
    }
    EXPECT_EQ(server.m_hLong, built.bar.GetItemMenu(4));
}

TEST(MenuBarTracking, HotBoxFollowsThePointerUnderOneCaptureAndLeavesWithIt) {
    BuiltBar built;
    CMenuBar& bar = built.bar;
    const HWND hwnd = built.window.hwnd();
    ServerMenu server;
    bar.AddMenu(server.m_hMenu);
    CMenuBarItem* file = bar.GetItem(0);
    CMenuBarItem* edit = bar.GetItem(1);
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);  // hidden windows keep no update region
    ValidateRect(hwnd, nullptr);
    built.window.clear();

    bar.OnMouseMove(WM_MOUSEMOVE, 0, Centre(file->GetRect()));
    EXPECT_EQ(kBarStateHot, file->GetState());
    EXPECT_EQ(kBarStateNormal, edit->GetState());
    EXPECT_EQ(hwnd, GetCapture());
    // Only the bar's own rectangle is invalidated.
    RECT rcUpdate = {};
    EXPECT_TRUE(GetUpdateRect(hwnd, &rcUpdate, FALSE));
    EXPECT_RECT(3, 3, 397, 24, rcUpdate);

    bar.OnMouseMove(WM_MOUSEMOVE, 0, At(file->GetRect().left + 1, 6));
    EXPECT_EQ(kBarStateHot, file->GetState());

    bar.OnMouseMove(WM_MOUSEMOVE, 0, Centre(edit->GetRect()));
    EXPECT_EQ(kBarStateNormal, file->GetState());
    EXPECT_EQ(kBarStateHot, edit->GetState());
    EXPECT_EQ(hwnd, GetCapture());
    EXPECT_EQ(0u, built.window.count(WM_CAPTURECHANGED));

    // Over the bar but past the items: the box goes and so does capture.
    bar.OnMouseMove(WM_MOUSEMOVE, 0, At(380, 13));
    for (int i = 0; i < bar.GetItemCount(); ++i)
        EXPECT_EQ(kBarStateNormal, bar.GetItem(i)->GetState());
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_EQ(1u, built.window.count(WM_CAPTURECHANGED));

    // Left of the window while captured: LOWORD(-5) lies on no item.
    bar.OnMouseMove(WM_MOUSEMOVE, 0, Centre(file->GetRect()));
    EXPECT_EQ(hwnd, GetCapture());
    bar.OnMouseMove(WM_MOUSEMOVE, 0, At(-5, 13));
    EXPECT_EQ(kBarStateNormal, file->GetState());
    EXPECT_EQ(nullptr, GetCapture());

    // Without a hot item a move elsewhere takes no capture.
    bar.OnMouseMove(WM_MOUSEMOVE, 0, At(200, 200));
    EXPECT_EQ(nullptr, GetCapture());
}

namespace {

// Drives TrackPopupMenu's modal loop from a thread timer: once the popup
// shows, a tick runs the probe and closes the menu; later ticks close it
// again in case.
struct PopupDriver {
    std::function<void()> probe;
    int ticks = 0;
    bool bProbed = false;
    UINT_PTR timer = 0;
    static PopupDriver* s_current;

    explicit PopupDriver(std::function<void()> fn) : probe(std::move(fn)) {
        s_current = this;
        timer = SetTimer(nullptr, 0, 50, &PopupDriver::Tick);
    }
    ~PopupDriver() {
        KillTimer(nullptr, timer);
        s_current = nullptr;
        // A tick left in the queue must not reach a dead driver.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
        }
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        PopupDriver* self = s_current;
        if (!self) return;
        ++self->ticks;
        if (!self->bProbed) {
            // Bounded: a popup that never shows ends the loop all the same.
            HWND hPopup = FindWindowW(L"#32768", nullptr);
            if (!(hPopup && IsWindowVisible(hPopup)) && self->ticks < 200) return;
            self->bProbed = true;
            if (self->probe) self->probe();
        }
        EndMenu();  // posts WM_CANCELMODE to the menu loop
    }
};
PopupDriver* PopupDriver::s_current = nullptr;

WPARAM LastInitMenuPopup(const TestWindow& window) {
    WPARAM w = 0;
    for (const MSG& m : window.messages())
        if (m.message == WM_INITMENUPOPUP) w = m.wParam;
    return w;
}

}  // namespace

TEST(MenuBarTracking, ClickOnAnItemDropsItsMenuPressedAndClickElsewhereOpensNothing) {
    BuiltBar built;
    CMenuBar& bar = built.bar;
    ServerMenu server;
    bar.AddMenu(server.m_hMenu);
    CMenuBarItem* edit = bar.GetItem(1);

    {
        int stateDuring = 0;
        bool bPopupShown = false;
        PopupDriver driver([&] {
            stateDuring = edit->GetState();
            HWND hPopup = FindWindowW(L"#32768", nullptr);
            bPopupShown = hPopup && IsWindowVisible(hPopup);
        });
        bar.OnLButtonDown(WM_LBUTTONDOWN, MK_LBUTTON, Centre(edit->GetRect()));
        EXPECT_GE(driver.ticks, 1);
        EXPECT_EQ(kBarStatePressed, stateDuring);
        EXPECT_TRUE(bPopupShown);
    }
    EXPECT_EQ(reinterpret_cast<WPARAM>(server.m_hEdit), LastInitMenuPopup(built.window));
    EXPECT_EQ(1u, built.window.count(WM_ENTERMENULOOP));
    EXPECT_EQ(kBarStateNormal, edit->GetState());

    // Outside every item (past the items, below the bar, on the gap row
    // above the items) and on a server entry without a popup: no menu.
    built.window.clear();
    {
        PopupDriver driver(nullptr);
        for (LPARAM lp : {At(380, 13), At(30, 100), At(30, 4), Centre(bar.GetItem(3)->GetRect())})
            bar.OnLButtonDown(WM_LBUTTONDOWN, MK_LBUTTON, lp);
        EXPECT_EQ(0, driver.ticks);
    }
    EXPECT_EQ(0u, built.window.count(WM_ENTERMENULOOP));
    EXPECT_EQ(0u, built.window.count(WM_INITMENUPOPUP));
    for (int i = 0; i < bar.GetItemCount(); ++i)
        EXPECT_EQ(kBarStateNormal, bar.GetItem(i)->GetState());
}

TEST(MenuBarTracking, HotTrackingTakesCaptureAgainAfterAMenuClosed) {
    BuiltBar built;
    CMenuBar& bar = built.bar;
    const HWND hwnd = built.window.hwnd();
    CMenuBarItem* file = bar.GetItem(0);

    bar.OnMouseMove(WM_MOUSEMOVE, 0, Centre(file->GetRect()));
    ASSERT_EQ(hwnd, GetCapture());
    {
        PopupDriver driver(nullptr);
        bar.OnLButtonDown(WM_LBUTTONDOWN, MK_LBUTTON, Centre(file->GetRect()));
        EXPECT_GE(driver.ticks, 1);
    }
    EXPECT_EQ(reinterpret_cast<WPARAM>(bar.GetItemMenu(0)), LastInitMenuPopup(built.window));
    bar.OnMouseMove(WM_MOUSEMOVE, 0, Centre(file->GetRect()));
    EXPECT_EQ(kBarStateHot, file->GetState());
    EXPECT_EQ(hwnd, GetCapture());
    bar.OnMouseMove(WM_MOUSEMOVE, 0, At(380, 13));
    EXPECT_EQ(nullptr, GetCapture());
}

// The control rebuilds the bar on a posted message, which the menu's modal
// loop dispatches: the open item and its menu must outlive the rebuild.
TEST(MenuBarTracking, RebuildWhileTheFileMenuIsOpenKeepsItUntilTheMenuCloses) {
    BuiltBar built;
    CMenuBar& bar = built.bar;
    HMENU hOldFile = bar.GetItemMenu(0);
    bool bOldMenuAliveDuring = false;
    HMENU hNewFile = nullptr;
    {
        PopupDriver driver([&] {
            bar.Clear();
            bar.Create(built.window.hwnd());
            bar.SetRect(&built.rect);
            hNewFile = bar.GetItemMenu(0);
            bOldMenuAliveDuring = IsMenu(hOldFile) != 0;
        });
        bar.OnLButtonDown(WM_LBUTTONDOWN, MK_LBUTTON, Centre(bar.GetItem(0)->GetRect()));
        EXPECT_GE(driver.ticks, 1);
    }
    EXPECT_TRUE(bOldMenuAliveDuring);
    EXPECT_FALSE(IsMenu(hOldFile));
    ASSERT_EQ(1, bar.GetItemCount());
    EXPECT_EQ(hNewFile, bar.GetItemMenu(0));
    EXPECT_TRUE(IsMenu(hNewFile));
    EXPECT_EQ(kBarStateNormal, bar.GetItem(0)->GetState());
}

TEST(MenuBarTeardown, ClearReleasesCaptureAndTheFileMenuButKeepsWindowAndShowFlag) {
    BuiltBar built;
    CMenuBar& bar = built.bar;
    const HWND hwnd = built.window.hwnd();
    HMENU hFile = bar.GetItemMenu(0);
    bar.SetShow(FALSE);
    bar.OnMouseMove(WM_MOUSEMOVE, 0, Centre(bar.GetItem(0)->GetRect()));
    ASSERT_EQ(hwnd, GetCapture());

    bar.Clear();
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_FALSE(IsMenu(hFile));
    EXPECT_EQ(0, bar.GetItemCount());
    EXPECT_EQ(nullptr, bar.GetFont());
    EXPECT_TRUE(IsRectEmpty(&bar.GetRect()));
    EXPECT_FALSE(bar.IsShown());

    // Capture taken elsewhere later is not the bar's to release.
    SetCapture(hwnd);
    bar.Clear();
    EXPECT_EQ(hwnd, GetCapture());
    ReleaseCapture();

    ASSERT_TRUE(bar.Create(hwnd));
    HMENU hFile2 = bar.GetItemMenu(0);
    {
        CMenuBar scoped;
        scoped.Create(hwnd);
        hFile = scoped.GetItemMenu(0);
        scoped.SetRect(&built.rect);
        scoped.OnMouseMove(WM_MOUSEMOVE, 0, Centre(scoped.GetItem(0)->GetRect()));
        EXPECT_EQ(hwnd, GetCapture());
    }
    EXPECT_FALSE(IsMenu(hFile));  // the destructor clears
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_TRUE(IsMenu(hFile2));
}

TEST(MenuBarTeardown, RepeatedBuildPaintAndClearLeakNoGdiObjectsOrMenus) {
    TestWindow window;
    ServerMenu server;
    Canvas canvas(400, 40, RGB(255, 0, 255));
    HMODULE hVellix = LoadLibraryExW((testsupport::ExeDir() + L"\\Vellix.DLL").c_str(), nullptr,
                                     DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_TRUE(hVellix);
    std::vector<HMENU> fileMenus;
    auto cycle = [&] {
        CMenuBar bar;
        CVersionLabel label;
        bar.Create(window.hwnd());
        label.Init(hVellix);
        RECT rc = MenuBarRect(400, 3);
        bar.SetRect(&rc);
        bar.AddMenu(server.m_hMenu);
        bar.GetItem(1)->SetState(kBarStateHot);
        bar.GetItem(2)->SetState(kBarStatePressed);
        rc = VersionLabelRect(400, 3);
        label.SetRect(&rc);
        bar.Draw(canvas.dc());
        label.Draw(canvas.dc());
        fileMenus.push_back(bar.GetItemMenu(0));
        // The control's relayout.
        bar.Clear();
        bar.Create(window.hwnd());
        rc = MenuBarRect(400, 3);
        bar.SetRect(&rc);
        label.Init(hVellix);
        bar.Draw(canvas.dc());
        label.Draw(canvas.dc());
        fileMenus.push_back(bar.GetItemMenu(0));
    };
    cycle();  // first-use allocations
    const DWORD before = CountGdiObjects();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 20; ++i) cycle();
    EXPECT_EQ(before, CountGdiObjects());
    for (HMENU h : fileMenus) EXPECT_FALSE(IsMenu(h));
    FreeLibrary(hVellix);
}

TEST(VersionLabel, ReadsTheProductVersionOfTheGivenModule) {
    HMODULE hVellix = LoadLibraryExW((testsupport::ExeDir() + L"\\Vellix.DLL").c_str(), nullptr,
                                     DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_TRUE(hVellix);
    CVersionLabel label;
    EXPECT_EQ(L"", label.GetText());
    label.Init(hVellix);
    EXPECT_EQ(L"3.0.3.34", label.GetText());
    LOGFONTW lf = {};
    ASSERT_EQ(static_cast<int>(sizeof(lf)), GetObjectW(label.GetFont(), sizeof(lf), &lf));
    EXPECT_EQ(-12, lf.lfHeight);
    EXPECT_EQ(32, lf.lfPitchAndFamily);
    EXPECT_STREQ(L"宋体", lf.lfFaceName);
    FreeLibrary(hVellix);

    // The test program carries no version resource: the text stays empty.
    CVersionLabel none;
    none.Init(GetModuleHandleW(nullptr));
    EXPECT_EQ(L"", none.GetText());
    EXPECT_NE(nullptr, none.GetFont());
}
