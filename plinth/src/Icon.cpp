#include "Plinth.h"

#include "BitmapFile.h"
#include "Owners.h"

namespace {

// The icon's own size: GetIconInfo hands out copies of its bitmaps, which the
// caller must delete. A monochrome icon has no colour bitmap; its mask holds
// the AND and XOR halves one above the other.
bool GetIconSize(HICON hIcon, SIZE* pSize)
{
    ICONINFO info = {};
    if (!GetIconInfo(hIcon, &info))
        return false;
    plinth::unique_hbitmap mask(info.hbmMask);
    plinth::unique_hbitmap color(info.hbmColor);

    BITMAP bm = {};
    if (color) {
        if (!GetObjectW(color.get(), sizeof(bm), &bm))
            return false;
        pSize->cx = bm.bmWidth;
        pSize->cy = bm.bmHeight;
    } else {
        if (!mask || !GetObjectW(mask.get(), sizeof(bm), &bm))
            return false;
        pSize->cx = bm.bmWidth;
        pSize->cy = bm.bmHeight / 2;
    }
    return pSize->cx > 0 && pSize->cy > 0;
}

}  // namespace

CIcon::CIcon(HICON hIcon) : m_hIcon(hIcon) {}

CIcon::~CIcon() {}

int CIcon::SaveToBitmap(const wchar_t* pszPath, COLORREF crBackground)
{
    if (!m_hIcon || !pszPath || !*pszPath)
        return 0;

    SIZE size = {};
    if (!GetIconSize(m_hIcon, &size))
        return 0;

    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = size.cx;
    bmi.bmiHeader.biHeight = size.cy;  // bottom-up, as stored in the file
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 24;
    bmi.bmiHeader.biCompression = BI_RGB;

    plinth::unique_hdc hdc(CreateCompatibleDC(nullptr));
    if (!hdc)
        return 0;
    void* pBits = nullptr;
    plinth::unique_hbitmap dib(
        CreateDIBSection(hdc.get(), &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0));
    if (!dib || !pBits)
        return 0;
    plinth::unique_hbrush background(CreateSolidBrush(crBackground));
    if (!background)
        return 0;

    {
        plinth::select_object selected(hdc.get(), dib.get());
        if (!selected)
            return 0;
        RECT rc = {0, 0, size.cx, size.cy};
        if (!FillRect(hdc.get(), &rc, background.get()))
            return 0;
        if (!DrawIconEx(hdc.get(), 0, 0, m_hIcon, size.cx, size.cy, 0, nullptr, DI_NORMAL))
            return 0;
        GdiFlush();  // the DIB's memory is read directly below
    }

    const size_t cbBits = plinth::DibStride(size.cx, 24) * size.cy;
    BITMAPINFOHEADER header = bmi.bmiHeader;
    header.biSizeImage = static_cast<DWORD>(cbBits);
    header.biXPelsPerMeter = 3780;  // 96 dpi
    header.biYPelsPerMeter = 3780;
    return SUCCEEDED(plinth::WriteBitmapFile(pszPath, header, nullptr, 0, pBits, cbBits)) ? 1 : 0;
}
