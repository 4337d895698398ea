// Real windows, pixel canvases, GDI object counts and a quarantine for freed
// memory, shared by the menu bar and frame hook tests.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

namespace uitest {

// Live GDI objects of the process. GetGuiResources is a stub under Wine;
// there a handle whose high word is zero still names its table slot.
DWORD CountGdiObjects();

// A top-level window of the test's thread (or a child of parent) that
// records the messages its own window procedure receives.
class TestWindow {
public:
    explicit TestWindow(HWND hwndParent = nullptr, int cx = 400, int cy = 300);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND hwnd() const { return m_hwnd; }
    // Messages seen by the class's own procedure, in order (wParam kept).
    const std::vector<MSG>& messages() const { return m_messages; }
    size_t count(UINT uMsg) const;
    void clear() { m_messages.clear(); }
    // Runs for every message before it is recorded.
    std::function<void(UINT, WPARAM, LPARAM)> onMessage;
    // The class's own window procedure, to compare with GWLP_WNDPROC.
    static WNDPROC ClassProc();

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
    std::vector<MSG> m_messages;
};

// Removes every message waiting for this thread's windows, dispatching it.
void PumpMessages();

// A memory DC with a 32-bit top-down DIB, filled with one colour.
class Canvas {
public:
    Canvas(int cx, int cy, COLORREF fill);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return m_hdc; }
    COLORREF pixel(int x, int y) const;
    // Pixels of rc (clipped to the canvas) that are not `colour`.
    int countOther(const RECT& rc, COLORREF colour) const;
    // Bounding box of the pixels of rc that are neither of two colours;
    // empty when there are none.
    RECT inkBounds(const RECT& rc, COLORREF background, COLORREF other) const;

private:
    int m_cx, m_cy;
    HDC m_hdc = nullptr;
    HBITMAP m_hbm = nullptr;
    HGDIOBJ m_hOld = nullptr;
    const DWORD* m_pBits = nullptr;
};

// While one exists, freed heap blocks of this program are filled with 0xDD
// and kept, so a use after free reads poison instead of a live object.
class FreedMemoryQuarantine {
public:
    FreedMemoryQuarantine();
    ~FreedMemoryQuarantine();
    FreedMemoryQuarantine(const FreedMemoryQuarantine&) = delete;
    FreedMemoryQuarantine& operator=(const FreedMemoryQuarantine&) = delete;
    // Whether p was freed (and poisoned) while quarantined.
    static bool WasFreed(const void* p);
};

}  // namespace uitest
