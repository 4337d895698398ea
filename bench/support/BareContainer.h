// The baseline: the least any OLE container must do to show a compound
// file's document in place and let it go again. It copies the file into a
// sub-storage of a temporary docfile (the object must own a storage it may
// write), creates and loads the server from it, activates it in place in
// its own window, and closes and releases everything. It is client site,
// in-place site and in-place frame, and answers each with the minimum.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "BenchSupport.h"
#include "fw/Raii.h"

namespace bench {

class CBareContainer final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    // A child window of hwndParent covering rc hosts the document.
    static fw::com_ptr<CBareContainer> Create(HWND hwndParent, const RECT& rc);

    // The storage modes are those a container of documents it may save
    // must use: the file transacted and not locked for readers, the
    // temporary docfile and its sub-storage transacted and exclusive.
    HRESULT Open(const wchar_t* pszFileName);
    // A new, empty document of the server clsid, in a sub-storage of a
    // temporary docfile, shown in place.
    HRESULT CreateNew(REFCLSID clsid);
    // The document's storage copied into a new docfile (direct mode, the
    // least work) and committed.
    HRESULT SaveCopyAs(const wchar_t* pszFileName);
    // Deactivates and closes the object without saving; releases it and
    // the storages (the temporary file goes with them).
    void Close();
    // While set, Open, SaveCopyAs and Close mark their steps on it.
    void SetStepClock(StepClock* pClock) { m_pClock = pClock; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override;

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return S_OK; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** ppmk) override;
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override;
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                  LPRECT lprcClipRect, LPOLEINPLACEFRAMEINFO lpFrameInfo) override;
    STDMETHODIMP Scroll(SIZE) override { return S_OK; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow
    STDMETHODIMP GetBorder(LPRECT lprectBorder) override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) override;

    // IOleInPlaceFrame: no menus of the container's own to merge.
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    CBareContainer() = default;
    ~CBareContainer();

    void Mark(const char* pszStep) {
        if (m_pClock) m_pClock->Mark(pszStep);
    }

    ULONG m_cRef = 0;
    HWND m_hwnd = nullptr;
    StepClock* m_pClock = nullptr;
    fw::com_ptr<IStorage> m_spRoot;
    fw::com_ptr<IStorage> m_spObjectStorage;
    fw::com_ptr<IOleObject> m_spObject;
    fw::com_ptr<IOleInPlaceActiveObject> m_spActive;
};

}  // namespace bench
