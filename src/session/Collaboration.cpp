// Shared documents on a WebDAV server: check-out (an exclusive lock, then
// the download), check-in (a save under the lock, then the unlock), undoing
// a check-out, the lock's refresh, and what a refused save tells the script.
#include "session/DocumentSession.h"

#include <lmcons.h>

#include <string>

#include "session/ScriptArgs.h"

namespace session {
namespace {

const HRESULT E_NOT_CHECKED_OUT = static_cast<HRESULT>(0x80041112);
// How long a weak ETag is given to turn strong, and how often it is asked.
const DWORD kSettleMs = 2500;
const DWORD kSettlePollMs = 200;

// Log formats.
const wchar_t kLogUnlockFailed[] = L"解除锁定失败\tURL:%s\thr=%d";
const wchar_t kLogRefreshFailed[] = L"刷新锁定失败\tURL:%s\thr=%d";

// Error descriptions.
const wchar_t kErrConflict[] = L"the document was changed on the server since it was opened (%s)";
const wchar_t kErrLockedBy[] = L"文档已被他人签出: %s (%s)";
const wchar_t kErrCheckOut[] = L"签出文档失败: %s (HTTP状态 %ld)";
const wchar_t kErrCheckOutNoStatus[] = L"签出文档失败: %s";
const wchar_t kErrCheckIn[] = L"签入文档失败: %s (HTTP状态 %ld)";
const wchar_t kErrCheckInNoStatus[] = L"签入文档失败: %s";
const wchar_t kErrNotCheckedOut[] = L"文档没有被本控件签出";
const wchar_t kErrOverwrite[] = L"覆盖网址上的文档失败: %s (HTTP状态 %ld)";
const wchar_t kErrOverwriteNoStatus[] = L"覆盖网址上的文档失败: %s";
const wchar_t kErrNoWindow[] = L"签出文档失败: 控件没有窗口 (文档只能显示在网页或ActiveX容器中的控件里) %s";

// The Windows user name: who a lock says holds it, unless the script says.
std::wstring UserName() {
    wchar_t sz[UNLEN + 1] = {};
    DWORD cch = ARRAYSIZE(sz);
    return GetUserNameW(sz, &cch) ? sz : L"";
}

bool IsTrue(const VARIANT& v) {
    VARIANT b;
    VariantInit(&b);
    if (FAILED(VariantChangeType(&b, const_cast<VARIANT*>(&v), 0, VT_BOOL))) return false;
    return b.boolVal != VARIANT_FALSE;
}

}  // namespace

HRESULT CDocumentSession::DescribeRefusedSave(HRESULT hr, const std::wstring& url) {
    const std::wstring loggable = web::LoggableUrl(url);
    if (hr == web::E_HTTP_CONFLICT) {
        QueueEvent(DISPID_SAVECONFLICT, url);
        return Fail(hr, kErrConflict, loggable.c_str());
    }
    // Locked by someone else: who, as the server says.
    m_strLockOwner.clear();
    web::CWebSession session;
    if (SUCCEEDED(OpenWebSession(session))) session.QueryLockOwner(url, &m_strLockOwner);
    return Fail(hr, kErrLockedBy, m_strLockOwner.c_str(), loggable.c_str());
}

HRESULT CDocumentSession::CheckOut(BSTR url, VARIANT owner, VARIANT progId) {
    SetErrorInfo(0, nullptr);
    m_bTransferStarted = false;
    HRESULT hr = [&]() -> HRESULT {
        CCommandScope scope(m_events, m_host.Notifier());
        if (!IsRequestableUrl(url)) return E_INVALIDARG;
        std::wstring strOwner;
        if (FAILED(OptionalString(owner, L"", &strOwner)) || web::HasControlChar(strOwner)) return E_INVALIDARG;
        if (strOwner.empty()) strOwner = UserName();
        CLSID clsid = GUID_NULL;
        HRESULT hrStep = DocumentClass(progId, &clsid);
        if (FAILED(hrStep)) return hrStep;
        if (m_bTransferring) return HRESULT_FROM_WIN32(ERROR_BUSY);
        const std::wstring strUrl(url);
        if (!m_host.HostWindow()) return Fail(E_UNEXPECTED, kErrNoWindow, web::LoggableUrl(strUrl).c_str());

        // The lock first: what is downloaded then is what nobody else can
        // change until the check-in.
        m_strLockOwner.clear();
        web::LockInfo lock;
        hrStep = RunTransfer(L"LOCK", strUrl,
                             [&](web::CWebSession& session, const web::ProgressCallback&) {
                                 return session.Lock(strUrl, strOwner, web::CWebSession::LockTimeoutSeconds(), &lock);
                             },
                             &lock);
        if (hrStep == web::E_HTTP_LOCKED) {
            m_strLockOwner = lock.owner;
            return Fail(hrStep, kErrLockedBy, m_strLockOwner.c_str(), web::LoggableUrl(strUrl).c_str());
        }
        if (FAILED(hrStep)) return hrStep;
        VARIANT writable;
        VariantInit(&writable);
        writable.vt = VT_BOOL;
        writable.boolVal = VARIANT_FALSE;
        hrStep = DownloadAndOpen(strUrl, writable, clsid);
        if (hrStep != S_OK) {
            // Nothing was checked out after all: the lock goes again.
            web::CWebSession session;
            if (SUCCEEDED(OpenWebSession(session))) session.Unlock(strUrl, lock.lockToken);
            return FAILED(hrStep) ? hrStep : E_ABORT;
        }
        m_lock = lock;
        m_strLockUrl = strUrl;
        // Refreshed at half its time, so a slow answer never lets it lapse.
        const DWORD seconds = m_lock.timeoutSeconds ? m_lock.timeoutSeconds : web::CWebSession::LockTimeoutSeconds();
        SetTimer(m_host.HostWindow(), kLockRefreshTimer, seconds * 500, nullptr);
        QueueEvent(DISPID_DOCUMENTOPENED, strUrl);
        QueueEvent(DISPID_DOCUMENTCHECKEDOUT, strUrl);
        return S_OK;
    }();
    return DescribeWebFailure(hr, kErrCheckOut, kErrCheckOutNoStatus, url);
}

HRESULT CDocumentSession::CheckIn(VARIANT keepCheckedOut) {
    SetErrorInfo(0, nullptr);
    m_bTransferStarted = false;
    fw::unique_bstr bstrUrl(m_strLockUrl.c_str());
    return DescribeWebFailure(CheckInSteps(keepCheckedOut), kErrCheckIn, kErrCheckInNoStatus, bstrUrl.get());
}
HRESULT CDocumentSession::CheckInSteps(VARIANT keepCheckedOut) {
    CCommandScope scope(m_events, m_host.Notifier());
    if (!IsMissing(keepCheckedOut) && keepCheckedOut.vt != VT_BOOL && keepCheckedOut.vt != VT_I2 &&
        keepCheckedOut.vt != VT_I4)
        return E_INVALIDARG;
    if (!IsCheckedOut() || !m_spDocObject) return Fail(E_NOT_CHECKED_OUT, kErrNotCheckedOut);
    const std::wstring url = m_strLockUrl;
    fw::unique_bstr response;
    HRESULT hr = Upload(url, true, PutMode::Conditional, std::wstring(), std::wstring(), {}, response.put());
    if (FAILED(hr)) return hr;
    if (!IsTrue(keepCheckedOut)) ReleaseLock();
    QueueEvent(DISPID_DOCUMENTCHECKEDIN, url);
    return S_OK;
}

HRESULT CDocumentSession::UndoCheckOut() {
    SetErrorInfo(0, nullptr);
    if (!IsCheckedOut()) return Fail(E_NOT_CHECKED_OUT, kErrNotCheckedOut);
    CCommandScope scope(m_events, m_host.Notifier());
    ReleaseLock();
    // Closed unsaved: what the user typed since the check-out goes.
    return Close();
}

HRESULT CDocumentSession::OverwriteURL(BSTR url, BSTR* response) {
    SetErrorInfo(0, nullptr);
    m_bTransferStarted = false;
    HRESULT hr = [&]() -> HRESULT {
        CCommandScope scope(m_events, m_host.Notifier());
        if (!response) return E_POINTER;
        if (!IsRequestableUrl(url)) return E_INVALIDARG;
        return Upload(std::wstring(url), true, PutMode::Overwrite, std::wstring(), std::wstring(), {}, response);
    }();
    return DescribeWebFailure(hr, kErrOverwrite, kErrOverwriteNoStatus, url);
}

void CDocumentSession::OnLockRefreshTimer() {
    if (!IsCheckedOut() || m_bTransferring) return;
    web::CWebSession session;
    HRESULT hr = OpenWebSession(session);
    web::LockInfo renewed;
    if (SUCCEEDED(hr))
        hr = session.RefreshLock(m_strLockUrl, m_lock.lockToken, web::CWebSession::LockTimeoutSeconds(), &renewed);
    if (FAILED(hr)) Log().Write(kLogRefreshFailed, web::LoggableUrl(m_strLockUrl).c_str(), hr);
}

void CDocumentSession::ReleaseLock() {
    if (!IsCheckedOut()) return;
    if (HWND hwnd = m_host.HostWindow()) KillTimer(hwnd, kLockRefreshTimer);
    const web::LockInfo lock = m_lock;
    const std::wstring url = m_strLockUrl;
    m_lock = web::LockInfo();
    m_strLockUrl.clear();
    web::CWebSession session;
    HRESULT hr = OpenWebSession(session);
    if (SUCCEEDED(hr)) hr = session.Unlock(url, lock.lockToken);
    if (FAILED(hr)) Log().Write(kLogUnlockFailed, web::LoggableUrl(url).c_str(), hr);
}

void CDocumentSession::ReadValidators(const std::wstring& url) {
    web::CWebSession session;
    web::TransferResult result;
    if (SUCCEEDED(OpenWebSession(session)) && SUCCEEDED(session.Head(url, &result)))
        m_validators = web::Validators(result);
}

// A weak ETag is a file changed within the second it was served: a date
// cannot tell a change within that same second, and If-Match never matches
// a weak tag. So it is asked again once the second has passed: the strong
// tag then stands for what was read, or, when the file changed meanwhile,
// the old tag's value makes the save fail as a conflict rather than undo
// that change. Done before the save that needs it, not after the open or
// save that got the weak tag: neither waits, and a save seconds later finds
// the tag strong at the first asking.
void CDocumentSession::SettleValidators(const std::wstring& url) {
    if (!m_validators.weak()) return;
    web::CWebSession session;
    if (FAILED(OpenWebSession(session))) return;
    const std::wstring read = m_validators.etag.substr(2);
    for (const DWORD start = GetTickCount(); GetTickCount() - start < kSettleMs; Sleep(kSettlePollMs)) {
        web::TransferResult result;
        if (FAILED(session.Head(url, &result))) return;
        const web::Validators now(result);
        if (now.etag.empty() || now.weak()) continue;
        m_validators.etag = read;
        m_validators.lastModified = now.lastModified;
        return;
    }
}

void CDocumentSession::ForgetServerState() {
    ReleaseLock();
    m_strDocumentURL.clear();
    m_validators = web::Validators();
}

}  // namespace session
