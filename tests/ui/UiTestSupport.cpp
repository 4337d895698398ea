#include "UiTestSupport.h"

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace uitest {

DWORD CountGdiObjects() {
    DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (count) return count;
    for (UINT_PTR slot = 1; slot < 0x10000; ++slot)
        count += GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0;
    return count;
}

// ---- TestWindow ----

namespace {
const wchar_t kTestWindowClass[] = L"VxUiTestWindow";
}

TestWindow::TestWindow(HWND hwndParent, int cx, int cy) {
    static ATOM s_atom = [] {
        WNDCLASSW wc = {};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &TestWindow::WndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kTestWindowClass;
        return RegisterClassW(&wc);
    }();
    (void)s_atom;
    const DWORD dwStyle =
        hwndParent ? WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN : WS_POPUP | WS_CLIPCHILDREN;
    m_hwnd = CreateWindowExW(0, kTestWindowClass, L"", dwStyle, 0, 0, cx, cy, hwndParent, nullptr,
                             GetModuleHandleW(nullptr), this);
}

TestWindow::~TestWindow() {
    onMessage = nullptr;
    if (IsWindow(m_hwnd)) DestroyWindow(m_hwnd);
}

size_t TestWindow::count(UINT uMsg) const {
    size_t n = 0;
    for (const MSG& m : m_messages) n += m.message == uMsg;
    return n;
}

WNDPROC TestWindow::ClassProc() { return &TestWindow::WndProc; }

LRESULT CALLBACK TestWindow::WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_NCCREATE) {
        auto* pcs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pcs->lpCreateParams));
    }
    auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) {
        if (self->onMessage) self->onMessage(uMsg, wParam, lParam);
        MSG m = {hwnd, uMsg, wParam, lParam, 0, {}};
        self->m_messages.push_back(m);
        if (uMsg == WM_NCDESTROY) {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->m_hwnd = nullptr;
        }
    }
    return DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// ---- Canvas ----

Canvas::Canvas(int cx, int cy, COLORREF fill) : m_cx(cx), m_cy(cy) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = cx;
    bi.bmiHeader.biHeight = -cy;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* pv = nullptr;
    HDC hdcScreen = GetDC(nullptr);
    m_hdc = CreateCompatibleDC(hdcScreen);
    m_hbm = CreateDIBSection(hdcScreen, &bi, DIB_RGB_COLORS, &pv, nullptr, 0);
    ReleaseDC(nullptr, hdcScreen);
    m_pBits = static_cast<const DWORD*>(pv);
    m_hOld = SelectObject(m_hdc, m_hbm);
    HBRUSH hbr = CreateSolidBrush(fill);
    RECT rc = {0, 0, cx, cy};
    FillRect(m_hdc, &rc, hbr);
    DeleteObject(hbr);
}

Canvas::~Canvas() {
    SelectObject(m_hdc, m_hOld);
    DeleteObject(m_hbm);
    DeleteDC(m_hdc);
}

COLORREF Canvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_cx || y >= m_cy || !m_pBits) return CLR_INVALID;
    GdiFlush();
    const DWORD v = m_pBits[y * m_cx + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

int Canvas::countOther(const RECT& rc, COLORREF colour) const {
    int n = 0;
    for (int y = rc.top; y < rc.bottom; ++y)
        for (int x = rc.left; x < rc.right; ++x) {
            COLORREF c = pixel(x, y);
            n += c != CLR_INVALID && c != colour;
        }
    return n;
}

RECT Canvas::inkBounds(const RECT& rc, COLORREF background, COLORREF other) const {
    RECT box = {};
    for (int y = rc.top; y < rc.bottom; ++y)
        for (int x = rc.left; x < rc.right; ++x) {
            COLORREF c = pixel(x, y);
            if (c == CLR_INVALID || c == background || c == other) continue;
            if (IsRectEmpty(&box)) {
                box = {x, y, x + 1, y + 1};
            } else {
                box.left = x < box.left ? x : box.left;
                box.top = y < box.top ? y : box.top;
                box.right = x + 1 > box.right ? x + 1 : box.right;
                box.bottom = y + 1 > box.bottom ? y + 1 : box.bottom;
            }
        }
    return box;
}

// ---- freed memory quarantine ----

namespace {

bool g_bQuarantine = false;
// Plain storage: operator delete must not allocate.
const size_t kMaxQuarantined = 16384;
const void* g_freed[kMaxQuarantined];
size_t g_nFreed = 0;

}  // namespace

FreedMemoryQuarantine::FreedMemoryQuarantine() {
    g_nFreed = 0;
    g_bQuarantine = true;
}

FreedMemoryQuarantine::~FreedMemoryQuarantine() {
    // The blocks stay leaked: something may still (wrongly) point at them.
    g_bQuarantine = false;
}

bool FreedMemoryQuarantine::WasFreed(const void* p) {
    for (size_t i = 0; i < g_nFreed; ++i)
        if (g_freed[i] == p) return true;
    return false;
}

}  // namespace uitest

// Every C++ allocation of this program goes through these.
namespace {

void* Allocate(size_t cb) { return std::malloc(cb ? cb : 1); }

void Free(void* p) {
    if (!p) return;
    if (uitest::g_bQuarantine && uitest::g_nFreed < uitest::kMaxQuarantined) {
        std::memset(p, 0xDD, _msize(p));
        uitest::g_freed[uitest::g_nFreed++] = p;
        return;
    }
    std::free(p);
}

}  // namespace

void* operator new(size_t cb) {
    if (void* p = Allocate(cb)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t cb) { return operator new(cb); }
void* operator new(size_t cb, const std::nothrow_t&) noexcept { return Allocate(cb); }
void* operator new[](size_t cb, const std::nothrow_t&) noexcept { return Allocate(cb); }
void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, size_t) noexcept { Free(p); }
void operator delete[](void* p, size_t) noexcept { Free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Free(p); }
