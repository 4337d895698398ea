#include "BitmapFile.h"

#include "Owners.h"

namespace plinth {

namespace {

bool WriteAll(HANDLE hFile, const void* pData, size_t cb)
{
    const BYTE* p = static_cast<const BYTE*>(pData);
    while (cb > 0) {
        DWORD chunk = cb > 0x10000000 ? 0x10000000 : static_cast<DWORD>(cb);
        DWORD written = 0;
        if (!WriteFile(hFile, p, chunk, &written, nullptr))
            return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        p += written;
        cb -= written;
    }
    return true;
}

}  // namespace

HRESULT WriteBitmapFile(const wchar_t* pszPath, const BITMAPINFOHEADER& info,
                        const RGBQUAD* pColors, DWORD cColors, const void* pBits, size_t cbBits)
{
    if (!pszPath || !pBits || (cColors && !pColors))
        return E_POINTER;

    const size_t cbHeaders = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) +
                             static_cast<size_t>(cColors) * sizeof(RGBQUAD);
    if (cbBits > MAXDWORD - cbHeaders)
        return HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW);

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfSize = static_cast<DWORD>(cbHeaders + cbBits);
    file.bfOffBits = static_cast<DWORD>(cbHeaders);

    unique_file hFile(CreateFileW(pszPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hFile)
        return LastErrorResult();

    if (!WriteAll(hFile.get(), &file, sizeof(file)) ||
        !WriteAll(hFile.get(), &info, sizeof(info)) ||
        !WriteAll(hFile.get(), pColors, static_cast<size_t>(cColors) * sizeof(RGBQUAD)) ||
        !WriteAll(hFile.get(), pBits, cbBits)) {
        HRESULT hr = LastErrorResult();
        hFile.reset();
        DeleteFileW(pszPath);
        return hr;
    }
    return S_OK;
}

}  // namespace plinth
