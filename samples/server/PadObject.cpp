// Construction, the embedding (IOleObject) and the running state.
#include "PadDocument.h"
#include "PadStrings.h"
#include "PadTestHooks.h"

namespace {

volatile LONG g_nLiveObjects = 0;

}  // namespace

CPadDocument::CPadDocument() { InterlockedIncrement(&g_nLiveObjects); }

CPadDocument::~CPadDocument() { InterlockedDecrement(&g_nLiveObjects); }

LONG CPadDocument::LiveObjects() { return g_nLiveObjects; }

HRESULT CPadDocument::FinalConstruct() {
    m_switches = PadSwitches::Read();
    return CreateOleAdviseHolder(m_spAdviseHolder.put());
}

void CPadDocument::FinalRelease() {
    // A container that never closed us still must not leave a window behind
    // whose procedure points at a dead object.
    DeactivateInPlace();
    LeavePreview();
}

bool CPadDocument::IsWithheld(REFIID riid) const {
    return (m_switches.bNoPersistMoniker && IsEqualIID(riid, IID_IPersistMoniker)) ||
           (m_switches.bNoPersistFile && IsEqualIID(riid, IID_IPersistFile)) ||
           (m_switches.bNoPreview && IsEqualIID(riid, __uuidof(IDocPreviewServer)));
}

// ---- IOleObject -------------------------------------------------------------

STDMETHODIMP CPadDocument::SetClientSite(IOleClientSite* pClientSite) {
    m_spClientSite = pClientSite;
    return S_OK;
}

STDMETHODIMP CPadDocument::GetClientSite(IOleClientSite** ppClientSite) {
    return m_spClientSite.copy_to(ppClientSite);
}

STDMETHODIMP CPadDocument::SetHostNames(LPCOLESTR szContainerApp, LPCOLESTR szContainerObj) {
    padtrace::SetString(vellixpad::kTraceContainerApp, szContainerApp);
    padtrace::SetString(vellixpad::kTraceContainerObj, szContainerObj);
    return S_OK;
}

STDMETHODIMP CPadDocument::Close(DWORD dwSaveOption) {
    // Keep ourselves alive: the container may drop its last reference from
    // inside one of the calls below.
    fw::com_ptr<IUnknown> self(Identity());
    // No prompting: this server has no user interface outside its view, so
    // PROMPTSAVE saves as SAVEIFDIRTY does.
    if ((dwSaveOption == OLECLOSE_SAVEIFDIRTY || dwSaveOption == OLECLOSE_PROMPTSAVE) && IsModified() &&
        m_spClientSite)
        m_spClientSite->SaveObject();
    LeavePreview();
    DeactivateInPlace();
    m_spIPSite.reset();
    if (m_bRunning) {
        m_bRunning = false;
        m_spAdviseHolder->SendOnClose();
    }
    return S_OK;
}

STDMETHODIMP CPadDocument::SetMoniker(DWORD dwWhichMoniker, IMoniker* pmk) {
    if (dwWhichMoniker != OLEWHICHMK_OBJFULL && dwWhichMoniker != OLEWHICHMK_CONTAINER) return E_INVALIDARG;
    m_spMoniker = pmk;
    if (pmk) m_spAdviseHolder->SendOnRename(pmk);
    return S_OK;
}

STDMETHODIMP CPadDocument::GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) {
    if (!ppmk) return E_POINTER;
    *ppmk = nullptr;
    if (m_spClientSite) return m_spClientSite->GetMoniker(dwAssign, dwWhichMoniker, ppmk);
    if (m_spMoniker) return m_spMoniker.copy_to(ppmk);
    if (!m_strFileName.empty()) return CreateFileMoniker(m_strFileName.c_str(), ppmk);
    return E_FAIL;
}

STDMETHODIMP CPadDocument::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

STDMETHODIMP CPadDocument::GetClipboardData(DWORD, IDataObject** ppDataObject) {
    if (ppDataObject) *ppDataObject = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CPadDocument::DoVerb(LONG iVerb, LPMSG, IOleClientSite* pActiveSite, LONG, HWND, LPCRECT) {
    ++m_nDoVerbCalls;
    padtrace::Count(vellixpad::kTraceDoVerb);
    padtrace::Set(vellixpad::kTraceLastVerb, static_cast<DWORD>(iVerb));
    if (m_nDoVerbCalls <= m_switches.nDoVerbFailCount) return m_switches.hrDoVerbFail;

    fw::com_ptr<IUnknown> self(Identity());
    IOleClientSite* pSite = pActiveSite ? pActiveSite : m_spClientSite.get();
    switch (iVerb) {
    case OLEIVERB_HIDE:
        DeactivateUI();
        return Show(FALSE);
    case OLEIVERB_DISCARDUNDOSTATE:
        if (m_hwndEdit) SendMessageW(m_hwndEdit, EM_EMPTYUNDOBUFFER, 0, 0);
        return S_OK;
    case OLEIVERB_OPEN:
        // No window of our own outside a container.
        return E_NOTIMPL;
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
        break;
    default:
        if (iVerb < 0) return OLEOBJ_S_INVALIDVERB;
        break;  // an unknown positive verb runs the primary one
    }
    if (!pSite) return E_UNEXPECTED;
    if (!m_bRunning) Run(nullptr);

    // A document site decides how to show us: hand it our one view.
    fw::com_ptr<IOleDocumentSite> spDocSite;
    if (SUCCEEDED(pSite->QueryInterface(IID_IOleDocumentSite, spDocSite.put_void()))) {
        HRESULT hr = spDocSite->ActivateMe(static_cast<IOleDocumentView*>(this));
        if (FAILED(hr)) return hr;
        return iVerb > 0 ? OLEOBJ_S_INVALIDVERB : S_OK;
    }

    // Any other container: plain in-place activation through its site.
    fw::com_ptr<IOleInPlaceSite> spIPSite;
    if (FAILED(pSite->QueryInterface(IID_IOleInPlaceSite, spIPSite.put_void()))) return E_NOTIMPL;
    if (m_spIPSite.get() != spIPSite.get()) {
        DeactivateInPlace();
        m_spIPSite = spIPSite;
    }
    HRESULT hr = iVerb == OLEIVERB_INPLACEACTIVATE ? ActivateInPlace() : ActivateUI();
    if (FAILED(hr)) return hr;
    if (!m_bShown) Show(TRUE);
    return iVerb > 0 ? OLEOBJ_S_INVALIDVERB : S_OK;
}

STDMETHODIMP CPadDocument::EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) {
    return OleRegEnumVerbs(m_clsid, ppEnumOleVerb);
}

STDMETHODIMP CPadDocument::Update() { return S_OK; }

STDMETHODIMP CPadDocument::IsUpToDate() { return S_OK; }

STDMETHODIMP CPadDocument::GetUserClassID(CLSID* pClsid) {
    if (!pClsid) return E_POINTER;
    *pClsid = m_clsid;
    return S_OK;
}

STDMETHODIMP CPadDocument::GetUserType(DWORD dwFormOfType, LPOLESTR* pszUserType) {
    if (!pszUserType) return E_POINTER;
    *pszUserType = nullptr;
    if (SUCCEEDED(OleRegGetUserType(m_clsid, dwFormOfType, pszUserType))) return S_OK;
    size_t cb = sizeof(padtext::kUserTypeFull);
    *pszUserType = static_cast<LPOLESTR>(CoTaskMemAlloc(cb));
    if (!*pszUserType) return E_OUTOFMEMORY;
    memcpy(*pszUserType, padtext::kUserTypeFull, cb);
    return S_OK;
}

STDMETHODIMP CPadDocument::SetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
    if (dwDrawAspect != DVASPECT_CONTENT) return E_FAIL;
    if (!psizel) return E_POINTER;
    m_sizeExtent = *psizel;
    return S_OK;
}

STDMETHODIMP CPadDocument::GetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
    if (!psizel) return E_POINTER;
    if (dwDrawAspect != DVASPECT_CONTENT) return E_FAIL;
    *psizel = m_sizeExtent;
    return S_OK;
}

STDMETHODIMP CPadDocument::Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) {
    return m_spAdviseHolder->Advise(pAdvSink, pdwConnection);
}

STDMETHODIMP CPadDocument::Unadvise(DWORD dwConnection) { return m_spAdviseHolder->Unadvise(dwConnection); }

STDMETHODIMP CPadDocument::EnumAdvise(IEnumSTATDATA** ppenumAdvise) {
    return m_spAdviseHolder->EnumAdvise(ppenumAdvise);
}

STDMETHODIMP CPadDocument::GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    *pdwStatus = 0;
    if (dwAspect != DVASPECT_CONTENT) return S_OK;
    *pdwStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE;
    if (m_switches.bClientSiteFirst) *pdwStatus |= OLEMISC_SETCLIENTSITEFIRST;
    return S_OK;
}

STDMETHODIMP CPadDocument::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---- IRunnableObject ----------------------------------------------------------

STDMETHODIMP CPadDocument::GetRunningClass(LPCLSID lpClsid) {
    if (!lpClsid) return E_POINTER;
    *lpClsid = m_clsid;
    return S_OK;
}

STDMETHODIMP CPadDocument::Run(LPBINDCTX) {
    m_bRunning = true;
    return S_OK;
}

STDMETHODIMP_(BOOL) CPadDocument::IsRunning() { return m_bRunning; }

STDMETHODIMP CPadDocument::LockRunning(BOOL fLock, BOOL fLastUnlockCloses) {
    if (fLock) {
        ++m_nRunningLocks;
        return S_OK;
    }
    if (m_nRunningLocks == 0) return E_UNEXPECTED;
    if (--m_nRunningLocks == 0 && fLastUnlockCloses && m_bRunning) return Close(OLECLOSE_SAVEIFDIRTY);
    return S_OK;
}

STDMETHODIMP CPadDocument::SetContainedObject(BOOL) { return S_OK; }
