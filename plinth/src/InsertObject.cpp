#include "Plinth.h"

#include "Owners.h"
#include "TextConvert.h"
#include "Win32Result.h"

#include <oledlg.h>

#include <string>

namespace {

enum class Outcome { Cancelled, Failed, CreateNew, FromFile };

struct CInsertChoice {
    Outcome outcome = Outcome::Failed;
    CLSID clsid = CLSID_NULL;
    std::wstring file;
};

// Only the user's choice is wanted: the caller creates the object itself, so
// the dialog gets no storage, no object pointer and no IOF_CREATE* flag.
DWORD ChoiceOnlyFlags(DWORD dwFlags)
{
    return dwFlags & ~(IOF_CREATENEWOBJECT | IOF_CREATEFILEOBJECT | IOF_CREATELINKOBJECT);
}

// Returns false when this oledlg has no wide dialog.
bool ShowWideDialog(HWND hwndOwner, const std::wstring& title, DWORD dwFlags,
                    CInsertChoice* pChoice)
{
    wchar_t szFile[MAX_PATH] = {};
    OLEUIINSERTOBJECTW io = {};
    io.cbStruct = sizeof(io);
    io.dwFlags = ChoiceOnlyFlags(dwFlags);
    io.hWndOwner = hwndOwner;
    io.lpszCaption = title.empty() ? nullptr : title.c_str();
    io.lpszFile = szFile;
    io.cchFile = MAX_PATH;
    io.iid = IID_IOleObject;
    io.oleRender = OLERENDER_DRAW;

    SetLastError(ERROR_SUCCESS);
    const UINT result = OleUIInsertObjectW(&io);
    if (result == OLEUI_FALSE && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
        return false;

    if (result == OLEUI_CANCEL) {
        pChoice->outcome = Outcome::Cancelled;
    } else if (result == OLEUI_OK && (io.dwFlags & IOF_SELECTCREATENEW)) {
        pChoice->outcome = Outcome::CreateNew;
        pChoice->clsid = io.clsid;
    } else if (result == OLEUI_OK && (io.dwFlags & IOF_SELECTCREATEFROMFILE)) {
        szFile[MAX_PATH - 1] = L'\0';
        pChoice->outcome = Outcome::FromFile;
        pChoice->file = szFile;
    }
    return true;
}

// Wine's oledlg implements only the ANSI dialog, and that one neither reports
// the chosen option in dwFlags nor returns OLEUI_CANCEL: it ends with
// OLEUI_FALSE on Cancel. It writes lpszFile only when OK is pressed with
// "Create from file" chosen, so a file name is what tells the options apart.
void ShowAnsiDialog(HWND hwndOwner, const char* pszTitle, DWORD dwFlags, CInsertChoice* pChoice)
{
    char szFile[MAX_PATH] = {};
    OLEUIINSERTOBJECTA io = {};
    io.cbStruct = sizeof(io);
    io.dwFlags = ChoiceOnlyFlags(dwFlags);
    io.hWndOwner = hwndOwner;
    io.lpszCaption = pszTitle && *pszTitle ? pszTitle : nullptr;
    io.lpszFile = szFile;
    io.cchFile = MAX_PATH;
    io.iid = IID_IOleObject;
    io.oleRender = OLERENDER_DRAW;

    const UINT result = OleUIInsertObjectA(&io);
    szFile[MAX_PATH - 1] = '\0';
    if (result != OLEUI_OK && result != OLEUI_FALSE && result != OLEUI_CANCEL)
        return;

    if (szFile[0]) {
        if (plinth::AnsiToWide(szFile, &pChoice->file))
            pChoice->outcome = Outcome::FromFile;
    } else if (result == OLEUI_OK) {
        pChoice->outcome = Outcome::CreateNew;
        pChoice->clsid = io.clsid;
    } else {
        pChoice->outcome = Outcome::Cancelled;
    }
}

HRESULT ReturnName(const wchar_t* pszName, int kind, BSTR* pbstrName, int* pnKind)
{
    plinth::unique_bstr name(SysAllocString(pszName));
    if (!name)
        return E_OUTOFMEMORY;
    *pbstrName = name.detach();
    *pnKind = kind;
    return S_OK;
}

}  // namespace

HRESULT GetOleInsertObjectFromUser(HWND hwndOwner, const char* pszTitle, DWORD dwFlags,
                                   int /*nReserved1*/, int /*nReserved2*/, BSTR* pbstrName,
                                   int* pnKind)
{
    if (!pbstrName || !pnKind)
        return E_POINTER;
    *pbstrName = nullptr;
    *pnKind = 0;

    std::wstring title;
    if (pszTitle && !plinth::AnsiToWide(pszTitle, &title))
        return plinth::LastErrorResult();

    CInsertChoice choice;
    if (!ShowWideDialog(hwndOwner, title, dwFlags, &choice))
        ShowAnsiDialog(hwndOwner, pszTitle, dwFlags, &choice);

    switch (choice.outcome) {
    case Outcome::Cancelled:
        return S_FALSE;
    case Outcome::CreateNew: {
        plinth::unique_cotaskmem_string progId;
        HRESULT hr = ProgIDFromCLSID(choice.clsid, progId.put());
        if (FAILED(hr))
            return hr;
        return ReturnName(progId.get(), PLINTH_INSERT_NEW, pbstrName, pnKind);
    }
    case Outcome::FromFile:
        return ReturnName(choice.file.c_str(), PLINTH_INSERT_FILE, pbstrName, pnKind);
    case Outcome::Failed:
        break;
    }
    return E_FAIL;
}
