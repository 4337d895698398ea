#include "services/ModuleVersion.h"

#include <cwchar>
#include <vector>

std::wstring ModuleProductVersion(HMODULE hModule) {
    wchar_t szPath[MAX_PATH] = {};
    const DWORD cch = GetModuleFileNameW(hModule, szPath, MAX_PATH);
    // A truncated path would name another file.
    if (cch == 0 || cch >= MAX_PATH) return L"";
    DWORD dwHandle = 0;
    const DWORD cb = GetFileVersionInfoSizeW(szPath, &dwHandle);
    if (cb == 0) return L"";
    std::vector<BYTE> info(cb);
    if (!GetFileVersionInfoW(szPath, 0, cb, info.data())) return L"";
    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT uLen = 0;
    if (!VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&pFixed), &uLen) || !pFixed ||
        uLen < sizeof(VS_FIXEDFILEINFO))
        return L"";
    // Four 16-bit parts: at most 23 characters.
    wchar_t szVersion[32] = {};
    swprintf(szVersion, 32, L"%u.%u.%u.%u", HIWORD(pFixed->dwProductVersionMS), LOWORD(pFixed->dwProductVersionMS),
             HIWORD(pFixed->dwProductVersionLS), LOWORD(pFixed->dwProductVersionLS));
    return szVersion;
}
