// The document session: the document site the control shows, New, Open,
// Save and Close (a new document loads beside the open one and replaces it
// only once it has loaded), and documents on web servers (OpenFromURL,
// SaveToURL, the document's URL and the last HTTP status). Its events go
// through the event queue; everything else it needs of the control comes
// through ISessionHost.
#pragma once

#include <docobj.h>

#include <functional>
#include <string>
#include <vector>

#include "fw/Raii.h"
#include "module/VellixIdl.h"
#include "security/SiteLock.h"
#include "services/CommandDispatch.h"
#include "session/EventQueue.h"
#include "session/SessionHost.h"
#include "web/WebSession.h"

namespace session {

class CDocumentSession : public services::IDocumentCommands {
public:
    CDocumentSession(ISessionHost& host, CEventQueue& events, CSiteLock& siteLock)
        : m_host(host), m_events(events), m_siteLock(siteLock) {}
    CDocumentSession(const CDocumentSession&) = delete;
    CDocumentSession& operator=(const CDocumentSession&) = delete;

    // The open document's site and its extension object; null when none.
    IDocObject* Site() const { return m_spDocObject.get(); }
    bool HasDocument() const { return static_cast<bool>(m_spDocObject); }
    fw::com_ptr<IDispatch>& ExtObject() { return m_pExtObject; }
    // Takes pSite as the open document's site as it is, nothing loaded
    // (a site the caller made and prepared itself).
    void Adopt(IDocObject* pSite) { m_spDocObject = pSite; }

    // The commands, past the site lock: the script's members (once the lock
    // has let them through) and the user's own (File menu, commands of the
    // document server).
    HRESULT NewDocument(BSTR ProgIdOrTemplate) override;
    HRESULT OpenDocument(VARIANT vFile, VARIANT vReadOnly) override;
    HRESULT SaveDocument(VARIANT vFile, VARIANT vAppendExtFileName) override;
    HRESULT Close();

    // Whether Save(vFile) would write a file the script chose rather than
    // the user: a named path other than the document's own file.
    bool ScriptChoosesSaveTarget(const VARIANT& vFile);

    // The questions about the open document, as IOffice answers them.
    HRESULT GetFileName(BSTR* pName);
    HRESULT GetOleObject(IDispatch** pVal);
    HRESULT GetActiveDocument(IDispatch** pVal);
    HRESULT GetSaved(VARIANT_BOOL* pVal);

    // Documents on web servers, each failure described (naming the URL).
    HRESULT OpenFromURL(BSTR url, VARIANT readOnly, VARIANT progId);
    HRESULT SaveToURL(BSTR url, VARIANT fieldName, VARIANT fileName, VARIANT formFields, VARIANT method,
                      BSTR* response);
    const std::wstring& DocumentURL() const { return m_strDocumentURL; }
    long LastHTTPStatus() const { return m_lLastHTTPStatus; }

    // Shared documents on a WebDAV server. A PUT back to the document's own
    // URL is conditional on what was downloaded, so nobody's save is lost
    // silently; OverwriteURL is the script's explicit exception. A checked
    // out document holds an exclusive lock, refreshed while it is open and
    // released whenever it closes.
    HRESULT CheckOut(BSTR url, VARIANT owner, VARIANT progId);
    HRESULT CheckIn(VARIANT keepCheckedOut);
    HRESULT UndoCheckOut();
    HRESULT OverwriteURL(BSTR url, BSTR* response);
    bool IsCheckedOut() const { return !m_lock.lockToken.empty(); }
    // Who holds the lock that refused the last check-out or save.
    const std::wstring& LockOwner() const { return m_strLockOwner; }
    // The host's timer kLockRefreshTimer has come round.
    void OnLockRefreshTimer();
    static const UINT_PTR kLockRefreshTimer = 0x5643;

private:
    using CCommandScope = CEventQueue::CScope;

    // pszFormat filled in as by swprintf as the failure's description;
    // success codes pass through.
    HRESULT Fail(HRESULT hr, LPCWSTR pszFormat, ...);
    int ShowBox(LPCWSTR pszText, LPCWSTR pszCaption);
    CLoger& Log() { return m_host.SessionLog(); }
    void Repaint();
    // A local name goes to a refused page as its leaf; a URL is the page's own.
    void QueueEvent(DISPID dispid, const std::wstring& name);

    // Opening and saving without the events, for the commands built on them
    // (OpenFromURL names its document by its URL); *pName gets the file
    // opened or saved.
    HRESULT LoadDocument(VARIANT vFile, VARIANT vReadOnly, std::wstring* pName, REFCLSID clsid = GUID_NULL);
    HRESULT LoadIntoNewSite(const std::wstring& name, VARIANT_BOOL bReadOnly, REFCLSID clsid,
                            fw::com_ptr<IDocObject>& site);
    static bool IsSingleDocumentFailure(HRESULT hr);
    HRESULT WriteDocument(VARIANT vFile, VARIANT vAppendExtFileName, std::wstring* pName);

    // Preparing a document site for New and Open.
    HRESULT CreateSite(fw::com_ptr<IDocObject>& site);
    static void DiscardSite(IDocObject* pSite);
    HRESULT PrepareSite(RECT* prc);
    HRESULT InitializeSite(IDocObject* pSite, RECT* prc);
    // The save dialog of Save, for the document of pSite.
    HRESULT AskSaveName(IDocObject* pSite, std::wstring* pName);

    // OpenFromURL and SaveToURL, and the description of their failures.
    HRESULT OpenFromURLSteps(BSTR url, VARIANT readOnly, VARIANT progId);
    HRESULT SaveToURLSteps(BSTR url, VARIANT fieldName, VARIANT fileName, VARIANT formFields, VARIANT method,
                           BSTR* response);
    HRESULT DescribeWebFailure(HRESULT hr, LPCWSTR pszFormat, LPCWSTR pszNoStatus, BSTR url);
    HRESULT DocumentClass(const VARIANT& progId, CLSID* pClsid);
    HRESULT DownloadAndOpen(const std::wstring& url, VARIANT readOnly, const CLSID& clsid);
    // m_validators as the server gives them now (one HEAD).
    void ReadValidators(const std::wstring& url);
    // Makes a weak m_validators a strong ETag where the server will give one.
    void SettleValidators(const std::wstring& url);
    // How an upload treats what the server holds.
    enum class PutMode { Plain, Conditional, Overwrite };
    HRESULT Upload(const std::wstring& url, bool bPut, PutMode mode, const std::wstring& field,
                   const std::wstring& fileName, const std::vector<web::FormField>& fields, BSTR* response);
    HRESULT CheckInSteps(VARIANT keepCheckedOut);
    // The failure of a save the server refused: someone else's change or lock.
    HRESULT DescribeRefusedSave(HRESULT hr, const std::wstring& url);
    // Unlocks the checked-out document's lock (logged when it fails) and
    // forgets it.
    void ReleaseLock();
    void ForgetServerState();
    // One transfer with the wait cursor, painting, progress events, the log
    // line and LastHTTPStatus; step runs it on an open session.
    using TransferStep = std::function<HRESULT(web::CWebSession&, const web::ProgressCallback&)>;
    // A web session whose every request, redirects too, goes only where the
    // page may send it, with the sign-in prompt where a user can answer.
    HRESULT OpenWebSession(web::CWebSession& session);
    HRESULT RunTransfer(LPCWSTR pszVerb, const std::wstring& url, const TransferStep& step,
                        web::TransferResult* pResult);

    ISessionHost& m_host;
    CEventQueue& m_events;
    CSiteLock& m_siteLock;
    fw::com_ptr<IDocObject> m_spDocObject;
    fw::com_ptr<IDispatch> m_pExtObject;
    bool m_bTransferStarted = false;  // this call made a request
    bool m_bTransferring = false;
    std::wstring m_strDocumentURL;
    long m_lLastHTTPStatus = 0;
    // What the server said of m_strDocumentURL when it was last read or
    // written: the condition of the next PUT there.
    web::Validators m_validators;
    web::LockInfo m_lock;  // no token: not checked out
    std::wstring m_strLockUrl;
    std::wstring m_strLockOwner;
};

}  // namespace session
