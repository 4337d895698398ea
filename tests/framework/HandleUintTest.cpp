// Window, menu and GDI handles survive the 32-bit UINT that the automation
// interface carries them in, in either process width.
#include <gtest/gtest.h>
#include <windows.h>

#include "fw/HandleUint.h"

namespace {

TEST(HandleUintTest, RealHandlesRoundTripThroughUint) {
    HWND top = CreateWindowExW(0, L"STATIC", L"top", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr, nullptr,
                               nullptr);
    ASSERT_TRUE(top);
    HWND child = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 10, 10, top, nullptr, nullptr, nullptr);
    HMENU menu = CreatePopupMenu();
    HBITMAP bitmap = CreateBitmap(4, 4, 1, 1, nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    const struct {
        const char* what;
        HANDLE h;
    } cases[] = {{"top-level window", top},
                 {"child window", child},
                 {"menu", menu},
                 {"bitmap", bitmap},
                 {"brush", brush},
                 {"desktop window", GetDesktopWindow()}};
    for (const auto& c : cases) {
        ASSERT_TRUE(c.h) << c.what;
        EXPECT_EQ(c.h, fw::UintToHandle<HANDLE>(fw::HandleToUint(c.h))) << c.what;
    }
    // The handle that came back is usable as the one that went in.
    EXPECT_EQ(top, GetParent(fw::UintToHandle<HWND>(fw::HandleToUint(child))));
    EXPECT_TRUE(IsMenu(fw::UintToHandle<HMENU>(fw::HandleToUint(menu))));
    DeleteObject(brush);
    DeleteObject(bitmap);
    DestroyMenu(menu);
    DestroyWindow(top);
}

TEST(HandleUintTest, UpperHalfValuesComeBackSignExtendedAsTheSystemDoes) {
    const UINT u = 0xFFFF1234u;
    const ULONG_PTR expected = sizeof(void*) == 8 ? static_cast<ULONG_PTR>(0xFFFFFFFFFFFF1234ull) : 0xFFFF1234u;
    EXPECT_EQ(expected, reinterpret_cast<ULONG_PTR>(fw::UintToHandle<HANDLE>(u)));
    EXPECT_EQ(u, fw::HandleToUint(fw::UintToHandle<HANDLE>(u)));
    EXPECT_EQ(nullptr, fw::UintToHandle<HWND>(0));
}

}  // namespace
