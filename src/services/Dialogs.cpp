// File dialogs offered to the script: the open/save dialog and the folder
// picker.
#include "services/Dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cwchar>
#include <new>

#include "diag/Notifier.h"
#include "diag/Trace.h"
#include "fw/Raii.h"

const wchar_t kAllFilesFilter[] = L"All Files (*.*)\0*.*\0";

using services::kErrNoMemory;
using services::kErrNullResult;
using services::OptionalString;

namespace {

const wchar_t kTextNoMemory[] = L"为文件名分配内存失败";
const wchar_t kCaptionNoMemory[] = L"内存不足";
const wchar_t kTitleBrowseFolder[] = L"选择文件保存路径";
// Error descriptions: what the caller reads after a failure.
const wchar_t kErrDialogNoMemory[] = L"文件对话框失败: 内存不足";

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
        diag::Notify(GetActiveWindow(), kTextNoMemory, kCaptionNoMemory);
        return E_OUTOFMEMORY;
    }
}

HRESULT services::CDialogService::ShowFileDialog(VARIANT_BOOL bOpenFileDialog, VARIANT vDefExt,
                                                 VARIANT vFileName, VARIANT vFlags, VARIANT vFilter, BSTR* pVal) {
    VX_TRACE_CALL(L"CDialogService::ShowFileDialog", bOpenFileDialog, vDefExt, vFileName, vFlags, vFilter, pVal);
    if (!pVal) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
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
        leaf = m_context.PathForPage(pszFileName);
        pszFileName = leaf.c_str();
    }
    std::vector<std::wstring> files;
    diag::CNotifier::CScope notices(&m_context.Notifier());
    const HRESULT hr = RunFileDialog(files, bOpenFileDialog != VARIANT_FALSE, OptionalString(vDefExt),
                                     pszFileName, dwFlags,
                                     filter.empty() ? nullptr : filter.c_str());
    if (FAILED(hr)) VX_TRACE_RETURN(Fail(hr, kErrDialogNoMemory));
    if (hr == S_FALSE || files.empty()) VX_TRACE_RETURN(S_FALSE);

    // The bit alone decides the form of the result, whatever the dialog allowed.
    if (dwFlags & kFileDialogMultiSelect)
        VX_TRACE_RETURN(Fail(CopyToBstr(ScriptArrayLiteral(files).c_str(), pVal), kErrNoMemory));
    VX_TRACE_RETURN(Fail(CopyToBstr(files.front().c_str(), pVal), kErrNoMemory));
}

HRESULT services::CDialogService::BrowserForFolder(BSTR* pVal) {
    VX_TRACE_CALL(L"CDialogService::BrowserForFolder", pVal);
    if (!pVal) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
    *pVal = nullptr;
    BROWSEINFOW bi = {};
    const HWND hwndOwner = m_context.OwnerWindow();
    bi.hwndOwner = hwndOwner ? hwndOwner : GetActiveWindow();
    bi.lpszTitle = kTitleBrowseFolder;
    bi.ulFlags = kBrowseFolderFlags;
    fw::unique_cotaskmem pidl(SHBrowseForFolderW(&bi));
    if (!pidl) VX_TRACE_RETURN(S_FALSE);

    wchar_t szPath[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(static_cast<PCIDLIST_ABSOLUTE>(pidl.get()), szPath)) szPath[0] = L'\0';
    VX_TRACE_RETURN(Fail(CopyToBstr(szPath, pVal), kErrNoMemory));
}


