// Shell and file utilities offered to the script: opening a file through
// the shell, deleting one, and creating the system's script objects.
#include "services/Shell.h"

#include <shellapi.h>

#include <cwchar>
#include <string>

#include "diag/Trace.h"
#include "fw/Raii.h"

namespace services {

namespace {

const wchar_t kFmtOpenFailed[] = L"打开文件{%s}出错,文件可能不存在";
const wchar_t kCaptionOpenFailed[] = L"未知文件";
const wchar_t kVerbOpen[] = L"open";
const wchar_t kWebBrowser[] = L"Iexplore.exe";
const wchar_t* const kWebFileSuffixes[] = {L".xml", L".html", L".htm"};
// The shell copies the name it is given into buffers of its own; a name
// longer than any path overruns them on some systems (Wine's shell crashes
// or hangs from about a thousand characters on). No such name is a file the
// shell could open.
const size_t kMaxShellFileName = MAX_PATH - 1;

const wchar_t kProgIdFileSystemObject[] = L"Scripting.FileSystemObject";

const wchar_t kTextWindowTypeUnknown[] = L"试图获取系统未注册的窗口类型失败";
const wchar_t kCaptionWindowTypeUnknown[] = L"窗口类型未知";
const wchar_t kTextWindowClassMissing[] = L"窗口类别不存在";
const wchar_t kCaptionCreateWindowFailed[] = L"创建窗口失败";

// Error descriptions: what the caller reads after a failure.
const wchar_t kErrNoFileSystemObject[] = L"创建对象失败: %s";
const wchar_t kErrWindowTypeUnknown[] = L"创建窗口对象失败: 未注册的窗口类型 %s";
const wchar_t kErrWindowClassMissing[] = L"创建窗口对象失败: 无法创建 %s";
const wchar_t kErrEncryptPdf[] = L"加密PDF功能未实现";
const wchar_t kErrAddWatermark[] = L"添加水印功能未实现";

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

}  // namespace

HRESULT CShellService::ShellExecute(BSTR bstrFile, VARIANT vArgs) {
    VX_TRACE_CALL(L"CShellService::ShellExecute", bstrFile, vArgs);
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
    if (reinterpret_cast<INT_PTR>(hResult) > 32) VX_TRACE_RETURN(S_OK);

    ShowBox(FillIn(kFmtOpenFailed, pszFile).c_str(), kCaptionOpenFailed);
    VX_TRACE_RETURN(S_FALSE);
}

HRESULT CShellService::DeleteFile(BSTR bstrFileName) {
    VX_TRACE_CALL(L"CShellService::DeleteFile", bstrFileName);
    // The script is never told whether the file went.
    ::DeleteFileW(bstrFileName ? bstrFileName : L"");
    VX_TRACE_RETURN(S_OK);
}

// A new object on every call.
HRESULT CShellService::GetFileSystemObject(IDispatch** ppDisp) {
    VX_TRACE_CALL(L"CShellService::GetFileSystemObject", ppDisp);
    if (!ppDisp) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
    *ppDisp = nullptr;
    CLSID clsid = CLSID_NULL;
    if (CLSIDFromProgID(kProgIdFileSystemObject, &clsid) != S_OK)
        VX_TRACE_RETURN(Fail(E_FAIL, kErrNoFileSystemObject, kProgIdFileSystemObject));
    VX_TRACE_RETURN(
        Fail(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(ppDisp)),
             kErrNoFileSystemObject, kProgIdFileSystemObject));
}

// Any registered class, named by a CLSID string or a ProgID.
HRESULT CShellService::GetWindow(BSTR bstrWinType, IDispatch** ppDisp) {
    VX_TRACE_CALL(L"CShellService::GetWindow", bstrWinType, ppDisp);
    if (!ppDisp) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
    *ppDisp = nullptr;
    CLSID clsid = CLSID_NULL;
    if (CLSIDFromString(bstrWinType, &clsid) != S_OK) {
        ShowBox(kTextWindowTypeUnknown, kCaptionWindowTypeUnknown);
        VX_TRACE_RETURN(Fail(E_FAIL, kErrWindowTypeUnknown, Text(bstrWinType)));
    }
    fw::com_ptr<IDispatch> window;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, window.put_void())) ||
        !window) {
        ShowBox(kTextWindowClassMissing, kCaptionCreateWindowFailed);
        VX_TRACE_RETURN(Fail(E_FAIL, kErrWindowClassMissing, Text(bstrWinType)));
    }
    *ppDisp = window.detach();
    VX_TRACE_RETURN(S_OK);
}

HRESULT CShellService::EncryptPDF() {
    VX_TRACE_CALL(L"CShellService::EncryptPDF");
    VX_TRACE_RETURN(Fail(E_NOTIMPL, kErrEncryptPdf));
}

HRESULT CShellService::AddWatermark() {
    VX_TRACE_CALL(L"CShellService::AddWatermark");
    VX_TRACE_RETURN(Fail(E_NOTIMPL, kErrAddWatermark));
}

}  // namespace services
