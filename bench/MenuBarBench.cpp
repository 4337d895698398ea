// Paint time per frame of the control's menu bar, 1,280 pixels wide, with
// the File item, eight server menus and the version label, as the control's
// WM_PAINT draws them. Baseline: the same pixels drawn straight onto the
// paint DC with a brush and font made once, the least a drawn bar must do.
// Both run inside WM_PAINT of a real window (InvalidateRect, UpdateWindow).
#include <windows.h>

#include <functional>
#include <vector>

#include "BenchSupport.h"
#include "fw/Raii.h"
#include "ui/MenuBar.h"

using namespace bench;

namespace {

const int kClientWidth = 1280;
const int kClientHeight = 200;
const int kBorder = 3;  // the control's default border width
const int kFramesPerSample = 300;
const int kSamples = 31;
const int kQuickSamples = 3;
const wchar_t kWindowClass[] = L"VellixBenchPaint";

const wchar_t* const kServerMenus[] = {L"编辑(&E)", L"视图(&V)", L"插入(&I)", L"格式(&O)",
                                       L"工具(&T)", L"表格(&A)", L"窗口(&W)", L"帮助(&H)"};

std::function<void(HDC)> g_paint;

LRESULT CALLBACK PaintWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ERASEBKGND) return 1;
    if (msg != WM_PAINT) return DefWindowProcW(hwnd, msg, wParam, lParam);
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    if (g_paint) g_paint(hdc);
    EndPaint(hwnd, &ps);
    return 0;
}

HWND CreatePaintWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = PaintWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc);
    RECT rc = {0, 0, kClientWidth, kClientHeight};
    AdjustWindowRect(&rc, WS_POPUP | WS_VISIBLE, FALSE);
    return CreateWindowExW(0, kWindowClass, L"Vellix bench", WS_POPUP | WS_VISIBLE, 0, 0, rc.right - rc.left,
                           rc.bottom - rc.top, nullptr, nullptr, wc.hInstance, nullptr);
}

// Milliseconds per frame over one sample.
double PaintFrames(HWND hwnd, const RECT& rcBar, int nFrames) {
    Stopwatch watch;
    for (int i = 0; i < nFrames; ++i) {
        InvalidateRect(hwnd, &rcBar, FALSE);
        UpdateWindow(hwnd);
    }
    GdiFlush();
    return watch.ms() / nFrames;
}

// The same captions, background and label, without the bar's own work.
class CDirectBar {
public:
    CDirectBar(const CMenuBar& bar, const CVersionLabel& label)
        : m_brush(CreateSolidBrush(RGB(212, 208, 200))), m_hFont(bar.GetFont()), m_label(label) {
        m_rcBar = bar.GetRect();
        for (int i = 0; i < bar.GetItemCount(); ++i)
            m_items.push_back({bar.GetItem(i)->GetRect(), bar.GetItem(i)->GetText()});
    }
    void Draw(HDC hdc) const {
        FillRect(hdc, &m_rcBar, m_brush.get());
        int nOldMode = SetBkMode(hdc, TRANSPARENT);
        HGDIOBJ hOld = SelectObject(hdc, m_hFont);
        for (const auto& item : m_items) {
            RECT rc = item.first;
            DrawTextW(hdc, item.second.c_str(), static_cast<int>(item.second.size()), &rc,
                      DT_SINGLELINE | DT_VCENTER | DT_CENTER);
        }
        RECT rcLabel = m_label.GetRect();
        DrawTextW(hdc, m_label.GetText().c_str(), static_cast<int>(m_label.GetText().size()), &rcLabel,
                  DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
        SelectObject(hdc, hOld);
        SetBkMode(hdc, nOldMode);
    }

private:
    fw::unique_hbrush m_brush;
    HFONT m_hFont;
    const CVersionLabel& m_label;
    RECT m_rcBar;
    std::vector<std::pair<RECT, std::wstring>> m_items;
};

}  // namespace

int main() {
    Options options = ParseOptions();
    const int nSamples = options.nReps ? options.nReps : options.bQuick ? kQuickSamples : kSamples;
    HWND hwnd = CreatePaintWindow();
    if (!hwnd) {
        Progress("FAILED: no window");
        return 2;
    }
    PumpPending();

    CMenuBar bar;
    if (!bar.Create(hwnd)) {
        Progress("FAILED: menu bar");
        return 2;
    }
    fw::unique_hmenu server(CreateMenu());
    for (const wchar_t* pszCaption : kServerMenus)
        AppendMenuW(server.get(), MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(CreatePopupMenu()), pszCaption);
    const RECT rcBar = MenuBarRect(kClientWidth, kBorder);
    bar.SetRect(&rcBar);
    bar.AddMenu(server.get());
    CVersionLabel label;
    label.Init(LoadLibraryW((ExeFolder() + L"\\Vellix.DLL").c_str()));
    const RECT rcLabel = VersionLabelRect(kClientWidth, kBorder);
    label.SetRect(&rcLabel);
    Progress("paint: %d bar items, label \"%ls\", %d frames per sample", bar.GetItemCount(),
             label.GetText().c_str(), kFramesPerSample);

    CDirectBar direct(bar, label);
    auto paintBar = [&](HDC hdc) {
        bar.Draw(hdc);
        label.Draw(hdc);
    };
    auto paintDirect = [&](HDC hdc) { direct.Draw(hdc); };
    // What the bar's flicker-free drawing costs by itself: a memory DC and
    // bitmap per paint, filled and copied out, nothing drawn into it.
    auto paintBufferOnly = [&](HDC hdc) {
        fw::unique_hdc memDC(CreateCompatibleDC(hdc));
        fw::unique_hbitmap bitmap(CreateCompatibleBitmap(hdc, rcBar.right, rcBar.bottom));
        fw::select_object sel(memDC.get(), bitmap.get());
        fw::unique_hbrush brush(CreateSolidBrush(RGB(212, 208, 200)));
        RECT rcAll = {0, 0, rcBar.right, rcBar.bottom};
        FillRect(memDC.get(), &rcAll, brush.get());
        BitBlt(hdc, rcBar.left, rcBar.top, rcBar.right - rcBar.left, rcBar.bottom - rcBar.top, memDC.get(),
               rcBar.left, rcBar.top, SRCCOPY);
    };

    std::vector<double> tBar, tDirect, tBuffer;
    for (int i = -1; i < nSamples; ++i) {  // the first round warms up
        for (int side = 0; side < 2; ++side) {
            bool bBar = (side == 0) == (i % 2 == 0);
            g_paint = bBar ? std::function<void(HDC)>(paintBar) : std::function<void(HDC)>(paintDirect);
            double ms = PaintFrames(hwnd, rcBar, kFramesPerSample);
            if (i >= 0) (bBar ? tBar : tDirect).push_back(ms);
        }
        g_paint = paintBufferOnly;
        double ms = PaintFrames(hwnd, rcBar, kFramesPerSample);
        if (i >= 0) tBuffer.push_back(ms);
        PumpPending();
    }
    g_paint = nullptr;

    // The same drawing onto a memory DC the size of the window: the
    // client-side GDI work alone, without the window surface and X.
    fw::unique_hdc canvas(CreateCompatibleDC(nullptr));
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = kClientWidth;
    bi.bmiHeader.biHeight = -kClientHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* pBits = nullptr;
    fw::unique_hbitmap canvasBitmap(CreateDIBSection(canvas.get(), &bi, DIB_RGB_COLORS, &pBits, nullptr, 0));
    std::vector<double> cBar, cDirect;
    {
        fw::select_object sel(canvas.get(), canvasBitmap.get());
        for (int i = -1; i < nSamples; ++i) {
            for (int side = 0; side < 2; ++side) {
                bool bBar = (side == 0) == (i % 2 == 0);
                Stopwatch watch;
                for (int f = 0; f < kFramesPerSample; ++f) bBar ? paintBar(canvas.get()) : paintDirect(canvas.get());
                GdiFlush();
                if (i >= 0) (bBar ? cBar : cDirect).push_back(watch.ms() / kFramesPerSample);
            }
        }
    }
    Progress("paint onto a memory DC: bar %.4f ms per frame, direct %.4f ms per frame", Median(cBar), Median(cDirect));
    Progress("paint: bar %.4f ms per frame, direct %.4f ms per frame, %d samples; the bar's back buffer alone "
             "(memory DC and bitmap, fill, copy out) %.4f ms",
             Median(tBar), Median(tDirect), nSamples, Median(tBuffer));
    EmitRow(TimedRow("paint", 0, tBar, tDirect));
    // Menus the server owns are never the bar's to destroy.
    for (int i = GetMenuItemCount(server.get()) - 1; i >= 0; --i) DestroyMenu(GetSubMenu(server.get(), i));
    DestroyWindow(hwnd);
    return 0;
}
