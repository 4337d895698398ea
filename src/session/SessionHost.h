// What the document session asks of the control that owns it. The session
// never sees the control: it calls up through this table alone.
#pragma once

#include <docobj.h>

#include <string>

#include "diag/Notifier.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"
#include "platform/HelperLibrary.h"

namespace session {

class ISessionHost {
public:
    // The window documents show in; null for a control a script host made.
    virtual HWND HostWindow() = 0;
    // Where in that window the document goes.
    virtual void GetDocRect(RECT* prc) = 0;
    // Focus and the frame hook's attention, before a document is made.
    virtual HRESULT ActivateControl() = 0;
    // A counted reference to the control, to hold it through a call whose
    // handlers may release it.
    virtual fw::com_ptr<IUnknown> HostIdentity() = 0;
    // What a new site is given as the control's command target.
    virtual IOleCommandTarget* SiteCommandTarget() = 0;
    // The document server's menus onto the menu bar, and off again.
    virtual void ShowDocumentMenus(IDocObject* pSite) = 0;
    virtual void RemoveDocumentMenus() = 0;
    // The extension object of a document of class pszProgId, made into
    // object and introduced to the control (a box says why it failed).
    virtual HRESULT CreateExtObject(LPCWSTR pszProgId, fw::com_ptr<IDispatch>& object, IDocObject* pSite) = 0;
    // The open or save dialog: S_OK with the chosen name, S_FALSE when the
    // user cancelled.
    virtual HRESULT AskFileName(BOOL bOpen, std::wstring* pName) = 0;

    virtual CLoger& SessionLog() = 0;
    virtual diag::CNotifier& Notifier() = 0;
    // What the hosting page may learn of a local path.
    virtual std::wstring PathForPage(const std::wstring& path) = 0;
    // Gives the caller an error object described by pszText; returns hr.
    virtual HRESULT ReportFailure(HRESULT hr, LPCWSTR pszText) = 0;

protected:
    ~ISessionHost() = default;
};

}  // namespace session
