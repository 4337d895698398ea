// Conversions between the ANSI code page and UTF-16 / UTF-8.
#pragma once

#include <windows.h>

#include <string>

namespace plinth {

// Narrow (CP_ACP) to UTF-16. False, with the Win32 error set, if the text
// cannot be converted.
bool AnsiToWide(const char* psz, std::wstring* pResult);

// UTF-16 to UTF-8, appended to pResult.
bool AppendUtf8(const wchar_t* pch, size_t cch, std::string* pResult);

// Copies cch characters and a terminator when they fit in cchBuffer; else
// leaves an empty string. Returns the characters copied.
int CopyBounded(const wchar_t* pch, size_t cch, wchar_t* pszBuffer, int cchBuffer);

}  // namespace plinth
