#include "BareContainer.h"

namespace bench {

namespace {

const wchar_t kWindowClass[] = L"VellixBenchBareContainer";
const wchar_t kHostName[] = L"Vellix bench";
const wchar_t kObjectStorage[] = L"Document";

const DWORD kOpenFileMode = STGM_TRANSACTED | STGM_SHARE_DENY_WRITE | STGM_READWRITE;
const DWORD kTempRootMode =
    STGM_DELETEONRELEASE | STGM_TRANSACTED | STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE;
const DWORD kObjectStorageMode = STGM_TRANSACTED | STGM_SHARE_EXCLUSIVE | STGM_READWRITE;
// Direct: the new file is written once, not staged in a scratch file first.
const DWORD kSaveCopyMode = STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE;

HWND CreateHostWindow(HWND hwndParent, const RECT& rc) {
    HINSTANCE hinst = GetModuleHandleW(nullptr);
    WNDCLASSW wc = {};
    if (!GetClassInfoW(hinst, kWindowClass, &wc)) {
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = hinst;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kWindowClass;
        RegisterClassW(&wc);
    }
    return CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, rc.left, rc.top,
                           rc.right - rc.left, rc.bottom - rc.top, hwndParent, nullptr, hinst, nullptr);
}

}  // namespace

fw::com_ptr<CBareContainer> CBareContainer::Create(HWND hwndParent, const RECT& rc) {
    fw::com_ptr<CBareContainer> sp(new CBareContainer);
    sp->m_hwnd = CreateHostWindow(hwndParent, rc);
    if (!sp->m_hwnd) sp.reset();
    return sp;
}

CBareContainer::~CBareContainer() {
    Close();
    if (m_hwnd) DestroyWindow(m_hwnd);
}

HRESULT CBareContainer::Open(const wchar_t* pszFileName) {
    if (m_spObject) return E_UNEXPECTED;
    fw::com_ptr<IStorage> file;
    HRESULT hr = StgOpenStorage(pszFileName, nullptr, kOpenFileMode, nullptr, 0, file.put());
    if (FAILED(hr)) return hr;
    CLSID clsid;
    hr = ReadClassStg(file.get(), &clsid);
    if (FAILED(hr)) return hr;
    Mark("StgOpenStorage");
    hr = StgCreateDocfile(nullptr, kTempRootMode, 0, m_spRoot.put());
    if (FAILED(hr)) return hr;
    hr = m_spRoot->CreateStorage(kObjectStorage, kObjectStorageMode, 0, 0, m_spObjectStorage.put());
    if (FAILED(hr)) return hr;
    Mark("temporary docfile and sub-storage");
    hr = file->CopyTo(0, nullptr, nullptr, m_spObjectStorage.get());
    if (FAILED(hr)) return hr;
    Mark("CopyTo");
    hr = m_spObjectStorage->Commit(STGC_OVERWRITE);
    if (FAILED(hr)) return hr;
    file.reset();
    Mark("Commit, file released");

    fw::com_ptr<IOleObject> object;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IOleObject,
                          object.put_void());
    if (FAILED(hr)) return hr;
    fw::com_ptr<IPersistStorage> persist = object.query<IPersistStorage>();
    if (!persist) return E_NOINTERFACE;
    hr = persist->Load(m_spObjectStorage.get());
    if (FAILED(hr)) return hr;
    m_spObject = object;
    m_spObject->SetClientSite(this);
    m_spObject->SetHostNames(kHostName, kHostName);
    Mark("server created and loaded");
    RECT rc;
    GetClientRect(m_hwnd, &rc);
    hr = m_spObject->DoVerb(OLEIVERB_SHOW, nullptr, this, 0, m_hwnd, &rc);
    Mark("activated in place");
    return hr;
}

HRESULT CBareContainer::CreateNew(REFCLSID clsid) {
    if (m_spObject) return E_UNEXPECTED;
    HRESULT hr = StgCreateDocfile(nullptr, kTempRootMode, 0, m_spRoot.put());
    if (FAILED(hr)) return hr;
    hr = m_spRoot->CreateStorage(kObjectStorage, kObjectStorageMode, 0, 0, m_spObjectStorage.put());
    if (FAILED(hr)) return hr;
    fw::com_ptr<IOleObject> object;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IOleObject,
                          object.put_void());
    if (FAILED(hr)) return hr;
    fw::com_ptr<IPersistStorage> persist = object.query<IPersistStorage>();
    if (!persist) return E_NOINTERFACE;
    hr = persist->InitNew(m_spObjectStorage.get());
    if (FAILED(hr)) return hr;
    m_spObject = object;
    m_spObject->SetClientSite(this);
    m_spObject->SetHostNames(kHostName, kHostName);
    RECT rc;
    GetClientRect(m_hwnd, &rc);
    return m_spObject->DoVerb(OLEIVERB_SHOW, nullptr, this, 0, m_hwnd, &rc);
}

HRESULT CBareContainer::SaveCopyAs(const wchar_t* pszFileName) {
    if (!m_spObjectStorage) return E_UNEXPECTED;
    fw::com_ptr<IStorage> target;
    HRESULT hr = StgCreateDocfile(pszFileName, kSaveCopyMode, 0, target.put());
    if (FAILED(hr)) return hr;
    Mark("StgCreateDocfile");
    hr = m_spObjectStorage->CopyTo(0, nullptr, nullptr, target.get());
    if (FAILED(hr)) return hr;
    Mark("CopyTo");
    hr = target->Commit(STGC_OVERWRITE);
    Mark("Commit");
    target.reset();
    Mark("release");
    return hr;
}

void CBareContainer::Close() {
    if (m_spObject) {
        fw::com_ptr<IOleObject> object = std::move(m_spObject);
        object->Close(OLECLOSE_NOSAVE);
        object->SetClientSite(nullptr);
        object.reset();
        Mark("server closed and released");
    }
    m_spActive.reset();
    m_spObjectStorage.reset();
    m_spRoot.reset();
    Mark("storages released");
}

STDMETHODIMP CBareContainer::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
        *ppv = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
        *ppv = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame))
        *ppv = static_cast<IOleInPlaceFrame*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CBareContainer::Release() {
    ULONG c = --m_cRef;
    if (!c) delete this;
    return c;
}

STDMETHODIMP CBareContainer::GetMoniker(DWORD, DWORD, IMoniker** ppmk) {
    if (ppmk) *ppmk = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CBareContainer::GetContainer(IOleContainer** ppContainer) {
    if (ppContainer) *ppContainer = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CBareContainer::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = m_hwnd;
    return S_OK;
}

STDMETHODIMP CBareContainer::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                              LPRECT lprcPosRect, LPRECT lprcClipRect,
                                              LPOLEINPLACEFRAMEINFO lpFrameInfo) {
    if (!ppFrame || !ppDoc || !lprcPosRect || !lprcClipRect || !lpFrameInfo) return E_POINTER;
    *ppFrame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *ppDoc = nullptr;
    GetClientRect(m_hwnd, lprcPosRect);
    *lprcClipRect = *lprcPosRect;
    lpFrameInfo->fMDIApp = FALSE;
    lpFrameInfo->hwndFrame = GetAncestor(m_hwnd, GA_ROOT);
    lpFrameInfo->haccel = nullptr;
    lpFrameInfo->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP CBareContainer::GetBorder(LPRECT lprectBorder) {
    if (!lprectBorder) return E_POINTER;
    return GetClientRect(m_hwnd, lprectBorder) ? S_OK : E_FAIL;
}

STDMETHODIMP CBareContainer::SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) {
    m_spActive = pActiveObject;
    return S_OK;
}

}  // namespace bench
