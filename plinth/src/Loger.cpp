#include "Plinth.h"

#include "TextConvert.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

const char kUtf8Bom[] = "\xEF\xBB\xBF";
const wchar_t kEntryPrefixFormat[] = L"%04u-%02u-%02u %02u:%02u:%02u.%03u\t%lu\t";

// Writers serialize on an exclusive byte-range lock: append-only handles
// alone do not keep concurrent entries apart everywhere (Wine appends by
// seeking to the end, then writing), and the byte-order mark must be written
// once even when two processes create the file together. The range lies far
// past any real data so it never blocks the writes themselves.
class CLogLock {
public:
    explicit CLogLock(HANDLE hFile) : m_hFile(hFile), m_range()
    {
        m_range.OffsetHigh = 0x7FFFFFFF;
        m_locked = LockFileEx(m_hFile, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &m_range) != FALSE;
    }
    ~CLogLock()
    {
        if (m_locked)
            UnlockFileEx(m_hFile, 0, 1, 0, &m_range);
    }
    CLogLock(const CLogLock&) = delete;
    CLogLock& operator=(const CLogLock&) = delete;

private:
    HANDLE m_hFile;
    OVERLAPPED m_range;
    bool m_locked;
};

void WriteBomIfEmpty(HANDLE hFile)
{
    CLogLock lock(hFile);
    LARGE_INTEGER size = {};
    if (GetFileSizeEx(hFile, &size) && size.QuadPart == 0) {
        DWORD written = 0;
        WriteFile(hFile, kUtf8Bom, 3, &written, nullptr);
    }
}

// msvcrt's wide printf: %s takes a wide string, as callers of a wide logger
// expect (the C99 printf of mingw would read it as narrow).
bool FormatText(const wchar_t* pszFormat, va_list args, std::wstring* pText)
{
    va_list sizing;
    va_copy(sizing, args);
    int cch = _vscwprintf(pszFormat, sizing);
    va_end(sizing);
    if (cch < 0)
        return false;

    pText->resize(static_cast<size_t>(cch) + 1);
    int written = _vsnwprintf(&(*pText)[0], pText->size(), pszFormat, args);
    if (written != cch)
        return false;
    pText->resize(cch);
    return true;
}

}  // namespace

CLoger::CLoger() : m_hFile(INVALID_HANDLE_VALUE) {}

CLoger::~CLoger()
{
    Close();
}

int CLoger::Open(const wchar_t* pszPath)
{
    Close();
    if (!pszPath || !*pszPath)
        return 0;

    // Append-only access makes every WriteFile land at the current end of the
    // file, whoever else has it open; read access is what LockFileEx needs.
    m_hFile =
        CreateFileW(pszPath, FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE)
        return 0;

    WriteBomIfEmpty(m_hFile);
    return 1;
}

void CLoger::Close()
{
    if (m_hFile != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }
}

int CLoger::Write(const wchar_t* pszFormat, ...)
{
    if (m_hFile == INVALID_HANDLE_VALUE || !pszFormat)
        return 0;

    std::wstring text;
    va_list args;
    va_start(args, pszFormat);
    const bool formatted = FormatText(pszFormat, args, &text);
    va_end(args);
    if (!formatted)
        return 0;

    // A line break inside the text would split the entry and break readers
    // that take one line per entry.
    for (wchar_t& ch : text) {
        if (ch == L'\r' || ch == L'\n')
            ch = L' ';
    }

    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t prefix[64];
    int cchPrefix =
        _snwprintf(prefix, 64, kEntryPrefixFormat, now.wYear, now.wMonth, now.wDay, now.wHour,
                   now.wMinute, now.wSecond, now.wMilliseconds, GetCurrentProcessId());
    if (cchPrefix < 0 || cchPrefix >= 64)
        return 0;

    std::string entry;
    if (!plinth::AppendUtf8(prefix, cchPrefix, &entry) ||
        !plinth::AppendUtf8(text.data(), text.size(), &entry))
        return 0;
    entry += "\r\n";
    if (entry.size() > MAXDWORD)
        return 0;

    // One WriteFile per entry, under the lock: that keeps concurrent entries whole.
    CLogLock lock(m_hFile);
    DWORD written = 0;
    if (!WriteFile(m_hFile, entry.data(), static_cast<DWORD>(entry.size()), &written, nullptr) ||
        written != entry.size())
        return 0;
    return cchPrefix + static_cast<int>(text.size()) + 2;
}
