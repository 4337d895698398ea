// Writing device-independent bitmaps to .bmp files.
#pragma once

#include "Win32Result.h"

#include <windows.h>

#include <cstddef>

namespace plinth {

// Bytes in one row of pixels: DIB rows are padded to 32 bits.
inline size_t DibStride(LONG width, WORD bitCount)
{
    return ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
}

// Writes a BITMAPFILEHEADER, the info header, the colour table and the pixel
// rows to a new file (replacing an old one). A file that could not be written
// completely is removed again.
HRESULT WriteBitmapFile(const wchar_t* pszPath, const BITMAPINFOHEADER& info,
                        const RGBQUAD* pColors, DWORD cColors, const void* pBits, size_t cbBits);

}  // namespace plinth
