#include "web/WebSession.h"

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
// Fresh connections tried after a kept-alive one was found dead, and sign-in
// prompts answered, for one request.
const int kMaxReconnects = 2;
const int kMaxPrompts = 3;
const wchar_t kTransferFolder[] = L"VellixWeb";
const int kMaxRedirects = 10;
const DWORD kChunk = 64 * 1024;
// An upload's answer is text for the page, not a document.
const DWORD kDefaultMaxResponse = 16 * 1024 * 1024;

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
    if (status == 401) return E_HTTP_SIGN_IN;
    return E_HTTP_STATUS;
}

// A header the query constants do not name.
std::wstring QueryCustomHeader(HINTERNET hRequest, const wchar_t* pszName) {
    std::wstring value(512, L'\0');
    wcsncpy(&value[0], pszName, value.size() - 1);
    DWORD cb = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (!HttpQueryInfoW(hRequest, HTTP_QUERY_CUSTOM, &value[0], &cb, nullptr)) return std::wstring();
    value.resize(cb / sizeof(wchar_t));
    return value;
}

// Failures of a request on a connection the server had already closed:
// worth one more try on a fresh one, as nothing was answered.
bool IsDeadConnection(HRESULT hr) {
    return hr == HRESULT_FROM_WIN32(ERROR_INTERNET_SECURITY_CHANNEL_ERROR) ||
           hr == HRESULT_FROM_WIN32(ERROR_INTERNET_CONNECTION_RESET) ||
           hr == HRESULT_FROM_WIN32(ERROR_INTERNET_CONNECTION_ABORTED) ||
           hr == HRESULT_FROM_WIN32(ERROR_HTTP_INVALID_SERVER_RESPONSE);
}

// A text for an XML element's content.
std::string XmlEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '&') out += "&amp;";
        else out += c;
    }
    return out;
}

std::string XmlUnescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&') {
            static const std::pair<const char*, char> kEntities[] = {
                {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
            bool bKnown = false;
            for (const auto& e : kEntities) {
                const size_t n = strlen(e.first);
                if (s.compare(i, n, e.first) == 0) {
                    out += e.second;
                    i += n - 1;
                    bKnown = true;
                    break;
                }
            }
            if (bKnown) continue;
        }
        out += s[i];
    }
    return out;
}

std::wstring FromUtf8(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n);
    return out;
}

}  // namespace

DWORD CWebSession::TimeoutMs() { return WebSetting(kTimeoutValue, kDefaultTimeoutMs); }
DWORD CWebSession::DeadlineMs() { return WebSetting(kDeadlineValue, kDefaultDeadlineMs); }
ULONGLONG CWebSession::MaxDocumentBytes() { return WebSetting(kMaxDocumentValue, kDefaultMaxDocument); }
size_t CWebSession::MaxResponseBytes() { return WebSetting(kMaxResponseValue, kDefaultMaxResponse); }
DWORD CWebSession::LockTimeoutSeconds() { return WebSetting(kLockTimeoutValue, kDefaultLockTimeout); }

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
    return Send(url, L"GET", nullptr, out.get(), progress, pResult);
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
    return Send(url, L"POST", &body, nullptr, progress, pResult);
}

HRESULT CWebSession::PutFile(const std::wstring& url, const std::wstring& file, const ProgressCallback& progress,
                             TransferResult* pResult, const PutConditions& conditions) {
    const Validators& v = conditions.validators;
    for (const std::wstring* p : {&v.etag, &v.lastModified, &conditions.lockToken})
        if (HasControlChar(*p)) return E_INVALIDARG;
    Body body;
    body.file = file;
    body.contentType = L"application/octet-stream";
    // A weak ETag never matches under If-Match's strong comparison: the
    // date says the same then.
    std::wstring headers;
    if (!v.etag.empty() && !v.weak())
        headers += L"If-Match: " + v.etag + L"\r\n";
    else if (!v.lastModified.empty())
        headers += L"If-Unmodified-Since: " + v.lastModified + L"\r\n";
    if (!conditions.lockToken.empty()) headers += L"If: (<" + conditions.lockToken + L">)\r\n";
    return Send(url, L"PUT", &body, nullptr, progress, pResult, headers);
}

HRESULT CWebSession::Head(const std::wstring& url, TransferResult* pResult) {
    // Not kept alive: a server that answers a HEAD with a body anyway would
    // leave it to be read as the next request's answer.
    return Send(url, L"HEAD", nullptr, nullptr, ProgressCallback(), pResult, L"Connection: close\r\n");
}

HRESULT CWebSession::Lock(const std::wstring& url, const std::wstring& owner, DWORD timeoutSeconds, LockInfo* pLock,
                          TransferResult* pResult) {
    *pLock = LockInfo();
    if (HasControlChar(owner)) return E_INVALIDARG;
    Body body;
    body.prefix = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                  "<D:lockinfo xmlns:D=\"DAV:\"><D:lockscope><D:exclusive/></D:lockscope>"
                  "<D:locktype><D:write/></D:locktype><D:owner>" +
                  XmlEscape(ToUtf8(owner)) + "</D:owner></D:lockinfo>";
    body.contentType = L"text/xml; charset=utf-8";
    const std::wstring headers = L"Depth: 0\r\nTimeout: Second-" + std::to_wstring(timeoutSeconds) + L"\r\n";
    HRESULT hr = Send(url, L"LOCK", &body, nullptr, ProgressCallback(), pResult, headers);
    if (hr == E_HTTP_LOCKED || (FAILED(hr) && (pResult->status == 409 || pResult->status == 412))) {
        // Someone else's: who, as the server says.
        QueryLockOwner(url, &pLock->owner);
        return E_HTTP_LOCKED;
    }
    if (FAILED(hr)) return hr;
    pLock->token = pResult->lockToken;
    pLock->timeoutSeconds = pResult->lockTimeoutSeconds;
    pLock->owner = owner;
    return pLock->token.empty() ? E_HTTP_STATUS : S_OK;
}

HRESULT CWebSession::RefreshLock(const std::wstring& url, const std::wstring& token, DWORD timeoutSeconds) {
    if (HasControlChar(token)) return E_INVALIDARG;
    TransferResult result;
    const std::wstring headers =
        L"If: (<" + token + L">)\r\nTimeout: Second-" + std::to_wstring(timeoutSeconds) + L"\r\n";
    return Send(url, L"LOCK", nullptr, nullptr, ProgressCallback(), &result, headers);
}

HRESULT CWebSession::Unlock(const std::wstring& url, const std::wstring& token) {
    if (HasControlChar(token)) return E_INVALIDARG;
    TransferResult result;
    return Send(url, L"UNLOCK", nullptr, nullptr, ProgressCallback(), &result, L"Lock-Token: <" + token + L">\r\n");
}

HRESULT CWebSession::QueryLockOwner(const std::wstring& url, std::wstring* pOwner) {
    pOwner->clear();
    Body body;
    body.prefix = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                  "<D:propfind xmlns:D=\"DAV:\"><D:prop><D:lockdiscovery/></D:prop></D:propfind>";
    body.contentType = L"text/xml; charset=utf-8";
    TransferResult result;
    HRESULT hr = Send(url, L"PROPFIND", &body, nullptr, ProgressCallback(), &result, L"Depth: 0\r\n");
    if (FAILED(hr)) return hr;
    *pOwner = OwnerFromXml(result.response);
    return S_OK;
}

std::wstring OwnerFromXml(const std::string& xml) {
    // <owner> or <prefix:owner>, with or without attributes.
    size_t open = std::string::npos;
    for (size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1)) {
        size_t end = xml.find_first_of(" \t\r\n/>", at + 1);
        if (end == std::string::npos) break;
        std::string name = xml.substr(at + 1, end - at - 1);
        const size_t colon = name.find(':');
        if (colon != std::string::npos) name.erase(0, colon + 1);
        if (name == "owner" && xml[end] != '/') {
            open = xml.find('>', end);
            break;
        }
    }
    if (open == std::string::npos) return std::wstring();
    std::string text;
    int depth = 1;
    for (size_t i = open + 1; i < xml.size() && depth > 0; ++i) {
        if (xml[i] != '<') {
            text += xml[i];
            continue;
        }
        const size_t close = xml.find('>', i);
        if (close == std::string::npos) break;
        if (xml[i + 1] == '/')
            --depth;
        else if (xml[close - 1] != '/')
            ++depth;
        i = close;
    }
    text = XmlUnescape(text);
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::wstring();
    return FromUtf8(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

// One request, following redirects by hand: WinINet's own following has no
// bound, so a redirect loop would never end.
HRESULT CWebSession::Send(std::wstring url, std::wstring verb, const Body* pBody, HANDLE hOut,
                          const ProgressCallback& progress, TransferResult* pResult,
                          const std::wstring& extraHeaders) {
    if (!m_hSession) return E_UNEXPECTED;
    *pResult = TransferResult();
    m_dwStart = GetTickCount();
    std::wstring from;
    Body body;
    if (pBody) {
        body = *pBody;
        WIN32_FILE_ATTRIBUTE_DATA fad;
        if (!body.file.empty()) {
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
        std::wstring object(uc.lpszUrlPath ? std::wstring(uc.lpszUrlPath, uc.dwUrlPathLength) : std::wstring());
        if (uc.lpszExtraInfo) {
            // The query goes to the server; a fragment never does.
            std::wstring extra(uc.lpszExtraInfo, uc.dwExtraInfoLength);
            object += extra.substr(0, extra.find(L'#'));
        }
        if (object.empty() || object[0] != L'/') object.insert(0, L"/");

        const std::wstring headers =
            (pBody ? L"Content-Type: " + body.contentType + L"\r\n" : std::wstring()) + extraHeaders;
        // A kept-alive connection the server has closed meanwhile fails
        // before any answer: the request goes again on a fresh one. A 401
        // goes again on the same request once the user has signed in.
        unique_hinternet hConnect, hRequest;
        for (int attempt = 0, prompts = 0;;) {
            if (!hRequest) {
                hConnect.reset(InternetConnectW(m_hSession.get(), szHost, uc.nPort, nullptr, nullptr,
                                                INTERNET_SERVICE_HTTP, 0, 0));
                if (!hConnect) return LastWinInetError();
                SetTimeouts(hConnect.get());
                DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                              INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_UI;
                if (uc.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
                LPCWSTR accept[] = {L"*/*", nullptr};
                hRequest.reset(
                    HttpOpenRequestW(hConnect.get(), verb.c_str(), object.c_str(), nullptr, nullptr, accept, flags, 0));
                if (!hRequest) return LastWinInetError();
                SetTimeouts(hRequest.get());
            }
            bool bRetry = false;
            HRESULT hr = SendOnce(hRequest.get(), pBody, body, headers, progress, pResult, &bRetry);
            if (FAILED(hr)) {
                if (!bRetry || attempt++ >= kMaxReconnects) return hr;
                hRequest.reset();
                hConnect.reset();
                continue;
            }
            if (pResult->status == 401 && m_hwndPrompt && prompts++ < kMaxPrompts && AskForSignIn(hRequest.get()))
                continue;
            break;
        }
        const DWORD status = pResult->status;

        std::wstring location = IsRedirect(status) ? QueryHeader(hRequest.get(), HTTP_QUERY_LOCATION) : std::wstring();
        if (!location.empty()) {
            if (hop >= kMaxRedirects) return E_HTTP_REDIRECT_LOOP;
            DWORD cch = INTERNET_MAX_URL_LENGTH;
            std::wstring next(cch + 1, L'\0');
            if (!InternetCombineUrlW(url.c_str(), location.c_str(), &next[0], &cch, ICU_NO_ENCODE)) return E_INVALIDARG;
            next.resize(cch);
            from = url;
            url = next;
            // As browsers do: the body went with the first request; what
            // follows a 303 (or 301/302 after anything but GET) is a GET.
            if (status == 303 || ((status == 301 || status == 302) && verb != L"GET")) {
                verb = L"GET";
                pBody = nullptr;
            }
            continue;
        }
        pResult->validators.etag = QueryHeader(hRequest.get(), HTTP_QUERY_ETAG);
        pResult->validators.lastModified = QueryHeader(hRequest.get(), HTTP_QUERY_LAST_MODIFIED);
        std::wstring token = QueryCustomHeader(hRequest.get(), L"Lock-Token");
        if (token.size() >= 2 && token.front() == L'<' && token.back() == L'>') token = token.substr(1, token.size() - 2);
        pResult->lockToken = token;
        const std::wstring timeout = QueryCustomHeader(hRequest.get(), L"Timeout");
        if (_wcsnicmp(timeout.c_str(), L"Second-", 7) == 0)
            pResult->lockTimeoutSeconds = wcstoul(timeout.c_str() + 7, nullptr, 10);
        HRESULT hr = StatusResult(status);
        if (FAILED(hr)) {
            // A WebDAV refusal explains itself in XML, which a lock's holder
            // query reads; other answers' bodies are not wanted.
            if (status == 423) ReadBody(hRequest.get(), nullptr, ProgressCallback(), pResult);
            return hr;
        }
        if (verb == L"HEAD") return S_OK;
        return ReadBody(hRequest.get(), pBody ? nullptr : hOut, pBody ? ProgressCallback() : progress, pResult);
    }
}

HRESULT CWebSession::SendOnce(HINTERNET hRequest, const Body* pBody, const Body& body, const std::wstring& headers,
                              const ProgressCallback& progress, TransferResult* pResult, bool* pbRetry) {
    *pbRetry = false;
    INTERNET_BUFFERSW ib = {};
    ib.dwStructSize = sizeof(ib);
    ib.lpcszHeader = headers.c_str();
    ib.dwHeadersLength = static_cast<DWORD>(headers.size());
    ib.dwHeadersTotal = ib.dwHeadersLength;
    ib.dwBufferTotal = static_cast<DWORD>(body.total());
    CWait wait(m_dwTimeoutMs);
    if (pBody) {
        if (!HttpSendRequestExW(hRequest, &ib, nullptr, 0, 0)) {
            HRESULT hr = wait.Failed();
            *pbRetry = IsDeadConnection(hr);
            return hr;
        }
        HRESULT hr = WriteBody(hRequest, body, progress);
        if (FAILED(hr)) {
            *pbRetry = IsDeadConnection(hr);
            return hr;
        }
        wait.Restart();
        if (!HttpEndRequestW(hRequest, nullptr, 0, 0)) {
            hr = wait.Failed();
            *pbRetry = IsDeadConnection(hr);
            return hr;
        }
        pResult->bytes = body.fileSize;
    } else if (!HttpSendRequestW(hRequest, headers.empty() ? nullptr : headers.c_str(),
                                 static_cast<DWORD>(headers.size()), nullptr, 0)) {
        HRESULT hr = wait.Failed();
        *pbRetry = IsDeadConnection(hr);
        return hr;
    }

    DWORD status = 0, cb = sizeof(status);
    if (!HttpQueryInfoW(hRequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &cb, nullptr) ||
        status == 0) {
        // No status line came back: the server went away or never answered.
        SetLastError(ERROR_INTERNET_CONNECTION_ABORTED);
        HRESULT hr = wait.Failed();
        return hr == HRESULT_FROM_WIN32(ERROR_INTERNET_TIMEOUT) ? hr
                                                                : HRESULT_FROM_WIN32(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    }
    pResult->status = status;
    return S_OK;
}

// The system's own prompt keeps the password: it goes into the request's
// handle, never through this code, a script or the log.
bool CWebSession::AskForSignIn(HINTERNET hRequest) {
    // What is left of the refusal's body must not be read as the next answer.
    char drain[4096];
    DWORD cb = 0;
    while (InternetReadFile(hRequest, drain, sizeof(drain), &cb) && cb > 0) {
    }
    const DWORD answer = InternetErrorDlg(m_hwndPrompt, hRequest, ERROR_INTERNET_INCORRECT_PASSWORD,
                                          FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA |
                                              FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
                                          nullptr);
    return answer == ERROR_INTERNET_FORCE_RETRY;
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
    ULONGLONG left = body.fileSize;
    fw::unique_hfile in;
    if (!body.file.empty()) {
        in.reset(CreateFileW(body.file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!in) return HRESULT_FROM_WIN32(GetLastError());
    }
    std::vector<char> buffer(kChunk);
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
