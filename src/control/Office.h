// COffice: the Office control, the object behind every IOffice call.
#pragma once

#include <docobj.h>

#include <functional>
#include <string>
#include <vector>

#include "control/CommandRelay.h"
#include "control/Messages.h"
#include "diag/Notifier.h"
#include "fw/ConnectionPoint.h"
#include "fw/Control.h"
#include "fw/Dispatch.h"
#include "fw/ErrorInfo.h"
#include "fw/Object.h"
#include "module/VellixIdl.h"
#include "platform/HelperLibrary.h"
#include "security/GatedMembers.h"
#include "security/SiteLock.h"
#include "services/Bitmaps.h"
#include "services/CommandDispatch.h"
#include "services/Dialogs.h"
#include "services/ExtObject.h"
#include "services/ServiceContext.h"
#include "services/Settings.h"
#include "services/Shell.h"
#include "ui/FrameWndHook.h"
#include "ui/MenuBar.h"
#include "web/WebSession.h"

// The methods of _IOfficeEvents.
enum : DISPID {
    DISPID_DOCUMENTOPENED = 1,
    DISPID_DOCUMENTSAVED = 2,
    DISPID_DOCUMENTCLOSED = 3,
    DISPID_TRANSFERPROGRESS = 4,
};

using services::kErrNoMemory;
using services::kErrNullResult;

class COffice : public fw::CObjectRoot,
                public fw::IDispatchImpl<IOffice3>,
                public fw::CControl<COffice>,
                public IOleCommandTarget,
                public IFrameHookClient,
                public fw::ISupportErrorInfoImpl<COffice>,
                public fw::CConnectionPointContainer,
                public services::IServiceContext,
                public services::IDocumentCommands,
                public IObjectWithSite {
public:
    COffice();
    ~COffice();

    FW_BEGIN_INTERFACE_MAP(COffice)
    FW_INTERFACE_ENTRY(IOffice)
    FW_INTERFACE_ENTRY2(IDispatch, IOffice)
    FW_INTERFACE_ENTRY(IViewObjectEx)
    FW_INTERFACE_ENTRY2(IViewObject2, IViewObjectEx)
    FW_INTERFACE_ENTRY2(IViewObject, IViewObjectEx)
    FW_INTERFACE_ENTRY(IOleInPlaceObjectWindowless)
    FW_INTERFACE_ENTRY2(IOleInPlaceObject, IOleInPlaceObjectWindowless)
    FW_INTERFACE_ENTRY2(IOleWindow, IOleInPlaceObjectWindowless)
    FW_INTERFACE_ENTRY(IOleInPlaceActiveObject)
    FW_INTERFACE_ENTRY(IOleControl)
    FW_INTERFACE_ENTRY(IOleObject)
    FW_INTERFACE_ENTRY(IPersistStreamInit)
    FW_INTERFACE_ENTRY2(IPersist, IPersistStreamInit)
    FW_INTERFACE_ENTRY(IPersistPropertyBag)
    FW_INTERFACE_ENTRY(ISpecifyPropertyPages)
    FW_INTERFACE_ENTRY(IQuickActivate)
    FW_INTERFACE_ENTRY(IPersistStorage)
    FW_INTERFACE_ENTRY(IDataObject)
    FW_INTERFACE_ENTRY2(IProvideClassInfo, IProvideClassInfo2)
    FW_INTERFACE_ENTRY(IProvideClassInfo2)
    FW_INTERFACE_ENTRY(IOleCommandTarget)
    FW_INTERFACE_ENTRY(IFrameHookClient)
    FW_INTERFACE_ENTRY(ISupportErrorInfo)
    FW_INTERFACE_ENTRY(IOffice2)
    FW_INTERFACE_ENTRY(IConnectionPointContainer)
    FW_INTERFACE_ENTRY(IObjectWithSite)
    FW_INTERFACE_ENTRY(IOffice3)
    FW_END_INTERFACE_MAP()

    // The interfaces whose failures come with an error object.
    static constexpr const IID* kErrorInfoInterfaces[] = {&IID_IOffice, &IID_IOffice2, &IID_IOffice3,
                                                                nullptr};

    FW_BEGIN_PROPERTY_MAP(COffice)
    FW_PROP_DATA(L"_cx", m_sizeExtent.cx, VT_UI4)
    FW_PROP_DATA(L"_cy", m_sizeExtent.cy, VT_UI4)
    FW_PROP_DATA(L"BorderWidth", m_nBorder, VT_UI4)
    FW_END_PROPERTY_MAP()

    FW_BEGIN_MSG_MAP(COffice)
    FW_CHAIN_MSG_MAP(fw::CControl<COffice>)
    FW_MESSAGE_HANDLER(WM_DOCCOMMAND, OnDocCommand)
    FW_MESSAGE_HANDLER(WM_CREATE, OnCreate)
    FW_MESSAGE_HANDLER(WM_SIZE, OnSize)
    FW_MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
    FW_MESSAGE_HANDLER(WM_COMMAND, OnMenuMessage)
    FW_MESSAGE_HANDLER(WM_MENUSELECT, OnMenuMessage)
    FW_MESSAGE_HANDLER(WM_DRAWITEM, OnMenuMessage)
    FW_MESSAGE_HANDLER(WM_MEASUREITEM, OnMenuMessage)
    FW_MESSAGE_HANDLER(WM_ENTERIDLE, OnMenuMessage)
    FW_MESSAGE_HANDLER(WM_INITMENU, OnMenuMessage)
    FW_MESSAGE_HANDLER(WM_INITMENUPOPUP, OnMenuMessage)
    FW_MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
    FW_MESSAGE_HANDLER(WM_PARENTNOTIFY, OnParentNotify)
    FW_MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    FW_MESSAGE_HANDLER(WM_MENUBARLAYOUT, OnMenuBarLayout)
    FW_DEFAULT_REFLECTION_HANDLER()
    FW_END_MSG_MAP()

    // Traits of the control for the framework.
    static const CLSID& GetObjectCLSID() { return CLSID_Office; }
    static const DWORD kViewStatus = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
    static const UINT kClassStyle = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    static const LPCWSTR kClassCursor;
    static const int kClassBackground = COLOR_WINDOW + 1;
    static const DWORD kWindowStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;

    void FinalRelease();

    // IOffice
    STDMETHODIMP New(BSTR ProgIdOrTemplate) override;
    STDMETHODIMP Close() override;
    STDMETHODIMP Save(VARIANT vFile, VARIANT vAppendExtFileName) override;
    STDMETHODIMP Open(VARIANT vFile, VARIANT vReadOnly) override;
    STDMETHODIMP get_ExtObject(IDispatch** pVal) override;
    STDMETHODIMP ShowMenuBar() override;
    STDMETHODIMP DeleteFile(BSTR bstrFileName) override;
    STDMETHODIMP GetFileName(BSTR* bstrFileName) override;
    STDMETHODIMP EnableWindow(VARIANT_BOOL bEnable) override;
    STDMETHODIMP get_OleObject(IDispatch** pVal) override;
    STDMETHODIMP GetWindow(BSTR bstrWinType, IDispatch** ppDisp) override;
    STDMETHODIMP ShowFileDialog(VARIANT_BOOL bOpenFileDialog, VARIANT vDefExt, VARIANT vFileName,
                                VARIANT vFlags, VARIANT vFilter, BSTR* pVal) override;
    STDMETHODIMP EncryptPDF(BSTR bstrSrcFile, BSTR bstrEncryptFile, IDispatch* pCertificates) override;
    STDMETHODIMP get_Version(BSTR* pVal) override;
    STDMETHODIMP AddWatermark(BSTR bstrFile, VARIANT jsObject, VARIANT* pVal) override;
    STDMETHODIMP GetFileSystemObject(IDispatch** ppDisp) override;
    STDMETHODIMP PrintPreview() override;
    STDMETHODIMP ShellExecute(BSTR bstrFile, VARIANT vArgs) override;
    STDMETHODIMP GetShellIcon(BSTR bstrFile, VARIANT vBgColor, BSTR* bstrIconFile) override;
    STDMETHODIMP get_Saved(VARIANT_BOOL* pVal) override;
    STDMETHODIMP Print() override;
    STDMETHODIMP get_HWnd(UINT* pVal) override;
    STDMETHODIMP SetUpdateInfo(BSTR bstrIP, BSTR bstrPort, BSTR bstrUpdateFile) override;
    STDMETHODIMP put_AutoUpdate(VARIANT_BOOL newVal) override;
    STDMETHODIMP SetServerInfo(BSTR bstrProtocol, BSTR bstrHost, BSTR bstrPort) override;
    STDMETHODIMP put_AutoUpdateFile(BSTR newVal) override;
    STDMETHODIMP CreateBarCode(BSTR bstrBarCode, VARIANT* pVal) override;
    STDMETHODIMP BrowserForFolder(BSTR* pVal) override;
    STDMETHODIMP get_ActiveDocument(IDispatch** pVal) override;

    // IOffice2
    STDMETHODIMP OpenFromURL(BSTR url, VARIANT readOnly, VARIANT progId) override;
    STDMETHODIMP SaveToURL(BSTR url, VARIANT fieldName, VARIANT fileName, VARIANT formFields, VARIANT method,
                           BSTR* response) override;
    STDMETHODIMP get_DocumentURL(BSTR* pVal) override;
    STDMETHODIMP get_LastHTTPStatus(long* pVal) override;

    // IOffice3
    STDMETHODIMP get_Silent(VARIANT_BOOL* pVal) override;
    STDMETHODIMP put_Silent(VARIANT_BOOL newVal) override;

    // IDispatch: a box kept back by an earlier call is no part of this one.
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // The control's own operations, after the IOffice members.
    HRESULT InPlaceActivate(LONG iVerb, const RECT* prcPosRect) override;
    virtual HRESULT CreateExtObject(LPCWSTR pszProgId);
    virtual void GetDocRect(RECT* lprect);
    virtual HRESULT ActivateControl();

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* pClientSite) override;

    // IObjectWithSite: how a browser tells a control its page script made
    // (no client site then).
    STDMETHODIMP SetSite(IUnknown* pUnkSite) override;
    STDMETHODIMP GetSite(REFIID riid, void** ppvSite) override;

    // IOleCommandTarget
    STDMETHODIMP QueryStatus(const GUID* pguidCmdGroup, ULONG cCmds, OLECMD prgCmds[],
                             OLECMDTEXT* pCmdText) override;
    STDMETHODIMP Exec(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD nCmdexecopt, VARIANT* pvaIn,
                      VARIANT* pvaOut) override;

    // IFrameHookClient
    STDMETHODIMP Activate(short fActive) override;
    STDMETHODIMP OnAppActivate(short fActive) override;
    STDMETHODIMP OnFocusChange(short fGotFocus, HWND hwnd) override;

    // The site lock at the entry of a gated member, whichever way it was
    // called (the type library's Invoke reaches the same entry): its row in
    // security::kGatedMembers says whether this call is the lock's to decide
    // (pArg is the argument the row reads). S_OK, or E_ACCESSDENIED, logged
    // and described, for a page the lock refuses.
    HRESULT PassSiteLock(DISPID dispid, const VARIANT* pArg = nullptr);
    // Whether the site lock refuses the current page (nothing logged): such
    // a page is told leaf names only, never local paths.
    bool IsPageRefused();
    // What the page may learn of a local path: the path, or its leaf.
    std::wstring PathForPage(const std::wstring& path) override;

    // Gives a failing member's caller an error object whose description is
    // pszFormat filled in as by swprintf, and returns hr. Success codes
    // (a cancelled dialog's S_FALSE) pass through and report nothing. A box
    // the notifier kept back during the call is added to the description.
    HRESULT Fail(HRESULT hr, LPCWSTR pszFormat, ...);
    HRESULT ReportFailure(HRESULT hr, LPCWSTR pszText) override;

    // Opens m_log on the shared log file beside the DLL.
    HRESULT OpenLog() override;

    // What the script services are given.
    HWND OwnerWindow() override { return m_hWnd; }
    CLoger& ServiceLog() override { return m_log; }
    diag::CNotifier& Notifier() override { return m_notifier; }

protected:
    HRESULT OnDraw(fw::DrawInfo& di) override;
    const IID* DefaultSourceIID() override { return &DIID__IOfficeEvents; }

    // Events wait until the outermost document command has finished, so a
    // page never sees the control half-way through one (and a handler that
    // calls back finds it whole). Each command holds a CEventScope.
    class CEventScope {
    public:
        explicit CEventScope(COffice* pOwner) : m_pOwner(pOwner), m_notices(&pOwner->m_notifier) {
            ++m_pOwner->m_nCommandDepth;
        }
        ~CEventScope() {
            if (--m_pOwner->m_nCommandDepth == 0) m_pOwner->FirePendingEvents();
        }
        CEventScope(const CEventScope&) = delete;
        CEventScope& operator=(const CEventScope&) = delete;

    private:
        COffice* m_pOwner;
        // The document site's boxes go through the control's notifier.
        diag::CNotifier::CScope m_notices;
    };
    void QueueEvent(DISPID dispid, const std::wstring& name);
    void FirePendingEvents();
    // Immediate, throttled to about ten a second; bFinal always fires.
    void FireTransferProgress(ULONGLONG done, ULONGLONG total, bool bFinal);

    // Opening and saving without the events, for the commands built on them
    // (OpenFromURL names its document by its URL); *pName gets the file
    // opened or saved.
    // OpenFromURL and SaveToURL, and the description of their failures.
    HRESULT OpenFromURLSteps(BSTR url, VARIANT readOnly, VARIANT progId);
    HRESULT SaveToURLSteps(BSTR url, VARIANT fieldName, VARIANT fileName, VARIANT formFields, VARIANT method,
                           BSTR* response);
    HRESULT DescribeWebFailure(HRESULT hr, LPCWSTR pszFormat, LPCWSTR pszNoStatus, BSTR url);
    HRESULT LoadDocument(VARIANT vFile, VARIANT vReadOnly, std::wstring* pName, REFCLSID clsid = GUID_NULL);
    HRESULT LoadIntoNewSite(const std::wstring& name, VARIANT_BOOL bReadOnly, REFCLSID clsid,
                            fw::com_ptr<IDocObject>& site);
    static bool IsSingleDocumentFailure(HRESULT hr);
    HRESULT WriteDocument(VARIANT vFile, VARIANT vAppendExtFileName, std::wstring* pName);

    // One transfer with the wait cursor, painting, progress events, the log
    // line and LastHTTPStatus; step runs it on an open session.
    using TransferStep = std::function<HRESULT(web::CWebSession&, const web::ProgressCallback&)>;
    HRESULT RunTransfer(LPCWSTR pszVerb, const std::wstring& url, const TransferStep& step,
                        web::TransferResult* pResult);
    void DrawBorder(HDC hdc, const RECT& rcBounds);

    LRESULT OnDocCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnMouseMove(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnMenuMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnParentNotify(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnMenuBarLayout(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);

    // The document commands themselves, for the script's members (once the
    // site lock has let them through) and for the user's own commands (File
    // menu, commands of the document server), which the lock never refuses.
    HRESULT NewDocument(BSTR ProgIdOrTemplate) override;
    HRESULT OpenDocument(VARIANT vFile, VARIANT vReadOnly) override;
    HRESULT SaveDocument(VARIANT vFile, VARIANT vAppendExtFileName) override;
    // A box of the document commands, through the notifier.
    int ShowBox(LPCWSTR pszText, LPCWSTR pszCaption);
    // Whether Save(vFile) would write a file the script chose rather than
    // the user: a named path other than the document's own file.
    bool ScriptChoosesSaveTarget(const VARIANT& vFile);

    // Preparing a document site for New and Open.
    HRESULT CreateSite(fw::com_ptr<IDocObject>& site);
    static void DiscardSite(IDocObject* pSite);
    HRESULT PrepareSite(RECT* prc, fw::com_ptr<IUnknown>& identity);
    HRESULT InitializeSite(IDocObject* pSite, RECT* prc);
    // The document server's menus onto the bar.
    void ShowServerMenus(IDocObject* pSite);
    // The save dialog of Save, for the document of pSite.
    HRESULT AskSaveName(IDocObject* pSite, std::wstring* pName);


    // The control's identity, for the frame-window hook.
    fw::com_ptr<IUnknown> Identity();
    // Makes the control the hook's active component and tells the site the
    // application is active (a click in the control or its document).
    void ActivateFromClick();
    // The document rectangle handed to the site's OnNotifySizeChange.
    void NotifySiteOfDocRect();

    BOOL m_bActivated = FALSE;
    fw::com_ptr<IDocObject> m_spDocObject;
    // What the sites are given as the control's command target.
    fw::com_ptr<CCommandRelay> m_spRelay;
    LONG m_nBorder = 3;
    CFrameWndHook* m_pWndHook = nullptr;
    CMenuBar m_menuBar;
    USHORT m_commandMask = 0xFFFF;
    CVersionLabel m_versionLabel;
    fw::com_ptr<IDispatch> m_pExtObject;
    CLoger m_log;
    CSiteLock m_siteLock;
    fw::com_ptr<IUnknown> m_spObjectSite;
    diag::CNotifier m_notifier;

    // The script services, each given the control as its narrow context.
    services::CDialogService m_dialogs{*this};
    services::CShellService m_shell{*this};
    services::CSettingsService m_settings{*this};
    services::CBitmapService m_bitmaps{*this};
    services::CExtensionService m_extension{*this};
    services::CCommandDispatcher m_commands{*this, *this};

    fw::CConnectionPoint m_cpEvents{this, this, DIID__IOfficeEvents};
    struct PendingEvent {
        DISPID dispid;
        std::wstring name;
    };
    std::vector<PendingEvent> m_pendingEvents;
    int m_nCommandDepth = 0;
    DWORD m_dwLastProgressTick = 0;
    ULONGLONG m_ullLastProgress = 0;  // the last bytesDone fired
    bool m_bProgressWhole = false;    // ... and it was the whole
    bool m_bTransferStarted = false;  // this call made a request
    bool m_bTransferring = false;
    std::wstring m_strDocumentURL;
    long m_lLastHTTPStatus = 0;
};
