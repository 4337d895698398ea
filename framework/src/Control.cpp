#include "fw/Control.h"

#include <olectl.h>

namespace fw {

namespace {

const wchar_t kContentsStream[] = L"Contents";
// Stream layout: this tag, the number of values, then each 32-bit value in
// property-table order.
const DWORD kStreamTag = 0x58565031;  // "1PVX"

HRESULT ReadExact(IStream* pStm, void* pv, ULONG cb) {
    ULONG got = 0;
    HRESULT hr = pStm->Read(pv, cb, &got);
    if (FAILED(hr)) return hr;
    return got == cb ? S_OK : STG_E_READFAULT;
}

HRESULT WriteExact(IStream* pStm, const void* pv, ULONG cb) {
    ULONG put = 0;
    HRESULT hr = pStm->Write(pv, cb, &put);
    if (FAILED(hr)) return hr;
    return put == cb ? S_OK : STG_E_WRITEFAULT;
}

bool IsUIActivatingVerb(LONG iVerb) {
    return iVerb == OLEIVERB_UIACTIVATE || iVerb == OLEIVERB_PRIMARY || iVerb == OLEIVERB_SHOW;
}

}  // namespace

// MulDiv: rounded to the nearest pixel, half a pixel up, and no overflow
// for extents beyond what 32 bits hold once multiplied by the DPI.
void HiMetricToPixels(const SIZEL* pHiMetric, SIZEL* pPixels) {
    window_dc dc(nullptr);
    pPixels->cx = MulDiv(pHiMetric->cx, GetDeviceCaps(dc.get(), LOGPIXELSX), 2540);
    pPixels->cy = MulDiv(pHiMetric->cy, GetDeviceCaps(dc.get(), LOGPIXELSY), 2540);
}

void PixelsToHiMetric(const SIZEL* pPixels, SIZEL* pHiMetric) {
    window_dc dc(nullptr);
    pHiMetric->cx = MulDiv(pPixels->cx, 2540, GetDeviceCaps(dc.get(), LOGPIXELSX));
    pHiMetric->cy = MulDiv(pPixels->cy, 2540, GetDeviceCaps(dc.get(), LOGPIXELSY));
}

CControlBase::CControlBase() {
    // A sensible default extent until the container sets one.
    SIZEL px = {100, 50};
    PixelsToHiMetric(&px, &m_sizeExtent);
    m_sizeNatural = m_sizeExtent;
    SetRectEmpty(&m_rcPos);
}

CControlBase::~CControlBase() = default;

void CControlBase::DestroyControlWindow() {
    if (m_hWnd && IsWindow(m_hWnd)) DestroyWindow(m_hWnd);
    ReleaseWindowClass();
}

// ---- IOleObject ---------------------------------------------------------

STDMETHODIMP CControlBase::SetClientSite(IOleClientSite* pClientSite) {
    m_spClientSite = pClientSite;
    if (!pClientSite) {
        // Letting go of the container: nothing of it may be kept.
        m_spInPlaceSite.reset();
        m_bNegotiatedWnd = false;
    }
    return S_OK;
}

STDMETHODIMP CControlBase::GetClientSite(IOleClientSite** ppClientSite) {
    if (!ppClientSite) return E_POINTER;
    return m_spClientSite.copy_to(ppClientSite);
}

STDMETHODIMP CControlBase::Close(DWORD dwSaveOption) {
    if (m_bInPlaceActive) InPlaceDeactivate();
    if ((dwSaveOption == OLECLOSE_SAVEIFDIRTY || dwSaveOption == OLECLOSE_PROMPTSAVE) && m_bRequiresSave) {
        if (m_spClientSite) m_spClientSite->SaveObject();
        if (m_spOleAdviseHolder) m_spOleAdviseHolder->SendOnSave();
    }
    if (m_spOleAdviseHolder) m_spOleAdviseHolder->SendOnClose();
    m_spInPlaceSite.reset();
    m_bNegotiatedWnd = false;
    m_spAdviseSink.reset();
    return S_OK;
}

STDMETHODIMP CControlBase::GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) {
    if (!ppmk) return E_POINTER;
    *ppmk = nullptr;
    if (!m_spClientSite) return E_UNEXPECTED;
    return m_spClientSite->GetMoniker(dwAssign, dwWhichMoniker, ppmk);
}

STDMETHODIMP CControlBase::DoVerb(LONG iVerb, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT lprcPosRect) {
    switch (iVerb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
        return InPlaceActivate(iVerb, lprcPosRect);
    case OLEIVERB_HIDE:
        UIDeactivate();
        if (m_hWnd) ShowWindow(m_hWnd, SW_HIDE);
        return S_OK;
    case OLEIVERB_PROPERTIES:
        return S_OK;  // no property pages
    case OLEIVERB_OPEN:
    case OLEIVERB_DISCARDUNDOSTATE:
        return E_NOTIMPL;
    default:
        if (iVerb > 0) {
            // An unknown positive verb acts as the primary one.
            HRESULT hr = InPlaceActivate(OLEIVERB_PRIMARY, lprcPosRect);
            return FAILED(hr) ? hr : OLEOBJ_S_INVALIDVERB;
        }
        return E_NOTIMPL;
    }
}

STDMETHODIMP CControlBase::EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) {
    if (!ppEnumOleVerb) return E_POINTER;
    *ppEnumOleVerb = nullptr;
    return OleRegEnumVerbs(GetClsid(), ppEnumOleVerb);
}

STDMETHODIMP CControlBase::GetUserClassID(CLSID* pClsid) {
    if (!pClsid) return E_POINTER;
    *pClsid = GetClsid();
    return S_OK;
}

STDMETHODIMP CControlBase::GetUserType(DWORD dwFormOfType, LPOLESTR* pszUserType) {
    if (!pszUserType) return E_POINTER;
    *pszUserType = nullptr;
    return OleRegGetUserType(GetClsid(), dwFormOfType, pszUserType);
}

STDMETHODIMP CControlBase::SetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
    if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!psizel) return E_POINTER;
    bool changed = psizel->cx != m_sizeExtent.cx || psizel->cy != m_sizeExtent.cy;
    m_sizeExtent = *psizel;
    m_sizeNatural = *psizel;
    if (changed) {
        m_bRequiresSave = true;
        FireViewChange();
    }
    return S_OK;
}

STDMETHODIMP CControlBase::GetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
    if (!psizel) return E_POINTER;
    psizel->cx = psizel->cy = 0;
    if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *psizel = m_sizeExtent;
    return S_OK;
}

STDMETHODIMP CControlBase::Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) {
    if (!pdwConnection) return E_POINTER;
    *pdwConnection = 0;
    if (!m_spOleAdviseHolder) {
        HRESULT hr = CreateOleAdviseHolder(m_spOleAdviseHolder.put());
        if (FAILED(hr)) return hr;
    }
    return m_spOleAdviseHolder->Advise(pAdvSink, pdwConnection);
}

STDMETHODIMP CControlBase::Unadvise(DWORD dwConnection) {
    if (!m_spOleAdviseHolder) return OLE_E_NOCONNECTION;
    return m_spOleAdviseHolder->Unadvise(dwConnection);
}

STDMETHODIMP CControlBase::EnumAdvise(IEnumSTATDATA** ppenumAdvise) {
    if (!ppenumAdvise) return E_POINTER;
    *ppenumAdvise = nullptr;
    if (!m_spOleAdviseHolder) return S_OK;
    return m_spOleAdviseHolder->EnumAdvise(ppenumAdvise);
}

STDMETHODIMP CControlBase::GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    *pdwStatus = 0;
    return OleRegGetMiscStatus(GetClsid(), dwAspect, pdwStatus);
}

// ---- in-place activation ------------------------------------------------

STDMETHODIMP CControlBase::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = m_hWnd;
    return m_hWnd ? S_OK : E_FAIL;
}

HRESULT CControlBase::InPlaceActivate(LONG iVerb, const RECT* prcPosRect) {
    if (!m_spClientSite) return S_OK;
    if (prcPosRect) SetObjectRects(prcPosRect, prcPosRect);
    if (!m_bNegotiatedWnd) {
        // Window-only: no windowless negotiation, plain IOleInPlaceSite.
        m_spClientSite.query(m_spInPlaceSite.put());
        if (!m_spInPlaceSite) return S_OK;
        m_bNegotiatedWnd = true;
    }
    if (!m_spInPlaceSite) return S_OK;
    if (!m_bInPlaceActive) {
        if (m_spInPlaceSite->CanInPlaceActivate() != S_OK) return S_FALSE;
        m_spInPlaceSite->OnInPlaceActivate();
        m_bInPlaceActive = true;
    }

    com_ptr<IOleInPlaceFrame> spFrame;
    com_ptr<IOleInPlaceUIWindow> spDoc;
    HWND hwndParent = nullptr;
    if (m_spInPlaceSite->GetWindow(&hwndParent) == S_OK) {
        RECT rcPos = {}, rcClip = {};
        OLEINPLACEFRAMEINFO frameInfo = {};
        frameInfo.cb = sizeof(frameInfo);
        m_spInPlaceSite->GetWindowContext(spFrame.put(), spDoc.put(), &rcPos, &rcClip, &frameInfo);
        if (m_hWnd)
            ShowWindow(m_hWnd, SW_SHOW);
        else
            CreateControlWindow(hwndParent, rcPos);
        SetObjectRects(&rcPos, &rcClip);
    }

    if (IsUIActivatingVerb(iVerb) && !m_bUIActive) {
        m_bUIActive = true;
        HRESULT hr = m_spInPlaceSite->OnUIActivate();
        if (FAILED(hr)) {
            m_bUIActive = false;
            return hr;
        }
        if (m_hWnd && !IsChild(m_hWnd, GetFocus())) SetFocus(m_hWnd);
        com_ptr<IOleInPlaceActiveObject> spActive;
        GetControllingUnknownOf()->QueryInterface(IID_IOleInPlaceActiveObject, spActive.put_void());
        if (spActive) {
            if (spFrame) spFrame->SetActiveObject(spActive.get(), nullptr);
            if (spDoc) spDoc->SetActiveObject(spActive.get(), nullptr);
        }
        if (spFrame) spFrame->SetBorderSpace(nullptr);
        if (spDoc) spDoc->SetBorderSpace(nullptr);
    }
    m_spClientSite->ShowObject();
    return S_OK;
}

STDMETHODIMP CControlBase::InPlaceDeactivate() {
    if (!m_bInPlaceActive) return S_OK;
    if (m_bUIActive) UIDeactivate();
    m_bInPlaceActive = false;
    // The window goes with the activation and is made again by the next one.
    DestroyControlWindow();
    if (m_spInPlaceSite) m_spInPlaceSite->OnInPlaceDeactivate();
    return S_OK;
}

STDMETHODIMP CControlBase::UIDeactivate() {
    if (!m_bInPlaceActive || !m_bUIActive) return S_OK;
    m_bUIActive = false;
    if (m_spInPlaceSite) {
        com_ptr<IOleInPlaceFrame> spFrame;
        com_ptr<IOleInPlaceUIWindow> spDoc;
        RECT rcPos, rcClip;
        OLEINPLACEFRAMEINFO frameInfo = {};
        frameInfo.cb = sizeof(frameInfo);
        if (SUCCEEDED(m_spInPlaceSite->GetWindowContext(spFrame.put(), spDoc.put(), &rcPos, &rcClip,
                                                        &frameInfo))) {
            if (spDoc) spDoc->SetActiveObject(nullptr, nullptr);
            if (spFrame) spFrame->SetActiveObject(nullptr, nullptr);
        }
        m_spInPlaceSite->OnUIDeactivate(FALSE);
    }
    return S_OK;
}

STDMETHODIMP CControlBase::SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) {
    if (!lprcPosRect || !lprcClipRect) return E_POINTER;
    m_rcPos = *lprcPosRect;
    if (!m_hWnd) return S_OK;
    // Clip to the visible part; the window owns the region it is given.
    RECT rcVisible;
    HRGN hRgn = nullptr;
    if (IntersectRect(&rcVisible, lprcPosRect, lprcClipRect) && !EqualRect(&rcVisible, lprcPosRect)) {
        OffsetRect(&rcVisible, -lprcPosRect->left, -lprcPosRect->top);
        hRgn = CreateRectRgnIndirect(&rcVisible);
    }
    SetWindowRgn(m_hWnd, hRgn, TRUE);
    SetWindowPos(m_hWnd, nullptr, lprcPosRect->left, lprcPosRect->top,
                 lprcPosRect->right - lprcPosRect->left, lprcPosRect->bottom - lprcPosRect->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return S_OK;
}

// ---- drawing --------------------------------------------------------------

STDMETHODIMP CControlBase::Draw(DWORD dwDrawAspect, LONG lindex, void*, DVTARGETDEVICE* ptd,
                                HDC hdcTargetDev, HDC hdcDraw, LPCRECTL lprcBounds, LPCRECTL lprcWBounds,
                                BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    if (!hdcDraw) return E_INVALIDARG;
    if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    // A windowed control is always drawn into the caller's bounds.
    if (!lprcBounds) return E_INVALIDARG;
    DrawInfo di = {dwDrawAspect, lindex, ptd, hdcTargetDev, hdcDraw, lprcBounds, lprcWBounds, FALSE};
    return OnDrawAdvanced(di);
}

HRESULT CControlBase::OnDrawAdvanced(DrawInfo& di) {
    int saved = SaveDC(di.hdcDraw);
    RECT rc = {di.prcBounds->left, di.prcBounds->top, di.prcBounds->right, di.prcBounds->bottom};
    if (GetMapMode(di.hdcDraw) != MM_TEXT && GetDeviceCaps(di.hdcDraw, TECHNOLOGY) != DT_METAFILE) {
        // Container DCs in logical units (HIMETRIC and the like): draw in pixels.
        POINT pts[2] = {{rc.left, rc.top}, {rc.right, rc.bottom}};
        LPtoDP(di.hdcDraw, pts, 2);
        SetMapMode(di.hdcDraw, MM_TEXT);
        SetWindowOrgEx(di.hdcDraw, 0, 0, nullptr);
        SetViewportOrgEx(di.hdcDraw, 0, 0, nullptr);
        rc = {pts[0].x < pts[1].x ? pts[0].x : pts[1].x, pts[0].y < pts[1].y ? pts[0].y : pts[1].y,
              pts[0].x < pts[1].x ? pts[1].x : pts[0].x, pts[0].y < pts[1].y ? pts[1].y : pts[0].y};
    }
    // The control draws in its own client coordinates.
    OffsetViewportOrgEx(di.hdcDraw, rc.left, rc.top, nullptr);
    RECTL bounds = {0, 0, rc.right - rc.left, rc.bottom - rc.top};
    DrawInfo normal = di;
    normal.prcBounds = &bounds;
    HRESULT hr = OnDraw(normal);
    RestoreDC(di.hdcDraw, saved);
    return hr;
}

HRESULT CControlBase::OnDraw(DrawInfo&) { return S_OK; }

LRESULT CControlBase::OnPaint(WPARAM wParam) {
    RECT rc;
    GetClientRect(m_hWnd, &rc);
    RECTL bounds = {rc.left, rc.top, rc.right, rc.bottom};
    DrawInfo di = {DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, &bounds, nullptr, FALSE};
    if (wParam) {
        // WM_PAINT with a DC (or WM_PRINTCLIENT): draw into that DC.
        di.hdcDraw = reinterpret_cast<HDC>(wParam);
        OnDrawAdvanced(di);
        return 0;
    }
    PAINTSTRUCT ps;
    di.hdcDraw = BeginPaint(m_hWnd, &ps);
    if (di.hdcDraw) OnDrawAdvanced(di);
    EndPaint(m_hWnd, &ps);
    return 0;
}

BOOL CControlBase::ProcessBaseMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM, LRESULT& lResult) {
    switch (uMsg) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
        lResult = OnPaint(wParam);
        return TRUE;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
        com_ptr<IOleControlSite> spSite;
        if (m_bInPlaceActive && m_spClientSite && SUCCEEDED(m_spClientSite.query(spSite.put())))
            spSite->OnFocus(uMsg == WM_SETFOCUS);
        return FALSE;  // the control may handle it too
    }
    case WM_MOUSEACTIVATE:
        if (m_bInPlaceActive && !m_bUIActive) InPlaceActivate(OLEIVERB_UIACTIVATE, nullptr);
        return FALSE;
    default:
        return FALSE;
    }
}

void CControlBase::FireViewChange() {
    if (m_bInPlaceActive && m_hWnd) {
        InvalidateRect(m_hWnd, nullptr, TRUE);
    } else if (m_spAdviseSink) {
        m_spAdviseSink->OnViewChange(DVASPECT_CONTENT, -1);
    }
}

STDMETHODIMP CControlBase::SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) {
    m_dwViewAdviseAspects = aspects;
    m_dwViewAdviseFlags = advf;
    m_spAdviseSink = pAdvSink;
    return S_OK;
}

STDMETHODIMP CControlBase::GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) {
    if (pAspects) *pAspects = m_dwViewAdviseAspects;
    if (pAdvf) *pAdvf = m_dwViewAdviseFlags;
    if (ppAdvSink) {
        *ppAdvSink = nullptr;
        m_spAdviseSink.copy_to(ppAdvSink);
    }
    return S_OK;
}

STDMETHODIMP CControlBase::GetExtent(DWORD dwDrawAspect, LONG, DVTARGETDEVICE*, LPSIZEL lpsizel) {
    return GetExtent(dwDrawAspect, lpsizel);
}

STDMETHODIMP CControlBase::GetViewStatus(DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    *pdwStatus = GetViewStatusFlags();
    return S_OK;
}

STDMETHODIMP CControlBase::QueryHitPoint(DWORD dwAspect, LPCRECT pRectBounds, POINT ptlLoc, LONG,
                                         DWORD* pHitResult) {
    if (pHitResult) *pHitResult = HITRESULT_OUTSIDE;
    if (!pHitResult || !pRectBounds) return E_POINTER;
    if (dwAspect != DVASPECT_CONTENT) return E_FAIL;
    *pHitResult = PtInRect(pRectBounds, ptlLoc) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP CControlBase::QueryHitRect(DWORD dwAspect, LPCRECT pRectBounds, LPCRECT prcLoc, LONG,
                                        DWORD* pHitResult) {
    if (pHitResult) *pHitResult = HITRESULT_OUTSIDE;
    if (!pHitResult || !pRectBounds || !prcLoc) return E_POINTER;
    if (dwAspect != DVASPECT_CONTENT) return E_FAIL;
    RECT rc;
    *pHitResult = IntersectRect(&rc, pRectBounds, prcLoc) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP CControlBase::GetNaturalExtent(DWORD dwAspect, LONG, DVTARGETDEVICE*, HDC,
                                            DVEXTENTINFO* pExtentInfo, LPSIZEL pSizel) {
    if (pSizel) pSizel->cx = pSizel->cy = 0;
    if (!pExtentInfo || !pSizel) return E_POINTER;
    if (dwAspect != DVASPECT_CONTENT || pExtentInfo->dwExtentMode != DVEXTENT_CONTENT) return E_NOTIMPL;
    *pSizel = m_sizeNatural;
    return S_OK;
}

// ---- persistence ---------------------------------------------------------

STDMETHODIMP CControlBase::GetClassID(CLSID* pClassID) {
    if (!pClassID) return E_POINTER;
    *pClassID = GetClsid();
    return S_OK;
}

HRESULT CControlBase::WritePropertiesToStream(IStream* pStm) {
    const PropertyEntry* map = GetPropertyMap();
    DWORD count = 0;
    while (map[count].name) ++count;
    HRESULT hr = WriteExact(pStm, &kStreamTag, sizeof(kStreamTag));
    if (SUCCEEDED(hr)) hr = WriteExact(pStm, &count, sizeof(count));
    for (DWORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
        LONG value = map[i].ref(GetPropertyBase());
        hr = WriteExact(pStm, &value, sizeof(value));
    }
    return hr;
}

HRESULT CControlBase::ReadPropertiesFromStream(IStream* pStm) {
    DWORD tag = 0, count = 0;
    HRESULT hr = ReadExact(pStm, &tag, sizeof(tag));
    if (FAILED(hr)) return hr;
    if (tag != kStreamTag) return E_INVALIDARG;
    hr = ReadExact(pStm, &count, sizeof(count));
    if (FAILED(hr)) return hr;
    // Read everything first: a short stream changes nothing.
    const PropertyEntry* map = GetPropertyMap();
    DWORD known = 0;
    while (map[known].name) ++known;
    LONG values[64];
    if (count > known || known > 64) return E_INVALIDARG;
    for (DWORD i = 0; i < count; ++i) {
        hr = ReadExact(pStm, &values[i], sizeof(LONG));
        if (FAILED(hr)) return hr;
    }
    for (DWORD i = 0; i < count; ++i) map[i].ref(GetPropertyBase()) = values[i];
    m_sizeNatural = m_sizeExtent;
    m_bRequiresSave = false;
    FireViewChange();
    return S_OK;
}

STDMETHODIMP CControlBase::Load(IStream* pStm) {
    if (!pStm) return E_POINTER;
    return ReadPropertiesFromStream(pStm);
}

STDMETHODIMP CControlBase::Save(IStream* pStm, BOOL fClearDirty) {
    if (!pStm) return E_POINTER;
    HRESULT hr = WritePropertiesToStream(pStm);
    if (SUCCEEDED(hr) && fClearDirty) m_bRequiresSave = false;
    return hr;
}

STDMETHODIMP CControlBase::GetSizeMax(ULARGE_INTEGER* pcbSize) {
    if (!pcbSize) return E_POINTER;
    const PropertyEntry* map = GetPropertyMap();
    DWORD count = 0;
    while (map[count].name) ++count;
    pcbSize->QuadPart = 2 * sizeof(DWORD) + count * sizeof(LONG);
    return S_OK;
}

STDMETHODIMP CControlBase::Load(IPropertyBag* pPropBag, IErrorLog* pErrorLog) {
    if (!pPropBag) return E_POINTER;
    // Properties the bag lacks (an object tag without that parameter) keep
    // their values; one that cannot be read as a number fails the load.
    for (const PropertyEntry* e = GetPropertyMap(); e->name; ++e) {
        unique_variant v;
        v->vt = e->vt;
        HRESULT hr = pPropBag->Read(e->name, v.get(), pErrorLog);
        if (FAILED(hr)) continue;
        if (v->vt != e->vt) {
            hr = VariantChangeType(v.get(), v.get(), 0, e->vt);
            if (FAILED(hr)) return hr;
        }
        e->ref(GetPropertyBase()) = v->vt == VT_UI4 ? static_cast<LONG>(v->ulVal) : v->lVal;
    }
    m_sizeNatural = m_sizeExtent;
    m_bRequiresSave = false;
    FireViewChange();
    return S_OK;
}

STDMETHODIMP CControlBase::Save(IPropertyBag* pPropBag, BOOL fClearDirty, BOOL) {
    if (!pPropBag) return E_POINTER;
    for (const PropertyEntry* e = GetPropertyMap(); e->name; ++e) {
        VARIANT v;
        VariantInit(&v);
        v.vt = e->vt;
        v.lVal = e->ref(GetPropertyBase());
        HRESULT hr = pPropBag->Write(e->name, &v);
        if (FAILED(hr)) return hr;
    }
    if (fClearDirty) m_bRequiresSave = false;
    return S_OK;
}

STDMETHODIMP CControlBase::Load(IStorage* pStg) {
    if (!pStg) return E_POINTER;
    com_ptr<IStream> stm;
    HRESULT hr = pStg->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stm.put());
    if (FAILED(hr)) return hr;
    return ReadPropertiesFromStream(stm.get());
}

STDMETHODIMP CControlBase::Save(IStorage* pStg, BOOL) {
    if (!pStg) return E_POINTER;
    com_ptr<IStream> stm;
    HRESULT hr = pStg->CreateStream(kContentsStream, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE,
                                    0, 0, stm.put());
    if (FAILED(hr)) return hr;
    hr = WritePropertiesToStream(stm.get());
    if (SUCCEEDED(hr)) m_bRequiresSave = false;
    return hr;
}

// ---- the rest -------------------------------------------------------------

STDMETHODIMP CControlBase::GetPages(CAUUID* pPages) {
    if (!pPages) return E_POINTER;
    pPages->cElems = 0;
    pPages->pElems = nullptr;
    return S_OK;
}

STDMETHODIMP CControlBase::QuickActivate(QACONTAINER* pQACont, QACONTROL* pQACtrl) {
    if (!pQACont || !pQACtrl) return E_POINTER;
    if (pQACont->cbSize < sizeof(QACONTAINER) || pQACtrl->cbSize < sizeof(QACONTROL)) return E_INVALIDARG;
    // Through the controlling unknown, so the control's own overrides run.
    com_ptr<IOleObject> self;
    GetControllingUnknownOf()->QueryInterface(IID_IOleObject, self.put_void());
    HRESULT hr = self->SetClientSite(pQACont->pClientSite);
    if (FAILED(hr)) return hr;
    if (pQACont->pAdviseSink) SetAdvise(DVASPECT_CONTENT, 0, pQACont->pAdviseSink);
    ULONG cb = pQACtrl->cbSize;
    ZeroMemory(pQACtrl, cb);
    pQACtrl->cbSize = cb;
    GetMiscStatus(DVASPECT_CONTENT, &pQACtrl->dwMiscStatus);
    pQACtrl->dwViewStatus = GetViewStatusFlags();
    return S_OK;
}

STDMETHODIMP CControlBase::SetContentExtent(LPSIZEL pSizel) { return SetExtent(DVASPECT_CONTENT, pSizel); }

STDMETHODIMP CControlBase::GetContentExtent(LPSIZEL pSizel) { return GetExtent(DVASPECT_CONTENT, pSizel); }

STDMETHODIMP CControlBase::QueryGetData(FORMATETC* pfe) {
    if (!pfe) return E_POINTER;
    if (pfe->cfFormat != CF_METAFILEPICT || !(pfe->tymed & TYMED_MFPICT)) return DV_E_FORMATETC;
    if (pfe->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    return S_OK;
}

// A picture of the control as a metafile, the format containers ask for.
STDMETHODIMP CControlBase::GetData(FORMATETC* pfe, STGMEDIUM* pmedium) {
    if (!pfe || !pmedium) return E_POINTER;
    ZeroMemory(pmedium, sizeof(*pmedium));
    HRESULT hr = QueryGetData(pfe);
    if (hr != S_OK) return hr;
    SIZEL px;
    HiMetricToPixels(&m_sizeExtent, &px);
    HDC hdcMeta = CreateMetaFileW(nullptr);
    if (!hdcMeta) return E_OUTOFMEMORY;
    SetMapMode(hdcMeta, MM_ANISOTROPIC);
    SetWindowOrgEx(hdcMeta, 0, 0, nullptr);
    SetWindowExtEx(hdcMeta, px.cx, px.cy, nullptr);
    RECTL bounds = {0, 0, px.cx, px.cy};
    DrawInfo di = {DVASPECT_CONTENT, -1, nullptr, nullptr, hdcMeta, &bounds, nullptr, FALSE};
    OnDrawAdvanced(di);
    HMETAFILE hmf = CloseMetaFile(hdcMeta);
    if (!hmf) return E_OUTOFMEMORY;
    HGLOBAL hMem = GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
    if (!hMem) {
        DeleteMetaFile(hmf);
        return E_OUTOFMEMORY;
    }
    auto* pict = static_cast<METAFILEPICT*>(GlobalLock(hMem));
    pict->mm = MM_ANISOTROPIC;
    pict->xExt = m_sizeExtent.cx;
    pict->yExt = m_sizeExtent.cy;
    pict->hMF = hmf;
    GlobalUnlock(hMem);
    pmedium->tymed = TYMED_MFPICT;
    pmedium->hMetaFilePict = hMem;
    pmedium->pUnkForRelease = nullptr;
    return S_OK;
}

STDMETHODIMP CControlBase::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* pOut) {
    if (pOut) pOut->ptd = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CControlBase::DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink,
                                   DWORD* pdwConnection) {
    if (!pdwConnection) return E_POINTER;
    *pdwConnection = 0;
    if (!m_spDataAdviseHolder) {
        HRESULT hr = CreateDataAdviseHolder(m_spDataAdviseHolder.put());
        if (FAILED(hr)) return hr;
    }
    com_ptr<IDataObject> self;
    GetControllingUnknownOf()->QueryInterface(IID_IDataObject, self.put_void());
    return m_spDataAdviseHolder->Advise(self.get(), pformatetc, advf, pAdvSink, pdwConnection);
}

STDMETHODIMP CControlBase::DUnadvise(DWORD dwConnection) {
    if (!m_spDataAdviseHolder) return OLE_E_NOCONNECTION;
    return m_spDataAdviseHolder->Unadvise(dwConnection);
}

STDMETHODIMP CControlBase::EnumDAdvise(IEnumSTATDATA** ppenumAdvise) {
    if (!ppenumAdvise) return E_POINTER;
    *ppenumAdvise = nullptr;
    if (!m_spDataAdviseHolder) return S_OK;
    return m_spDataAdviseHolder->EnumAdvise(ppenumAdvise);
}

STDMETHODIMP CControlBase::GetClassInfo(ITypeInfo** ppTI) {
    if (!ppTI) return E_POINTER;
    *ppTI = nullptr;
    return g_module.GetTypeInfo(GetClsid(), ppTI);
}

STDMETHODIMP CControlBase::GetGUID(DWORD dwGuidKind, GUID* pGUID) {
    if (!pGUID) return E_POINTER;
    *pGUID = GUID_NULL;
    if (dwGuidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    const IID* piid = DefaultSourceIID();
    if (!piid) return E_FAIL;
    *pGUID = *piid;
    return S_OK;
}

HRESULT CControlBase::GetAmbientProperty(DISPID dispid, VARIANT* pvar) {
    if (!pvar) return E_POINTER;
    VariantInit(pvar);
    com_ptr<IDispatch> amb;
    if (!m_spClientSite || FAILED(m_spClientSite.query(amb.put()))) return E_FAIL;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    return amb->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, pvar, nullptr,
                       nullptr);
}

}  // namespace fw
