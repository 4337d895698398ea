// What the bar and the label put on a DC, read back pixel by pixel from a
// 32-bit canvas that starts magenta.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "ui/MenuBar.h"

using namespace uitest;

namespace {

const COLORREF kUnpainted = RGB(255, 0, 255);
const COLORREF kBackground = RGB(212, 208, 200);
const COLORREF kHotFill = RGB(182, 189, 210);
const COLORREF kHotOutline = RGB(10, 36, 106);
const COLORREF kPressedFill = RGB(236, 236, 236);
const COLORREF kPressedOutline = RGB(128, 128, 128);

RECT Inside(const RECT& rc, int n) {
    return {rc.left + n, rc.top + n, rc.right - n, rc.bottom - n};
}

// The File item plus two server menus, laid out for a client area cx wide.
struct PaintedBar {
    explicit PaintedBar(int cx) : window(nullptr, cx, 100), canvas(cx + 100, 40, kUnpainted) {
        bar.Create(window.hwnd());
        m_hServer = CreateMenu();
        AppendMenuW(m_hServer, MF_POPUP, reinterpret_cast<UINT_PTR>(CreatePopupMenu()),
                    L"编辑(&E)");
        AppendMenuW(m_hServer, MF_POPUP, reinterpret_cast<UINT_PTR>(CreatePopupMenu()), L"&View");
        AppendMenuW(m_hServer, MF_POPUP, reinterpret_cast<UINT_PTR>(CreatePopupMenu()), L"&Tools");
        rect = MenuBarRect(cx, 3);
        bar.SetRect(&rect);
        bar.AddMenu(m_hServer);
    }
    ~PaintedBar() { DestroyMenu(m_hServer); }

    TestWindow window;
    Canvas canvas;
    CMenuBar bar;
    RECT rect;
    HMENU m_hServer;
};

}  // namespace

TEST(MenuBarPaint, BackgroundAndHotPressedAndNormalItemsInTheirColours) {
    PaintedBar p(400);
    const RECT normal = p.bar.GetItem(0)->GetRect();
    const RECT hot = p.bar.GetItem(1)->GetRect();
    const RECT pressed = p.bar.GetItem(2)->GetRect();
    p.bar.GetItem(1)->SetState(kBarStateHot);
    p.bar.GetItem(2)->SetState(kBarStatePressed);
    p.bar.Draw(p.canvas.dc());
    const Canvas& c = p.canvas;

    // The bar's rectangle and nothing else.
    EXPECT_EQ(kBackground, c.pixel(3, 3));
    EXPECT_EQ(kBackground, c.pixel(396, 23));
    EXPECT_EQ(kBackground, c.pixel(300, 4));
    EXPECT_EQ(kUnpainted, c.pixel(2, 10));
    EXPECT_EQ(kUnpainted, c.pixel(10, 2));
    EXPECT_EQ(kUnpainted, c.pixel(397, 10));
    EXPECT_EQ(kUnpainted, c.pixel(10, 24));
    EXPECT_EQ(0, c.countOther({4, 3, 396, 5}, kBackground));    // above the items
    EXPECT_EQ(0, c.countOther({4, 22, 396, 24}, kBackground));  // below them

    // Hot: 1-pixel outline round the item's rectangle, filled inside.
    EXPECT_EQ(kHotOutline, c.pixel(hot.left, hot.top));
    EXPECT_EQ(kHotOutline, c.pixel(hot.right - 1, hot.bottom - 1));
    EXPECT_EQ(kHotOutline, c.pixel(hot.left, (hot.top + hot.bottom) / 2));
    EXPECT_EQ(kHotFill, c.pixel(hot.left + 1, hot.top + 1));
    EXPECT_EQ(kHotFill, c.pixel(hot.right - 2, hot.bottom - 2));

    // Pressed: grey outline, light fill.
    EXPECT_EQ(kPressedOutline, c.pixel(pressed.left, pressed.top));
    EXPECT_EQ(kPressedOutline, c.pixel(pressed.right - 1, pressed.bottom - 1));
    EXPECT_EQ(kPressedFill, c.pixel(pressed.left + 1, pressed.top + 1));
    EXPECT_EQ(kPressedFill, c.pixel(pressed.right - 2, pressed.bottom - 2));

    // Normal: no box, only the caption on the background.
    EXPECT_EQ(kBackground, c.pixel(normal.left, normal.top));
    EXPECT_EQ(kBackground, c.pixel(normal.right - 1, normal.bottom - 1));
    EXPECT_EQ(kBackground, c.pixel(normal.left + 1, normal.top + 1));

    // Every caption drawn inside its own item, centred across it.
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const RECT item = p.bar.GetItem(i)->GetRect();
        const COLORREF fill = i == 1 ? kHotFill : i == 2 ? kPressedFill : kBackground;
        RECT ink = c.inkBounds(Inside(item, 1), fill, fill);
        ASSERT_FALSE(IsRectEmpty(&ink));
        EXPECT_LE(std::abs((ink.left + ink.right) - (item.left + item.right)), 6);
        EXPECT_LE(std::abs((ink.top + ink.bottom) - (item.top + item.bottom)), 6);
    }
    // Between the last item and the bar's end: background only.
    EXPECT_EQ(0, c.countOther({p.bar.GetItem(3)->GetRect().right, 3, 397, 24}, kBackground));
}

TEST(MenuBarPaint, ItemsPastTheRightEdgeAreNotPaintedAndTheLabelGoesOverItems) {
    PaintedBar p(150);  // bar 3..147: items 2 and 3 reach past it
    p.bar.GetItem(2)->SetState(kBarStateHot);
    p.bar.GetItem(3)->SetState(kBarStatePressed);
    p.bar.Draw(p.canvas.dc());
    const Canvas& c = p.canvas;

    EXPECT_EQ(kHotOutline, c.pixel(123, 5));
    EXPECT_EQ(kHotFill, c.pixel(146, 10));
    EXPECT_EQ(0, c.countOther({147, 0, 250, 40}, kUnpainted));

    // The label (-6..144) lies over the items and is drawn after the bar.
    HMODULE hVellix = LoadLibraryExW((testsupport::ExeDir() + L"\\Vellix.DLL").c_str(), nullptr,
                                     DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_TRUE(hVellix);
    CVersionLabel label;
    label.Init(hVellix);
    const RECT rcLabel = VersionLabelRect(150, 3);
    label.SetRect(&rcLabel);
    Canvas barOnly(250, 40, kUnpainted);
    p.bar.Draw(barOnly.dc());
    label.Draw(p.canvas.dc());
    RECT changed = {};
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 250; ++x)
            if (c.pixel(x, y) != barOnly.pixel(x, y)) {
                if (IsRectEmpty(&changed)) changed = {x, y, x + 1, y + 1};
                changed.left = x < changed.left ? x : changed.left;
                changed.right = x + 1 > changed.right ? x + 1 : changed.right;
            }
    ASSERT_FALSE(IsRectEmpty(&changed));
    EXPECT_GE(changed.right, rcLabel.right - 3);
    EXPECT_LE(changed.right, rcLabel.right);
    EXPECT_GT(changed.left, rcLabel.left + 60);  // right-aligned: its left part stays clear
    FreeLibrary(hVellix);
}

TEST(MenuBarPaint, VersionLabelIsRightAlignedAndVerticallyCentredOverTheBar) {
    PaintedBar p(400);
    HMODULE hVellix = LoadLibraryExW((testsupport::ExeDir() + L"\\Vellix.DLL").c_str(), nullptr,
                                     DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_TRUE(hVellix);
    CVersionLabel label;
    label.Init(hVellix);
    ASSERT_EQ(L"3.0.3.34", label.GetText());
    RECT rc = VersionLabelRect(400, 3);
    label.SetRect(&rc);

    p.bar.Draw(p.canvas.dc());
    label.Draw(p.canvas.dc());
    // From the end of the last item on: the label's text only.
    const LONG afterItems = p.bar.GetItem(3)->GetRect().right;
    const RECT ink =
        p.canvas.inkBounds({afterItems, 0, rc.right + 20, 40}, kBackground, kUnpainted);
    ASSERT_FALSE(IsRectEmpty(&ink));
    EXPECT_GE(ink.right, rc.right - 3);
    EXPECT_LE(ink.right, rc.right);
    EXPECT_GT(ink.left, rc.left + 60);  // eight characters need far less than 150 pixels
    EXPECT_GE(ink.top, rc.top + 2);
    EXPECT_LE(ink.bottom, rc.bottom - 2);
    EXPECT_LE(std::abs((ink.top + ink.bottom) - (rc.top + rc.bottom)), 4);
    // The label draws no background of its own.
    EXPECT_EQ(kBackground, p.canvas.pixel(rc.left + 5, rc.top + 10));
    FreeLibrary(hVellix);
}

TEST(MenuBarPaint, HiddenBarAndEmptyLabelDrawNothing) {
    PaintedBar p(400);
    p.bar.SetShow(FALSE);
    p.bar.Draw(p.canvas.dc());
    CVersionLabel label;
    RECT rc = VersionLabelRect(400, 3);
    label.SetRect(&rc);
    label.Draw(p.canvas.dc());
    EXPECT_EQ(0, p.canvas.countOther({0, 0, 500, 40}, kUnpainted));

    // A bar without items still paints its background.
    p.bar.SetShow(TRUE);
    p.bar.Clear();
    p.bar.SetRect(&p.rect);
    p.bar.Draw(p.canvas.dc());
    EXPECT_EQ(0, p.canvas.countOther(p.rect, kBackground));
}
