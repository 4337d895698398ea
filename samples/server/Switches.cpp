#include "Switches.h"

#include "PadTestHooks.h"
#include "fw/Raii.h"

namespace {

DWORD ReadDword(HKEY hkey, const wchar_t* pszName) {
    DWORD dw = 0, cb = sizeof(dw), type = 0;
    if (RegQueryValueExW(hkey, pszName, nullptr, &type, reinterpret_cast<BYTE*>(&dw), &cb) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return 0;
    return dw;
}

// 1 stands for E_FAIL so that a test can say "fail" without picking a code.
HRESULT FailureCode(DWORD dw) { return dw == 1 ? E_FAIL : static_cast<HRESULT>(dw); }

fw::unique_hkey OpenTraceKey() {
    fw::unique_hkey key;
    RegCreateKeyExW(HKEY_CURRENT_USER, vellixpad::kTraceKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                    key.put(), nullptr);
    return key;
}

}  // namespace

PadSwitches PadSwitches::Read() {
    PadSwitches s;
    fw::unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, vellixpad::kSwitchesKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return s;
    s.bNoPersistMoniker = ReadDword(key.get(), vellixpad::kNoPersistMoniker) != 0;
    s.bNoPersistFile = ReadDword(key.get(), vellixpad::kNoPersistFile) != 0;
    s.bNoPreview = ReadDword(key.get(), vellixpad::kNoPreview) != 0;
    s.bNoSavedProperty = ReadDword(key.get(), vellixpad::kNoSavedProperty) != 0;
    s.bClientSiteFirst = ReadDword(key.get(), vellixpad::kClientSiteFirst) != 0;
    s.bCancelPrompt = ReadDword(key.get(), vellixpad::kCancelPrompt) != 0;
    s.bFaultInPreviewEnd = ReadDword(key.get(), vellixpad::kFaultInPreviewEnd) != 0;
    s.hrFailStorageSave = FailureCode(ReadDword(key.get(), vellixpad::kFailStorageSave));
    s.hrFailFileSave = FailureCode(ReadDword(key.get(), vellixpad::kFailFileSave));
    s.hrFailMonikerSave = FailureCode(ReadDword(key.get(), vellixpad::kFailMonikerSave));
    s.nDoVerbFailCount = ReadDword(key.get(), vellixpad::kDoVerbFailCount);
    DWORD dwCode = ReadDword(key.get(), vellixpad::kDoVerbFailCode);
    s.hrDoVerbFail = dwCode ? FailureCode(dwCode) : RPC_E_CALL_REJECTED;
    s.dwDisabledCommands = ReadDword(key.get(), vellixpad::kDisabledCommands);
    return s;
}

namespace padtrace {

void Count(const wchar_t* pszName) {
    fw::unique_hkey key = OpenTraceKey();
    if (!key) return;
    DWORD dw = ReadDword(key.get(), pszName) + 1;
    RegSetValueExW(key.get(), pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dw), sizeof(dw));
}

void Set(const wchar_t* pszName, DWORD dwValue) {
    fw::unique_hkey key = OpenTraceKey();
    if (!key) return;
    RegSetValueExW(key.get(), pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
}

void SetString(const wchar_t* pszName, const wchar_t* pszValue) {
    fw::unique_hkey key = OpenTraceKey();
    if (!key) return;
    const wchar_t* psz = pszValue ? pszValue : L"";
    RegSetValueExW(key.get(), pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(psz),
                   static_cast<DWORD>((lstrlenW(psz) + 1) * sizeof(wchar_t)));
}

}  // namespace padtrace
