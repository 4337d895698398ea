// The extension object of the document's type (the sibling control that
// carries the type's own services).
#include "services/ExtObject.h"

#include <cwchar>
#include <string>

#include "diag/Trace.h"
#include "fw/Raii.h"

namespace services {

namespace {

// Which sibling control serves which documents. The document's ProgID is
// compared case-sensitively over the prefix only, so every version of a
// class (Word.Document.8, Word.Document.12) finds the same extension.
struct ExtensionClass {
    const wchar_t* pszDocumentPrefix;
    const wchar_t* pszProgId;
    const wchar_t* pszSuffix;  // given to the site as the type's file extension
};

const ExtensionClass kExtensionClasses[] = {
    {L"Word.Document", L"Scrivane.Word", L".doc"},
    {L"Excel.Sheet", L"Tabulane.Excel", L".xls"},
};

const wchar_t kMemberOffice[] = L"Office";
const wchar_t kMemberInitialize[] = L"Initialize";

const wchar_t kTextExtObjectFailed[] = L"创建扩展对象失败";
// Captions for results the system has no text for.
const wchar_t kFmtIDispatchError[] = L"IDispatch error #%d";
const wchar_t kFmtUnknownError[] = L"Unknown error 0x%0lX";



// Error descriptions: what the caller reads after a failure.
const wchar_t kErrNoExtObject[] = L"没有扩展对象: 当前文档类型没有扩展控件";

// Interface-facility codes that automation numbers from 0x80040200 on.
const ULONG kFirstIDispatchError = 0x80040201;
const ULONG kLastIDispatchError = 0x8004FFFF;
const ULONG kIDispatchErrorBase = 0x80040200;

struct hlocal_traits {
    static HLOCAL invalid() noexcept { return nullptr; }
    static bool valid(HLOCAL h) noexcept { return h != nullptr; }
    static void close(HLOCAL h) noexcept { LocalFree(h); }
};
using unique_hlocal = fw::unique_handle_t<HLOCAL, hlocal_traits>;

// A null ProgID (Open passes one when the document's class has none)
// matches nothing.
const ExtensionClass* ExtensionFor(LPCWSTR pszProgId) {
    if (!pszProgId) return nullptr;
    for (const ExtensionClass& e : kExtensionClasses)
        if (wcsncmp(pszProgId, e.pszDocumentPrefix, wcslen(e.pszDocumentPrefix)) == 0) return &e;
    return nullptr;
}

// The system's message text for hr without its trailing line break, or the
// automation wording for a code the system has no text for.
std::wstring ResultText(HRESULT hr) {
    wchar_t* pszMessage = nullptr;
    const DWORD cch = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPWSTR>(&pszMessage), 0, nullptr);
    unique_hlocal message(pszMessage);
    if (cch && pszMessage) {
        std::wstring text(pszMessage, cch);
        if (text.size() > 1 && text.back() == L'\n') {
            text.pop_back();
            if (text.back() == L'\r') text.pop_back();
        }
        return text;
    }
    // Both formats produce at most 24 characters.
    wchar_t szText[40] = {};
    const ULONG code = static_cast<ULONG>(hr);
    if (code >= kFirstIDispatchError && code <= kLastIDispatchError)
        swprintf(szText, ARRAYSIZE(szText), kFmtIDispatchError, static_cast<int>(code - kIDispatchErrorBase));
    else
        swprintf(szText, ARRAYSIZE(szText), kFmtUnknownError, static_cast<long>(hr));
    return szText;
}

HRESULT ReportExtObjectFailure(diag::CNotifier& notifier, HRESULT hr) {
    notifier.Show(GetActiveWindow(), kTextExtObjectFailed, ResultText(hr).c_str());
    return hr;
}

}  // namespace

HRESULT CExtensionService::CreateExtObject(LPCWSTR pszProgId, fw::com_ptr<IDispatch>& object,
                                           IDocObject* pSite, IDispatch* pOffice) {
    VX_TRACE_CALL(L"CExtensionService::CreateExtObject", pszProgId, object, pSite, pOffice);
    if (object) VX_TRACE_RETURN(S_FALSE);

    HRESULT hr = S_OK;
    if (const ExtensionClass* ext = ExtensionFor(pszProgId)) {
        CLSID clsid = CLSID_NULL;
        hr = CLSIDFromString(ext->pszProgId, &clsid);
        if (hr != S_OK) VX_TRACE_RETURN(ReportExtObjectFailure(m_context.Notifier(), hr));
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, object.put_void());
        if (FAILED(hr)) VX_TRACE_RETURN(ReportExtObjectFailure(m_context.Notifier(), hr));
        // A server that answers success without an object has given none;
        // its success code must not reach the caller as one.
        if (!object) VX_TRACE_RETURN(ReportExtObjectFailure(m_context.Notifier(), E_NOINTERFACE));

        if (pSite) pSite->put_ExtFileName(fw::unique_bstr(ext->pszSuffix).get());
    }

    if (!object || !pSite) VX_TRACE_RETURN(hr);

    // Our own reference: the extension may call back into the control (and
    // close it) while it takes the control in.
    fw::com_ptr<IDispatch> extObject = object;
    fw::unique_variant office;
    office->vt = VT_DISPATCH;
    office->pdispVal = pOffice;
    office->pdispVal->AddRef();
    DispatchInvoke(extObject.get(), kMemberOffice, 0, DISPATCH_PROPERTYPUT, 1, office.get(), nullptr);
    office.reset();
    VX_TRACE_RETURN(DispatchInvoke(extObject.get(), kMemberInitialize, 0, DISPATCH_METHOD, 0, nullptr, nullptr));
}

HRESULT CExtensionService::GetExtObject(const fw::com_ptr<IDispatch>& object, IDispatch** pVal) {
    VX_TRACE_CALL(L"CExtensionService::GetExtObject", object, pVal);
    if (!pVal) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
    *pVal = nullptr;
    if (!object) VX_TRACE_RETURN(Fail(E_POINTER, kErrNoExtObject));
    VX_TRACE_RETURN(object.copy_to(pVal));
}

}  // namespace services
