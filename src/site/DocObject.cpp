// The site object, its window, the temporary storage, creation of the
// document object, the running lock and Close.
#include "site/DocObject.h"

#include <string>

#include "diag/Log.h"
#include "diag/Trace.h"
#include "fw/Module.h"
#include "site/SiteHelpers.h"
#include "site/SiteTexts.h"

using fw::com_ptr;
using site_detail::ByRefStruct;
using site_detail::UintToHwnd;

namespace {

// The temporary root: no name (the system picks one), deleted on release.
constexpr DWORD kRootMode =
    STGM_DELETEONRELEASE | STGM_TRANSACTED | STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE;
constexpr DWORD kObjectStorageMode = STGM_TRANSACTED | STGM_SHARE_EXCLUSIVE | STGM_READWRITE;
constexpr DWORD kViewStreamMode = STGM_SHARE_EXCLUSIVE | STGM_READWRITE;
constexpr DWORD kRunBindMode = STGM_SHARE_EXCLUSIVE | STGM_READWRITE;
constexpr DWORD kRunDeadlineMs = 20000;

}  // namespace

CDocObject::CDocObject()
    : m_fFullBorder(1),
      m_fAppActive(0),
      m_fModal(0),
      m_fInPlaceActive(0),
      m_fUIActive(0),
      m_fViewActive(0),
      m_fLockedRunning(0),
      m_fClosing(0),
      m_fReadOnly(0),
      m_fUnused(0) {}

// Close ran in FinalRelease; the members release the rest, the root storage
// (and with it the temporary file) among them.
CDocObject::~CDocObject() = default;

void CDocObject::FinalRelease() { Close(); }

HRESULT CDocObject::OpenLog() { return OpenLogFile(m_log, fw::g_module.GetModuleInstance()); }

HRESULT CDocObject::LogResultName(HRESULT hr) { return WriteResultName(m_log, hr); }

const LPCWSTR CSiteWindow::kClassCursor = IDC_ARROW;
const LPCWSTR CSiteWindow::kClassName = site_text::kWindowClass;

// Closing can drop the last references to the site (the server's client
// site among them): the hold keeps it whole to the end of the message. Not
// in its final release, which destroys the window itself.
void CSiteWindow::AddRefForMessage() {
    if (!m_pSite->InFinalRelease()) static_cast<IDocObject*>(m_pSite)->AddRef();
}
void CSiteWindow::ReleaseForMessage() {
    if (!m_pSite->InFinalRelease()) static_cast<IDocObject*>(m_pSite)->Release();
}

// Destroyed from outside (the control's window went first), the site closes
// its document; destroyed by Close, which let go of the window before, the
// site finds nothing left to close.
LRESULT CSiteWindow::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    bHandled = FALSE;
    m_pSite->m_hwnd = nullptr;
    m_pSite->Close();
    return 0;
}

LRESULT CSiteWindow::OnSetFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    bHandled = FALSE;
    // A window the site has let go of forwards nothing.
    if (m_pSite->m_hwnd && m_pSite->m_hwndActiveObj) SetFocus(m_pSite->m_hwndActiveObj);
    return 0;
}

STDMETHODIMP CDocObject::InitializeNewInstance(UINT hwndCtl, VARIANT rcPlace, BSTR bstrHostName,
                                               IUnknown* pcmdCtl) {
    VX_TRACE_CALL(L"CDocObject::InitializeNewInstance", hwndCtl, rcPlace, bstrHostName, pcmdCtl);
    HWND hwndParent = UintToHwnd(hwndCtl);
    if (!hwndParent || !IsWindow(hwndParent)) VX_TRACE_RETURN(E_UNEXPECTED);
    const RECT* prc = ByRefStruct<RECT>(&rcPlace);
    if (!prc) VX_TRACE_RETURN(STG_E_INVALIDPARAMETER);

    if (m_pstgRoot) VX_TRACE_RETURN(E_FAIL);
    if (FAILED(StgCreateDocfile(nullptr, kRootMode, 0, m_pstgRoot.put()))) VX_TRACE_RETURN(E_FAIL);

    m_rcPlace = *prc;
    if (m_rcPlace.top > m_rcPlace.bottom) m_rcPlace.top = m_rcPlace.bottom = 0;
    if (m_rcPlace.left > m_rcPlace.right) m_rcPlace.left = m_rcPlace.right = 0;

    m_hwnd = m_window.Create(hwndParent, m_rcPlace, WS_CHILD | WS_VISIBLE);
    if (!m_hwnd) VX_TRACE_RETURN(E_OUTOFMEMORY);
    m_hwndCtl = hwndParent;

    m_bstrHostName =
        bstrHostName ? site_detail::CopyOf(bstrHostName) : fw::unique_bstr(site_text::kDefaultHostName);

    m_pcmdCtl.reset();
    if (pcmdCtl) pcmdCtl->QueryInterface(IID_IOleCommandTarget, m_pcmdCtl.put_void());
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CDocObject::CreateObjectStorage(VARIANT vclsid) {
    VX_TRACE_CALL(L"CDocObject::CreateObjectStorage", vclsid);
    const CLSID* pclsid = ByRefStruct<CLSID>(&vclsid);
    if (!pclsid) VX_TRACE_RETURN(E_INVALIDARG);
    const CLSID clsid = *pclsid;
    if (!m_pstgRoot) VX_TRACE_RETURN(E_UNEXPECTED);

    const std::wstring name = site_text::kObjectStoragePrefix +
                              std::to_wstring(static_cast<unsigned long>(GetTickCount() | clsid.Data1));
    HRESULT hr = m_pstgRoot->CreateStorage(name.c_str(), kObjectStorageMode, 0, 0, m_pstgObject.put());
    if (FAILED(hr)) VX_TRACE_RETURN(hr);

    // The name is taken by the sub-storage, so this finds no room and the
    // view-state steps stay off; kept for servers that look for the stream.
    m_pstgRoot->CreateStream(name.c_str(), kViewStreamMode, 0, 0, m_pstmView.put());

    VX_TRACE_RETURN(WriteClassStg(m_pstgObject.get(), clsid));
}

STDMETHODIMP CDocObject::CreateDocObject(VARIANT vclsid) {
    VX_TRACE_CALL(L"CDocObject::CreateDocObject", vclsid);
    if (m_pole) VX_TRACE_RETURN(E_UNEXPECTED);
    const CLSID* pclsid = ByRefStruct<CLSID>(&vclsid);
    if (!pclsid) VX_TRACE_RETURN(E_INVALIDARG);
    CLSID clsid = *pclsid;

    // Nothing loaded yet: a new document, in a storage of its own, of the
    // class the registry converts this one to.
    const bool bNew = !m_pstgObject;
    if (bNew) {
        if (FAILED(CreateObjectStorage(vclsid))) VX_TRACE_RETURN(E_FAIL);
        CLSID clsidConvert = GUID_NULL;
        if (OleGetAutoConvert(clsid, &clsidConvert) == S_OK) {
            CLSID clsidLeft = GUID_NULL;
            if (SUCCEEDED(OleDoAutoConvert(m_pstgObject.get(), &clsidLeft))) clsid = clsidLeft;
        }
    }

    com_ptr<IOleObject> pole;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                  IID_IOleObject, pole.put_void());
    if (FAILED(hr)) VX_TRACE_RETURN(hr);

    DWORD dwMiscStatus = 0;
    const bool bClientSiteFirst = SUCCEEDED(pole->GetMiscStatus(DVASPECT_CONTENT, &dwMiscStatus)) &&
                                  (dwMiscStatus & OLEMISC_SETCLIENTSITEFIRST);
    if (bClientSiteFirst) pole->SetClientSite(Self<IOleClientSite>().get());

    com_ptr<IPersistStorage> pps;
    hr = pole->QueryInterface(IID_IPersistStorage, pps.put_void());
    if (SUCCEEDED(hr)) hr = bNew ? pps->InitNew(m_pstgObject.get()) : pps->Load(m_pstgObject.get());

    if (SUCCEEDED(hr)) {
        m_pole = pole.get();
        hr = EnsureDocObjectRunning(VARIANT_TRUE);
        if (SUCCEEDED(hr)) {
            if (!bClientSiteFirst) pole->SetClientSite(Self<IOleClientSite>().get());
            pole->SetHostNames(m_bstrHostName.c_str(), m_bstrHostName.c_str());
            m_clsid = clsid;
            VARIANT_BOOL bDirty = VARIANT_FALSE;
            if (SUCCEEDED(IsStorageDirty(&bDirty)) && bDirty) SaveObjectStorage();
        }
    }

    if (FAILED(hr) && bClientSiteFirst) pole->SetClientSite(nullptr);
    VX_TRACE_RETURN(hr);
}

STDMETHODIMP CDocObject::EnsureDocObjectRunning(VARIANT_BOOL fLockRunning) {
    VX_TRACE_CALL(L"CDocObject::EnsureDocObjectRunning", fLockRunning);
    HRESULT hr = S_FALSE;
    com_ptr<IBindCtx> pbc;
    if (FAILED(CreateBindCtx(0, pbc.put()))) VX_TRACE_RETURN(E_UNEXPECTED);
    BIND_OPTS bo = {sizeof(BIND_OPTS), BIND_MAYBOTHERUSER, kRunBindMode, kRunDeadlineMs};
    pbc->SetBindOptions(&bo);

    m_fLockedRunning = 0;
    if (auto pro = m_pole.query<IRunnableObject>()) {
        if (!pro->IsRunning()) hr = pro->Run(pbc.get());
        pro->SetContainedObject(TRUE);
        if (fLockRunning) m_fLockedRunning = SUCCEEDED(pro->LockRunning(TRUE, TRUE));
    } else if (fLockRunning) {
        if (auto pcont = m_pole.query<IOleContainer>())
            m_fLockedRunning = SUCCEEDED(pcont->LockContainer(TRUE));
    }
    VX_TRACE_RETURN(hr);
}

STDMETHODIMP CDocObject::FreeRunningLock() {
    VX_TRACE_CALL(L"CDocObject::FreeRunningLock");
    if (!m_fLockedRunning) VX_TRACE_RETURN(S_FALSE);
    if (auto pro = m_pole.query<IRunnableObject>())
        pro->LockRunning(FALSE, TRUE);
    else if (auto pcont = m_pole.query<IOleContainer>())
        pcont->LockContainer(FALSE);
    m_fLockedRunning = 0;
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CDocObject::Close() {
    VX_TRACE_CALL(L"CDocObject::Close");
    m_fClosing = 1;
    IPDeactivateView();
    if (m_pole) {
        m_pole->Close(OLECLOSE_NOSAVE);
        m_pole->SetClientSite(nullptr);
        FreeRunningLock();
        m_pole.reset();
    }
    m_pstmView.reset();
    m_pstgObject.reset();
    // The control holds the site: keeping its command target past Close
    // would make the two hold each other.
    m_pcmdCtl.reset();
    m_fClosing = 0;

    // Cleared first: the window's WM_DESTROY comes back here and must find
    // nothing left to do.
    if (HWND hwnd = m_hwnd; hwnd && IsWindow(hwnd)) {
        m_hwnd = nullptr;
        DestroyWindow(hwnd);
    }
    m_bstrFileName.reset();
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CDocObject::GetClsid(VARIANT* clsid) {
    VX_TRACE_CALL(L"CDocObject::GetClsid", clsid);
    if (!clsid) VX_TRACE_RETURN(E_POINTER);
    *clsid = site_detail::ByRefVariant(&m_clsid);
    VX_TRACE_RETURN(S_OK);
}
