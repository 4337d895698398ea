// File dialogs and shell utilities offered to the script: the open/save
// dialog, the folder picker, opening a file through the shell, deleting one.
#include "services/Dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cwchar>
#include <new>

#include "control/Office.h"
#include "fw/Raii.h"

const wchar_t kAllFilesFilter[] = L"All Files (*.*)\0*.*\0";

namespace {

const wchar_t kTextNoMemory[] = L"为文件名分配内存失败";
const wchar_t kCaptionNoMemory[] = L"内存不足";
const wchar_t kTitleBrowseFolder[] = L"选择文件保存路径";
const wchar_t kFmtOpenFailed[] = L"打开文件{%s}出错,文件可能不存在";
const wchar_t kCaptionOpenFailed[] = L"未知文件";
// Error descriptions: what the caller reads after a failure.
const wchar_t kErrDialogNoMemory[] = L"文件对话框失败: 内存不足";
const wchar_t kVerbOpen[] = L"open";
const wchar_t kWebBrowser[] = L"Iexplore.exe";
const wchar_t* const kWebFileSuffixes[] = {L".xml", L".html", L".htm"};
// The shell copies the name it is given into buffers of its own; a name
// longer than any path overruns them on some systems (Wine's shell crashes
// or hangs from about a thousand characters on). No such name is a file the
// shell could open.
const size_t kMaxShellFileName = MAX_PATH - 1;

// Always added to the flags: the hook and resizing of the Explorer-style
// dialog.
const DWORD kDialogStyleFlags = OFN_ENABLEHOOK | OFN_EXPLORER | OFN_ENABLESIZING;
const DWORD kMultiSelectFlags = OFN_ALLOWMULTISELECT | kFileDialogFlags;
const size_t kFileBufferChars = MAX_PATH;
// A multiple selection is the folder and every name in one buffer; MAX_PATH
// would refuse all but a handful of files.
const size_t kMultiSelectBufferChars = 65536;
const DWORD kFileTitleChars = 256;
const UINT kBrowseFolderFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;

// The dialog's hook; it adds nothing to the stock behaviour.
UINT_PTR CALLBACK DefaultFileDialogHook(HWND, UINT, WPARAM, LPARAM) { return 0; }

bool IsFolder(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

HRESULT CollectFileNames(std::vector<std::wstring>& files, BOOL bOpen, const wchar_t* pszDefExt,
                         const wchar_t* pszFileName, DWORD dwFlags, const wchar_t* pszFilter) {
    const DWORD dwUsedFlags = dwFlags == kFileDialogMultiSelect ? kMultiSelectFlags : kFileDialogFlags;
    const size_t cchFile = (dwUsedFlags & OFN_ALLOWMULTISELECT) ? kMultiSelectBufferChars : kFileBufferChars;
    // Two NULs beyond what the dialog may fill end every walk of the names.
    std::vector<wchar_t> file(cchFile + 2, L'\0');
    if (pszFileName) lstrcpynW(file.data(), pszFileName, static_cast<int>(kFileBufferChars));
    wchar_t szFileTitle[kFileTitleChars] = {};

    OPENFILENAMEW ofn = {};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;  // no places bar
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = pszFilter;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(cchFile);
    ofn.lpstrFileTitle = szFileTitle;
    ofn.nMaxFileTitle = kFileTitleChars;
    ofn.Flags = dwUsedFlags | kDialogStyleFlags;
    ofn.lpstrDefExt = pszDefExt;
    ofn.lpfnHook = DefaultFileDialogHook;
    if (!(bOpen ? GetOpenFileNameW(&ofn) : GetSaveFileNameW(&ofn))) return S_FALSE;

    const std::wstring first(file.data());
    if (!IsFolder(first)) {
        files.push_back(first);
        return S_OK;
    }
    // A multiple selection: the folder, then each name ended by NUL, then NUL.
    std::wstring folder = first;
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    for (const wchar_t* pszName = file.data() + first.size() + 1; *pszName;
         pszName += lstrlenW(pszName) + 1) {
        std::wstring path = folder + pszName;
        if (!IsFolder(path)) files.push_back(std::move(path));
    }
    return S_OK;
}

// The path as a single-quoted script string. Apostrophes and the script's
// line separators are escaped too: the page evaluates the result, and a
// file name must never end the string early.
void AppendScriptString(std::wstring& literal, const std::wstring& path) {
    literal += L'\'';
    for (wchar_t ch : path) {
        switch (ch) {
        case L'\\': literal += L"\\\\"; break;
        case L'\'': literal += L"\\'"; break;
        case L'\u2028': literal += L"\\u2028"; break;
        case L'\u2029': literal += L"\\u2029"; break;
        default: literal += ch; break;
        }
    }
    literal += L'\'';
}

// The files as a script array literal: ['C:\\a\\x.doc','C:\\a\\y.doc'].
std::wstring ScriptArrayLiteral(const std::vector<std::wstring>& files) {
    std::wstring literal = L"[";
    for (size_t i = 0; i < files.size(); ++i) {
        if (i) literal += L',';
        AppendScriptString(literal, files[i]);
    }
    literal += L']';
    return literal;
}

// The string of an optional argument, or null when it is not a VT_BSTR.
const wchar_t* OptionalString(const VARIANT& v) { return v.vt == VT_BSTR ? v.bstrVal : nullptr; }

std::wstring FillIn(const wchar_t* pszFormat, const wchar_t* pszValue) {
    std::wstring text = pszFormat;
    const size_t at = text.find(L"%s");
    if (at != std::wstring::npos) text.replace(at, 2, pszValue);
    return text;
}

bool IsWebFile(const wchar_t* pszFile) {
    const wchar_t* pszSuffix = StrChrR(pszFile, L'.');
    if (!pszSuffix) return false;
    for (const wchar_t* pszWeb : kWebFileSuffixes)
        if (lstrcmpiW(pszSuffix, pszWeb) == 0) return true;
    return false;
}

HRESULT CopyToBstr(const wchar_t* psz, BSTR* pVal) {
    *pVal = SysAllocString(psz);
    return *pVal ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT RunFileDialog(std::vector<std::wstring>& files, BOOL bOpen, const wchar_t* pszDefExt,
                      const wchar_t* pszFileName, DWORD dwFlags, const wchar_t* pszFilter) {
    try {
        return CollectFileNames(files, bOpen, pszDefExt, pszFileName, dwFlags, pszFilter);
    } catch (const std::bad_alloc&) {
        MessageBoxW(GetActiveWindow(), kTextNoMemory, kCaptionNoMemory, MB_OK);
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP COffice::ShowFileDialog(VARIANT_BOOL bOpenFileDialog, VARIANT vDefExt, VARIANT vFileName,
                                     VARIANT vFlags, VARIANT vFilter, BSTR* pVal) {
    if (!pVal) return Fail(E_POINTER, kErrNullResult);
    *pVal = nullptr;
    const DWORD dwFlags = vFlags.vt == VT_I4 ? static_cast<DWORD>(vFlags.lVal) : 0;
    // A filter must end in two NULs; a script's string need not, so it is
    // copied with them rather than read past its end.
    std::wstring filter;
    if (vFilter.vt == VT_BSTR && vFilter.bstrVal) {
        filter.assign(vFilter.bstrVal, SysStringLen(vFilter.bstrVal));
        filter.append(2, L'\0');
    }

    // A refused page names no folder: the dialog would go there (and to a
    // \\server\share with the user's credentials) before the user acts.
    const wchar_t* pszFileName = OptionalString(vFileName);
    std::wstring leaf;
    if (pszFileName && *pszFileName) {
        leaf = PathForPage(pszFileName);
        pszFileName = leaf.c_str();
    }
    std::vector<std::wstring> files;
    const HRESULT hr = RunFileDialog(files, bOpenFileDialog != VARIANT_FALSE, OptionalString(vDefExt),
                                     pszFileName, dwFlags,
                                     filter.empty() ? nullptr : filter.c_str());
    if (FAILED(hr)) return Fail(hr, kErrDialogNoMemory);
    if (hr == S_FALSE || files.empty()) return S_FALSE;

    // The bit alone decides the form of the result, whatever the dialog allowed.
    if (dwFlags & kFileDialogMultiSelect)
        return Fail(CopyToBstr(ScriptArrayLiteral(files).c_str(), pVal), kErrNoMemory);
    return Fail(CopyToBstr(files.front().c_str(), pVal), kErrNoMemory);
}

STDMETHODIMP COffice::BrowserForFolder(BSTR* pVal) {
    if (!pVal) return Fail(E_POINTER, kErrNullResult);
    *pVal = nullptr;
    BROWSEINFOW bi = {};
    bi.hwndOwner = m_hWnd ? m_hWnd : GetActiveWindow();
    bi.lpszTitle = kTitleBrowseFolder;
    bi.ulFlags = kBrowseFolderFlags;
    fw::unique_cotaskmem pidl(SHBrowseForFolderW(&bi));
    if (!pidl) return S_FALSE;

    wchar_t szPath[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(static_cast<PCIDLIST_ABSOLUTE>(pidl.get()), szPath)) szPath[0] = L'\0';
    return Fail(CopyToBstr(szPath, pVal), kErrNoMemory);
}

STDMETHODIMP COffice::ShellExecute(BSTR bstrFile, VARIANT vArgs) {
    if (HRESULT hr = CheckSiteLock(L"ShellExecute"); FAILED(hr)) return hr;
    const wchar_t* pszFile = bstrFile ? bstrFile : L"";
    const wchar_t* pszArgs = OptionalString(vArgs);
    // A name too long for a path is refused like a file that is not there.
    const bool bFits = wcslen(pszFile) <= kMaxShellFileName;
    HINSTANCE hResult = nullptr;
    if (bFits && IsWebFile(pszFile))
        hResult = ::ShellExecuteW(GetActiveWindow(), kVerbOpen, kWebBrowser, pszFile, pszArgs,
                                  SW_SHOWMAXIMIZED);
    else if (bFits)
        hResult = ::ShellExecuteW(GetDesktopWindow(), kVerbOpen, pszFile, pszArgs, nullptr, SW_SHOW);
    if (reinterpret_cast<INT_PTR>(hResult) > 32) return S_OK;

    MessageBoxW(GetActiveWindow(), FillIn(kFmtOpenFailed, pszFile).c_str(), kCaptionOpenFailed, MB_OK);
    return S_FALSE;
}

STDMETHODIMP COffice::DeleteFile(BSTR bstrFileName) {
    if (HRESULT hr = CheckSiteLock(L"DeleteFile"); FAILED(hr)) return hr;
    // The script is never told whether the file went.
    ::DeleteFileW(bstrFileName ? bstrFileName : L"");
    return S_OK;
}
