#include "Plinth.h"

#include "TextConvert.h"

#include <cstdio>
#include <string>

namespace {

// The longest path the file system takes (the \\?\ form); also the bound on
// the buffers grown below.
const size_t kMaxLongPath = 32768;

// CreateDirectoryW refuses plain paths longer than this.
const size_t kMaxShortDirPath = MAX_PATH - 12;

bool IsSeparator(wchar_t ch)
{
    return ch == L'\\' || ch == L'/';
}

const wchar_t* FindLastSeparator(const wchar_t* psz)
{
    const wchar_t* pLast = nullptr;
    for (; *psz; ++psz) {
        if (IsSeparator(*psz))
            pLast = psz;
    }
    return pLast;
}

bool IsDirectory(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool GetFullPath(const wchar_t* pszPath, std::wstring* pFull)
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD cch =
            GetFullPathNameW(pszPath, static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
        if (cch == 0)
            return false;
        if (cch < buffer.size()) {
            buffer.resize(cch);
            pFull->swap(buffer);
            return true;
        }
        if (cch > kMaxLongPath)
            return false;
        buffer.resize(cch);
    }
}

bool StartsWith(const std::wstring& s, const wchar_t* prefix)
{
    return s.compare(0, wcslen(prefix), prefix) == 0;
}

// Long absolute paths need the \\?\ form to be created at all.
std::wstring ToExtendedLength(const std::wstring& full)
{
    if (full.size() < kMaxShortDirPath || StartsWith(full, L"\\\\?\\"))
        return full;
    if (full.size() > 2 && full[1] == L':')
        return L"\\\\?\\" + full;
    if (StartsWith(full, L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return full;
}

// Characters of the part that cannot be created: "C:\", "\\server\share\",
// and the same behind \\?\ or \\?\UNC\.
size_t RootLength(const std::wstring& path)
{
    size_t start = 0;
    bool unc = false;
    if (StartsWith(path, L"\\\\?\\UNC\\")) {
        start = 8;
        unc = true;
    } else if (StartsWith(path, L"\\\\?\\")) {
        start = 4;
    } else if (StartsWith(path, L"\\\\")) {
        start = 2;
        unc = true;
    }

    if (unc) {
        size_t server = path.find(L'\\', start);
        if (server == std::wstring::npos)
            return path.size();
        size_t share = path.find(L'\\', server + 1);
        return share == std::wstring::npos ? path.size() : share + 1;
    }
    if (path.size() >= start + 2 && path[start + 1] == L':')
        return path.size() > start + 2 && path[start + 2] == L'\\' ? start + 3 : start + 2;
    return start;
}

bool CreateOneDirectory(const std::wstring& path)
{
    if (IsDirectory(path))
        return true;
    // Another process may create it between the two calls.
    return CreateDirectoryW(path.c_str(), nullptr) || IsDirectory(path);
}

}  // namespace

unsigned long CreateTempDir(wchar_t* pszBuffer, unsigned long cchBuffer)
{
    if (!pszBuffer || cchBuffer == 0)
        return 0;
    pszBuffer[0] = L'\0';

    std::wstring base(MAX_PATH + 1, L'\0');
    DWORD cch = GetTempPathW(static_cast<DWORD>(base.size()), &base[0]);
    if (cch >= base.size() && cch <= kMaxLongPath) {
        base.resize(cch);
        cch = GetTempPathW(static_cast<DWORD>(base.size()), &base[0]);
    }
    if (cch == 0 || cch >= base.size())
        return 0;
    base.resize(cch);
    if (!IsSeparator(base.back()))
        base += L'\\';
    base += L"Plinth\\";
    if (!SHCreateDirectory(base.c_str()))
        return 0;

    // Process id, clock and a process-wide counter make clashes rare; a clash
    // with a folder left behind earlier just moves on to the next counter.
    static LONG s_counter;
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[32];
        _snwprintf(name, 32, L"%lX-%lX-%lX", GetCurrentProcessId(), GetTickCount(),
                   static_cast<unsigned long>(InterlockedIncrement(&s_counter)));
        name[31] = L'\0';
        std::wstring candidate = base + name + L'\\';
        if (candidate.size() >= cchBuffer)
            return 0;
        if (CreateDirectoryW(candidate.c_str(), nullptr))
            return plinth::CopyBounded(candidate.data(), candidate.size(), pszBuffer,
                                       static_cast<int>(cchBuffer));
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return 0;
    }
    return 0;
}

int GetModulePath(HMODULE hModule, wchar_t* pszBuffer, int cchBuffer)
{
    if (!pszBuffer || cchBuffer <= 0)
        return 0;
    pszBuffer[0] = L'\0';

    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD cch = GetModuleFileNameW(hModule, &path[0], static_cast<DWORD>(path.size()));
        if (cch == 0)
            return 0;
        // A full buffer means the name may have been cut.
        if (cch < path.size()) {
            path.resize(cch);
            break;
        }
        if (path.size() >= kMaxLongPath)
            return 0;
        path.resize(path.size() * 2);
    }

    const wchar_t* pSeparator = FindLastSeparator(path.c_str());
    if (!pSeparator)
        return 0;
    return plinth::CopyBounded(path.c_str(), pSeparator - path.c_str(), pszBuffer, cchBuffer);
}

int GetFilePath(const wchar_t* pszPath, wchar_t* pszBuffer, int cchBuffer)
{
    if (!pszBuffer || cchBuffer <= 0)
        return 0;
    pszBuffer[0] = L'\0';
    if (!pszPath)
        return 0;

    const wchar_t* pSeparator = FindLastSeparator(pszPath);
    if (!pSeparator)
        return 0;
    return plinth::CopyBounded(pszPath, pSeparator - pszPath, pszBuffer, cchBuffer);
}

int GetFileName(const wchar_t* pszPath, wchar_t* pszBuffer, int cchBuffer)
{
    if (!pszBuffer || cchBuffer <= 0)
        return 0;
    pszBuffer[0] = L'\0';
    if (!pszPath)
        return 0;

    const wchar_t* pSeparator = FindLastSeparator(pszPath);
    const wchar_t* pName = pSeparator ? pSeparator + 1 : pszPath;
    return plinth::CopyBounded(pName, wcslen(pName), pszBuffer, cchBuffer);
}

int FileExists(const wchar_t* pszPath)
{
    if (!pszPath || !*pszPath)
        return 0;
    return GetFileAttributesW(pszPath) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

int SHCreateDirectory(const wchar_t* pszPath)
{
    if (!pszPath || !*pszPath)
        return 0;

    std::wstring full;
    if (!GetFullPath(pszPath, &full))
        return 0;
    std::wstring path = ToExtendedLength(full);

    const size_t root = RootLength(path);
    while (path.size() > root && path.back() == L'\\')
        path.pop_back();
    if (path.size() <= root)
        return IsDirectory(path) ? 1 : 0;

    // Parents first, so a missing one is created instead of failing the whole
    // path; a file in the way makes CreateDirectoryW fail and IsDirectory false.
    for (size_t pos = path.find(L'\\', root); pos != std::wstring::npos;
         pos = path.find(L'\\', pos + 1)) {
        if (!CreateOneDirectory(path.substr(0, pos)))
            return 0;
    }
    return CreateOneDirectory(path) ? 1 : 0;
}

void StrReplace(wchar_t* psz, wchar_t chFrom, wchar_t chTo)
{
    if (!psz)
        return;
    for (; *psz; ++psz) {
        if (*psz == chFrom)
            *psz = chTo;
    }
}

wchar_t* StrChrR(const wchar_t* psz, wchar_t ch)
{
    if (!psz)
        return nullptr;
    const wchar_t* pLast = nullptr;
    for (;; ++psz) {
        if (*psz == ch)
            pLast = psz;
        if (!*psz)
            break;
    }
    return const_cast<wchar_t*>(pLast);
}
