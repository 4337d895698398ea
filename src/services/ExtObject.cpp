// The extension object of the document's type (the sibling control that
// carries the type's own services) and the small script helpers.
#include "control/Office.h"

#include <cwchar>
#include <string>

#include "fw/Raii.h"

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

const wchar_t kProgIdFileSystemObject[] = L"Scripting.FileSystemObject";

const wchar_t kTextWindowTypeUnknown[] = L"试图获取系统未注册的窗口类型失败";
const wchar_t kCaptionWindowTypeUnknown[] = L"窗口类型未知";
const wchar_t kTextWindowClassMissing[] = L"窗口类别不存在";
const wchar_t kCaptionCreateWindowFailed[] = L"创建窗口失败";

// Error descriptions: what the caller reads after a failure.
const wchar_t kErrNoExtObject[] = L"没有扩展对象: 当前文档类型没有扩展控件";
const wchar_t kErrNoFileSystemObject[] = L"创建对象失败: %s";
const wchar_t kErrWindowTypeUnknown[] = L"创建窗口对象失败: 未注册的窗口类型 %s";
const wchar_t kErrWindowClassMissing[] = L"创建窗口对象失败: 无法创建 %s";
const wchar_t kErrEncryptPdf[] = L"加密PDF功能未实现";
const wchar_t kErrAddWatermark[] = L"添加水印功能未实现";

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

// A NULL BSTR is the empty string; "%s" must never see a null pointer.
const wchar_t* Text(BSTR b) { return b ? b : L""; }

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

HRESULT ReportExtObjectFailure(HRESULT hr) {
    MessageBoxW(GetActiveWindow(), kTextExtObjectFailed, ResultText(hr).c_str(), MB_OK);
    return hr;
}

}  // namespace

HRESULT COffice::CreateExtObject(LPCWSTR pszProgId) {
    if (m_pExtObject) return S_FALSE;

    HRESULT hr = S_OK;
    if (const ExtensionClass* ext = ExtensionFor(pszProgId)) {
        CLSID clsid = CLSID_NULL;
        hr = CLSIDFromString(ext->pszProgId, &clsid);
        if (hr != S_OK) return ReportExtObjectFailure(hr);
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, m_pExtObject.put_void());
        if (FAILED(hr)) return ReportExtObjectFailure(hr);
        // A server that answers success without an object has given none;
        // its success code must not reach the caller as one.
        if (!m_pExtObject) return ReportExtObjectFailure(E_NOINTERFACE);

        if (m_spDocObject) m_spDocObject->put_ExtFileName(fw::unique_bstr(ext->pszSuffix).get());
    }

    if (!m_pExtObject || !m_spDocObject) return hr;

    // Our own reference: the extension may call back into the control (and
    // close it) while it takes the control in.
    fw::com_ptr<IDispatch> extObject = m_pExtObject;
    fw::unique_variant office;
    office->vt = VT_DISPATCH;
    office->pdispVal = static_cast<IOffice*>(this);
    office->pdispVal->AddRef();
    DispatchInvoke(extObject.get(), kMemberOffice, 0, DISPATCH_PROPERTYPUT, 1, office.get(), nullptr);
    office.reset();
    return DispatchInvoke(extObject.get(), kMemberInitialize, 0, DISPATCH_METHOD, 0, nullptr, nullptr);
}

STDMETHODIMP COffice::get_ExtObject(IDispatch** pVal) {
    if (!pVal) return Fail(E_POINTER, kErrNullResult);
    *pVal = nullptr;
    if (!m_pExtObject) return Fail(E_POINTER, kErrNoExtObject);
    return m_pExtObject.copy_to(pVal);
}

// A new object on every call.
STDMETHODIMP COffice::GetFileSystemObject(IDispatch** ppDisp) {
    if (!ppDisp) return Fail(E_POINTER, kErrNullResult);
    *ppDisp = nullptr;
    if (HRESULT hr = CheckSiteLock(L"GetFileSystemObject"); FAILED(hr)) return hr;
    CLSID clsid = CLSID_NULL;
    if (CLSIDFromProgID(kProgIdFileSystemObject, &clsid) != S_OK)
        return Fail(E_FAIL, kErrNoFileSystemObject, kProgIdFileSystemObject);
    return Fail(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                 reinterpret_cast<void**>(ppDisp)),
                kErrNoFileSystemObject, kProgIdFileSystemObject);
}

// Any registered class, named by a CLSID string or a ProgID.
STDMETHODIMP COffice::GetWindow(BSTR bstrWinType, IDispatch** ppDisp) {
    if (!ppDisp) return Fail(E_POINTER, kErrNullResult);
    *ppDisp = nullptr;
    if (HRESULT hr = CheckSiteLock(L"GetWindow"); FAILED(hr)) return hr;
    CLSID clsid = CLSID_NULL;
    if (CLSIDFromString(bstrWinType, &clsid) != S_OK) {
        MessageBoxW(GetActiveWindow(), kTextWindowTypeUnknown, kCaptionWindowTypeUnknown, MB_OK);
        return Fail(E_FAIL, kErrWindowTypeUnknown, Text(bstrWinType));
    }
    fw::com_ptr<IDispatch> window;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, window.put_void())) ||
        !window) {
        MessageBoxW(GetActiveWindow(), kTextWindowClassMissing, kCaptionCreateWindowFailed, MB_OK);
        return Fail(E_FAIL, kErrWindowClassMissing, Text(bstrWinType));
    }
    *ppDisp = window.detach();
    return S_OK;
}

STDMETHODIMP COffice::EncryptPDF(BSTR, BSTR, IDispatch*) { return Fail(E_NOTIMPL, kErrEncryptPdf); }

STDMETHODIMP COffice::AddWatermark(BSTR, VARIANT, VARIANT* pResult) {
    if (pResult) VariantInit(pResult);
    return Fail(E_NOTIMPL, kErrAddWatermark);
}
