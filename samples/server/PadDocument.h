// CPadDocument: one VellixPad text document, an in-process DocObject
// server object. It is its own document, its own single view, its own
// in-place object and UI-active object; the text lives in a rich edit
// control while the view is in-place active and in m_strText otherwise.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <docobj.h>
#include <oleidl.h>
#include <richedit.h>
#include <urlmon.h>

#include <string>

#include "platform/DocPreview.h"
#include "Switches.h"
#include "VellixPad_h.h"
#include "fw/Dispatch.h"
#include "fw/Object.h"
#include "fw/Raii.h"

class CPadDocument : public fw::CObjectRoot,
                     public IOleObject,
                     public fw::IDispatchImpl<IVellixPadDocument>,
                     public IOleDocument,
                     public IOleDocumentView,
                     public IOleInPlaceObject,
                     public IOleInPlaceActiveObject,
                     public IPersistStorage,
                     public IPersistFile,
                     public IPersistMoniker,
                     public IOleCommandTarget,
                     public IDocPreviewServer,
                     public IRunnableObject {
public:
    // IOleObject first: it is the identity.
    FW_BEGIN_INTERFACE_MAP(CPadDocument)
    FW_INTERFACE_ENTRY(IOleObject)
    FW_INTERFACE_ENTRY(IVellixPadDocument)
    FW_INTERFACE_ENTRY2(IDispatch, IVellixPadDocument)
    FW_INTERFACE_ENTRY(IOleDocument)
    FW_INTERFACE_ENTRY(IOleDocumentView)
    FW_INTERFACE_ENTRY(IOleInPlaceObject)
    FW_INTERFACE_ENTRY2(IOleWindow, IOleInPlaceObject)
    FW_INTERFACE_ENTRY(IOleInPlaceActiveObject)
    FW_INTERFACE_ENTRY(IPersistStorage)
    FW_INTERFACE_ENTRY2(IPersist, IPersistStorage)
    FW_INTERFACE_ENTRY(IPersistFile)
    FW_INTERFACE_ENTRY(IPersistMoniker)
    FW_INTERFACE_ENTRY(IOleCommandTarget)
    FW_INTERFACE_ENTRY(IDocPreviewServer)
    FW_INTERFACE_ENTRY(IRunnableObject)
    FW_END_INTERFACE_MAP()

    CPadDocument();
    ~CPadDocument();
    HRESULT FinalConstruct();
    void FinalRelease();

    // Document objects alive in this process.
    static LONG LiveObjects();
    // Window class of the view; unregistered when the DLL leaves the process.
    static void UnregisterViewClass();

    // IDispatch: the switch NoSavedProperty hides "Saved" from late binding.
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                               DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // IVellixPadDocument
    STDMETHODIMP get_Text(BSTR* pVal) override;
    STDMETHODIMP put_Text(BSTR newVal) override;
    STDMETHODIMP get_Saved(VARIANT_BOOL* pVal) override;
    STDMETHODIMP put_Saved(VARIANT_BOOL newVal) override;
    STDMETHODIMP get_FullName(BSTR* pVal) override;
    STDMETHODIMP AppendText(BSTR bstrText) override;
    STDMETHODIMP get_InPreview(VARIANT_BOOL* pVal) override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* pClientSite) override;
    STDMETHODIMP GetClientSite(IOleClientSite** ppClientSite) override;
    STDMETHODIMP SetHostNames(LPCOLESTR szContainerApp, LPCOLESTR szContainerObj) override;
    STDMETHODIMP Close(DWORD dwSaveOption) override;
    STDMETHODIMP SetMoniker(DWORD dwWhichMoniker, IMoniker* pmk) override;
    STDMETHODIMP GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) override;
    STDMETHODIMP InitFromData(IDataObject* pDataObject, BOOL fCreation, DWORD dwReserved) override;
    STDMETHODIMP GetClipboardData(DWORD dwReserved, IDataObject** ppDataObject) override;
    STDMETHODIMP DoVerb(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, LONG lindex, HWND hwndParent,
                        LPCRECT lprcPosRect) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* pClsid) override;
    STDMETHODIMP GetUserType(DWORD dwFormOfType, LPOLESTR* pszUserType) override;
    STDMETHODIMP SetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP GetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    STDMETHODIMP Unadvise(DWORD dwConnection) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** ppenumAdvise) override;
    STDMETHODIMP GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* pLogpal) override;

    // IOleDocument
    STDMETHODIMP CreateView(IOleInPlaceSite* pIPSite, IStream* pstm, DWORD dwReserved,
                            IOleDocumentView** ppView) override;
    STDMETHODIMP GetDocMiscStatus(DWORD* pdwStatus) override;
    STDMETHODIMP EnumViews(IEnumOleDocumentViews** ppEnum, IOleDocumentView** ppView) override;

    // IOleDocumentView
    STDMETHODIMP SetInPlaceSite(IOleInPlaceSite* pIPSite) override;
    STDMETHODIMP GetInPlaceSite(IOleInPlaceSite** ppIPSite) override;
    STDMETHODIMP GetDocument(IUnknown** ppunk) override;
    STDMETHODIMP SetRect(LPRECT prcView) override;
    STDMETHODIMP GetRect(LPRECT prcView) override;
    STDMETHODIMP SetRectComplex(LPRECT prcView, LPRECT prcHScroll, LPRECT prcVScroll,
                                LPRECT prcSizeBox) override;
    STDMETHODIMP Show(BOOL fShow) override;
    STDMETHODIMP UIActivate(BOOL fUIActivate) override;
    STDMETHODIMP Open() override;
    STDMETHODIMP CloseView(DWORD dwReserved) override;
    STDMETHODIMP SaveViewState(LPSTREAM pstm) override;
    STDMETHODIMP ApplyViewState(LPSTREAM pstm) override;
    STDMETHODIMP Clone(IOleInPlaceSite* pIPSiteNew, IOleDocumentView** ppViewNew) override;

    // IOleWindow (IOleInPlaceObject, IOleInPlaceActiveObject)
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) override;

    // IOleInPlaceObject
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) override;
    STDMETHODIMP ReactivateAndUndo() override;

    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG lpmsg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL fActivate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL fActivate) override;
    STDMETHODIMP ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow, BOOL fFrameWindow) override;
    STDMETHODIMP EnableModeless(BOOL fEnable) override;

    // IPersist, and IsDirty of the three persistence interfaces
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    STDMETHODIMP IsDirty() override;

    // IPersistStorage
    STDMETHODIMP InitNew(IStorage* pStg) override;
    STDMETHODIMP Load(IStorage* pStg) override;
    STDMETHODIMP Save(IStorage* pStgSave, BOOL fSameAsLoad) override;
    STDMETHODIMP SaveCompleted(IStorage* pStgNew) override;
    STDMETHODIMP HandsOffStorage() override;

    // IPersistFile
    STDMETHODIMP Load(LPCOLESTR pszFileName, DWORD dwMode) override;
    STDMETHODIMP Save(LPCOLESTR pszFileName, BOOL fRemember) override;
    STDMETHODIMP SaveCompleted(LPCOLESTR pszFileName) override;
    STDMETHODIMP GetCurFile(LPOLESTR* ppszFileName) override;

    // IPersistMoniker
    STDMETHODIMP Load(BOOL fFullyAvailable, IMoniker* pimkName, LPBC pibc, DWORD grfMode) override;
    STDMETHODIMP Save(IMoniker* pimkName, LPBC pbc, BOOL fRemember) override;
    STDMETHODIMP SaveCompleted(IMoniker* pimkName, LPBC pibc) override;
    STDMETHODIMP GetCurMoniker(IMoniker** ppimkName) override;

    // IOleCommandTarget
    STDMETHODIMP QueryStatus(const GUID* pguidCmdGroup, ULONG cCmds, OLECMD prgCmds[],
                             OLECMDTEXT* pCmdText) override;
    STDMETHODIMP Exec(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD nCmdexecopt, VARIANT* pvaIn,
                      VARIANT* pvaOut) override;

    // IDocPreviewServer
    STDMETHODIMP Begin(DWORD dwFlags, void* pReserved, IDocPreviewCallback* pCallback, DWORD dwNumber) override;
    STDMETHODIMP End(BOOL fForce) override;
    STDMETHODIMP QueryReady() override;

    // IRunnableObject
    STDMETHODIMP GetRunningClass(LPCLSID lpClsid) override;
    STDMETHODIMP Run(LPBINDCTX pbc) override;
    STDMETHODIMP_(BOOL) IsRunning() override;
    STDMETHODIMP LockRunning(BOOL fLock, BOOL fLastUnlockCloses) override;
    STDMETHODIMP SetContainedObject(BOOL fContained) override;

protected:
    // Interfaces that this object's switches take away.
    bool IsWithheld(REFIID riid) const;

    CLSID m_clsid = GUID_NULL;  // the class this object was created as

private:
    enum class PersistState { Uninitialized, Normal, NoScribble, HandsOff };
    enum class FileFormat { Compound, PlainText };

    IUnknown* Identity() { return static_cast<IOleObject*>(this); }

    // Text and its dirty state, wherever the text currently lives.
    std::wstring GetText() const;
    void SetText(const std::wstring& text);
    bool IsModified() const;
    void SetModified(bool bModified);

    // Persistence helpers (PadPersist.cpp).
    HRESULT BeginLoad();
    HRESULT LoadFromFile(const wchar_t* pszFileName);
    HRESULT SaveToFile(const wchar_t* pszFileName, FileFormat format);
    FileFormat FormatForTarget(const wchar_t* pszFileName) const;
    HRESULT SaveAsFile(const wchar_t* pszFileName, BOOL fRemember);
    HRESULT WriteStorage(IStorage* pstg);
    HRESULT KeepForeignElements(IStorage* pstgFile);
    HRESULT CopyForeignElements(IStorage* pstgDest);

    // Activation (PadView.cpp).
    HRESULT ActivateInPlace();
    HRESULT ActivateUI();
    void DeactivateUI();
    void DeactivateInPlace();
    HRESULT CreateViewWindow(HWND hwndParent, const RECT& rcPos);
    void DestroyViewWindow();
    void MoveViewWindow(const RECT& rc);
    void MergeMenus();
    void UnmergeMenus();
    void BuildMenus();
    void UpdateMenuStates();
    void OnCommand(UINT nId);
    void TransformSelection(bool bUpper);
    static LRESULT CALLBACK ViewWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnViewMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    // Print preview (PadCommands.cpp).
    void EnterPreview(IDocPreviewCallback* pCallback);
    void LeavePreview();
    void ApplyPreviewLook();
    DWORD CommandStatus(ULONG nCmdId) const;

    PadSwitches m_switches;
    DWORD m_nDoVerbCalls = 0;

    // Document.
    std::wstring m_strText;
    bool m_bDirty = false;
    PersistState m_persistState = PersistState::Uninitialized;
    fw::com_ptr<IStorage> m_spStorage;
    // What other programs stored beside our text in a compound file we
    // loaded by name; a private temporary copy (the file may be replaced).
    fw::com_ptr<IStorage> m_spForeign;
    bool m_bSavedSameAsLoad = false;  // the last IPersistStorage::Save went to the held storage
    std::wstring m_strFileName;       // current file, empty for an embedded document
    FileFormat m_fileFormat = FileFormat::Compound;
    SIZEL m_sizeExtent = {21000, 29700};  // HIMETRIC, an A4 page

    // Embedding.
    fw::com_ptr<IOleClientSite> m_spClientSite;
    fw::com_ptr<IOleAdviseHolder> m_spAdviseHolder;
    fw::com_ptr<IMoniker> m_spMoniker;
    bool m_bRunning = false;
    ULONG m_nRunningLocks = 0;

    // View and in-place activation.
    fw::com_ptr<IOleInPlaceSite> m_spIPSite;
    fw::com_ptr<IOleInPlaceFrame> m_spFrame;
    fw::com_ptr<IOleInPlaceUIWindow> m_spUIWindow;
    bool m_bInPlaceActive = false;
    bool m_bUIActive = false;
    bool m_bShown = true;
    RECT m_rcView = {};
    HWND m_hwndView = nullptr;  // our window, child of the site's window
    HWND m_hwndEdit = nullptr;  // the rich edit inside it
    bool m_bWordWrap = true;
    CHARRANGE m_selection = {0, 0};  // kept across deactivation and in the view state

    // Menus: the popups are ours for the object's life; the shared bar lives
    // while UI active.
    fw::unique_hmenu m_hmenuEdit;
    fw::unique_hmenu m_hmenuFormat;
    HMENU m_hmenuShared = nullptr;
    HOLEMENU m_holemenu = nullptr;

    // Print preview.
    bool m_bPreview = false;
    fw::com_ptr<IDocPreviewCallback> m_spPreviewCallback;
};

// The creatable class of one CLSID: the interface table of CPadDocument
// less what the object's switches withhold.
template <const CLSID& Clsid>
class CPadDocumentOf : public CPadDocument {
public:
    CPadDocumentOf() { m_clsid = Clsid; }
    HRESULT _InternalQueryInterface(REFIID riid, void** ppv) {
        if (ppv && IsWithheld(riid)) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return CPadDocument::_InternalQueryInterface(riid, ppv);
    }
};
