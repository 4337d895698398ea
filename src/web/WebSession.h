// HTTP transfers of whole documents through WinINet, the system's own HTTP
// stack: the user's proxy, cookies and authentication apply, so a page's
// session reaches its server. Bodies stream between the network and files;
// no document is ever held in memory whole.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <functional>
#include <string>
#include <vector>

#include "fw/Raii.h"

namespace web {

using unique_hinternet = fw::unique_handle_t<HINTERNET, fw::null_traits<HINTERNET, InternetCloseHandle>>;

// Failures of a transfer besides WinINet's own (HRESULT_FROM_WIN32 of the
// ERROR_INTERNET_* code): the values urlmon gives the same conditions.
const HRESULT E_HTTP_NOT_FOUND = static_cast<HRESULT>(0x800C0005);       // INET_E_RESOURCE_NOT_FOUND: 404, 410
const HRESULT E_HTTP_STATUS = static_cast<HRESULT>(0x800C0008);          // INET_E_DOWNLOAD_FAILURE: other non-2xx
const HRESULT E_HTTP_REDIRECT_LOOP = static_cast<HRESULT>(0x800C0014);   // INET_E_REDIRECT_FAILED
const HRESULT E_HTTP_TRUNCATED = HRESULT_FROM_WIN32(ERROR_INTERNET_CONNECTION_RESET);
// A conditional save the server refused (412): someone else saved since.
const HRESULT E_HTTP_CONFLICT = static_cast<HRESULT>(0x80041110);
// The document is locked by someone else (423, or a refused LOCK).
const HRESULT E_HTTP_LOCKED = static_cast<HRESULT>(0x80041111);
// The server wants a user and password (401) and none was given.
const HRESULT E_HTTP_SIGN_IN = HRESULT_FROM_WIN32(ERROR_INTERNET_INCORRECT_PASSWORD);

// Bytes moved so far and the total (0 when the server did not say).
using ProgressCallback = std::function<void(ULONGLONG done, ULONGLONG total)>;

struct FormField {
    std::wstring name;
    std::wstring value;
};

// What a server says of the version of a document it sent or stored.
struct Validators {
    std::wstring etag;          // as sent, W/ included
    std::wstring lastModified;  // the HTTP date, as sent
    bool empty() const { return etag.empty() && lastModified.empty(); }
    bool weak() const { return etag.compare(0, 2, L"W/") == 0; }
};

// What a PUT requires of the server's copy: the version it replaces (If-Match
// for a strong ETag, If-Unmodified-Since otherwise), and the lock it holds.
struct PutConditions {
    Validators validators;
    std::wstring lockToken;
};

// A WebDAV lock: its token ("opaquelocktoken:...", no angle brackets), the
// seconds the server granted, and who holds it.
struct LockInfo {
    std::wstring token;
    DWORD timeoutSeconds = 0;
    std::wstring owner;
};

struct TransferResult {
    DWORD status = 0;        // the final HTTP status; 0 when none arrived
    Validators validators;   // of the document sent or stored
    ULONGLONG bytes = 0;     // document bytes moved
    std::string response;    // the body of an upload's answer (bounded)
    std::wstring refusedUrl;  // the request the hop check refused, if any
    std::wstring lockToken;   // a LOCK's token, without its angle brackets
    DWORD lockTimeoutSeconds = 0;
};

// A document larger than the cap: refused as it arrives.
const HRESULT E_HTTP_TOO_LARGE = HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);

// Whether a request may go to url, reached by a redirect from *pFrom (null
// for the first request): S_OK, or the failure that ends the transfer.
using HopCheck = std::function<HRESULT(const std::wstring& url, const std::wstring* pFrom)>;
// Polled while bytes move: true ends the transfer with E_ABORT.
using CancelCheck = std::function<bool()>;

class CWebSession {
public:
    // One timeout for connecting, sending and receiving, so that a silent
    // server fails in bounded time; HKCU\<product key>\Web "TimeoutMs".
    static DWORD TimeoutMs();
    // The bounds beside it in the same key: the whole transfer's deadline
    // ("DeadlineMs", a trickling server never trips the per-call timeout),
    // the largest document ("MaxDocumentBytes") and the part of an upload's
    // answer kept ("MaxResponseBytes").
    static DWORD DeadlineMs();
    static ULONGLONG MaxDocumentBytes();
    static size_t MaxResponseBytes();
    // The timeout a check-out asks for ("LockTimeoutSeconds").
    static DWORD LockTimeoutSeconds();

    HRESULT Open();
    // Asked before every request, the first and each redirect's.
    void SetHopCheck(HopCheck check) { m_hopCheck = std::move(check); }
    void SetCancelCheck(CancelCheck check) { m_cancel = std::move(check); }
    // The window that owns the system's sign-in prompt when a server asks
    // for a user (401); null: nobody to ask, the request fails.
    void SetPromptWindow(HWND hwnd) { m_hwndPrompt = hwnd; }

    // GET url into file (created or truncated); redirects followed.
    HRESULT Download(const std::wstring& url, const std::wstring& file, const ProgressCallback& progress,
                     TransferResult* pResult);
    // POST as multipart/form-data: the fields, then file as part fieldName.
    HRESULT PostFile(const std::wstring& url, const std::wstring& file, const std::wstring& fieldName,
                     const std::wstring& fileName, const std::vector<FormField>& fields,
                     const ProgressCallback& progress, TransferResult* pResult);
    // PUT of the file's bytes, on the conditions given: E_HTTP_CONFLICT for
    // a 412, E_HTTP_LOCKED for a 423.
    HRESULT PutFile(const std::wstring& url, const std::wstring& file, const ProgressCallback& progress,
                    TransferResult* pResult, const PutConditions& conditions = PutConditions());
    // HEAD: the status and validators alone.
    HRESULT Head(const std::wstring& url, TransferResult* pResult);

    // WebDAV locks. Lock takes an exclusive write lock for owner; when
    // someone else holds one it fails with E_HTTP_LOCKED and pLock->owner
    // says who.
    HRESULT Lock(const std::wstring& url, const std::wstring& owner, DWORD timeoutSeconds, LockInfo* pLock,
                 TransferResult* pResult);
    HRESULT RefreshLock(const std::wstring& url, const std::wstring& token, DWORD timeoutSeconds);
    HRESULT Unlock(const std::wstring& url, const std::wstring& token);
    // The owner text of the lock on url (PROPFIND lockdiscovery); empty
    // when it is not locked or the server does not say.
    HRESULT QueryLockOwner(const std::wstring& url, std::wstring* pOwner);

private:
    struct Body {
        std::string prefix;
        std::wstring file;
        ULONGLONG fileSize = 0;
        std::string suffix;
        std::wstring contentType;
        ULONGLONG total() const { return prefix.size() + fileSize + suffix.size(); }
    };
    HRESULT Send(std::wstring url, std::wstring verb, const Body* pBody, HANDLE hOut,
                 const ProgressCallback& progress, TransferResult* pResult, const std::wstring& extraHeaders = {});
    // One attempt at one hop; *pbRetry asks for a fresh connection when a
    // kept-alive one turned out dead before any answer.
    HRESULT SendOnce(HINTERNET hRequest, const Body* pBody, const Body& body, const std::wstring& headers,
                     const ProgressCallback& progress, TransferResult* pResult, bool* pbRetry);
    // The system's sign-in prompt for a 401: true to send again.
    bool AskForSignIn(HINTERNET hRequest);
    HRESULT WriteBody(HINTERNET hRequest, const Body& body, const ProgressCallback& progress);
    HRESULT ReadBody(HINTERNET hRequest, HANDLE hOut, const ProgressCallback& progress, TransferResult* pResult);

    void SetTimeouts(HINTERNET h);
    // E_ABORT when cancelled, the timeout's failure past the deadline.
    HRESULT Interrupted() const;

    unique_hinternet m_hSession;
    DWORD m_dwTimeoutMs = 0;
    DWORD m_dwDeadlineMs = 0;
    DWORD m_dwStart = 0;
    ULONGLONG m_cbMaxDocument = 0;
    size_t m_cbMaxResponse = 0;
    HopCheck m_hopCheck;
    CancelCheck m_cancel;
    HWND m_hwndPrompt = nullptr;
};

// The text content of the first <owner> element (any namespace prefix) of
// a WebDAV XML answer, inner tags dropped, spaces trimmed.
std::wstring OwnerFromXml(const std::string& xml);

// A URL as it may be logged: scheme, host, port and path, as the URL
// cracker reads them; never the user name, password, query or fragment.
std::wstring LoggableUrl(const std::wstring& url);
// Whether s holds a control character (below 0x20, NUL included), which no
// URL, header or form field of a request may carry.
bool HasControlChar(const std::wstring& s);
// Whether url is an absolute http or https URL.
bool IsHttpUrl(const wchar_t* url);

// A file in the transfers' private temporary folder, reserved when made
// (it exists, empty) and deleted with its owner.
class CTransferFile {
public:
    CTransferFile() = default;
    ~CTransferFile();
    CTransferFile(const CTransferFile&) = delete;
    CTransferFile& operator=(const CTransferFile&) = delete;

    // A new, unique file; named "vxNNNN-<leaf>" when leaf gives a usable
    // name (so the file keeps a download's name and extension), else
    // "vxNNNN.tmp".
    HRESULT Create(const std::wstring& leaf = std::wstring());
    const std::wstring& path() const { return m_path; }

    // %TEMP%\VellixWeb
    static std::wstring Folder();

private:
    static std::wstring FileNameFrom(const std::wstring& leaf);

    std::wstring m_path;
    std::wstring m_reserved;  // the name GetTempFileName reserved, while m_path is another
};

}  // namespace web
