// A 32-bit picture for pixel checks: drawn into, or copied from the screen,
// read back by position, and written as a bitmap file.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

class Pixels {
public:
    Pixels(int cx, int cy);
    ~Pixels();
    Pixels(const Pixels&) = delete;
    Pixels& operator=(const Pixels&) = delete;

    // A memory DC with the picture selected, for drawing into it.
    HDC dc() const { return m_dc; }
    int width() const { return m_cx; }
    int height() const { return m_cy; }

    void Fill(COLORREF c);
    // The screen's pixels under the window.
    static Pixels* FromScreen(HWND hwnd);

    COLORREF at(int x, int y) const;
    bool anyIn(const RECT& rc, COLORREF c) const;
    bool SaveBmp(const std::wstring& path) const;

private:
    int m_cx, m_cy;
    DWORD* m_bits = nullptr;
    HDC m_dc = nullptr;
    HBITMAP m_bmp = nullptr;
    HGDIOBJ m_old = nullptr;
};

}  // namespace testsupport
