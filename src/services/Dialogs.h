// The file dialogs: the open/save dialog routine shared by ShowFileDialog,
// Open, Save and the save-as command, and the dialog service the script's
// ShowFileDialog and BrowserForFolder go to.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "services/ServiceContext.h"

// The filter that Open, Save and save-as offer: one pair, "*.*".
extern const wchar_t kAllFilesFilter[];
// The flags those callers pass (OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY).
const DWORD kFileDialogFlags = 0x6;
// The one caller flag that turns on multiple selection, and only when it
// is passed alone.
const DWORD kFileDialogMultiSelect = 0x200;

// Shows the open (bOpen nonzero) or save dialog owned by the active window
// and appends the full path of every chosen file to files, in order.
// pszDefExt, pszFileName and pszFilter may be null; pszFilter is pairs of
// display text and pattern, each ended by NUL, with a final NUL.
// S_OK when the user confirmed, S_FALSE when the dialog was cancelled or
// failed, E_OUTOFMEMORY (after its message box) when a name could not be
// stored; names collected before that stay in files.
HRESULT RunFileDialog(std::vector<std::wstring>& files, BOOL bOpen, const wchar_t* pszDefExt,
                      const wchar_t* pszFileName, DWORD dwFlags, const wchar_t* pszFilter);

namespace services {

class CDialogService : public CService {
public:
    using CService::CService;

    // The chosen file (or, with kFileDialogMultiSelect, a script array
    // literal of them); S_FALSE when cancelled.
    HRESULT ShowFileDialog(VARIANT_BOOL bOpenFileDialog, VARIANT vDefExt, VARIANT vFileName, VARIANT vFlags,
                           VARIANT vFilter, BSTR* pVal);
    // The chosen folder, owned by the control's window; S_FALSE when cancelled.
    HRESULT BrowserForFolder(BSTR* pVal);
};

}  // namespace services
