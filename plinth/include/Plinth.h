// Plinth.dll: the shared helper library (logger, barcode and icon writers,
// path and dispatch helpers, Insert Object dialog).
//
// Every string is UTF-16 unless the parameter says "narrow" (ANSI code page).
// The functions have C++ linkage on purpose: SHCreateDirectory and friends
// would otherwise collide with the shell's exports of the same name.
#pragma once

#include <windows.h>
#include <oleauto.h>

#ifdef PLINTH_BUILDING
#define PLINTH_API __declspec(dllexport)
#else
#define PLINTH_API __declspec(dllimport)
#endif

// One log file shared by any number of loggers in any number of processes.
// Each Write is one line: "YYYY-MM-DD hh:mm:ss.mmm\t<pid>\t<text>\r\n",
// stored as UTF-8 (the file starts with a UTF-8 byte-order mark).
class PLINTH_API CLoger {
public:
    CLoger();
    virtual ~CLoger();

    // Opens (creating if needed) the log file for appending. Nonzero on
    // success. Calling it again on an open logger closes and reopens.
    int Open(const wchar_t* pszPath);

    // printf-style wide formatting (msvcrt rules: %s is a wide string); one
    // entry per call, line breaks in the text become spaces. Harmless
    // (returns 0) when the logger is not open. Returns the number of
    // characters written, timestamp and line end included.
    int Write(const wchar_t* pszFormat, ...);

private:
    CLoger(const CLoger&) = delete;
    CLoger& operator=(const CLoger&) = delete;
    void Close();

    HANDLE m_hFile;
};

// Code 39 barcode writer.
class PLINTH_API CCode39 {
public:
    CCode39();
    virtual ~CCode39();

    // Draws the barcode of the narrow text (start/stop '*' added) into a
    // bitmap file at the narrow path. 0 on success, a negative HRESULT on
    // failure: E_INVALIDARG for a NULL/empty text or a character outside the
    // 43-character set (lower-case letters are upper-cased first), E_POINTER
    // for a NULL path, the file error otherwise.
    int Create(const char* pszText, const char* pszPath);

private:
    CCode39(const CCode39&) = delete;
    CCode39& operator=(const CCode39&) = delete;
};

// Writes an icon over a solid background into a bitmap file.
class PLINTH_API CIcon {
public:
    explicit CIcon(HICON hIcon);  // does not take ownership of the handle
    virtual ~CIcon();

    // Nonzero on success.
    int SaveToBitmap(const wchar_t* pszPath, COLORREF crBackground);

private:
    CIcon(const CIcon&) = delete;
    CIcon& operator=(const CIcon&) = delete;

    HICON m_hIcon;
};

// Writes the path of an existing temporary folder ending in '\' into the
// buffer; returns its length in characters, 0 on failure (buffer too small
// included).
PLINTH_API unsigned long CreateTempDir(wchar_t* pszBuffer, unsigned long cchBuffer);

// The folder of the module, without a trailing backslash. Returns the length
// written, 0 on failure (the buffer then holds an empty string).
PLINTH_API int GetModulePath(HMODULE hModule, wchar_t* pszBuffer, int cchBuffer);

// The folder part of a path (without trailing backslash; empty for a bare
// file name). Returns the length written, 0 when empty or on failure.
PLINTH_API int GetFilePath(const wchar_t* pszPath, wchar_t* pszBuffer, int cchBuffer);

// The file-name part of a path. Returns the length written, 0 when empty or
// on failure.
PLINTH_API int GetFileName(const wchar_t* pszPath, wchar_t* pszBuffer, int cchBuffer);

// Nonzero when the file or folder exists.
PLINTH_API int FileExists(const wchar_t* pszPath);

// Creates the folder and any missing parents. Nonzero on success (also when
// the folder already exists); 0 for an empty path or on failure.
PLINTH_API int SHCreateDirectory(const wchar_t* pszPath);

// Replaces every occurrence of chFrom by chTo, in place.
PLINTH_API void StrReplace(wchar_t* psz, wchar_t chFrom, wchar_t chTo);

// The last occurrence of ch in psz, or NULL.
PLINTH_API wchar_t* StrChrR(const wchar_t* psz, wchar_t ch);

// Calls a member of pDisp by name. lReserved is ignored (callers pass 0).
// Arguments are in the caller's natural order (first argument first); they
// are reversed for IDispatch::Invoke. A DISPATCH_PROPERTYPUT(REF) passes its
// last argument as the new value (DISPID_PROPERTYPUT); any before it are
// indexes. pResult may be NULL. E_POINTER for a null dispatch or name,
// E_INVALIDARG for a negative count or missing arguments, DISP_E_BADPARAMCOUNT
// for a put without a value, DISP_E_UNKNOWNNAME for a missing member,
// otherwise the result of Invoke.
PLINTH_API HRESULT DispatchInvoke(IDispatch* pDisp, const wchar_t* pszName, long lReserved,
                                  WORD wFlags, int cArgs, VARIANT* pArgs, VARIANT* pResult);

// Selection kinds reported by GetOleInsertObjectFromUser.
enum {
    PLINTH_INSERT_NEW = 2,   // *pbstrName is a ProgID
    PLINTH_INSERT_FILE = 4,  // *pbstrName is a file path
};

// Shows the standard Insert Object dialog (OleUIInsertObjectW). pszTitle is
// narrow and may be NULL. dwFlags are IOF_* flags; the IOF_CREATE*OBJECT ones
// are dropped, as the caller creates the object itself. nReserved1/nReserved2
// are ignored (callers pass 1 and 0). On S_OK *pbstrName receives a new BSTR and
// *pnKind one of the kinds above; S_FALSE when the user cancels; a failure
// HRESULT otherwise. *pbstrName is NULL unless S_OK.
PLINTH_API HRESULT GetOleInsertObjectFromUser(HWND hwndOwner, const char* pszTitle,
                                              DWORD dwFlags, int nReserved1, int nReserved2,
                                              BSTR* pbstrName, int* pnKind);
