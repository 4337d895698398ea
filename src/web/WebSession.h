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
// The control's own: the server's copy is not the one the save started from
// (412: a condition of the request failed), and a lock held by someone else
// refused the request (423; for a LOCK also 409 or 412 where a lock holds).
const HRESULT E_HTTP_CONFLICT = static_cast<HRESULT>(0x80041110);
const HRESULT E_HTTP_LOCKED = static_cast<HRESULT>(0x80041111);
// 401 and no sign-in: no prompt window was given, or the server refused
// every answer given (status stays 401). WinINet's own code for it.
const HRESULT E_HTTP_SIGNIN_REQUIRED = HRESULT_FROM_WIN32(ERROR_INTERNET_INCORRECT_PASSWORD);
// The user cancelled the sign-in prompt (status stays 401).
const HRESULT E_HTTP_SIGNIN_CANCELLED = HRESULT_FROM_WIN32(ERROR_CANCELLED);

// Bytes moved so far and the total (0 when the server did not say).
using ProgressCallback = std::function<void(ULONGLONG done, ULONGLONG total)>;

struct FormField {
    std::wstring name;
    std::wstring value;
};

struct TransferResult {
    DWORD status = 0;        // the final HTTP status; 0 when none arrived
    ULONGLONG bytes = 0;     // document bytes moved
    std::string response;    // the body of an upload's answer (bounded)
    std::wstring refusedUrl;  // the request the hop check refused, if any
    // The validators of the final answer, as the server wrote them (an ETag
    // keeps its quotes and any W/), empty when it gave none.
    std::wstring etag;
    std::wstring lastModified;
    // A LOCK's token ("opaquelocktoken:..."), without angle brackets.
    std::wstring lockToken;
};

// What the server's copy must still be for a PUT to replace it; all empty:
// unconditional. Take etag and lastModified from the TransferResult of the
// download (or of the last PUT).
struct PutConditions {
    std::wstring etag;          // strong: If-Match; weak (W/"...") or none: lastModified is used
    std::wstring lastModified;  // If-Unmodified-Since, when etag cannot serve
    std::wstring lockToken;     // the lock this session holds (If: header), brackets optional
};

// What a server said of the version of a document it sent or stored.
struct Validators {
    std::wstring etag;
    std::wstring lastModified;
    Validators() = default;
    explicit Validators(const TransferResult& r) : etag(r.etag), lastModified(r.lastModified) {}
    bool empty() const { return etag.empty() && lastModified.empty(); }
    bool weak() const { return etag.compare(0, 2, L"W/") == 0; }
};

// A WebDAV lock as granted (lockToken, timeoutSeconds), or who holds the
// one that refused it (owner).
struct LockInfo : TransferResult {
    static const DWORD kInfiniteLock = 0xFFFFFFFF;
    DWORD timeoutSeconds = 0;  // as granted; kInfiniteLock: no limit; 0: not said
    std::wstring owner;        // the holder's owner text, after E_HTTP_LOCKED
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
    // The owner of the sign-in prompt any request shows on a 401; null (the
    // default): unattended, a 401 ends the request with
    // E_HTTP_SIGNIN_REQUIRED. The prompt is modal: while it shows, this
    // thread dispatches window messages (a caller's script and events may
    // run), and the user's time at it does not count against the deadline.
    void SetPromptWindow(HWND hwnd) { m_hwndPrompt = hwnd; }

    // GET url into file (created or truncated); redirects followed.
    HRESULT Download(const std::wstring& url, const std::wstring& file, const ProgressCallback& progress,
                     TransferResult* pResult);
    // POST as multipart/form-data: the fields, then file as part fieldName.
    HRESULT PostFile(const std::wstring& url, const std::wstring& file, const std::wstring& fieldName,
                     const std::wstring& fileName, const std::vector<FormField>& fields,
                     const ProgressCallback& progress, TransferResult* pResult);
    // PUT of the file's bytes, only while the server's copy meets the
    // conditions: E_HTTP_CONFLICT (412) or E_HTTP_LOCKED (423) and nothing
    // written otherwise.
    HRESULT PutFile(const std::wstring& url, const std::wstring& file, const ProgressCallback& progress,
                    TransferResult* pResult, const PutConditions& conditions = PutConditions());

    // An exclusive write lock on url (depth 0) for owner (any text, shown to
    // others), asked for timeoutSeconds (0: as long as the server likes).
    // Refused because another holds it: E_HTTP_LOCKED, pInfo->owner theirs.
    HRESULT Lock(const std::wstring& url, const std::wstring& owner, DWORD timeoutSeconds, LockInfo* pInfo);
    // Renews the lock token holds on url; pInfo gets the new timeout. A
    // token the server no longer knows (the lock lapsed): E_HTTP_CONFLICT.
    HRESULT RefreshLock(const std::wstring& url, const std::wstring& token, DWORD timeoutSeconds, LockInfo* pInfo);
    HRESULT Unlock(const std::wstring& url, const std::wstring& token, TransferResult* pResult = nullptr);
    // Who holds a lock on url (the owner text, possibly empty): S_OK; S_FALSE
    // and empty when nothing is locked.
    HRESULT QueryLockOwner(const std::wstring& url, std::wstring* pOwner);
    // HEAD: the status and the validators alone.
    HRESULT Head(const std::wstring& url, TransferResult* pResult);

private:
    struct Body {
        std::string prefix;
        std::wstring file;  // none: the body is all prefix
        ULONGLONG fileSize = 0;
        std::string suffix;
        std::wstring contentType;
        ULONGLONG total() const { return prefix.size() + fileSize + suffix.size(); }
    };
    // Where one hop's request goes.
    struct Target {
        std::wstring host;
        INTERNET_PORT port = 0;
        std::wstring object;  // path and query
        DWORD flags = 0;      // of HttpOpenRequest
    };
    // One request on handles of its own, up to its answer's status.
    struct Exchange {
        bool bConnected = false;  // WinINet opened a connection for it (else it reused a kept-alive one)
        DWORD status = 0;
        unique_hinternet hConnect;
        unique_hinternet hRequest;  // after hConnect: closed first
    };
    HRESULT Send(std::wstring url, std::wstring verb, const std::wstring& headers, const Body* pBody, HANDLE hOut,
                 const ProgressCallback& progress, TransferResult* pResult);
    // A request whose body (if any) is text: the DAV verbs.
    HRESULT SendText(const std::wstring& url, const wchar_t* pszVerb, const std::wstring& headers,
                     const std::string& body, TransferResult* pResult);
    HRESULT Perform(const Target& target, const std::wstring& verb, const std::wstring& headers, const Body* pBody,
                    const ProgressCallback& progress, Exchange* pEx);
    HRESULT SignIn(const Target& target, Exchange* pEx, int* pnPrompts);
    static void CALLBACK OnRequestStatus(HINTERNET hInternet, DWORD_PTR context, DWORD dwStatus, LPVOID pInfo,
                                         DWORD cbInfo);
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
