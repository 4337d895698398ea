#include "diag/Log.h"

#include <olectl.h>
#include <shlobj.h>

#include "diag/Notifier.h"

namespace {

const wchar_t kLogFolder[] = L"\\log\\";
const wchar_t kLogFile[] = L"office.log";
const wchar_t kFallbackSubfolder[] = L"\\Vellix";
const wchar_t kCaptionMessage[] = L"消息";
const wchar_t kTextFolderFailed[] = L"创建Scrivane控件日志目录失败";
const wchar_t kCaptionOpenFailed[] = L"打开Scrivane控件日志文件失败";

const wchar_t kFmtResultValue[] = L"hr值\thr=%d\t ";
const wchar_t kFmtResultName[] = L"\thr=%d\t常量为:%s";
const wchar_t kNameOther[] = L"其它";

struct ResultNameEntry {
    HRESULT hr;
    const wchar_t* name;
};

// Tested in this order.
const ResultNameEntry kResultNames[] = {
    {S_OK, L"S_OK"},
    {OLE_E_NOT_INPLACEACTIVE, L"OLE_E_NOT_INPLACEACTIVE"},
    {OLE_E_CANT_BINDTOSOURCE, L"OLE_E_CANT_BINDTOSOURCE"},
    {DV_E_LINDEX, L"DV_E_LINDEX"},
    {OLEOBJ_S_CANNOT_DOVERB_NOW, L"OLEOBJ_S_CANNOT_DOVERB_NOW"},
    {OLEOBJ_S_INVALIDHWND, L"OLEOBJ_S_INVALIDHWND"},
    {OLEOBJ_E_NOVERBS, L"OLEOBJ_E_NOVERBS"},
    {OLEOBJ_S_INVALIDVERB, L"OLEOBJ_S_INVALIDVERB"},
    {OLE_E_CLASSDIFF, L"OLE_E_CLASSDIFF"},
    {E_NOTIMPL, L"E_NOTIMPL"},
};

}  // namespace

namespace {

enum class LogFailure { None, Folder, File };

// Opens "<folder>\log\office.log", making the folder on first use; the
// path tried is left in szPath.
LogFailure OpenInFolder(CLoger& log, const wchar_t* pszFolder, wchar_t (&szPath)[MAX_PATH]) {
    ZeroMemory(szPath, sizeof(szPath));
    // A folder that does not fit the buffer with "\log\office.log" (or none
    // at all) must not turn into "\log\" at the drive's root or run past the
    // buffer: it counts as a folder that cannot be made.
    if (!pszFolder || !pszFolder[0] || lstrlenW(pszFolder) + lstrlenW(kLogFolder) + lstrlenW(kLogFile) >= MAX_PATH)
        return LogFailure::Folder;
    lstrcpyW(szPath, pszFolder);
    lstrcatW(szPath, kLogFolder);
    if (!FileExists(szPath) && !SHCreateDirectory(szPath)) return LogFailure::Folder;
    lstrcatW(szPath, kLogFile);
    return log.Open(szPath) ? LogFailure::None : LogFailure::File;
}

// The user's own folder, writable whatever the install: %LOCALAPPDATA%\Vellix.
bool FallbackFolder(wchar_t (&szFolder)[MAX_PATH]) {
    ZeroMemory(szFolder, sizeof(szFolder));
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", szFolder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        ZeroMemory(szFolder, sizeof(szFolder));
        if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, szFolder)))
            return false;
    }
    if (lstrlenW(szFolder) + lstrlenW(kFallbackSubfolder) >= MAX_PATH) return false;
    lstrcatW(szFolder, kFallbackSubfolder);
    return true;
}

}  // namespace

HRESULT OpenLogFile(CLoger& log, HMODULE hModule) {
    // Beside the DLL first; a per-machine install there is not writable by a
    // standard user or a low-integrity browser, and a log must never cost
    // the control its work, so the user's own folder is tried next and only
    // when both fail is the user told.
    wchar_t szModule[MAX_PATH];
    ZeroMemory(szModule, sizeof(szModule));
    GetModulePath(hModule, szModule, MAX_PATH);
    wchar_t szPath[MAX_PATH];
    const LogFailure failure = OpenInFolder(log, szModule, szPath);
    if (failure == LogFailure::None) return S_OK;

    wchar_t szFallback[MAX_PATH];
    wchar_t szFallbackPath[MAX_PATH];
    if (FallbackFolder(szFallback) && OpenInFolder(log, szFallback, szFallbackPath) == LogFailure::None)
        return S_OK;

    if (failure == LogFailure::Folder)
        diag::Notify(nullptr, kTextFolderFailed, kCaptionMessage, MB_ICONINFORMATION);
    else
        diag::Notify(nullptr, szPath, kCaptionOpenFailed, MB_ICONINFORMATION);
    return E_FAIL;
}

const wchar_t* ResultName(HRESULT hr) {
    for (const ResultNameEntry& e : kResultNames)
        if (e.hr == hr) return e.name;
    return kNameOther;
}

HRESULT WriteResultName(CLoger& log, HRESULT hr) {
    log.Write(kFmtResultValue, hr);
    log.Write(kFmtResultName, hr, ResultName(hr));
    return S_OK;
}
