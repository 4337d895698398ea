// Registry settings written for other programs, and the DLL's own version.
#include "services/Settings.h"

#include <cwchar>
#include <vector>

#include "diag/Trace.h"
#include "fw/Module.h"
#include "fw/Raii.h"
#include "services/ModuleVersion.h"

namespace services {

namespace {

const wchar_t kKeyProduct[] = L"Software\\Quorvane\\Tollan3.0";
const wchar_t kKeyUpdateInfo[] = L"Software\\Quorvane\\Tollan3.0\\UpdateInfo";
// Whatever protocol the script names, the settings go under TCP.
const wchar_t kKeyServerInfo[] = L"Software\\Quorvane\\Tollan3.0\\ServerInfo\\TCP";
const wchar_t kKeyAutoUpdate[] = L"Software\\Quorvane\\Tollan3.0\\AutoUpdate";

const wchar_t kValueIP[] = L"IP";
const wchar_t kValuePort[] = L"Port";
const wchar_t kValueUpdateFilePath[] = L"UpdateFilePath";
const wchar_t kValueServerAddr[] = L"ServerAddr";
const wchar_t kValueEnable[] = L"Enable";
const wchar_t kValueUpdateFile[] = L"UpdateFile";

const wchar_t kFmtSetUpdateInfo[] = L"设置更新属性\tIP=%s\t端口=%s\t配置文件路径:%s";
const wchar_t kFmtSetServerInfo[] = L"设置通信服务器属性\thost=%s\t端口=%s\t协议:%s";
const wchar_t kFmtServerInfoKeyFailed[] = L"创建注册表项失败,无法设置通信服务器属性,注册表项:%s";
const wchar_t kFmtAutoUpdate[] = L"自动更新选项:%s";
const wchar_t kFmtAutoUpdateKeyFailed[] = L"创建注册表项失败,无法起用自动更新,注册表项:%s";
const wchar_t kFmtAutoUpdateFile[] = L"设置自动更新配置文件路径:%s";
const wchar_t kFmtAutoUpdateFileKeyFailed[] =
    L"创建注册表项失败,无法设置自动更新配置文件路径,注册表项:%s";
const wchar_t kTrue[] = L"true";
const wchar_t kFalse[] = L"false";

// Error descriptions: what the caller reads after a failure.
const wchar_t kErrSettingsKey[] = L"写入注册表失败: 无法创建注册表项 HKEY_CURRENT_USER\\%s";
const wchar_t kErrNoVersion[] = L"读取版本信息失败: %s";

// The result of every setter whose key is unavailable (-5240).
const HRESULT kSettingsKeyUnavailable = static_cast<HRESULT>(0xFFFFEB88);

// Opens the key under HKEY_CURRENT_USER, or creates it with any missing
// parents; false when it is unavailable either way.
bool OpenOrCreateSettingsKey(const wchar_t* pszPath, fw::unique_hkey& key) {
    const REGSAM access = KEY_READ | KEY_WRITE;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, pszPath, 0, access, key.put()) == ERROR_SUCCESS && key)
        return true;
    LONG r = RegCreateKeyExW(HKEY_CURRENT_USER, pszPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             access, nullptr, key.put(), nullptr);
    return r == ERROR_SUCCESS && key;
}

void WriteSettingsString(HKEY hKey, const wchar_t* pszName, BSTR bstrValue) {
    // Twice the length and no terminating NUL: what the readers of these
    // values have always been given.
    const wchar_t* psz = Text(bstrValue);
    const DWORD cb = SysStringLen(bstrValue) * sizeof(wchar_t);
    RegSetValueExW(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(psz), cb);
}

void WriteSettingsDword(HKEY hKey, const wchar_t* pszName, DWORD dwValue) {
    RegSetValueExW(hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                   sizeof(dwValue));
}

}  // namespace

HRESULT CSettingsService::SetUpdateInfo(BSTR bstrIP, BSTR bstrPort, BSTR bstrUpdateFile) {
    VX_TRACE_CALL(L"CSettingsService::SetUpdateInfo", bstrIP, bstrPort, bstrUpdateFile);
    Log().Write(kFmtSetUpdateInfo, Text(bstrIP), Text(bstrPort), Text(bstrUpdateFile));

    fw::unique_hkey key;
    if (!OpenOrCreateSettingsKey(kKeyProduct, key))
        VX_TRACE_RETURN(Fail(kSettingsKeyUnavailable, kErrSettingsKey, kKeyProduct));
    key.reset();

    if (!OpenOrCreateSettingsKey(kKeyUpdateInfo, key))
        VX_TRACE_RETURN(Fail(kSettingsKeyUnavailable, kErrSettingsKey, kKeyUpdateInfo));
    WriteSettingsString(key.get(), kValueIP, bstrIP);
    WriteSettingsString(key.get(), kValuePort, bstrPort);
    WriteSettingsString(key.get(), kValueUpdateFilePath, bstrUpdateFile);
    VX_TRACE_RETURN(S_OK);
}

HRESULT CSettingsService::SetServerInfo(BSTR bstrProtocol, BSTR bstrHost, BSTR bstrPort) {
    VX_TRACE_CALL(L"CSettingsService::SetServerInfo", bstrProtocol, bstrHost, bstrPort);
    Log().Write(kFmtSetServerInfo, Text(bstrHost), Text(bstrPort), Text(bstrProtocol));

    fw::unique_hkey key;
    if (!OpenOrCreateSettingsKey(kKeyServerInfo, key)) {
        Log().Write(kFmtServerInfoKeyFailed, kKeyServerInfo);
        VX_TRACE_RETURN(Fail(kSettingsKeyUnavailable, kErrSettingsKey, kKeyServerInfo));
    }
    WriteSettingsString(key.get(), kValueServerAddr, bstrHost);
    WriteSettingsString(key.get(), kValuePort, bstrPort);
    VX_TRACE_RETURN(S_OK);
}

HRESULT CSettingsService::PutAutoUpdate(VARIANT_BOOL newVal) {
    VX_TRACE_CALL(L"CSettingsService::PutAutoUpdate", newVal);
    Log().Write(kFmtAutoUpdate, newVal ? kTrue : kFalse);

    fw::unique_hkey key;
    if (!OpenOrCreateSettingsKey(kKeyAutoUpdate, key)) {
        Log().Write(kFmtAutoUpdateKeyFailed, kKeyAutoUpdate);
        VX_TRACE_RETURN(Fail(kSettingsKeyUnavailable, kErrSettingsKey, kKeyAutoUpdate));
    }
    WriteSettingsDword(key.get(), kValueEnable, newVal ? 1 : 0);
    VX_TRACE_RETURN(S_OK);
}

HRESULT CSettingsService::PutAutoUpdateFile(BSTR newVal) {
    VX_TRACE_CALL(L"CSettingsService::PutAutoUpdateFile", newVal);
    Log().Write(kFmtAutoUpdateFile, Text(newVal));

    fw::unique_hkey key;
    if (!OpenOrCreateSettingsKey(kKeyAutoUpdate, key)) {
        Log().Write(kFmtAutoUpdateFileKeyFailed, kKeyAutoUpdate);
        VX_TRACE_RETURN(Fail(kSettingsKeyUnavailable, kErrSettingsKey, kKeyAutoUpdate));
    }
    WriteSettingsString(key.get(), kValueUpdateFile, newVal);
    VX_TRACE_RETURN(S_OK);
}

HRESULT CSettingsService::GetVersion(BSTR* pVal) {
    VX_TRACE_CALL(L"CSettingsService::GetVersion", pVal);
    if (!pVal) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
    *pVal = nullptr;

    const std::wstring text = ModuleProductVersion(fw::g_module.GetModuleInstance());
    if (text.empty()) {
        wchar_t szModule[MAX_PATH] = {};
        fw::g_module.GetModulePath(szModule, MAX_PATH);
        VX_TRACE_RETURN(Fail(E_FAIL, kErrNoVersion, szModule));
    }
    fw::unique_bstr version(text.c_str());
    if (!version.get()) VX_TRACE_RETURN(Fail(E_OUTOFMEMORY, kErrNoMemory));
    *pVal = version.detach();
    VX_TRACE_RETURN(S_OK);
}

}  // namespace services
