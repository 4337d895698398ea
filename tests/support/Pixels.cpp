#include "Pixels.h"

#include "TestSupport.h"

namespace testsupport {

Pixels::Pixels(int cx, int cy) : m_cx(cx), m_cy(cy) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = cx;
    bi.bmiHeader.biHeight = -cy;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    m_dc = CreateCompatibleDC(nullptr);
    m_bmp = CreateDIBSection(m_dc, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_bits), nullptr, 0);
    m_old = SelectObject(m_dc, m_bmp);
}

Pixels::~Pixels() {
    SelectObject(m_dc, m_old);
    DeleteObject(m_bmp);
    DeleteDC(m_dc);
}

void Pixels::Fill(COLORREF c) {
    RECT all = {0, 0, m_cx, m_cy};
    HBRUSH brush = CreateSolidBrush(c);
    FillRect(m_dc, &all, brush);
    DeleteObject(brush);
    GdiFlush();
}

Pixels* Pixels::FromScreen(HWND hwnd) {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    Pixels* p = new Pixels(rc.right - rc.left, rc.bottom - rc.top);
    HDC screen = GetDC(nullptr);
    BitBlt(p->m_dc, 0, 0, p->m_cx, p->m_cy, screen, rc.left, rc.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    GdiFlush();
    return p;
}

COLORREF Pixels::at(int x, int y) const {
    GdiFlush();
    DWORD p = m_bits[y * m_cx + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

bool Pixels::anyIn(const RECT& rc, COLORREF c) const {
    for (int y = rc.top; y < rc.bottom; ++y)
        for (int x = rc.left; x < rc.right; ++x)
            if (at(x, y) == c) return true;
    return false;
}

bool Pixels::SaveBmp(const std::wstring& path) const {
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
    std::string file(reinterpret_cast<const char*>(&fh), sizeof(fh));
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

}  // namespace testsupport
