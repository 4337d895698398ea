// Text filled in as by swprintf, of any length: the one formatter behind
// error descriptions and trace lines.
#pragma once

#include <cstdarg>
#include <cwchar>
#include <string>

namespace diag {

inline std::wstring FormatV(const wchar_t* pszFormat, va_list args) {
    va_list count;
    va_copy(count, args);
    const int cch = _vscwprintf(pszFormat, count);
    va_end(count);
    if (cch <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(cch) + 1, L'\0');
    _vsnwprintf(&text[0], text.size(), pszFormat, args);
    text.resize(static_cast<size_t>(cch));
    return text;
}

}  // namespace diag
