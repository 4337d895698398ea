// A minimal OLE document container of the tests' own: a plain window that
// is client site, document site (optional), in-place site and
// in-place frame, and records what the server asks of it. It negotiates
// menus like an ordinary frame: it puts a File menu of its own into the
// shared menu and takes it out again in RemoveMenus.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <docobj.h>

#include <string>
#include <utility>

#include "platform/DocPreview.h"
#include "fw/Raii.h"

class CTestContainer final : public IOleClientSite,
                             public IOleDocumentSite,
                             public IOleInPlaceSite,
                             public IOleInPlaceFrame {
public:
    // bDocumentSite false: the container offers no IOleDocumentSite, as a
    // plain in-place container (an ActiveX host) does.
    static fw::com_ptr<CTestContainer> Create(bool bDocumentSite = true);

    HWND hwnd() const { return m_hwnd; }
    RECT ClientRect() const;
    HMENU FileMenu() const { return m_hmenuFile.get(); }

    // What the server did.
    int nActivateMe = 0;
    int nSaveObject = 0;
    int nInsertMenus = 0;
    int nRemoveMenus = 0;
    int nSetMenu = 0;
    int nSetBorderSpace = 0;
    int nOnInPlaceActivate = 0;
    int nOnUIActivate = 0;
    int nOnUIDeactivate = 0;
    int nOnInPlaceDeactivate = 0;
    HMENU hmenuShared = nullptr;  // last SetMenu arguments
    HOLEMENU holemenu = nullptr;
    HWND hwndMenuObj = nullptr;
    fw::com_ptr<IOleInPlaceActiveObject> spActiveObject;
    fw::com_ptr<IOleDocumentView> spView;

    // Drops what the container holds on the server, as a site does on Close.
    void Disconnect();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override;

    // IOleClientSite
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** ppmk) override;
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override;
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleDocumentSite
    STDMETHODIMP ActivateMe(IOleDocumentView* pViewToActivate) override;

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                  LPRECT lprcClipRect, LPOLEINPLACEFRAMEINFO lpFrameInfo) override;
    STDMETHODIMP Scroll(SIZE) override { return S_OK; }
    STDMETHODIMP OnUIDeactivate(BOOL) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow
    STDMETHODIMP GetBorder(LPRECT lprectBorder) override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS pborderwidths) override;
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) override;

    // IOleInPlaceFrame
    STDMETHODIMP InsertMenus(HMENU hmenuShared, LPOLEMENUGROUPWIDTHS lpMenuWidths) override;
    STDMETHODIMP SetMenu(HMENU hmenuShared, HOLEMENU holemenu, HWND hwndActiveObject) override;
    STDMETHODIMP RemoveMenus(HMENU hmenuShared) override;
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    explicit CTestContainer(bool bDocumentSite);
    ~CTestContainer();

    ULONG m_cRef = 0;
    bool m_bDocumentSite;
    HWND m_hwnd = nullptr;
    fw::unique_hmenu m_hmenuFile;
};

// Records the notifications of a print preview.
class CPreviewCallback final : public IDocPreviewCallback {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Notify(DWORD dwEvent, DWORD, DWORD) override {
        ++nNotify;
        dwLastEvent = dwEvent;
        if (spEndOnNotify) hrEnd = fw::com_ptr<IDocPreviewServer>(std::move(spEndOnNotify))->End(FALSE);
        return S_OK;
    }

    int nNotify = 0;
    DWORD dwLastEvent = 0;
    // Set: Notify ends the preview through it, as a document site does.
    fw::com_ptr<IDocPreviewServer> spEndOnNotify;
    HRESULT hrEnd = E_PENDING;

private:
    ULONG m_cRef = 0;
};

// Runs the thread's message loop until pred() holds or the time is up.
template <class Pred>
bool PumpUntil(Pred pred, DWORD dwTimeoutMs = 5000) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (pred()) return true;
        if (GetTickCount() - start > dwTimeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// Delivers what is already posted.
inline void PumpPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
