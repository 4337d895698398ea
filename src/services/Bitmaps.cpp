// Barcode and shell-icon bitmaps written to temporary folders for a page to
// show.
#include "services/Bitmaps.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdarg>
#include <cwchar>
#include <string>

#include "diag/Trace.h"
#include "fw/Raii.h"

namespace services {

namespace {

const wchar_t kFmtPrintBarCode[] = L"PrintBarCode()";
const wchar_t kFmtTempDirFailed[] = L"创建临时目录失败 hr=%d";
const wchar_t kFmtBarCodeFailed[] = L"创建39条码失败 hr=%d  条形编码：%s  文件路径:%s";

const wchar_t kIconFolder[] = L"87E35367-40BE-4ea1-BB05-08ED01049551\\";
const wchar_t kBitmapExt[] = L".bmp";
const size_t kBitmapExtLength = ARRAYSIZE(kBitmapExt) - 1;
const size_t kMaxPath = MAX_PATH;
const wchar_t kCaptionFolderFailed[] = L"创建目录失败";
const wchar_t kFmtNoIcon[] = L"获取文件{%s}的图标失败";
const wchar_t kCaptionNoIcon[] = L"无效图标文件";
const wchar_t kTextConvertFailed[] = L"图标转换发生意外...";
const wchar_t kCaptionConvertFailed[] = L"未知图标";

// Error descriptions: what the caller reads after a failure.
const wchar_t kErrBarCodeNoFolder[] = L"创建条码失败: 无法创建临时目录";
const wchar_t kErrBarCodeName[] = L"创建条码失败: 无法生成文件名";
const wchar_t kErrBarCodeDraw[] = L"创建条码失败: 条码 \"%s\" 文件 %s";
const wchar_t kErrNoIcon[] = L"获取图标失败: 文件 %s";
const wchar_t kErrIconConvert[] = L"图标转换失败: 文件 %s";

const COLORREF kDefaultIconBackground = RGB(255, 255, 255);

// Names the file system maps to devices whatever folder and extension
// they come with.
const wchar_t* const kDeviceNames[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
const wchar_t* const kNumberedDevices[] = {L"COM", L"LPT"};

std::wstring FormatText(const wchar_t* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    const int cch = _vscwprintf(pszFormat, args);
    va_end(args);
    if (cch <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(cch) + 1, L'\0');
    va_start(args, pszFormat);
    _vsnwprintf(&text[0], text.size(), pszFormat, args);
    va_end(args);
    text.resize(static_cast<size_t>(cch));
    return text;
}

// Text in the ANSI code page, as CCode39 takes it; empty when it cannot be
// converted, which CCode39 then refuses.
std::string ToAnsi(const wchar_t* psz, size_t cch) {
    if (!cch) return std::string();
    const int cb = WideCharToMultiByte(CP_ACP, 0, psz, static_cast<int>(cch), nullptr, 0,
                                       nullptr, nullptr);
    if (cb <= 0) return std::string();
    std::string ansi(static_cast<size_t>(cb), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, psz, static_cast<int>(cch), &ansi[0], cb, nullptr,
                            nullptr) != cb)
        return std::string();
    return ansi;
}

bool IsDeviceName(const std::wstring& type) {
    // The file system ignores trailing blanks when it matches device names.
    std::wstring base = type.substr(0, type.find_last_not_of(L' ') + 1);
    for (const wchar_t* name : kDeviceNames)
        if (!lstrcmpiW(base.c_str(), name)) return true;
    if (base.size() != 4) return false;
    const wchar_t digit = base[3];
    const bool bDeviceDigit = (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' ||
                              digit == L'\u00B2' || digit == L'\u00B3';
    if (!bDeviceDigit) return false;
    for (const wchar_t* prefix : kNumberedDevices)
        if (!_wcsnicmp(base.c_str(), prefix, 3)) return true;
    return false;
}

// The type that names an icon's bitmap: the text after the last "." of the
// file name, or the whole name without one. Only the file-name part counts,
// and what the file system would read as a stream, a device or an invalid
// name is made harmless, so the bitmap always lands in the fixed folder.
std::wstring IconTypeOf(const wchar_t* pszFileName) {
    const wchar_t* pDot = StrChrR(pszFileName, L'.');
    std::wstring type = pDot ? pDot + 1 : pszFileName;
    for (wchar_t& ch : type)
        if (ch < L' ' || wcschr(L"<>:\"/\\|?*", ch)) ch = L'_';
    if (IsDeviceName(type)) type += L'_';
    return type;
}

}  // namespace

HRESULT CBitmapService::CreateBarCode(BSTR bstrBarCode, VARIANT* pVal) {
    VX_TRACE_CALL(L"CBitmapService::CreateBarCode", bstrBarCode, pVal);
    m_context.OpenLog();
    Log().Write(kFmtPrintBarCode);
    if (!pVal) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
    // Empty before anything can fail: the caller clears what it gets back.
    VariantInit(pVal);

    CCode39 code39;

    wchar_t szFolder[MAX_PATH] = {};
    if (!CreateTempDir(szFolder, MAX_PATH)) {
        Log().Write(kFmtTempDirFailed, 0);
        VX_TRACE_RETURN(Fail(E_FAIL, kErrBarCodeNoFolder));
    }

    // A new name on every call: pages keep showing the earlier bitmaps.
    GUID guid = {};
    HRESULT hr = CoCreateGuid(&guid);
    if (FAILED(hr)) VX_TRACE_RETURN(Fail(hr, kErrBarCodeName));
    fw::unique_cotaskmem guidText;
    hr = StringFromCLSID(guid, reinterpret_cast<LPOLESTR*>(guidText.put()));
    if (FAILED(hr)) VX_TRACE_RETURN(Fail(hr, kErrBarCodeName));
    const std::wstring path =
        std::wstring(szFolder) + static_cast<const wchar_t*>(guidText.get()) + kBitmapExt;

    // An empty text goes to the drawer as NULL; it decides what that means.
    const std::string ansiText = ToAnsi(bstrBarCode, SysStringLen(bstrBarCode));
    const std::string ansiPath = ToAnsi(path.c_str(), path.size());
    hr = code39.Create(ansiText.empty() ? nullptr : ansiText.c_str(), ansiPath.c_str());
    if (hr < 0) {
        Log().Write(kFmtBarCodeFailed, hr, bstrBarCode ? bstrBarCode : L"", path.c_str());
        VX_TRACE_RETURN(Fail(hr, kErrBarCodeDraw, bstrBarCode ? bstrBarCode : L"", path.c_str()));
    }

    fw::unique_bstr result(path.c_str());
    if (!result.get()) VX_TRACE_RETURN(Fail(E_OUTOFMEMORY, kErrNoMemory));
    VariantInit(pVal);
    pVal->vt = VT_BSTR;
    pVal->bstrVal = result.detach();
    VX_TRACE_RETURN(S_OK);
}

HRESULT CBitmapService::GetShellIcon(BSTR bstrFile, VARIANT vBgColor, BSTR* bstrIconFile) {
    VX_TRACE_CALL(L"CBitmapService::GetShellIcon", bstrFile, vBgColor, bstrIconFile);
    if (!bstrIconFile) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
    // Callers that read the result after a failure find NULL, not garbage.
    *bstrIconFile = nullptr;

    wchar_t szName[MAX_PATH] = {};
    // Plinth's, not the IOffice member of the same name.
    ::GetFileName(bstrFile, szName, MAX_PATH);

    // No temporary path, or one too long for a bitmap in the fixed folder,
    // counts as a folder that cannot be made.
    wchar_t szTemp[MAX_PATH] = {};
    const DWORD cchTemp = GetTempPathW(MAX_PATH, szTemp);
    std::wstring folder = cchTemp < MAX_PATH ? szTemp : L"";
    folder += kIconFolder;
    const bool bFits = cchTemp && cchTemp < MAX_PATH && folder.size() + kBitmapExtLength < kMaxPath;
    if (!bFits || (!FileExists(folder.c_str()) && !SHCreateDirectory(folder.c_str()))) {
        ShowBox(folder.c_str(), kCaptionFolderFailed);
        VX_TRACE_RETURN(S_FALSE);
    }

    // One file per type; a type too long for MAX_PATH is cut.
    std::wstring type = IconTypeOf(szName);
    type.resize(std::min(type.size(), kMaxPath - 1 - folder.size() - kBitmapExtLength));
    std::wstring path = folder + type + kBitmapExt;

    // The file need not exist: its type decides the icon.
    SHFILEINFOW info;
    ZeroMemory(&info, sizeof(info));
    SHGetFileInfoW(szName, 0, &info, sizeof(info),
                   SHGFI_USEFILEATTRIBUTES | SHGFI_ICON | SHGFI_DISPLAYNAME | SHGFI_TYPENAME);
    // The shell hands out a new icon each time; CIcon only borrows it.
    fw::unique_hicon icon(info.hIcon);
    if (!icon) {
        ShowBox(FormatText(kFmtNoIcon, szName).c_str(), kCaptionNoIcon);
        VX_TRACE_RETURN(Fail(E_FAIL, kErrNoIcon, szName));
    }

    const COLORREF crBackground =
        V_VT(&vBgColor) == VT_I4 ? static_cast<COLORREF>(V_I4(&vBgColor)) : kDefaultIconBackground;
    CIcon bitmap(icon.get());
    if (!bitmap.SaveToBitmap(path.c_str(), crBackground)) {
        ShowBox(kTextConvertFailed, kCaptionConvertFailed);
        VX_TRACE_RETURN(Fail(E_FAIL, kErrIconConvert, path.c_str()));
    }

    StrReplace(&path[0], L'\\', L'/');
    fw::unique_bstr result(path.c_str());
    if (!result.get()) VX_TRACE_RETURN(Fail(E_OUTOFMEMORY, kErrNoMemory));
    *bstrIconFile = result.detach();
    VX_TRACE_RETURN(S_OK);
}

}  // namespace services
