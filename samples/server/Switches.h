// The test switches of one document object (read once, at creation) and the
// trace every object writes. Both live under HKCU so that a test can set
// them before any process creates the object.
#pragma once

#include <windows.h>

struct PadSwitches {
    bool bNoPersistMoniker = false;
    bool bNoPersistFile = false;
    bool bNoPreview = false;
    bool bNoSavedProperty = false;
    bool bClientSiteFirst = false;
    bool bCancelPrompt = false;
    bool bFaultInPreviewEnd = false;
    HRESULT hrFailStorageSave = S_OK;
    HRESULT hrFailFileSave = S_OK;
    HRESULT hrFailMonikerSave = S_OK;
    DWORD nDoVerbFailCount = 0;
    HRESULT hrDoVerbFail = S_OK;
    DWORD dwDisabledCommands = 0;

    static PadSwitches Read();
    bool IsCommandDisabled(ULONG nCmdId) const {
        return nCmdId < 32 && (dwDisabledCommands & (1u << nCmdId)) != 0;
    }
};

namespace padtrace {
void Count(const wchar_t* pszName);
void Set(const wchar_t* pszName, DWORD dwValue);
void SetString(const wchar_t* pszName, const wchar_t* pszValue);
}  // namespace padtrace
