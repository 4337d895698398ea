// The stock OLE control: a windowed, in-place capable control with the
// standard interfaces a container expects.
//
// A control class T derives from CControl<T> (besides CObjectRoot and its
// own interfaces), lists the stock interfaces it serves in its interface
// table, declares its persisted properties with FW_BEGIN_PROPERTY_MAP and
// chains CControl<T> first in its message table. It provides
//   static const CLSID& GetObjectCLSID();
//   static const DWORD kViewStatus;          // VIEWSTATUS_* flags
//   static const UINT kClassStyle; static const LPCWSTR kClassCursor;
//   static const int kClassBackground;      // window class traits
//   static const DWORD kWindowStyle;
// and may override OnDraw, InPlaceActivate and SetClientSite.
#pragma once

#include <ocidl.h>
#include <ole2.h>
#include <windows.h>

#include "fw/Module.h"
#include "fw/Raii.h"
#include "fw/Window.h"

namespace fw {

// What OnDraw gets: the target DC in pixel units (MM_TEXT) with the
// control's top-left corner at the origin, and the bounds from there.
struct DrawInfo {
    DWORD dwDrawAspect;
    LONG lindex;
    DVTARGETDEVICE* ptd;
    HDC hicTargetDev;
    HDC hdcDraw;
    LPCRECTL prcBounds;
    LPCRECTL prcWBounds;
    BOOL bOptimize;
};

// One persisted 32-bit property: its name and where it lives in the object.
struct PropertyEntry {
    const wchar_t* name;  // nullptr ends the table
    VARTYPE vt;           // VT_UI4 or VT_I4
    LONG& (*ref)(void* pThis);
};

class CControlBase : public CWindowImplRoot,
                     public IViewObjectEx,
                     public IOleInPlaceObjectWindowless,
                     public IOleInPlaceActiveObject,
                     public IOleControl,
                     public IOleObject,
                     public IPersistStreamInit,
                     public IPersistPropertyBag,
                     public ISpecifyPropertyPages,
                     public IQuickActivate,
                     public IPersistStorage,
                     public IDataObject,
                     public IProvideClassInfo2 {
public:
    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* pClientSite) override;
    STDMETHODIMP GetClientSite(IOleClientSite** ppClientSite) override;
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD dwSaveOption) override;
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override;
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, LONG lindex,
                        HWND hwndParent, LPCRECT lprcPosRect) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) override;
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* pClsid) override;
    STDMETHODIMP GetUserType(DWORD dwFormOfType, LPOLESTR* pszUserType) override;
    STDMETHODIMP SetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP GetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    STDMETHODIMP Unadvise(DWORD dwConnection) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** ppenumAdvise) override;
    STDMETHODIMP GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceObject(Windowless)
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) override;
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override { return S_FALSE; }
    STDMETHODIMP GetDropTarget(IDropTarget**) override { return E_NOTIMPL; }

    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG) override { return S_FALSE; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO*) override { return E_NOTIMPL; }
    STDMETHODIMP OnMnemonic(MSG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
    STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

    // IViewObject, IViewObject2, IViewObjectEx
    STDMETHODIMP Draw(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd,
                      HDC hdcTargetDev, HDC hdcDraw, LPCRECTL lprcBounds, LPCRECTL lprcWBounds,
                      BOOL(STDMETHODCALLTYPE* pfnContinue)(ULONG_PTR), ULONG_PTR dwContinue) override;
    STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unfreeze(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) override;
    STDMETHODIMP GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) override;
    STDMETHODIMP GetExtent(DWORD dwDrawAspect, LONG lindex, DVTARGETDEVICE* ptd, LPSIZEL lpsizel) override;
    STDMETHODIMP GetRect(DWORD, LPRECTL) override { return E_NOTIMPL; }
    STDMETHODIMP GetViewStatus(DWORD* pdwStatus) override;
    STDMETHODIMP QueryHitPoint(DWORD dwAspect, LPCRECT pRectBounds, POINT ptlLoc, LONG lCloseHint,
                               DWORD* pHitResult) override;
    STDMETHODIMP QueryHitRect(DWORD dwAspect, LPCRECT pRectBounds, LPCRECT prcLoc, LONG lCloseHint,
                              DWORD* pHitResult) override;
    STDMETHODIMP GetNaturalExtent(DWORD dwAspect, LONG lindex, DVTARGETDEVICE* ptd, HDC hicTargetDev,
                                  DVEXTENTINFO* pExtentInfo, LPSIZEL pSizel) override;

    // IPersist, IPersistStreamInit, IPersistPropertyBag, IPersistStorage
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    STDMETHODIMP IsDirty() override { return m_bRequiresSave ? S_OK : S_FALSE; }
    STDMETHODIMP Load(IStream* pStm) override;
    STDMETHODIMP Save(IStream* pStm, BOOL fClearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* pcbSize) override;
    STDMETHODIMP InitNew() override { return S_OK; }
    STDMETHODIMP Load(IPropertyBag* pPropBag, IErrorLog* pErrorLog) override;
    STDMETHODIMP Save(IPropertyBag* pPropBag, BOOL fClearDirty, BOOL fSaveAllProperties) override;
    STDMETHODIMP InitNew(IStorage*) override { return S_OK; }
    STDMETHODIMP Load(IStorage* pStg) override;
    STDMETHODIMP Save(IStorage* pStg, BOOL fSameAsLoad) override;
    STDMETHODIMP SaveCompleted(IStorage*) override { return S_OK; }
    STDMETHODIMP HandsOffStorage() override { return S_OK; }

    // ISpecifyPropertyPages
    STDMETHODIMP GetPages(CAUUID* pPages) override;

    // IQuickActivate
    STDMETHODIMP QuickActivate(QACONTAINER* pQACont, QACONTROL* pQACtrl) override;
    STDMETHODIMP SetContentExtent(LPSIZEL pSizel) override;
    STDMETHODIMP GetContentExtent(LPSIZEL pSizel) override;

    // IDataObject
    STDMETHODIMP GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* pformatetc) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* pOut) override;
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink,
                         DWORD* pdwConnection) override;
    STDMETHODIMP DUnadvise(DWORD dwConnection) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** ppenumAdvise) override;

    // IProvideClassInfo, IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** ppTI) override;
    STDMETHODIMP GetGUID(DWORD dwGuidKind, GUID* pGUID) override;

    // The container's ambient property of that DISPID.
    HRESULT GetAmbientProperty(DISPID dispid, VARIANT* pvar);
    // Repaints the control (in place) or tells the view sink.
    void FireViewChange();
    // Marks the persisted state changed (or saved).
    void SetDirty(bool bDirty) { m_bRequiresSave = bDirty; }

protected:
    CControlBase();
    ~CControlBase();

    // The stock in-place activation: negotiates with the client site's
    // IOleInPlaceSite, creates or shows and places the window, and for the
    // UI-activating verbs makes the control the container's active object.
    virtual HRESULT InPlaceActivate(LONG iVerb, const RECT* prcPosRect);
    // Draws the control; the DC is normalised to pixels already.
    virtual HRESULT OnDraw(DrawInfo& di);
    // The control's default event dispinterface, or nullptr for none
    // (IProvideClassInfo2::GetGUID).
    virtual const IID* DefaultSourceIID() { return nullptr; }
    // Normalises the DC (MM_TEXT, origin at the bounds' corner), then OnDraw.
    HRESULT OnDrawAdvanced(DrawInfo& di);

    // Supplied by CControl<T>.
    virtual HWND CreateControlWindow(HWND hWndParent, const RECT& rcPos) = 0;
    virtual void ReleaseWindowClass() = 0;
    virtual IUnknown* GetControllingUnknownOf() = 0;
    virtual const CLSID& GetClsid() = 0;
    virtual DWORD GetViewStatusFlags() = 0;
    virtual const PropertyEntry* GetPropertyMap() = 0;
    virtual void* GetPropertyBase() = 0;

    // The stock part of the message table: painting, focus and mouse
    // activation. Chained first by the control.
    BOOL ProcessBaseMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);

    // Destroys the control's window if it still exists, and its window
    // class with the last window.
    void DestroyControlWindow();

    // Whether the object is in its final release: its controlling unknown,
    // an aggregating outer among them, may be half destroyed.
    virtual bool IsTearingDown() = 0;

    // The control lives at least as long as a message of its window is
    // being handled, whatever the container lets go of meanwhile; not in
    // its final release, which destroys the window itself.
    void AddRefForMessage() override {
        if (!IsTearingDown()) GetControllingUnknownOf()->AddRef();
    }
    void ReleaseForMessage() override {
        if (!IsTearingDown()) GetControllingUnknownOf()->Release();
    }

    com_ptr<IOleClientSite> m_spClientSite;
    com_ptr<IOleInPlaceSite> m_spInPlaceSite;
    com_ptr<IAdviseSink> m_spAdviseSink;
    com_ptr<IOleAdviseHolder> m_spOleAdviseHolder;
    com_ptr<IDataAdviseHolder> m_spDataAdviseHolder;
    SIZEL m_sizeExtent;   // HIMETRIC
    SIZEL m_sizeNatural;  // HIMETRIC
    RECT m_rcPos;
    DWORD m_dwViewAdviseAspects = 0;
    DWORD m_dwViewAdviseFlags = 0;
    bool m_bWindowOnly = true;
    bool m_bNegotiatedWnd = false;
    bool m_bInPlaceActive = false;
    bool m_bUIActive = false;
    bool m_bRequiresSave = false;

private:
    HRESULT WritePropertiesToStream(IStream* pStm);
    HRESULT ReadPropertiesFromStream(IStream* pStm);
    LRESULT OnPaint(WPARAM wParam);
};

template <class T>
class CControl : public CControlBase {
protected:
    HWND CreateControlWindow(HWND hWndParent, const RECT& rcPos) override {
        return CreateImpl(CWindowImpl<T>::GetWndClassInfo(), hWndParent, rcPos, T::kWindowStyle, 0,
                          nullptr);
    }
    void ReleaseWindowClass() override { UnregisterIfUnused(CWindowImpl<T>::GetWndClassInfo()); }
    IUnknown* GetControllingUnknownOf() override { return static_cast<T*>(this)->ControllingUnknown(); }
    bool IsTearingDown() override { return static_cast<T*>(this)->InFinalRelease(); }
    const CLSID& GetClsid() override { return T::GetObjectCLSID(); }
    DWORD GetViewStatusFlags() override { return T::kViewStatus; }
    const PropertyEntry* GetPropertyMap() override { return T::_GetPropertyMap(); }
    void* GetPropertyBase() override { return static_cast<T*>(this); }

public:
    HWND Create(HWND hWndParent, const RECT& rcPos) { return CreateControlWindow(hWndParent, rcPos); }
};

// Converts HIMETRIC to pixels of the screen, per axis.
void HiMetricToPixels(const SIZEL* pHiMetric, SIZEL* pPixels);
void PixelsToHiMetric(const SIZEL* pPixels, SIZEL* pHiMetric);

}  // namespace fw

#define FW_BEGIN_PROPERTY_MAP(Class)                         \
    using _PropertyMapClass = Class;                         \
    static const ::fw::PropertyEntry* _GetPropertyMap() {    \
        static const ::fw::PropertyEntry props[] = {
#define FW_PROP_DATA(name, member, vartype)                                               \
    {name, vartype, [](void* p) -> LONG& {                                                \
         static_assert(sizeof(static_cast<_PropertyMapClass*>(p)->member) == sizeof(LONG), \
                       "32-bit property");                                                \
         return reinterpret_cast<LONG&>(static_cast<_PropertyMapClass*>(p)->member);       \
     }},
#define FW_END_PROPERTY_MAP()  \
    {nullptr, VT_EMPTY, nullptr} \
    }                          \
    ;                          \
    return props;              \
    }
