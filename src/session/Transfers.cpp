// Documents on a web server: OpenFromURL, SaveToURL.
#include "session/DocumentSession.h"

#include <dispex.h>

#include <string>
#include <vector>

#include "session/ScriptArgs.h"
#include "site/SiteFiles.h"

namespace session {
namespace {

const wchar_t kDefaultFieldName[] = L"file";
const wchar_t kDefaultMethod[] = L"POST";
const wchar_t kDefaultUploadName[] = L"document";
const HRESULT E_NO_DATA = static_cast<HRESULT>(0x800C0007);  // INET_E_DATA_NOT_AVAILABLE

// Log formats.
const wchar_t kLogTransfer[] = L"网络传输\t%s\tURL:%s\t状态=%d\t字节:%s\t耗时:%dms\thr=%d";
const wchar_t kLogNoSite[] = L"DocObject为空";
const wchar_t kLogSaveFailed[] = L"保存文档失败\thr=%d\t文件名:%s";
const wchar_t kLogHopRefused[] = L"站点锁定拒绝\t成员:%s\t页面:%s\t目标:%s";

// Error descriptions, for failures no inner step described.
const wchar_t kErrOpenFromURL[] = L"从网址打开文档失败: %s (HTTP状态 %ld)";
const wchar_t kErrSaveToURL[] = L"保存文档到网址失败: %s (HTTP状态 %ld)";
const wchar_t kErrHopRefused[] = L"站点锁定: 页面不允许传输到该网址: %s";
const wchar_t kErrNotDocumentServer[] = L"不是已注册的文档服务器: %s";
const wchar_t kErrCancelled[] = L"用户取消了传输: %s";
// Failures before any request was made, or after the download: no status.
const wchar_t kErrOpenFromURLNoStatus[] = L"从网址打开文档失败: %s";
const wchar_t kErrSaveToURLNoStatus[] = L"保存文档到网址失败: %s";
const wchar_t kErrOpenFromURLNoWindow[] = L"从网址打开文档失败: 控件没有窗口 (文档只能显示在网页或ActiveX容器中的控件里) %s";
const wchar_t kErrOpenFromURLEmpty[] = L"从网址打开文档失败: 服务器没有发送内容 %s";
const wchar_t kErrOpenFromURLLoad[] = L"从网址打开文档失败: 下载的文件不能作为文档载入 %s";



std::wstring PercentDecode(const std::wstring& s) {
    std::string bytes;
    for (size_t i = 0; i < s.size(); ++i) {
        wchar_t c = s[i];
        if (c == L'+') {
            bytes += ' ';
        } else if (c == L'%' && i + 2 < s.size() && iswxdigit(s[i + 1]) && iswxdigit(s[i + 2])) {
            bytes += static_cast<char>(wcstoul(s.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            char utf8[8];
            int n = WideCharToMultiByte(CP_UTF8, 0, &c, 1, utf8, sizeof(utf8), nullptr, nullptr);
            bytes.append(utf8, n);
        }
    }
    int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &out[0], n);
    return out;
}

// "a=1&b=2", as a form would send it.
void ParseFieldString(const std::wstring& s, std::vector<web::FormField>* pFields) {
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(L'&', start);
        if (end == std::wstring::npos) end = s.size();
        std::wstring pair = s.substr(start, end - start);
        if (!pair.empty()) {
            size_t eq = pair.find(L'=');
            web::FormField f;
            f.name = PercentDecode(pair.substr(0, eq));
            if (eq != std::wstring::npos) f.value = PercentDecode(pair.substr(eq + 1));
            pFields->push_back(f);
        }
        start = end + 1;
    }
}

HRESULT PropertyText(IDispatch* pObject, DISPID dispid, std::wstring* pOut) {
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    fw::unique_variant value;
    HRESULT hr = pObject->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value.get(),
                                 nullptr, nullptr);
    if (FAILED(hr)) return hr;
    fw::unique_variant text;
    hr = VariantChangeType(text.get(), value.get(), 0, VT_BSTR);
    if (FAILED(hr)) return hr;
    pOut->assign(text->bstrVal ? text->bstrVal : L"", SysStringLen(text->bstrVal));
    return S_OK;
}

// A script object's own properties: through IDispatchEx where the object is
// a script engine's, else through its type information.
HRESULT ReadObjectFields(IDispatch* pObject, std::vector<web::FormField>* pFields) {
    fw::com_ptr<IDispatchEx> ex;
    if (SUCCEEDED(pObject->QueryInterface(__uuidof(IDispatchEx), ex.put_void())) && ex) {
        DISPID dispid = DISPID_STARTENUM;
        while (ex->GetNextDispID(fdexEnumAll, dispid, &dispid) == S_OK) {
            fw::unique_bstr name;
            std::wstring value;
            if (FAILED(ex->GetMemberName(dispid, name.put())) || FAILED(PropertyText(pObject, dispid, &value)))
                continue;
            pFields->push_back({name.c_str(), value});
        }
        return S_OK;
    }
    fw::com_ptr<ITypeInfo> ti;
    if (FAILED(pObject->GetTypeInfo(0, LOCALE_USER_DEFAULT, ti.put())) || !ti) return E_INVALIDARG;
    TYPEATTR* pAttr = nullptr;
    if (FAILED(ti->GetTypeAttr(&pAttr))) return E_INVALIDARG;
    const WORD cFuncs = pAttr->cFuncs, cVars = pAttr->cVars;
    ti->ReleaseTypeAttr(pAttr);
    auto add = [&](MEMBERID id) {
        fw::unique_bstr name;
        std::wstring value;
        if (SUCCEEDED(ti->GetDocumentation(id, name.put(), nullptr, nullptr, nullptr)) &&
            SUCCEEDED(PropertyText(pObject, id, &value)))
            pFields->push_back({name.c_str(), value});
    };
    for (WORD i = 0; i < cVars; ++i) {
        VARDESC* pVar = nullptr;
        if (FAILED(ti->GetVarDesc(i, &pVar))) continue;
        MEMBERID id = pVar->memid;
        ti->ReleaseVarDesc(pVar);
        add(id);
    }
    for (WORD i = 0; i < cFuncs; ++i) {
        FUNCDESC* pFunc = nullptr;
        if (FAILED(ti->GetFuncDesc(i, &pFunc))) continue;
        const bool bGetter = pFunc->invkind == INVOKE_PROPERTYGET && pFunc->cParams == 0;
        MEMBERID id = pFunc->memid;
        ti->ReleaseFuncDesc(pFunc);
        if (bGetter) add(id);
    }
    return S_OK;
}

HRESULT ReadFormFields(const VARIANT& v, std::vector<web::FormField>* pFields) {
    fw::unique_variant value;
    if (FAILED(VariantCopyInd(value.get(), const_cast<VARIANT*>(&v)))) return E_INVALIDARG;
    switch (value->vt) {
    case VT_EMPTY:
    case VT_NULL:
        return S_OK;
    case VT_ERROR:
        return value->scode == DISP_E_PARAMNOTFOUND ? S_OK : E_INVALIDARG;
    case VT_BSTR:
        ParseFieldString(std::wstring(value->bstrVal ? value->bstrVal : L"", SysStringLen(value->bstrVal)), pFields);
        return S_OK;
    case VT_DISPATCH:
        return value->pdispVal ? ReadObjectFields(value->pdispVal, pFields) : S_OK;
    default:
        return E_INVALIDARG;
    }
}

std::wstring LeafName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The decoded last segment of a URL's path: the downloaded file's name.
std::wstring UrlLeafName(const std::wstring& url) {
    std::wstring path = web::LoggableUrl(url);
    const size_t scheme = path.find(L"://");
    if (scheme != std::wstring::npos && path.find(L'/', scheme + 3) == std::wstring::npos) return std::wstring();
    return PercentDecode(LeafName(path));
}

BSTR Utf8ToBstr(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    BSTR b = SysAllocStringLen(nullptr, n);
    if (b && n) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), b, n);
    return b;
}

// Names the class of a downloaded compound file that does not say which
// server it belongs to.
void StampClass(const std::wstring& path, REFCLSID clsid) {
    fw::com_ptr<IStorage> stg;
    if (FAILED(StgOpenStorage(path.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, stg.put())))
        return;
    STATSTG st = {};
    if (FAILED(stg->Stat(&st, STATFLAG_NONAME))) return;
    LPOLESTR pszProgId = nullptr;
    const bool bKnown = !IsEqualCLSID(st.clsid, GUID_NULL) && SUCCEEDED(ProgIDFromCLSID(st.clsid, &pszProgId));
    CoTaskMemFree(pszProgId);
    if (bKnown) return;
    if (SUCCEEDED(WriteClassStg(stg.get(), clsid))) stg->Commit(STGC_DEFAULT);
}

// A class the control may create from a web document: a document server,
// which says so with a DocObject key under its class.
bool IsDocumentServer(REFCLSID clsid) {
    wchar_t szClsid[40] = {};
    if (!StringFromGUID2(clsid, szClsid, ARRAYSIZE(szClsid))) return false;
    fw::unique_hkey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + szClsid + L"\\DocObject").c_str(), 0,
                         KEY_READ, key.put()) == ERROR_SUCCESS;
}


// Esc pressed on this thread's windows while the wait cursor shows. Only
// that key is taken from the queue; other input waits for the transfer.
bool EscapePressed() {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE) || msg.wParam != VK_ESCAPE) return false;
    PeekMessageW(&msg, msg.hwnd, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE);
    return true;
}

// True at most once per interval: asking the message queue is a round trip
// to the window system (to the wineserver under Wine), and a download comes
// in reads of 8 KB there, 16,000 for 128 MB. Two looks per read took longer
// than the bytes themselves.
class CEvery {
public:
    explicit CEvery(DWORD ms) : m_dwMs(ms), m_dwLast(GetTickCount() - ms) {}
    bool Due() {
        const DWORD now = GetTickCount();
        if (now - m_dwLast < m_dwMs) return false;
        m_dwLast = now;
        return true;
    }

private:
    DWORD m_dwMs;
    DWORD m_dwLast;
};
const DWORD kQueueLookMs = 50;

class CWaitCursor {
public:
    CWaitCursor() : m_hOld(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { SetCursor(m_hOld); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    HCURSOR m_hOld;
};

// Sets the document's own "Saved", as the user's save would.
void PutDocumentSaved(IDocObject* pSite, VARIANT_BOOL bSaved) {
    fw::com_ptr<IDispatch> doc;
    if (FAILED(pSite->GetOleObject(doc.put())) || !doc) return;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = bSaved;
    DispatchInvoke(doc.get(), L"Saved", 0, DISPATCH_PROPERTYPUT, 1, &v, nullptr);
}

// The extension object's "Saved" is a VT_I2.
void PutExtSaved(IDispatch* pExt, SHORT value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I2;
    v.iVal = value;
    DispatchInvoke(pExt, L"Saved", 0, DISPATCH_PROPERTYPUT, 1, &v, nullptr);
}

// Whether two URLs name the same document, as far as a conditional save
// cares: scheme, host, port and path, without letter case. Taking two names
// of one file for one errs towards a refused save, never a lost one.
bool IsSameUrl(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty()) return false;
    return lstrcmpiW(web::LoggableUrl(a).c_str(), web::LoggableUrl(b).c_str()) == 0;
}

// Keeps the windows painted during a long transfer. Only paint messages:
// input or posted commands would re-enter the document commands.
void PumpPaintMessages() {
    MSG msg;
    for (int i = 0; i < 64 && PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i) DispatchMessageW(&msg);
}

}  // namespace

// ---- transfers -------------------------------------------------------------

HRESULT CDocumentSession::OpenWebSession(web::CWebSession& session) {
    HRESULT hr = session.Open();
    session.SetHopCheck([this](const std::wstring& target, const std::wstring* pFrom) {
        return m_siteLock.CheckTransfer(target.c_str(), pFrom ? pFrom->c_str() : nullptr);
    });
    // A server that asks who the user is gets the system's sign-in prompt,
    // unless nobody is there to answer it.
    session.SetPromptWindow(m_host.Notifier().IsSilent() ? nullptr : m_host.HostWindow());
    return hr;
}

HRESULT CDocumentSession::RunTransfer(LPCWSTR pszVerb, const std::wstring& url, const TransferStep& step,
                             web::TransferResult* pResult) {
    m_bTransferring = true;
    m_bTransferStarted = true;
    m_events.BeginProgress();
    CWaitCursor wait;
    ULONGLONG lastDone = 0, lastTotal = 0;
    CEvery paintDue(kQueueLookMs), escapeDue(kQueueLookMs);
    web::ProgressCallback progress = [&](ULONGLONG done, ULONGLONG total) {
        lastDone = done;
        lastTotal = total;
        if (paintDue.Due()) PumpPaintMessages();
        m_events.Progress(done, total, false);
    };
    const DWORD start = GetTickCount();
    web::CWebSession session;
    HRESULT hr = OpenWebSession(session);
    session.SetCancelCheck([&escapeDue] { return escapeDue.Due() && EscapePressed(); });
    if (SUCCEEDED(hr)) hr = step(session, progress);
    m_lLastHTTPStatus = static_cast<long>(pResult->status);
    Log().Write(kLogTransfer, pszVerb, web::LoggableUrl(url).c_str(), static_cast<int>(pResult->status),
                std::to_wstring(pResult->bytes).c_str(), static_cast<int>(GetTickCount() - start), hr);
    m_bTransferring = false;
    if (hr == E_ACCESSDENIED && !pResult->refusedUrl.empty()) {
        const std::wstring hop = web::LoggableUrl(pResult->refusedUrl);
        Log().Write(kLogHopRefused, pszVerb, web::LoggableUrl(m_siteLock.PageUrl()).c_str(), hop.c_str());
        return Fail(hr, kErrHopRefused, hop.c_str());
    }
    if (hr == E_ABORT) return Fail(hr, kErrCancelled, web::LoggableUrl(url).c_str());
    if (SUCCEEDED(hr)) {
        // The last one always comes, and says the whole has arrived.
        if (lastTotal == 0 || lastDone > lastTotal) lastTotal = lastDone;
        m_events.Progress(lastTotal, lastTotal, true);
    }
    return hr;
}

// A failure keeps the description an inner step (the site lock, the open)
// gave it; any other gets the member's own, naming the URL.
// A status is quoted only when this call made a request: an argument error
// has nothing to do with an earlier request's answer.
HRESULT CDocumentSession::DescribeWebFailure(HRESULT hr, LPCWSTR pszFormat, LPCWSTR pszNoStatus, BSTR url) {
    if (SUCCEEDED(hr)) return hr;
    fw::com_ptr<IErrorInfo> described;
    if (GetErrorInfo(0, described.put()) == S_OK && described) {
        SetErrorInfo(0, described.get());
        return hr;
    }
    const std::wstring loggable = web::LoggableUrl(url ? url : L"");
    if (!m_bTransferStarted) return Fail(hr, pszNoStatus, loggable.c_str());
    return Fail(hr, pszFormat, loggable.c_str(), m_lLastHTTPStatus);
}

HRESULT CDocumentSession::OpenFromURL(BSTR url, VARIANT readOnly, VARIANT progId) {
    SetErrorInfo(0, nullptr);
    m_bTransferStarted = false;
    return DescribeWebFailure(OpenFromURLSteps(url, readOnly, progId), kErrOpenFromURL, kErrOpenFromURLNoStatus,
                              url);
}

HRESULT CDocumentSession::SaveToURL(BSTR url, VARIANT fieldName, VARIANT fileName, VARIANT formFields,
                                    VARIANT method, BSTR* response) {
    SetErrorInfo(0, nullptr);
    m_bTransferStarted = false;
    return DescribeWebFailure(SaveToURLSteps(url, fieldName, fileName, formFields, method, response),
                              kErrSaveToURL, kErrSaveToURLNoStatus, url);
}

HRESULT CDocumentSession::OpenFromURLSteps(BSTR url, VARIANT readOnly, VARIANT progId) {
    CCommandScope scope(m_events, m_host.Notifier());
    if (!IsRequestableUrl(url)) return E_INVALIDARG;
    CLSID clsid = GUID_NULL;
    HRESULT hr = DocumentClass(progId, &clsid);
    if (FAILED(hr)) return hr;
    if (m_bTransferring) return HRESULT_FROM_WIN32(ERROR_BUSY);
    const std::wstring strUrl(url);
    // A control without a window (a script host's) can show no document:
    // said before anything is downloaded.
    if (!m_host.HostWindow()) return Fail(E_UNEXPECTED, kErrOpenFromURLNoWindow, web::LoggableUrl(strUrl).c_str());
    hr = DownloadAndOpen(strUrl, readOnly, clsid);
    if (hr == S_OK) QueueEvent(DISPID_DOCUMENTOPENED, strUrl);
    return hr;
}

// The class a script's progId names: GUID_NULL when it names none, and only
// a document server.
HRESULT CDocumentSession::DocumentClass(const VARIANT& progId, CLSID* pClsid) {
    *pClsid = GUID_NULL;
    std::wstring strProgId;
    if (FAILED(OptionalString(progId, L"", &strProgId))) return E_INVALIDARG;
    if (strProgId.empty()) return S_OK;
    HRESULT hr = CLSIDFromProgID(strProgId.c_str(), pClsid);
    if (FAILED(hr)) return hr;
    if (!IsDocumentServer(*pClsid)) return Fail(REGDB_E_CLASSNOTREG, kErrNotDocumentServer, strProgId.c_str());
    return S_OK;
}

// Downloaded in full before the open document is touched: a failed transfer
// leaves it as it was. Under the URL's own name, so that its extension tells
// a server's file type (plain text, say) as a local file's would.
HRESULT CDocumentSession::DownloadAndOpen(const std::wstring& strUrl, VARIANT readOnly, const CLSID& clsid) {
    web::CTransferFile file;
    HRESULT hr = file.Create(UrlLeafName(strUrl));
    if (FAILED(hr)) return hr;
    web::TransferResult result;
    hr = RunTransfer(L"GET", strUrl,
                     [&](web::CWebSession& session, const web::ProgressCallback& progress) {
                         return session.Download(strUrl, file.path(), progress, &result);
                     },
                     &result);
    if (FAILED(hr)) return hr;
    // A 200 with nothing in it (an expired session, a broken server) is
    // no document, whatever a server would make of an empty file.
    if (result.bytes == 0) return Fail(E_NO_DATA, kErrOpenFromURLEmpty, web::LoggableUrl(strUrl).c_str());
    if (!IsEqualCLSID(clsid, GUID_NULL)) StampClass(file.path(), clsid);
    // Whatever class the downloaded file names: only a document server is
    // made from it. A compound file names its class (stamped above when it
    // named none); any other file is the progId's, or what its name says.
    CLSID fileClass = clsid;
    if ((IsEqualCLSID(clsid, GUID_NULL) || StgIsStorageFile(file.path().c_str()) == S_OK) &&
        FAILED(GetClassFile(file.path().c_str(), &fileClass)))
        fileClass = GUID_NULL;
    if (!IsDocumentServer(fileClass)) {
        wchar_t szClass[40] = L"?";
        StringFromGUID2(fileClass, szClass, ARRAYSIZE(szClass));
        const std::wstring what = std::wstring(szClass) + L" (" + web::LoggableUrl(strUrl) + L")";
        return Fail(REGDB_E_CLASSNOTREG, kErrNotDocumentServer, what.c_str());
    }

    fw::unique_variant vFile;
    vFile->vt = VT_BSTR;
    vFile->bstrVal = SysAllocString(file.path().c_str());
    std::wstring opened;
    hr = LoadDocument(*vFile.get(), readOnly, &opened, clsid);
    // The temporary file means nothing to the caller: the URL is named.
    if (FAILED(hr)) return Fail(hr, kErrOpenFromURLLoad, web::LoggableUrl(strUrl).c_str());
    if (hr == S_FALSE) return hr;
    // The document was copied in; its temporary file goes now, and a later
    // Save without a name asks for one.
    if (m_spDocObject) {
        fw::unique_bstr none(L"");
        m_spDocObject->put_FileName(none.get());
    }
    m_strDocumentURL = strUrl;
    m_validators = web::Validators(result);
    return S_OK;
}

HRESULT CDocumentSession::SaveToURLSteps(BSTR url, VARIANT fieldName, VARIANT fileName, VARIANT formFields,
                                         VARIANT method, BSTR* response) {
    CCommandScope scope(m_events, m_host.Notifier());
    if (!response) return E_POINTER;
    *response = nullptr;
    if (!IsRequestableUrl(url)) return E_INVALIDARG;
    std::wstring strField, strFileName, strMethod;
    if (FAILED(OptionalString(fieldName, kDefaultFieldName, &strField)) || strField.empty() ||
        FAILED(OptionalString(fileName, L"", &strFileName)) ||
        FAILED(OptionalString(method, kDefaultMethod, &strMethod)))
        return E_INVALIDARG;
    const bool bPut = lstrcmpiW(strMethod.c_str(), L"PUT") == 0;
    if (!bPut && lstrcmpiW(strMethod.c_str(), L"POST") != 0) return E_INVALIDARG;
    std::vector<web::FormField> fields;
    HRESULT hr = ReadFormFields(formFields, &fields);
    if (FAILED(hr)) return hr;
    if (web::HasControlChar(strField) || web::HasControlChar(strFileName)) return E_INVALIDARG;
    for (const web::FormField& f : fields)
        if (web::HasControlChar(f.name) || web::HasControlChar(f.value)) return E_INVALIDARG;
    // A PUT over the document's own URL must not undo someone else's save.
    return Upload(std::wstring(url), bPut, bPut ? PutMode::Conditional : PutMode::Plain, strField, strFileName,
                  fields, response);
}

HRESULT CDocumentSession::Upload(const std::wstring& strUrl, bool bPut, PutMode mode, const std::wstring& field,
                                 const std::wstring& fileNameArg, const std::vector<web::FormField>& fields,
                                 BSTR* response) {
    // The site this save began with, held to the end: event handlers run
    // during the upload and may close or replace the document.
    fw::com_ptr<IDocObject> site = m_spDocObject;
    if (!site) {
        Log().Write(kLogNoSite);
        return E_POINTER;
    }
    if (m_bTransferring) return HRESULT_FROM_WIN32(ERROR_BUSY);
    VARIANT_BOOL bSaved = VARIANT_FALSE;
    GetSaved(&bSaved);
    fw::unique_bstr previous;
    site->get_FileName(previous.put());
    std::wstring strFileName = fileNameArg;
    if (strFileName.empty()) strFileName = LeafName(previous.c_str());
    if (strFileName.empty()) strFileName = LeafName(web::LoggableUrl(strUrl));
    if (strFileName.empty()) strFileName = kDefaultUploadName;

    // What the server must still hold for a PUT to replace it: what was
    // downloaded from there (or last saved there), and this control's lock.
    web::PutConditions conditions;
    const bool bOwnUrl = IsSameUrl(strUrl, m_strDocumentURL);
    if (bPut && bOwnUrl) conditions.lockToken = m_lock.lockToken;

    // A copy, as a local save writes it, to a temporary file; the document
    // keeps its own name, read-only state and unsaved changes, and its
    // server does not adopt the copy.
    web::CTransferFile file;
    HRESULT hr = file.Create();
    if (FAILED(hr)) return hr;
    fw::unique_bstr tempName(file.path().c_str());
    fw::com_ptr<ISiteFiles> files;
    hr = site->QueryInterface(__uuidof(ISiteFiles), files.put_void());
    if (SUCCEEDED(hr) && files) hr = files->SaveCopyToFile(tempName.get());
    if (FAILED(hr)) {
        Log().Write(kLogSaveFailed, hr, file.path().c_str());
        return hr;
    }
    if (bPut && bOwnUrl && mode == PutMode::Conditional) {
        // A weak tag is settled here, where it is needed: after the copy,
        // its second has mostly passed.
        SettleValidators(strUrl);
        conditions.etag = m_validators.etag;
        conditions.lastModified = m_validators.lastModified;
    }

    web::TransferResult result;
    hr = RunTransfer(bPut ? L"PUT" : L"POST", strUrl,
                     [&](web::CWebSession& session, const web::ProgressCallback& progress) {
                         return bPut ? session.PutFile(strUrl, file.path(), progress, &result, conditions)
                                     : session.PostFile(strUrl, file.path(), field, strFileName, fields, progress,
                                                        &result);
                     },
                     &result);
    const bool bStillOurs = m_spDocObject.get() == site.get();
    if (FAILED(hr)) {
        // Nothing reached the server: the document is as unsaved as before.
        if (!bSaved && bStillOurs) PutDocumentSaved(site.get(), VARIANT_FALSE);
        if (hr == web::E_HTTP_CONFLICT || hr == web::E_HTTP_LOCKED) return DescribeRefusedSave(hr, strUrl);
        return hr;
    }
    if (bStillOurs) {
        // The document has reached the server: it counts as saved.
        if (!bSaved) {
            PutDocumentSaved(site.get(), VARIANT_TRUE);
            if (m_pExtObject) PutExtSaved(m_pExtObject.get(), 0);
        }
        if (bPut) {
            // The next conditional save compares with what this one left;
            // a PUT's answer may carry no validators (Apache's does not).
            m_validators = web::Validators(result);
            if (m_validators.empty()) ReadValidators(strUrl);
        }
        // A form's answer says nothing of a file at that URL.
        if (!bPut) m_validators = web::Validators();
        m_strDocumentURL = strUrl;
    }
    QueueEvent(DISPID_DOCUMENTSAVED, strUrl);
    *response = Utf8ToBstr(result.response);
    return *response ? S_OK : E_OUTOFMEMORY;
}

}  // namespace session
