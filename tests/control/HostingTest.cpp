// The registered control in Wine's own ActiveX container (atl.dll's
// AtlAxWin window class) and in the project's test container: created by
// ProgID, activated, painted on screen, released without leftovers.
#include <gtest/gtest.h>

#include <string>

#include "TestContainer.h"
#include "TestSupport.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"

using namespace testsupport;
using fw::com_ptr;

namespace {

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

// The screen pixels of a window, saved as a 24-bit bitmap file too.
class ScreenShot {
public:
    explicit ScreenShot(HWND hwnd) {
        GetWindowRect(hwnd, &m_rc);
        m_cx = m_rc.right - m_rc.left;
        m_cy = m_rc.bottom - m_rc.top;
        HDC screen = GetDC(nullptr);
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = m_cx;
        bi.bmiHeader.biHeight = -m_cy;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        m_dc.reset(CreateCompatibleDC(screen));
        m_bmp.reset(CreateDIBSection(m_dc.get(), &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_bits), nullptr, 0));
        fw::select_object sel(m_dc.get(), m_bmp.get());
        BitBlt(m_dc.get(), 0, 0, m_cx, m_cy, screen, m_rc.left, m_rc.top, SRCCOPY);
        ReleaseDC(nullptr, screen);
        GdiFlush();
    }
    COLORREF at(int x, int y) const {
        DWORD p = m_bits[y * m_cx + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    bool anyIn(const RECT& rc, COLORREF c) const {
        for (int y = rc.top; y < rc.bottom; ++y)
            for (int x = rc.left; x < rc.right; ++x)
                if (at(x, y) == c) return true;
        return false;
    }
    bool Save(const std::wstring& path) const {
        std::string file;
        DWORD row = (m_cx * 3 + 3) & ~3u;
        BITMAPFILEHEADER fh = {};
        BITMAPINFOHEADER ih = {};
        ih.biSize = sizeof(ih);
        ih.biWidth = m_cx;
        ih.biHeight = m_cy;
        ih.biPlanes = 1;
        ih.biBitCount = 24;
        ih.biSizeImage = row * m_cy;
        fh.bfType = 0x4D42;
        fh.bfOffBits = sizeof(fh) + sizeof(ih);
        fh.bfSize = fh.bfOffBits + ih.biSizeImage;
        file.append(reinterpret_cast<const char*>(&fh), sizeof(fh));
        file.append(reinterpret_cast<const char*>(&ih), sizeof(ih));
        for (int y = m_cy - 1; y >= 0; --y) {
            std::string line(row, '\0');
            for (int x = 0; x < m_cx; ++x) {
                COLORREF c = at(x, y);
                line[x * 3] = static_cast<char>(GetBValue(c));
                line[x * 3 + 1] = static_cast<char>(GetGValue(c));
                line[x * 3 + 2] = static_cast<char>(GetRValue(c));
            }
            file += line;
        }
        return WriteFileBytes(path, file);
    }

private:
    RECT m_rc;
    int m_cx, m_cy;
    DWORD* m_bits = nullptr;
    fw::unique_hdc m_dc;
    fw::unique_hbitmap m_bmp;
};

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
    TestContainer::Pump(300);

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
    TestContainer::Pump(200);
    ScreenShot shot(hwnd);
    CreateDirectoryW((ExeDir() + L"\\artifacts").c_str(), nullptr);
    EXPECT_TRUE(shot.Save(ExeDir() + L"\\artifacts\\atlaxwin.bmp"));
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
    TestContainer::Pump(50);
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
