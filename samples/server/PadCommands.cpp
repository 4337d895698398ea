// Commands the container runs in the document, and its print preview.
#include <richedit.h>

#include "PadDocument.h"
#include "PadTestHooks.h"

namespace {

bool IsKnownGroup(const GUID* pguidCmdGroup) {
    return !pguidCmdGroup || IsEqualGUID(*pguidCmdGroup, GUID_NULL);
}

// Editing commands that change the text.
bool ChangesText(ULONG nCmdId) {
    switch (nCmdId) {
    case OLECMDID_CUT:
    case OLECMDID_PASTE:
    case OLECMDID_UNDO:
    case OLECMDID_REDO:
    case OLECMDID_CLEARSELECTION:
        return true;
    default:
        return false;
    }
}

}  // namespace

DWORD CPadDocument::CommandStatus(ULONG nCmdId) const {
    DWORD dwEnabled = OLECMDF_SUPPORTED | OLECMDF_ENABLED;
    DWORD dwStatus = 0;
    switch (nCmdId) {
    case OLECMDID_SAVE:
    case OLECMDID_PRINT:
    case OLECMDID_PAGESETUP:
    case OLECMDID_PROPERTIES:
        dwStatus = dwEnabled;
        break;
    case OLECMDID_PRINTPREVIEW:
        dwStatus = dwEnabled | (m_bPreview ? static_cast<DWORD>(OLECMDF_LATCHED) : 0u);
        break;
    case OLECMDID_CUT:
    case OLECMDID_COPY:
    case OLECMDID_PASTE:
    case OLECMDID_UNDO:
    case OLECMDID_REDO:
    case OLECMDID_SELECTALL:
    case OLECMDID_CLEARSELECTION:
        // The editing commands work on the rich edit, so only while in place.
        dwStatus = m_hwndEdit && !(m_bPreview && ChangesText(nCmdId)) ? dwEnabled
                                                                       : static_cast<DWORD>(OLECMDF_SUPPORTED);
        break;
    default:
        return 0;
    }
    if (m_switches.IsCommandDisabled(nCmdId)) dwStatus &= ~static_cast<DWORD>(OLECMDF_ENABLED);
    return dwStatus;
}

// ---- IOleCommandTarget ----------------------------------------------------------

STDMETHODIMP CPadDocument::QueryStatus(const GUID* pguidCmdGroup, ULONG cCmds, OLECMD prgCmds[],
                                       OLECMDTEXT* pCmdText) {
    if (!IsKnownGroup(pguidCmdGroup)) return OLECMDERR_E_UNKNOWNGROUP;
    if (!prgCmds) return E_POINTER;
    for (ULONG i = 0; i < cCmds; ++i) prgCmds[i].cmdf = CommandStatus(prgCmds[i].cmdID);
    if (pCmdText) {
        pCmdText->cwActual = 0;
        if (pCmdText->cwBuf) pCmdText->rgwz[0] = L'\0';
    }
    return S_OK;
}

STDMETHODIMP CPadDocument::Exec(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD nCmdexecopt, VARIANT*, VARIANT*) {
    if (!IsKnownGroup(pguidCmdGroup)) return OLECMDERR_E_UNKNOWNGROUP;
    DWORD dwStatus = CommandStatus(nCmdID);
    if (!(dwStatus & OLECMDF_SUPPORTED)) return OLECMDERR_E_NOTSUPPORTED;
    if (!(dwStatus & OLECMDF_ENABLED)) return OLECMDERR_E_DISABLED;
    if (nCmdexecopt == OLECMDEXECOPT_SHOWHELP) return OLECMDERR_E_NOHELP;
    if (nCmdexecopt == OLECMDEXECOPT_PROMPTUSER && m_switches.bCancelPrompt) return OLECMDERR_E_CANCELED;

    fw::com_ptr<IUnknown> self(Identity());
    padtrace::Count((std::wstring(vellixpad::kTraceExecPrefix) + std::to_wstring(nCmdID)).c_str());
    switch (nCmdID) {
    case OLECMDID_SAVE:
        // Embedded, the container owns the storage and saves us; on our own
        // we write our file.
        if (m_spClientSite) return m_spClientSite->SaveObject();
        return SaveAsFile(nullptr, TRUE);
    case OLECMDID_PRINT:
    case OLECMDID_PAGESETUP:
    case OLECMDID_PROPERTIES:
        // Done without dialogs: the sample has no printer pipeline, and a
        // modal box would stop unattended demos. The trace records the run.
        return S_OK;
    case OLECMDID_PRINTPREVIEW:
        if (!m_bPreview) EnterPreview(nullptr);
        return S_OK;
    case OLECMDID_CUT:
        SendMessageW(m_hwndEdit, WM_CUT, 0, 0);
        return S_OK;
    case OLECMDID_COPY:
        SendMessageW(m_hwndEdit, WM_COPY, 0, 0);
        return S_OK;
    case OLECMDID_PASTE:
        SendMessageW(m_hwndEdit, WM_PASTE, 0, 0);
        return S_OK;
    case OLECMDID_UNDO:
        SendMessageW(m_hwndEdit, EM_UNDO, 0, 0);
        return S_OK;
    case OLECMDID_REDO:
        SendMessageW(m_hwndEdit, EM_REDO, 0, 0);
        return S_OK;
    case OLECMDID_SELECTALL:
        SendMessageW(m_hwndEdit, EM_SETSEL, 0, -1);
        return S_OK;
    case OLECMDID_CLEARSELECTION:
        SendMessageW(m_hwndEdit, WM_CLEAR, 0, 0);
        return S_OK;
    default:
        return OLECMDERR_E_NOTSUPPORTED;
    }
}

// ---- print preview --------------------------------------------------------------

void CPadDocument::EnterPreview(IDocPreviewCallback* pCallback) {
    m_bPreview = true;
    m_spPreviewCallback = pCallback;
    ApplyPreviewLook();
    UpdateMenuStates();
}

void CPadDocument::LeavePreview() {
    if (!m_bPreview) return;
    m_bPreview = false;
    m_spPreviewCallback.reset();
    if (m_hwndEdit) {
        SendMessageW(m_hwndEdit, EM_SETREADONLY, FALSE, 0);
        SendMessageW(m_hwndEdit, EM_SETBKGNDCOLOR, TRUE, 0);
    }
    UpdateMenuStates();
}

// The page as it would print: read-only on a grey ground.
void CPadDocument::ApplyPreviewLook() {
    if (!m_hwndEdit || !m_bPreview) return;
    SendMessageW(m_hwndEdit, EM_SETREADONLY, TRUE, 0);
    SendMessageW(m_hwndEdit, EM_SETBKGNDCOLOR, FALSE, RGB(0xE0, 0xE0, 0xE0));
}

STDMETHODIMP CPadDocument::QueryReady() { return S_OK; }

STDMETHODIMP CPadDocument::Begin(DWORD, void*, IDocPreviewCallback* pCallback, DWORD) {
    if (m_bPreview) return E_UNEXPECTED;
    padtrace::Count(vellixpad::kTracePreviewBegin);
    EnterPreview(pCallback);
    return S_OK;
}

STDMETHODIMP CPadDocument::End(BOOL) {
    if (!m_bPreview) return S_FALSE;
    padtrace::Count(vellixpad::kTracePreviewEnd);
    LeavePreview();
    if (m_switches.bFaultInPreviewEnd) {
        // What a null read would raise. The preview is already over and no
        // object of this frame needs unwinding, so a caller that guards the
        // call and jumps out finds this object consistent.
        const ULONG_PTR info[] = {0, 0};
        RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 2, info);
    }
    return S_OK;
}
