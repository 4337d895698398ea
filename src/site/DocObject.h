// CDocObject: the document site, the OLE container of one document.
//
// The site plays every container role for the document server at once:
// client site, command target, document site, in-place frame (its own window
// serves as the frame window), in-place site and print-preview callback. Each
// role is one implementation class below; all of them reach the site's fields
// through Site(), so they share one identity, one reference count and one
// QueryInterface (the table in CDocObject).
#pragma once

#include <windows.h>
#include <docobj.h>
#include <ole2.h>

#include "fw/Dispatch.h"
#include "fw/Object.h"
#include "fw/Raii.h"
#include "fw/Window.h"
#include "module/VellixIdl.h"
#include "platform/HelperLibrary.h"
#include "platform/DocPreview.h"
#include "site/SiteFiles.h"

class CDocObject;

class CSiteClientSite : public IOleClientSite {
public:
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) override;
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(BOOL fShow) override;
    STDMETHODIMP RequestNewObjectLayout() override;

private:
    CDocObject* Site();
};

class CSiteCommandTarget : public IOleCommandTarget {
public:
    STDMETHODIMP QueryStatus(const GUID* pguidCmdGroup, ULONG cCmds, OLECMD prgCmds[],
                             OLECMDTEXT* pCmdText) override;
    STDMETHODIMP Exec(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD nCmdexecopt, VARIANT* pvaIn,
                      VARIANT* pvaOut) override;

private:
    CDocObject* Site();
};

class CSiteDocumentSite : public IOleDocumentSite {
public:
    STDMETHODIMP ActivateMe(IOleDocumentView* pViewToActivate) override;

private:
    CDocObject* Site();
};

class CSiteInPlaceFrame : public IOleInPlaceFrame {
public:
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) override;
    STDMETHODIMP GetBorder(LPRECT lprectBorder) override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS pborderwidths) override;
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS pborderwidths) override;
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR pszObjName) override;
    STDMETHODIMP InsertMenus(HMENU hmenuShared, LPOLEMENUGROUPWIDTHS lpMenuWidths) override;
    STDMETHODIMP SetMenu(HMENU hmenuShared, HOLEMENU holemenu, HWND hwndActiveObject) override;
    STDMETHODIMP RemoveMenus(HMENU hmenuShared) override;
    STDMETHODIMP SetStatusText(LPCOLESTR pszStatusText) override;
    STDMETHODIMP EnableModeless(BOOL fEnable) override;
    STDMETHODIMP TranslateAccelerator(LPMSG lpmsg, WORD wID) override;

private:
    CDocObject* Site();
};

class CSiteInPlaceSite : public IOleInPlaceSite {
public:
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) override;
    STDMETHODIMP CanInPlaceActivate() override;
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                  LPRECT lprcClipRect, LPOLEINPLACEFRAMEINFO lpFrameInfo) override;
    STDMETHODIMP Scroll(SIZE scrollExtant) override;
    STDMETHODIMP OnUIDeactivate(BOOL fUndoable) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override;
    STDMETHODIMP DeactivateAndUndo() override;
    STDMETHODIMP OnPosRectChange(LPCRECT lprcPosRect) override;

private:
    CDocObject* Site();
};

class CSitePreviewCallback : public IDocPreviewCallback {
public:
    STDMETHODIMP Notify(DWORD dwEvent, DWORD dwValue1, DWORD dwValue2) override;

private:
    CDocObject* Site();
};

// The site's window, the in-place frame the document's view lives in. The
// site lives at least as long as one of its messages; a window destroyed
// from outside (its parent went first) closes the site.
class CSiteWindow : public fw::CWindowImpl<CSiteWindow> {
public:
    explicit CSiteWindow(CDocObject* pSite) : m_pSite(pSite) {}

    static const UINT kClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    static const LPCWSTR kClassCursor;
    static const int kClassBackground = 0;
    // Hosts and tests find the site's window by it.
    static const LPCWSTR kClassName;

    FW_BEGIN_MSG_MAP(CSiteWindow)
    FW_MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    FW_MESSAGE_HANDLER(WM_SETFOCUS, OnSetFocus)
    FW_END_MSG_MAP()

    void AddRefForMessage() override;
    void ReleaseForMessage() override;

private:
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnSetFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);

    CDocObject* const m_pSite;
};

class CDocObject : public fw::CObjectRoot,
                   public fw::IDispatchImpl<IDocObject>,
                   public CSiteClientSite,
                   public CSiteCommandTarget,
                   public CSiteDocumentSite,
                   public CSiteInPlaceFrame,
                   public CSiteInPlaceSite,
                   public CSitePreviewCallback,
                   public ISiteFiles {
public:
    CDocObject();
    ~CDocObject();

    FW_BEGIN_INTERFACE_MAP(CDocObject)
    FW_INTERFACE_ENTRY(IDocObject)
    FW_INTERFACE_ENTRY2(IDispatch, IDocObject)
    FW_INTERFACE_ENTRY(IOleClientSite)
    FW_INTERFACE_ENTRY(IOleCommandTarget)
    FW_INTERFACE_ENTRY(IOleDocumentSite)
    FW_INTERFACE_ENTRY(IOleInPlaceFrame)
    FW_INTERFACE_ENTRY(IOleInPlaceSite)
    FW_INTERFACE_ENTRY(IDocPreviewCallback)
    FW_INTERFACE_ENTRY(ISiteFiles)
    FW_END_INTERFACE_MAP()

    // Closes the document while the object is still whole (the wrappers'
    // QueryInterface is gone by the time the destructor runs).
    void FinalRelease();

    // Opens m_log on the shared log file beside the DLL.
    HRESULT OpenLog();
    // Writes hr and its symbolic name (two entries). Always S_OK.
    HRESULT LogResultName(HRESULT hr);

    // IDocObject
    STDMETHODIMP GetActiveWindow(UINT* pHwnd) override;
    STDMETHODIMP GetActiveObject(IDispatch** ppDisp) override;
    STDMETHODIMP GetOleObject(IDispatch** ppDisp) override;
    STDMETHODIMP GetActiveMenu(UINT* pHmenu) override;
    STDMETHODIMP GetMenuHWND(UINT* pHwnd) override;
    STDMETHODIMP Close() override;
    STDMETHODIMP IPDeactivateView() override;
    STDMETHODIMP IsStorageDirty(VARIANT_BOOL* pbDirty) override;
    STDMETHODIMP SaveObjectStorage() override;
    STDMETHODIMP InitializeNewInstance(UINT hwndCtl, VARIANT rcPlace, BSTR bstrHostName,
                                       IUnknown* pcmdCtl) override;
    STDMETHODIMP CreateDocObject(VARIANT vclsid) override;
    STDMETHODIMP IPActivateView() override;
    STDMETHODIMP UIActivateView(VARIANT_BOOL fFocus) override;
    STDMETHODIMP CreateObjectStorage(VARIANT vclsid) override;
    STDMETHODIMP EnsureDocObjectRunning(VARIANT_BOOL fLockRunning) override;
    STDMETHODIMP FreeRunningLock() override;
    STDMETHODIMP SaveStorageToFile(BSTR bstrFileName) override;
    STDMETHODIMP IsReadOnly(VARIANT_BOOL* bReadOnly) override;
    STDMETHODIMP LoadStorageFromFile(BSTR bstrFileName, VARIANT_BOOL bReadOnly) override;
    STDMETHODIMP DoOleCommand(UINT dwOleCmdId, UINT dwOptions, VARIANT* vInParam,
                              VARIANT* vInOutParam) override;
    STDMETHODIMP PrintPreview() override;
    STDMETHODIMP ExitPrintPreview(VARIANT_BOOL fForceExit) override;
    STDMETHODIMP OnNotifySizeChange(VARIANT* lprect) override;
    STDMETHODIMP OnNotifyAppActivate(VARIANT_BOOL bActive) override;
    STDMETHODIMP GetDocWindow(UINT* HWnd) override;
    STDMETHODIMP GetClsid(VARIANT* clsid) override;
    STDMETHODIMP get_FileName(BSTR* pVal) override;
    STDMETHODIMP put_FileName(BSTR newVal) override;
    STDMETHODIMP get_ExtFileName(BSTR* pVal) override;
    STDMETHODIMP put_ExtFileName(BSTR newVal) override;

    // ISiteFiles
    STDMETHODIMP LoadFileAs(BSTR bstrFileName, VARIANT_BOOL bReadOnly, REFCLSID clsid) override;
    STDMETHODIMP SaveCopyToFile(BSTR bstrFileName) override;

private:
    friend class CSiteClientSite;
    friend class CSiteCommandTarget;
    friend class CSiteDocumentSite;
    friend class CSiteInPlaceFrame;
    friend class CSiteInPlaceSite;
    friend class CSitePreviewCallback;
    friend class CSiteWindow;

    // The site's own implementation of one of its interfaces, with a reference.
    template <class Itf>
    fw::com_ptr<Itf> Self() {
        fw::com_ptr<Itf> p;
        static_cast<IDocObject*>(this)->QueryInterface(__uuidof(Itf), p.put_void());
        return p;
    }

    HRESULT SaveThroughMoniker(const wchar_t* pszFileName);
    HRESULT SaveThroughPersistFile(const wchar_t* pszFileName);
    HRESULT SaveByCopy(const wchar_t* pszFileName);
    // Loads a file that is no compound file through its server's IPersistFile
    // into the object's sub-storage.
    HRESULT ImportFile(const wchar_t* pszFileName, REFCLSID clsid);
    // The DoVerb of in-place activation, with the site window's client area.
    HRESULT DoActivationVerb(LONG iVerb);

    CSiteWindow m_window{this};
    // The window while the site uses it: cleared before the site lets it go.
    HWND m_hwnd = nullptr;
    HWND m_hwndCtl = nullptr;
    RECT m_rcPlace = {};
    fw::unique_bstr m_bstrHostName;
    CLSID m_clsid = GUID_NULL;
    HMENU m_hmenuShared = nullptr;
    HOLEMENU m_holemenu = nullptr;
    HWND m_hwndMenuObj = nullptr;
    HWND m_hwndIPObject = nullptr;
    HWND m_hwndActiveObj = nullptr;
    RECT m_rcBorder = {};
    fw::com_ptr<IStorage> m_pstgRoot;
    fw::com_ptr<IStorage> m_pstgObject;
    fw::com_ptr<IStream> m_pstmView;
    fw::unique_bstr m_bstrFileName;
    fw::unique_bstr m_bstrExtFileName;
    fw::com_ptr<IOleInPlaceActiveObject> m_pipactive;
    fw::com_ptr<IOleCommandTarget> m_pcmdCtl;
    fw::com_ptr<IOleDocumentView> m_pdocv;
    fw::com_ptr<IOleCommandTarget> m_pcmdt;
    fw::com_ptr<IOleObject> m_pole;
    fw::com_ptr<IOleInPlaceObject> m_pipobj;
    fw::com_ptr<IDocPreviewServer> m_pprtprv;

    unsigned int m_fFullBorder : 1;  // the frame offers its whole client area as border space
    unsigned int m_fAppActive : 1;   // last value given to OnNotifyAppActivate
    unsigned int m_fModal : 1;       // the server disabled modeless dialogs
    unsigned int m_fInPlaceActive : 1;
    unsigned int m_fUIActive : 1;
    unsigned int m_fViewActive : 1;  // a view was activated through ActivateMe
    unsigned int m_fLockedRunning : 1;
    unsigned int m_fClosing : 1;   // inside Close
    unsigned int m_fReadOnly : 1;  // the file was opened read-only
    unsigned int m_fUnused : 23;

    CLoger m_log;
};
