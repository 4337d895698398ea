// The registered control in Wine's own ActiveX container (atl.dll's
// AtlAxWin window class) and in the project's test container: created by
// ProgID, activated, painted on screen, released without leftovers.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Pixels.h"
#include "TestContainer.h"
#include "TestSupport.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"

using namespace testsupport;
using fw::com_ptr;

namespace {

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

class HostingTest : public ::testing::Test {
protected:
    OleSession m_ole;
    DialogWatcher m_boxes;
    void TearDown() override { EXPECT_EQ(0u, m_boxes.count()) << "unexpected message box"; }
};

TEST_F(HostingTest, WinesAtlAxWinHostsAndPaintsTheControlByProgId) {
    HMODULE atl = LoadLibraryW(L"atl.dll");
    ASSERT_TRUE(atl);
    auto init = reinterpret_cast<AtlAxWinInitFn>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
    auto getControl =
        reinterpret_cast<AtlAxGetControlFn>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
    ASSERT_TRUE(init && getControl && init());

    TestContainer page(420, 320, L"Vellix in AtlAxWin");
    HWND ax = CreateWindowExW(0, L"AtlAxWin", L"Vellix.Office.1", WS_CHILD | WS_VISIBLE, 10, 10, 400, 300,
                              page.frame(), nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(ax);
    TestContainer::Pump();

    com_ptr<IUnknown> unk;
    ASSERT_EQ(S_OK, getControl(ax, unk.put()));
    com_ptr<IOffice> office;
    ASSERT_EQ(S_OK, unk.query(office.put()));
    UINT h = 0;
    ASSERT_EQ(S_OK, office->get_HWnd(&h));
    HWND hwnd = reinterpret_cast<HWND>(static_cast<UINT_PTR>(h));
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_TRUE(IsChild(page.frame(), hwnd));
    RECT rc;
    GetClientRect(hwnd, &rc);
    EXPECT_EQ(400, rc.right);
    EXPECT_EQ(300, rc.bottom);

    // What is on the screen: the frames, the bar and the version label.
    RedrawWindow(page.frame(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    TestContainer::Pump();
    std::unique_ptr<Pixels> picture(Pixels::FromScreen(hwnd));
    const Pixels& shot = *picture;
    CreateDirectoryW((ExeDir() + L"\\artifacts").c_str(), nullptr);
    EXPECT_TRUE(shot.SaveBmp(ExeDir() + L"\\artifacts\\atlaxwin.bmp"));
    EXPECT_EQ(RGB(128, 128, 128), shot.at(0, 0));
    EXPECT_EQ(RGB(128, 128, 128), shot.at(3, 150));
    EXPECT_EQ(RGB(212, 208, 200), shot.at(100, 10));
    // "文件(F)" in the File item and "3.0.3.34" right-aligned in the label.
    EXPECT_TRUE(shot.anyIn(RECT{3, 5, 63, 22}, RGB(0, 0, 0)));
    EXPECT_TRUE(shot.anyIn(RECT{394 - 60, 5, 394, 22}, RGB(0, 0, 0)));
    EXPECT_FALSE(shot.anyIn(RECT{244, 5, 300, 22}, RGB(0, 0, 0))) << "label text is right-aligned";

    office.reset();
    unk.reset();
    DestroyWindow(ax);
    TestContainer::Pump();
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(HostingTest, TheRegisteredControlUnloadsAfterItsContainerLetsGo) {
    HMODULE dll = LoadLibraryW((ExeDir() + L"\\Vellix.DLL").c_str());
    ASSERT_TRUE(dll);
    auto canUnload = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    {
        TestContainer host;
        ASSERT_EQ(S_OK, host.Create(CLSID_Office));
        EXPECT_EQ(S_FALSE, canUnload());
        EXPECT_EQ(1, host.counters().onInPlaceActivate);
        EXPECT_GE(host.counters().showObject, 1);
        // A second activation finds the window made and only shows it.
        EXPECT_EQ(S_OK, host.Activate(OLEIVERB_UIACTIVATE));
        EXPECT_EQ(1, host.counters().onInPlaceActivate);
        EXPECT_EQ(1, host.counters().onUIActivate);
        host.Release();
        EXPECT_EQ(1, host.counters().onInPlaceDeactivate);
    }
    CoFreeUnusedLibraries();
    EXPECT_EQ(S_OK, canUnload());
    FreeLibrary(dll);
}

}  // namespace
