#include "diag/Log.h"

#include <olectl.h>

#include "diag/Notifier.h"

namespace {

const wchar_t kLogFolder[] = L"\\log\\";
const wchar_t kLogFile[] = L"office.log";
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

HRESULT OpenLogFile(CLoger& log, HMODULE hModule) {
    wchar_t szPath[MAX_PATH];
    ZeroMemory(szPath, sizeof(szPath));
    GetModulePath(hModule, szPath, MAX_PATH);

    // A module folder that does not fit the buffer with "\log\office.log"
    // (or none at all) must not turn into "\log\" at the drive's root or
    // run past the buffer: it counts as a folder that cannot be made.
    bool bFits = szPath[0] != L'\0' &&
                 lstrlenW(szPath) + lstrlenW(kLogFolder) + lstrlenW(kLogFile) < MAX_PATH;
    if (bFits) lstrcatW(szPath, kLogFolder);
    if (!bFits || (!FileExists(szPath) && !SHCreateDirectory(szPath))) {
        diag::Notify(nullptr, kTextFolderFailed, kCaptionMessage, MB_ICONINFORMATION);
        return E_FAIL;
    }
    lstrcatW(szPath, kLogFile);
    if (log.Open(szPath)) return S_OK;
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
