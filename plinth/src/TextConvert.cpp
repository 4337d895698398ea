#include "TextConvert.h"

#include <climits>
#include <cstring>

namespace plinth {

bool AnsiToWide(const char* psz, std::wstring* pResult)
{
    pResult->clear();
    const size_t cb = strlen(psz);
    if (cb == 0)
        return true;
    if (cb > INT_MAX) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    int cch = MultiByteToWideChar(CP_ACP, 0, psz, static_cast<int>(cb), nullptr, 0);
    if (cch <= 0)
        return false;
    pResult->resize(cch);
    return MultiByteToWideChar(CP_ACP, 0, psz, static_cast<int>(cb), &(*pResult)[0], cch) == cch;
}

bool AppendUtf8(const wchar_t* pch, size_t cch, std::string* pResult)
{
    if (cch == 0)
        return true;
    if (cch > INT_MAX / 3) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    int cb =
        WideCharToMultiByte(CP_UTF8, 0, pch, static_cast<int>(cch), nullptr, 0, nullptr, nullptr);
    if (cb <= 0)
        return false;
    const size_t offset = pResult->size();
    pResult->resize(offset + cb);
    return WideCharToMultiByte(CP_UTF8, 0, pch, static_cast<int>(cch), &(*pResult)[offset], cb,
                               nullptr, nullptr) == cb;
}

int CopyBounded(const wchar_t* pch, size_t cch, wchar_t* pszBuffer, int cchBuffer)
{
    if (!pszBuffer || cchBuffer <= 0)
        return 0;
    if (cch >= static_cast<size_t>(cchBuffer)) {
        pszBuffer[0] = L'\0';
        return 0;
    }
    memcpy(pszBuffer, pch, cch * sizeof(wchar_t));
    pszBuffer[cch] = L'\0';
    return static_cast<int>(cch);
}

}  // namespace plinth
