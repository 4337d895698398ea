#include "diag/Settings.h"

#include "fw/Raii.h"

namespace diag {

const wchar_t kUserSettingsKey[] = L"Software\\Vellix";

DWORD UserSettingDword(const wchar_t* pszName, DWORD dwDefault) {
    fw::unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserSettingsKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return dwDefault;
    DWORD value = 0, cb = sizeof(value), type = 0;
    const LONG r = RegQueryValueExW(key.get(), pszName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &cb);
    return r == ERROR_SUCCESS && type == REG_DWORD && cb == sizeof(value) ? value : dwDefault;
}

}  // namespace diag
