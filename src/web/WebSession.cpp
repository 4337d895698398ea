#include "web/WebSession.h"

#include <msxml2.h>
#include <objbase.h>

#include <algorithm>

namespace web {

namespace {

const wchar_t kAgent[] = L"Vellix/1.0";
const wchar_t kSettingsKey[] = L"Software\\Quorvane\\Tollan3.0\\Web";
const wchar_t kTimeoutValue[] = L"TimeoutMs";
const DWORD kDefaultTimeoutMs = 60000;
const wchar_t kDeadlineValue[] = L"DeadlineMs";
const DWORD kDefaultDeadlineMs = 10 * 60 * 1000;
const wchar_t kMaxDocumentValue[] = L"MaxDocumentBytes";
const DWORD kDefaultMaxDocument = 1u << 30;
const wchar_t kMaxResponseValue[] = L"MaxResponseBytes";
const wchar_t kLockTimeoutValue[] = L"LockTimeoutSeconds";
const DWORD kDefaultLockTimeout = 600;
const wchar_t kTransferFolder[] = L"VellixWeb";
const int kMaxRedirects = 10;
const DWORD kChunk = 64 * 1024;
// An upload's answer is text for the page, not a document.
const DWORD kDefaultMaxResponse = 16 * 1024 * 1024;
// Answers to the sign-in prompt that the server may refuse before the
// request ends as unsigned.
const int kMaxSignInPrompts = 3;
const DWORD kRequestFlags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                            INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_UI;
const wchar_t kDavNamespace[] = L"DAV:";
const wchar_t kXmlContentType[] = L"text/xml; charset=\"utf-8\"";

// A positive DWORD setting of the Web key, or its default.
DWORD WebSetting(const wchar_t* pszName, DWORD dwDefault) {
    DWORD value = 0, cb = sizeof(value), type = 0;
    fw::unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS &&
        RegQueryValueExW(key.get(), pszName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &cb) == ERROR_SUCCESS &&
        type == REG_DWORD && value > 0)
        return value;
    return dwDefault;
}

// Whether the file holds needle anywhere (across chunk borders too).
bool FileContains(const std::wstring& path, const std::string& needle) {
    fw::unique_hfile in(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return false;
    std::string window;
    std::vector<char> buffer(kChunk);
    DWORD cb = 0;
    while (ReadFile(in.get(), buffer.data(), kChunk, &cb, nullptr) && cb > 0) {
        window.append(buffer.data(), cb);
        if (window.find(needle) != std::string::npos) return true;
        window.erase(0, window.size() - std::min(window.size(), needle.size() - 1));
    }
    return false;
}

HRESULT LastWinInetError() {
    DWORD err = GetLastError();
    return err ? HRESULT_FROM_WIN32(err) : E_FAIL;
}

std::string ToUtf8(const std::wstring& s) {
    if (s.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n, nullptr, nullptr);
    return out;
}

// A header parameter's value: no quote or line break can end it early.
std::string QuotedParam(const std::wstring& s) {
    std::string out;
    for (char c : ToUtf8(s)) {
        if (c == '"')
            out += "%22";
        else if (c == '\r' || c == '\n')
            out += ' ';
        else
            out += c;
    }
    return out;
}

std::string NewBoundary() {
    GUID g;
    CoCreateGuid(&g);
    char sz[80];
    wsprintfA(sz, "----VellixFormBoundary%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
              g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return sz;
}

std::wstring QueryHeader(HINTERNET hRequest, DWORD dwInfo) {
    std::wstring value(256, L'\0');
    DWORD cb = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (!HttpQueryInfoW(hRequest, dwInfo, &value[0], &cb, nullptr)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::wstring();
        value.assign(cb / sizeof(wchar_t) + 1, L'\0');
        if (!HttpQueryInfoW(hRequest, dwInfo, &value[0], &cb, nullptr)) return std::wstring();
    }
    value.resize(cb / sizeof(wchar_t));
    return value;
}

// A header HTTP_QUERY names no constant for.
std::wstring QueryCustomHeader(HINTERNET hRequest, const wchar_t* pszName) {
    std::wstring value(std::max<size_t>(wcslen(pszName) + 1, 256), L'\0');
    for (int i = 0; i < 2; ++i) {
        wcscpy(&value[0], pszName);
        DWORD cb = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (HttpQueryInfoW(hRequest, HTTP_QUERY_CUSTOM, &value[0], &cb, nullptr)) {
            value.resize(cb / sizeof(wchar_t));
            return value;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        value.assign(cb / sizeof(wchar_t) + 1, L'\0');
    }
    return std::wstring();
}

// The timer of one blocking WinINet call: a call that failed after waiting
// out the timeout timed out, whatever error the stack reports for it (some
// report the socket's abort instead).
class CWait {
public:
    explicit CWait(DWORD dwTimeoutMs) : m_dwTimeoutMs(dwTimeoutMs), m_dwStart(GetTickCount()) {}
    void Restart() { m_dwStart = GetTickCount(); }
    HRESULT Failed() const {
        DWORD err = GetLastError();
        if (err != ERROR_INTERNET_TIMEOUT && GetTickCount() - m_dwStart >= m_dwTimeoutMs - m_dwTimeoutMs / 10 &&
            (err == 0 || err == ERROR_INTERNET_CONNECTION_ABORTED || err == ERROR_INTERNET_CONNECTION_RESET))
            err = ERROR_INTERNET_TIMEOUT;
        return err ? HRESULT_FROM_WIN32(err) : E_FAIL;
    }

private:
    DWORD m_dwTimeoutMs;
    DWORD m_dwStart;
};

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

HRESULT StatusResult(DWORD status) {
    if (status >= 200 && status < 300) return S_OK;
    if (status == 404 || status == 410) return E_HTTP_NOT_FOUND;
    if (status == 412) return E_HTTP_CONFLICT;
    if (status == 423) return E_HTTP_LOCKED;
    return E_HTTP_STATUS;
}

DWORD QueryStatus(HINTERNET hRequest) {
    DWORD status = 0, cb = sizeof(status);
    if (!HttpQueryInfoW(hRequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &cb, nullptr)) return 0;
    return status;
}

// What a request fails with on a kept-alive connection the server had
// already closed, before any answer: a TLS one still looks alive to WinINet
// here (the server's closing alert is data to read), so it is reused, and
// the request dies on it with one of these.
bool IsStaleConnectionFailure(HRESULT hr) {
    return hr == HRESULT_FROM_WIN32(ERROR_INTERNET_SECURITY_CHANNEL_ERROR) ||
           hr == HRESULT_FROM_WIN32(ERROR_INTERNET_CONNECTION_RESET) ||
           hr == HRESULT_FROM_WIN32(ERROR_INTERNET_CONNECTION_ABORTED) ||
           hr == HRESULT_FROM_WIN32(ERROR_HTTP_INVALID_SERVER_RESPONSE);
}

// Text as XML character data, in UTF-8.
std::string XmlText(const std::wstring& s) {
    std::string out;
    for (char c : ToUtf8(s)) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

// A lock token as it goes between angle brackets in a header; empty when
// it could not be one (a bracket, space or control character would let it
// end the header's list early or add a header).
std::wstring BareToken(std::wstring token) {
    if (token.size() >= 2 && token.front() == L'<' && token.back() == L'>') token = token.substr(1, token.size() - 2);
    if (token.find_first_of(L"<>") != std::wstring::npos ||
        std::any_of(token.begin(), token.end(), [](wchar_t c) { return c <= L' '; }))
        return std::wstring();
    return token;
}

// "Second-600" as 600, "Infinite" as LockInfo::kInfiniteLock; 0 unknown.
DWORD LockSeconds(const std::wstring& timeout) {
    if (_wcsicmp(timeout.c_str(), L"Infinite") == 0) return LockInfo::kInfiniteLock;
    if (_wcsnicmp(timeout.c_str(), L"Second-", 7) != 0) return 0;
    const unsigned long long n = _wcstoui64(timeout.c_str() + 7, nullptr, 10);
    return static_cast<DWORD>(std::min<unsigned long long>(n, LockInfo::kInfiniteLock - 1));
}

// COM for the parser on this thread, for as long as the object lives; a
// thread already in an apartment of either kind keeps it.
class CComForThread {
public:
    CComForThread() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~CComForThread() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    CComForThread(const CComForThread&) = delete;
    CComForThread& operator=(const CComForThread&) = delete;

private:
    HRESULT m_hr;
};

// The lock a WebDAV answer describes (a LOCK's prop, a PROPFIND's
// multistatus), read with the system's XML parser, MSXML: it knows the
// namespaces, entities and character references a server may use, so
// elements are matched by namespace and local name, never by prefix.
class CActiveLock {
public:
    // S_OK: the answer names an active lock; S_FALSE: it names none.
    HRESULT Read(const std::string& answer) {
        CComForThread com;
        CLSID clsid;
        HRESULT hr = CLSIDFromProgID(L"Msxml2.DOMDocument.3.0", &clsid);
        if (FAILED(hr)) return hr;
        fw::com_ptr<IXMLDOMDocument> doc;
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument, doc.put_void());
        if (FAILED(hr)) return hr;
        // Nothing outside the answer is fetched or checked.
        doc->put_async(VARIANT_FALSE);
        doc->put_validateOnParse(VARIANT_FALSE);
        doc->put_resolveExternals(VARIANT_FALSE);
        std::wstring text(MultiByteToWideChar(CP_UTF8, 0, answer.data(), static_cast<int>(answer.size()), nullptr, 0),
                          L'\0');
        if (!text.empty())
            MultiByteToWideChar(CP_UTF8, 0, answer.data(), static_cast<int>(answer.size()), &text[0],
                                static_cast<int>(text.size()));
        VARIANT_BOOL bLoaded = VARIANT_FALSE;
        hr = doc->loadXML(fw::unique_bstr(text.c_str()).get(), &bLoaded);
        if (FAILED(hr) || !bLoaded) return HRESULT_FROM_WIN32(ERROR_HTTP_INVALID_SERVER_RESPONSE);
        fw::com_ptr<IXMLDOMNode> lock = Find(doc.get(), L"activelock", 0);
        if (!lock) return S_FALSE;
        owner = Text(Find(lock.get(), L"owner", 0).get());
        timeout = Text(Find(lock.get(), L"timeout", 0).get());
        return S_OK;
    }

    std::wstring owner;
    std::wstring timeout;

private:
    // The first element DAV:name at or below node, depth first.
    static fw::com_ptr<IXMLDOMNode> Find(IXMLDOMNode* node, const wchar_t* name, int depth) {
        // Answers are shallow; a deep one is no answer of a DAV server.
        if (!node || depth > 32) return nullptr;
        DOMNodeType type;
        fw::unique_bstr ns, local;
        if (SUCCEEDED(node->get_nodeType(&type)) && type == NODE_ELEMENT && SUCCEEDED(node->get_namespaceURI(ns.put())) &&
            SUCCEEDED(node->get_baseName(local.put())) && wcscmp(ns.c_str(), kDavNamespace) == 0 &&
            wcscmp(local.c_str(), name) == 0)
            return fw::com_ptr<IXMLDOMNode>(node);
        fw::com_ptr<IXMLDOMNode> child, next;
        node->get_firstChild(child.put());
        while (child) {
            if (fw::com_ptr<IXMLDOMNode> found = Find(child.get(), name, depth + 1)) return found;
            child->get_nextSibling(next.put());
            child = std::move(next);
        }
        return nullptr;
    }
    static std::wstring Text(IXMLDOMNode* node) {
        fw::unique_bstr text;
        if (!node || FAILED(node->get_text(text.put()))) return std::wstring();
        return text.c_str();
    }
};

}  // namespace

DWORD CWebSession::TimeoutMs() { return WebSetting(kTimeoutValue, kDefaultTimeoutMs); }
DWORD CWebSession::DeadlineMs() { return WebSetting(kDeadlineValue, kDefaultDeadlineMs); }
ULONGLONG CWebSession::MaxDocumentBytes() { return WebSetting(kMaxDocumentValue, kDefaultMaxDocument); }
size_t CWebSession::MaxResponseBytes() { return WebSetting(kMaxResponseValue, kDefaultMaxResponse); }
DWORD CWebSession::LockTimeoutSeconds() { return WebSetting(kLockTimeoutValue, kDefaultLockTimeout); }

HRESULT CWebSession::Head(const std::wstring& url, TransferResult* pResult) {
    // Not kept alive: a server that answers a HEAD with a body anyway would
    // leave it to be read as the next request's answer.
    return Send(url, L"HEAD", L"Connection: close\r\n", nullptr, nullptr, ProgressCallback(), pResult);
}

HRESULT CWebSession::Interrupted() const {
    if (m_cancel && m_cancel()) return E_ABORT;
    if (GetTickCount() - m_dwStart >= m_dwDeadlineMs) return HRESULT_FROM_WIN32(ERROR_INTERNET_TIMEOUT);
    return S_OK;
}

// Set on every level of handle: not every WinINet passes a session's
// timeouts down to its requests. No call waits past the deadline.
void CWebSession::SetTimeouts(HINTERNET h) {
    const DWORD elapsed = GetTickCount() - m_dwStart;
    const DWORD left = elapsed < m_dwDeadlineMs ? m_dwDeadlineMs - elapsed : 1;
    DWORD timeout = std::min(m_dwTimeoutMs, left);
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
        InternetSetOptionW(h, option, &timeout, sizeof(timeout));
}

HRESULT CWebSession::Open() {
    m_hSession.reset(InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!m_hSession) return LastWinInetError();
    m_dwTimeoutMs = TimeoutMs();
    m_dwDeadlineMs = DeadlineMs();
    m_cbMaxDocument = MaxDocumentBytes();
    m_cbMaxResponse = MaxResponseBytes();
    m_dwStart = GetTickCount();
    SetTimeouts(m_hSession.get());
    return S_OK;
}

HRESULT CWebSession::Download(const std::wstring& url, const std::wstring& file, const ProgressCallback& progress,
                              TransferResult* pResult) {
    fw::unique_hfile out(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY,
                                     nullptr));
    if (!out) return HRESULT_FROM_WIN32(GetLastError());
    return Send(url, L"GET", std::wstring(), nullptr, out.get(), progress, pResult);
}

HRESULT CWebSession::PostFile(const std::wstring& url, const std::wstring& file, const std::wstring& fieldName,
                              const std::wstring& fileName, const std::vector<FormField>& fields,
                              const ProgressCallback& progress, TransferResult* pResult) {
    for (const std::wstring* p : {&url, &fieldName, &fileName})
        if (HasControlChar(*p)) return E_INVALIDARG;
    for (const FormField& f : fields)
        if (HasControlChar(f.name) || HasControlChar(f.value)) return E_INVALIDARG;
    Body body;
    body.file = file;
    // The boundary may occur in no field and nowhere in the file, or the
    // server would end a part early.
    std::string boundary, fieldText;
    for (const FormField& f : fields) fieldText += ToUtf8(f.name) + ToUtf8(f.value);
    for (int i = 0;; ++i) {
        boundary = NewBoundary();
        if (fieldText.find(boundary) == std::string::npos && !FileContains(file, boundary)) break;
        if (i == 8) return E_FAIL;
    }
    for (const FormField& f : fields) {
        body.prefix += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + QuotedParam(f.name) +
                       "\"\r\n\r\n" + ToUtf8(f.value) + "\r\n";
    }
    body.prefix += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + QuotedParam(fieldName) +
                   "\"; filename=\"" + QuotedParam(fileName) + "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    body.suffix = "\r\n--" + boundary + "--\r\n";
    body.contentType = L"multipart/form-data; boundary=" + std::wstring(boundary.begin(), boundary.end());
    return Send(url, L"POST", std::wstring(), &body, nullptr, progress, pResult);
}

HRESULT CWebSession::PutFile(const std::wstring& url, const std::wstring& file, const ProgressCallback& progress,
                             TransferResult* pResult, const PutConditions& conditions) {
    for (const std::wstring* p : {&conditions.etag, &conditions.lastModified})
        if (HasControlChar(*p)) return E_INVALIDARG;
    // If-Match compares strongly: a weak ETag never matches, so the date
    // stands in for it (to the second, as dates go).
    std::wstring headers;
    const bool bStrongEtag = !conditions.etag.empty() && conditions.etag.compare(0, 2, L"W/") != 0;
    if (bStrongEtag)
        headers += L"If-Match: " + conditions.etag + L"\r\n";
    else if (!conditions.lastModified.empty())
        headers += L"If-Unmodified-Since: " + conditions.lastModified + L"\r\n";
    if (!conditions.lockToken.empty()) {
        const std::wstring token = BareToken(conditions.lockToken);
        if (token.empty()) return E_INVALIDARG;
        headers += L"If: (<" + token + L">)\r\n";
    }
    Body body;
    body.file = file;
    body.contentType = L"application/octet-stream";
    return Send(url, L"PUT", headers, &body, nullptr, progress, pResult);
}

HRESULT CWebSession::Lock(const std::wstring& url, const std::wstring& owner, DWORD timeoutSeconds,
                          LockInfo* pInfo) {
    *pInfo = LockInfo();
    if (HasControlChar(owner)) return E_INVALIDARG;
    std::wstring headers = L"Depth: 0\r\n";
    if (timeoutSeconds) headers += L"Timeout: Second-" + std::to_wstring(timeoutSeconds) + L"\r\n";
    const std::string body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<D:lockinfo xmlns:D=\"DAV:\"><D:lockscope><D:exclusive/></D:lockscope><D:locktype><D:write/></D:locktype>"
        "<D:owner>" + XmlText(owner) + "</D:owner></D:lockinfo>";
    HRESULT hr = SendText(url, L"LOCK", headers, body, pInfo);
    if (pInfo->status == 423 || pInfo->status == 409 || pInfo->status == 412) {
        // Servers refuse a lock on a locked resource with any of these; only
        // a lock found there makes it a lock held by someone else.
        HRESULT hrOwner = QueryLockOwner(url, &pInfo->owner);
        if (hrOwner == S_OK || pInfo->status == 423) return E_HTTP_LOCKED;
        return hr;
    }
    if (FAILED(hr)) return hr;
    if (pInfo->lockToken.empty()) return HRESULT_FROM_WIN32(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    CActiveLock granted;
    if (granted.Read(pInfo->response) == S_OK) pInfo->timeoutSeconds = LockSeconds(granted.timeout);
    return S_OK;
}

HRESULT CWebSession::RefreshLock(const std::wstring& url, const std::wstring& token, DWORD timeoutSeconds,
                                 LockInfo* pInfo) {
    // Before the result is cleared: the token may be the result's own.
    const std::wstring bare = BareToken(token);
    *pInfo = LockInfo();
    if (bare.empty()) return E_INVALIDARG;
    std::wstring headers = L"If: (<" + bare + L">)\r\n";
    if (timeoutSeconds) headers += L"Timeout: Second-" + std::to_wstring(timeoutSeconds) + L"\r\n";
    HRESULT hr = SendText(url, L"LOCK", headers, std::string(), pInfo);
    // A renewal names no token of its own: it is the one renewed.
    pInfo->lockToken = bare;
    if (FAILED(hr)) return hr;
    CActiveLock renewed;
    if (renewed.Read(pInfo->response) == S_OK) pInfo->timeoutSeconds = LockSeconds(renewed.timeout);
    return S_OK;
}

HRESULT CWebSession::Unlock(const std::wstring& url, const std::wstring& token, TransferResult* pResult) {
    const std::wstring bare = BareToken(token);
    TransferResult result;
    if (!pResult) pResult = &result;
    *pResult = TransferResult();
    if (bare.empty()) return E_INVALIDARG;
    return SendText(url, L"UNLOCK", L"Lock-Token: <" + bare + L">\r\n", std::string(), pResult);
}

HRESULT CWebSession::QueryLockOwner(const std::wstring& url, std::wstring* pOwner) {
    pOwner->clear();
    TransferResult result;
    HRESULT hr = SendText(url, L"PROPFIND", L"Depth: 0\r\n",
                          "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                          "<D:propfind xmlns:D=\"DAV:\"><D:prop><D:lockdiscovery/></D:prop></D:propfind>",
                          &result);
    if (FAILED(hr)) return hr;
    CActiveLock lock;
    hr = lock.Read(result.response);
    if (hr == S_OK) *pOwner = lock.owner;
    return hr;
}

HRESULT CWebSession::SendText(const std::wstring& url, const wchar_t* pszVerb, const std::wstring& headers,
                              const std::string& body, TransferResult* pResult) {
    if (body.empty()) return Send(url, pszVerb, headers, nullptr, nullptr, ProgressCallback(), pResult);
    Body text;
    text.prefix = body;
    text.contentType = kXmlContentType;
    return Send(url, pszVerb, headers, &text, nullptr, ProgressCallback(), pResult);
}

// One request, following redirects by hand: WinINet's own following has no
// bound, so a redirect loop would never end.
HRESULT CWebSession::Send(std::wstring url, std::wstring verb, const std::wstring& headers, const Body* pBody,
                          HANDLE hOut, const ProgressCallback& progress, TransferResult* pResult) {
    if (!m_hSession) return E_UNEXPECTED;
    *pResult = TransferResult();
    m_dwStart = GetTickCount();
    std::wstring from;
    Body body;
    if (pBody) {
        body = *pBody;
        if (!body.file.empty()) {
            WIN32_FILE_ATTRIBUTE_DATA fad;
            if (!GetFileAttributesExW(body.file.c_str(), GetFileExInfoStandard, &fad))
                return HRESULT_FROM_WIN32(GetLastError());
            body.fileSize = (static_cast<ULONGLONG>(fad.nFileSizeHigh) << 32) | fad.nFileSizeLow;
        }
        // HttpSendRequestEx takes the length as a DWORD.
        if (body.total() > 0xFFFFFFFFull) return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    }
    for (int hop = 0;; ++hop) {
        URL_COMPONENTSW uc = {};
        uc.dwStructSize = sizeof(uc);
        wchar_t szHost[INTERNET_MAX_HOST_NAME_LENGTH + 1];
        uc.lpszHostName = szHost;
        uc.dwHostNameLength = ARRAYSIZE(szHost);
        uc.dwUrlPathLength = 1;
        uc.dwExtraInfoLength = 1;
        if (!IsHttpUrl(url.c_str()) || HasControlChar(url) || !InternetCrackUrlW(url.c_str(), 0, 0, &uc))
            return E_INVALIDARG;
        if (HRESULT hr = Interrupted(); FAILED(hr)) return hr;
        // Before anything goes out: the body only ever reaches a checked URL.
        if (m_hopCheck) {
            HRESULT hr = m_hopCheck(url, hop ? &from : nullptr);
            if (FAILED(hr)) {
                pResult->refusedUrl = url;
                return hr;
            }
        }
        Target target;
        target.host = szHost;
        target.port = uc.nPort;
        target.object = uc.lpszUrlPath ? std::wstring(uc.lpszUrlPath, uc.dwUrlPathLength) : std::wstring();
        if (uc.lpszExtraInfo) {
            // The query goes to the server; a fragment never does.
            std::wstring extra(uc.lpszExtraInfo, uc.dwExtraInfoLength);
            target.object += extra.substr(0, extra.find(L'#'));
        }
        if (target.object.empty() || target.object[0] != L'/') target.object.insert(0, L"/");
        target.flags = kRequestFlags | (uc.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);

        // Every send of this hop goes to this same URL.
        const Body* pHopBody = pBody ? &body : nullptr;
        Exchange ex;
        HRESULT hr = Perform(target, verb, headers, pHopBody, progress, &ex);
        if (FAILED(hr) && !ex.bConnected && IsStaleConnectionFailure(hr)) {
            // The connection was a kept-alive one the server had closed, and
            // the failed one has left WinINet's pool: once more, on a new one.
            if (HRESULT hrStop = Interrupted(); FAILED(hrStop)) return hrStop;
            hr = Perform(target, verb, headers, pHopBody, progress, &ex);
        }
        if (FAILED(hr)) return hr;
        for (int prompts = 0; ex.status == HTTP_STATUS_DENIED;) {
            pResult->status = ex.status;
            hr = SignIn(target, &ex, &prompts);
            if (SUCCEEDED(hr)) hr = Perform(target, verb, headers, pHopBody, progress, &ex);
            if (FAILED(hr)) return hr;
        }
        if (pBody) pResult->bytes = body.fileSize;
        const DWORD status = ex.status;
        pResult->status = status;

        std::wstring location = IsRedirect(status) ? QueryHeader(ex.hRequest.get(), HTTP_QUERY_LOCATION) : std::wstring();
        if (!location.empty()) {
            if (hop >= kMaxRedirects) return E_HTTP_REDIRECT_LOOP;
            DWORD cch = INTERNET_MAX_URL_LENGTH;
            std::wstring next(cch + 1, L'\0');
            if (!InternetCombineUrlW(url.c_str(), location.c_str(), &next[0], &cch, ICU_NO_ENCODE)) return E_INVALIDARG;
            next.resize(cch);
            from = url;
            url = next;
            // As browsers do: the body went with the first request; what
            // follows a 303 (or 301/302 after a POST or PUT) is a GET. The
            // WebDAV verbs mean nothing as a GET and keep theirs.
            if ((verb == L"POST" || verb == L"PUT") && (status == 301 || status == 302 || status == 303)) {
                verb = L"GET";
                pBody = nullptr;
            }
            continue;
        }
        pResult->etag = QueryHeader(ex.hRequest.get(), HTTP_QUERY_ETAG);
        pResult->lastModified = QueryHeader(ex.hRequest.get(), HTTP_QUERY_LAST_MODIFIED);
        if (verb == L"LOCK") pResult->lockToken = BareToken(QueryCustomHeader(ex.hRequest.get(), L"Lock-Token"));
        hr = StatusResult(status);
        if (FAILED(hr) || verb == L"HEAD") return hr;
        return ReadBody(ex.hRequest.get(), pBody ? nullptr : hOut, pBody ? ProgressCallback() : progress, pResult);
    }
}

void CALLBACK CWebSession::OnRequestStatus(HINTERNET, DWORD_PTR context, DWORD dwStatus, LPVOID, DWORD) {
    if (dwStatus == INTERNET_STATUS_CONNECTED_TO_SERVER && context)
        reinterpret_cast<Exchange*>(context)->bConnected = true;
}

// Sends the request on new handles and reads its answer's status.
HRESULT CWebSession::Perform(const Target& target, const std::wstring& verb, const std::wstring& headers,
                             const Body* pBody, const ProgressCallback& progress, Exchange* pEx) {
    pEx->hRequest.reset();
    pEx->hConnect.reset();
    pEx->bConnected = false;
    pEx->status = 0;
    pEx->hConnect.reset(InternetConnectW(m_hSession.get(), target.host.c_str(), target.port, nullptr, nullptr,
                                         INTERNET_SERVICE_HTTP, 0, 0));
    if (!pEx->hConnect) return LastWinInetError();
    SetTimeouts(pEx->hConnect.get());
    LPCWSTR accept[] = {L"*/*", nullptr};
    pEx->hRequest.reset(HttpOpenRequestW(pEx->hConnect.get(), verb.c_str(), target.object.c_str(), nullptr, nullptr,
                                         accept, target.flags, reinterpret_cast<DWORD_PTR>(pEx)));
    if (!pEx->hRequest) return LastWinInetError();
    SetTimeouts(pEx->hRequest.get());
    // WinINet says nothing of whether it reused a connection, only that it
    // made one.
    InternetSetStatusCallbackW(pEx->hRequest.get(), OnRequestStatus);

    std::wstring all = pBody ? L"Content-Type: " + pBody->contentType + L"\r\n" + headers : headers;
    CWait wait(m_dwTimeoutMs);
    if (pBody) {
        INTERNET_BUFFERSW ib = {};
        ib.dwStructSize = sizeof(ib);
        ib.lpcszHeader = all.c_str();
        ib.dwHeadersLength = static_cast<DWORD>(all.size());
        ib.dwHeadersTotal = ib.dwHeadersLength;
        ib.dwBufferTotal = static_cast<DWORD>(pBody->total());
        if (!HttpSendRequestExW(pEx->hRequest.get(), &ib, nullptr, 0, 0)) return wait.Failed();
        HRESULT hr = WriteBody(pEx->hRequest.get(), *pBody, progress);
        if (FAILED(hr)) return hr;
        wait.Restart();
        if (!HttpEndRequestW(pEx->hRequest.get(), nullptr, 0, 0)) return wait.Failed();
    } else if (!HttpSendRequestW(pEx->hRequest.get(), all.empty() ? nullptr : all.c_str(),
                                 static_cast<DWORD>(all.size()), nullptr, 0)) {
        return wait.Failed();
    }
    pEx->status = QueryStatus(pEx->hRequest.get());
    if (pEx->status == 0) {
        // No status line came back: the server went away or never answered.
        SetLastError(ERROR_INTERNET_CONNECTION_ABORTED);
        HRESULT hr = wait.Failed();
        return hr == HRESULT_FROM_WIN32(ERROR_INTERNET_TIMEOUT) ? hr
                                                                : HRESULT_FROM_WIN32(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    }
    return S_OK;
}

// A 401 answered through the system's sign-in prompt, which gives WinINet
// the user's answer (it keeps it for the process; nothing of it passes
// here). S_OK: send the request again. WinINet answers a challenge itself
// only for a request sent whole, not for one whose body streams, so the
// answer is first tried with a HEAD on the connection that holds it: that
// one WinINet signs and remembers for the server, and the request that
// follows on new handles carries it.
HRESULT CWebSession::SignIn(const Target& target, Exchange* pEx, int* pnPrompts) {
    unique_hinternet hProbe;
    HINTERNET hChallenged = pEx->hRequest.get();
    for (;;) {
        if (!m_hwndPrompt || !IsWindow(m_hwndPrompt) || *pnPrompts >= kMaxSignInPrompts) return E_HTTP_SIGNIN_REQUIRED;
        ++*pnPrompts;
        const DWORD answer = InternetErrorDlg(
            m_hwndPrompt, hChallenged, ERROR_INTERNET_INCORRECT_PASSWORD,
            FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
            nullptr);
        // The user's time at the prompt is no part of the transfer's.
        m_dwStart = GetTickCount();
        // Cancel gives ERROR_CANCELLED on Windows, ERROR_SUCCESS under Wine.
        if (answer != ERROR_INTERNET_FORCE_RETRY) return E_HTTP_SIGNIN_CANCELLED;
        if (HRESULT hr = Interrupted(); FAILED(hr)) return hr;
        LPCWSTR accept[] = {L"*/*", nullptr};
        hProbe.reset(HttpOpenRequestW(pEx->hConnect.get(), L"HEAD", target.object.c_str(), nullptr, nullptr, accept,
                                      target.flags, 0));
        if (!hProbe) return LastWinInetError();
        SetTimeouts(hProbe.get());
        CWait wait(m_dwTimeoutMs);
        if (!HttpSendRequestW(hProbe.get(), nullptr, 0, nullptr, 0)) return wait.Failed();
        if (QueryStatus(hProbe.get()) != HTTP_STATUS_DENIED) return S_OK;
        hChallenged = hProbe.get();
    }
}

HRESULT CWebSession::WriteBody(HINTERNET hRequest, const Body& body, const ProgressCallback& progress) {
    ULONGLONG done = 0;
    const ULONGLONG total = body.total();
    auto write = [&](const char* p, DWORD cb) -> HRESULT {
        while (cb > 0) {
            DWORD written = 0;
            if (!InternetWriteFile(hRequest, p, cb, &written)) return LastWinInetError();
            if (written == 0) return E_HTTP_TRUNCATED;
            p += written;
            cb -= written;
            done += written;
            if (progress) progress(done, total);
            if (HRESULT hr = Interrupted(); FAILED(hr)) return hr;
        }
        return S_OK;
    };
    HRESULT hr = write(body.prefix.data(), static_cast<DWORD>(body.prefix.size()));
    if (FAILED(hr)) return hr;
    if (body.file.empty()) return S_OK;
    fw::unique_hfile in(CreateFileW(body.file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return HRESULT_FROM_WIN32(GetLastError());
    std::vector<char> buffer(kChunk);
    ULONGLONG left = body.fileSize;
    while (left > 0) {
        DWORD cb = 0;
        DWORD want = static_cast<DWORD>(std::min<ULONGLONG>(left, kChunk));
        if (!ReadFile(in.get(), buffer.data(), want, &cb, nullptr)) return HRESULT_FROM_WIN32(GetLastError());
        // The file changed under the upload: the length sent would be wrong.
        if (cb == 0) return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
        hr = write(buffer.data(), cb);
        if (FAILED(hr)) return hr;
        left -= cb;
    }
    return write(body.suffix.data(), static_cast<DWORD>(body.suffix.size()));
}

HRESULT CWebSession::ReadBody(HINTERNET hRequest, HANDLE hOut, const ProgressCallback& progress,
                              TransferResult* pResult) {
    std::wstring length = QueryHeader(hRequest, HTTP_QUERY_CONTENT_LENGTH);
    const bool bKnown = !length.empty();
    const ULONGLONG total = bKnown ? _wcstoui64(length.c_str(), nullptr, 10) : 0;
    if (hOut && total > m_cbMaxDocument) return E_HTTP_TOO_LARGE;
    std::vector<char> buffer(kChunk);
    ULONGLONG done = 0;
    for (;;) {
        // A read waits for its whole buffer: asking what has arrived first
        // keeps a trickling server from holding one read for ever.
        DWORD cb = 0, available = 0;
        CWait wait(m_dwTimeoutMs);
        if (!InternetQueryDataAvailable(hRequest, &available, 0, 0)) return wait.Failed();
        if (available == 0) break;
        if (!InternetReadFile(hRequest, buffer.data(), std::min<DWORD>(available, kChunk), &cb)) return wait.Failed();
        if (cb == 0) break;
        if (hOut) {
            DWORD written = 0;
            if (!WriteFile(hOut, buffer.data(), cb, &written, nullptr) || written != cb)
                return HRESULT_FROM_WIN32(GetLastError());
        } else if (pResult->response.size() < m_cbMaxResponse) {
            pResult->response.append(buffer.data(), std::min<size_t>(cb, m_cbMaxResponse - pResult->response.size()));
        }
        done += cb;
        if (hOut && done > m_cbMaxDocument) return E_HTTP_TOO_LARGE;
        if (progress) progress(done, total);
        if (HRESULT hr = Interrupted(); FAILED(hr)) return hr;
    }
    if (hOut) pResult->bytes = done;
    // A connection that ended before the announced length is a cut, not an end.
    if (bKnown && done < total) return E_HTTP_TRUNCATED;
    return S_OK;
}

std::wstring LoggableUrl(const std::wstring& url) {
    URL_COMPONENTSW uc = {};
    uc.dwStructSize = sizeof(uc);
    uc.dwSchemeLength = 1;
    uc.dwHostNameLength = 1;
    uc.dwUrlPathLength = 1;
    if (url.empty() || !InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &uc) || !uc.lpszScheme ||
        !uc.lpszHostName || !uc.dwHostNameLength) {
        // No host to name (about:, file:, javascript:): up to the query,
        // and nothing at all where a user name might hide.
        std::wstring out = url.substr(0, url.find_first_of(L"?#"));
        return out.find(L'@') == std::wstring::npos ? out : L"(URL)";
    }
    std::wstring out(uc.lpszScheme, uc.dwSchemeLength);
    out += L"://";
    if (uc.lpszHostName) out.append(uc.lpszHostName, uc.dwHostNameLength);
    const bool bDefaultPort = (uc.nScheme == INTERNET_SCHEME_HTTP && uc.nPort == INTERNET_DEFAULT_HTTP_PORT) ||
                              (uc.nScheme == INTERNET_SCHEME_HTTPS && uc.nPort == INTERNET_DEFAULT_HTTPS_PORT);
    if (!bDefaultPort && uc.nPort) out += L":" + std::to_wstring(uc.nPort);
    std::wstring path = uc.lpszUrlPath ? std::wstring(uc.lpszUrlPath, uc.dwUrlPathLength) : std::wstring();
    // Crackers differ on whether the path keeps the query.
    out += path.substr(0, path.find_first_of(L"?#"));
    return out;
}

bool HasControlChar(const std::wstring& s) {
    return std::any_of(s.begin(), s.end(), [](wchar_t c) { return c < 0x20; });
}

bool IsHttpUrl(const wchar_t* url) {
    if (!url) return false;
    return _wcsnicmp(url, L"http://", 7) == 0 || _wcsnicmp(url, L"https://", 8) == 0;
}

CTransferFile::~CTransferFile() {
    if (!m_path.empty()) DeleteFileW(m_path.c_str());
    if (!m_reserved.empty()) DeleteFileW(m_reserved.c_str());
}

std::wstring CTransferFile::Folder() {
    wchar_t szTemp[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH + 1, szTemp);
    std::wstring folder(szTemp, n <= MAX_PATH ? n : 0);
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder + kTransferFolder;
}

HRESULT CTransferFile::Create(const std::wstring& leaf) {
    std::wstring folder = Folder();
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return HRESULT_FROM_WIN32(GetLastError());
    wchar_t szFile[MAX_PATH] = {};
    if (!GetTempFileNameW(folder.c_str(), L"vx", 0, szFile)) return HRESULT_FROM_WIN32(GetLastError());
    // The reserved file stays and is written in place: deleting it to let
    // the writer create it would free the name for anyone in between.
    m_path = szFile;
    const std::wstring name = FileNameFrom(leaf);
    const size_t dot = m_path.rfind(L'.');
    if (name.empty() || dot == std::wstring::npos) return S_OK;
    // "vxNNNN-<leaf>": the number of the name just reserved (kept reserved
    // while this file lives) makes it unique in the folder, and CREATE_NEW
    // takes it the way GetTempFileName takes its own. A leaf that does not
    // fit keeps the plain reserved name.
    std::wstring named = m_path.substr(0, dot) + L"-" + name;
    if (named.size() >= MAX_PATH) return S_OK;
    fw::unique_hfile file(
        CreateFileW(named.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr));
    if (!file) return S_OK;
    m_reserved = m_path;
    m_path = named;
    return S_OK;
}

// The last segment of a URL's path, decoded, as a file name of this system:
// characters a name cannot hold become "_", and dots and spaces at the end
// (which the file system drops) go. Empty when nothing usable is left.
std::wstring CTransferFile::FileNameFrom(const std::wstring& leaf) {
    std::wstring out;
    for (wchar_t c : leaf) {
        if (c < 0x20 || wcschr(L"\\/:*?\"<>|", c)) c = L'_';
        out += c;
    }
    while (!out.empty() && (out.back() == L'.' || out.back() == L' ')) out.pop_back();
    // Long names keep their end, where the extension is.
    const size_t kMaxName = 80;
    if (out.size() > kMaxName) out.erase(0, out.size() - kMaxName);
    return out;
}

}  // namespace web
