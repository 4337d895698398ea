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
#include "security/SiteLock.h"
#include "services/Bitmaps.h"
#include "services/CommandDispatch.h"
#include "services/Dialogs.h"
#include "services/ExtObject.h"
#include "services/ServiceContext.h"
#include "services/Settings.h"
#include "services/Shell.h"
#include "session/DocumentSession.h"
#include "session/EventQueue.h"
#include "session/SessionHost.h"
#include "ui/FrameWndHook.h"
#include "ui/MenuBar.h"

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
                public session::ISessionHost,
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
    void GetDocRect(RECT* lprect) override;
    HRESULT ActivateControl() override;

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

    // Whether the page hosting the control may use a member that reaches the
    // user's files, programs or registry: S_OK, or E_ACCESSDENIED (logged)
    // for a page the site lock refuses. Such members ask it first.
    HRESULT CheckSiteLock(LPCWSTR pszMember) override;
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

    // What the document session is given.
    HWND HostWindow() override { return m_hWnd; }
    fw::com_ptr<IUnknown> HostIdentity() override { return Identity(); }
    IOleCommandTarget* SiteCommandTarget() override;
    void ShowDocumentMenus(IDocObject* pSite) override;
    void RemoveDocumentMenus() override;
    HRESULT CreateExtObject(LPCWSTR pszProgId, fw::com_ptr<IDispatch>& object, IDocObject* pSite) override;
    HRESULT AskFileName(BOOL bOpen, std::wstring* pName) override;
    CLoger& SessionLog() override { return m_log; }

protected:
    HRESULT OnDraw(fw::DrawInfo& di) override;
    const IID* DefaultSourceIID() override { return &DIID__IOfficeEvents; }

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

    // The control's identity, for the frame-window hook.
    fw::com_ptr<IUnknown> Identity();
    // Makes the control the hook's active component and tells the site the
    // application is active (a click in the control or its document).
    void ActivateFromClick();
    // The document rectangle handed to the site's OnNotifySizeChange.
    void NotifySiteOfDocRect();

    BOOL m_bActivated = FALSE;
    // What the sites are given as the control's command target.
    fw::com_ptr<CCommandRelay> m_spRelay;
    LONG m_nBorder = 3;
    CFrameWndHook* m_pWndHook = nullptr;
    CMenuBar m_menuBar;
    USHORT m_commandMask = 0xFFFF;
    CVersionLabel m_versionLabel;
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

    // The page's events, and the document session that raises most of them.
    fw::CConnectionPoint m_cpEvents{this, this, DIID__IOfficeEvents};
    session::CEventQueue m_events{m_cpEvents, [this] { return Identity(); }};
    session::CDocumentSession m_session{*this, m_events, m_siteLock};
    // The File menu's commands run on the session.
    services::CCommandDispatcher m_commands{*this, m_session};
};
