// The user's own switches for this product, DWORD values under
// HKCU\Software\Vellix (apart from the settings the product writes for
// other programs).
#pragma once

#include <windows.h>

namespace diag {

extern const wchar_t kUserSettingsKey[];

// The value, or dwDefault when the key or a DWORD of that name is missing.
DWORD UserSettingDword(const wchar_t* pszName, DWORD dwDefault);

}  // namespace diag
