#include "Sweep.h"

#include <algorithm>

namespace hardening {

bool IsDispatchRefusal(HRESULT hr) {
    switch (hr) {
    case DISP_E_TYPEMISMATCH:
    case DISP_E_BADVARTYPE:
    case DISP_E_PARAMNOTFOUND:
    case DISP_E_BADPARAMCOUNT:
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_NONAMEDARGS:
    case DISP_E_OVERFLOW:
    case DISP_E_UNKNOWNINTERFACE:
    case DISP_E_NOTACOLLECTION:
    case E_INVALIDARG:
        return true;
    default:
        return false;
    }
}

std::vector<Arg> BstrArgs(const ValuePool& pool) {
    std::vector<Arg> args;
    for (const BstrValue& b : pool.bstrs()) {
        Arg a;
        a.label = b.label;
        a.bstr = b.bstr;
        args.push_back(a);
    }
    return args;
}

std::vector<Arg> VariantArgs(const ValuePool& pool, bool bWithMalformed) {
    std::vector<Arg> args;
    for (const VariantValue& v : pool.variants()) {
        Arg a;
        a.label = v.label;
        a.var = v.v;
        a.bNonEmptyString = v.bNonEmptyString;
        a.bRaw = true;
        args.push_back(a);
    }
    if (bWithMalformed) {
        // Only a caller that bypasses the dispatch layer can hand these over.
        Arg a;
        a.label = L"VT_BYREF|VT_UI1 null pointer";
        a.var.vt = VT_BYREF | VT_UI1;
        a.var.pbVal = nullptr;
        a.bRaw = true;
        args.push_back(a);
        a.label = L"VT_BYREF|VT_BSTR null pointer";
        a.var.vt = VT_BYREF | VT_BSTR;
        a.var.pbstrVal = nullptr;
        args.push_back(a);
    }
    return args;
}

std::vector<Arg> BoolArgs() {
    std::vector<Arg> args;
    for (SHORT b : {VARIANT_TRUE, VARIANT_FALSE, static_cast<SHORT>(1), static_cast<SHORT>(0x7FFF),
                    static_cast<SHORT>(0x8000)}) {
        Arg a;
        a.label = L"VARIANT_BOOL " + std::to_wstring(b);
        a.b = b;
        args.push_back(a);
    }
    return args;
}

std::vector<Arg> UintArgs(HWND hwndValid) {
    std::vector<Arg> args;
    struct {
        const wchar_t* label;
        UINT u;
    } values[] = {
        {L"0", 0},
        {L"1", 1},
        {L"a stale handle", 0xDEADBEE0u},
        {L"0xFFFFFFFF", 0xFFFFFFFFu},
        {L"the desktop window", static_cast<UINT>(reinterpret_cast<UINT_PTR>(GetDesktopWindow()))},
        {L"a valid window", static_cast<UINT>(reinterpret_cast<UINT_PTR>(hwndValid))},
    };
    for (const auto& v : values) {
        Arg a;
        a.label = std::wstring(L"UINT ") + v.label;
        a.u = v.u;
        args.push_back(a);
    }
    return args;
}

std::vector<Arg> UnknownArgs(ValuePool& pool) {
    Arg none;
    none.label = L"null object";
    Arg object;
    object.label = L"an unrelated object";
    object.punk = pool.dispatch();
    return {none, object};
}

std::vector<Arg> VariantPtrArgs(const ValuePool& pool) {
    std::vector<Arg> args;
    Arg none;
    none.label = L"null VARIANT*";
    args.push_back(none);
    // A structure pointer that points nowhere, as a careless caller passes.
    static VARIANT s_nullRef = [] {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BYREF | VT_UI1;
        return v;
    }();
    Arg nullRef;
    nullRef.label = L"&VT_BYREF|VT_UI1 null pointer";
    nullRef.pvar = &s_nullRef;
    nullRef.var = s_nullRef;
    args.push_back(nullRef);
    // Pointers into the pool's own values: they stay valid for the sweep.
    for (const VariantValue& v : pool.variants()) {
        Arg a;
        a.label = L"&" + v.label;
        a.pvar = const_cast<VARIANT*>(&v.v);
        a.var = v.v;
        a.bRaw = true;
        args.push_back(a);
    }
    return args;
}

VARIANT ToVariant(Param kind, const Arg& a) {
    if (a.bRaw) return a.var;
    VARIANT v;
    VariantInit(&v);
    switch (kind) {
    case Param::Bstr:
        v.vt = VT_BSTR;
        v.bstrVal = a.bstr;
        break;
    case Param::Variant:
    case Param::VariantPtr:
        return a.pvar ? *a.pvar : a.var;
    case Param::Bool:
        v.vt = VT_BOOL;
        v.boolVal = a.b;
        break;
    case Param::Uint:
        v.vt = VT_UI4;
        v.ulVal = a.u;
        break;
    case Param::Dispatch:
        v.vt = VT_DISPATCH;
        v.pdispVal = static_cast<IDispatch*>(a.punk);
        break;
    case Param::Unknown:
        v.vt = VT_UNKNOWN;
        v.punkVal = a.punk;
        break;
    }
    return v;
}

namespace {

// Recognisable garbage in every out-slot before a call.
const UINT_PTR kGarbage = 0xBAADF00D;
const VARIANT_BOOL kGarbageBool = 0x5A5A;
std::wstring g_unset;

}  // namespace

OutSlot::OutSlot(Out kind)
    : m_kind(kind),
      m_bstr(reinterpret_cast<BSTR>(kGarbage)),
      m_disp(reinterpret_cast<IDispatch*>(kGarbage)),
      m_b(kGarbageBool),
      m_u(static_cast<UINT>(kGarbage)) {
    VariantInit(&m_var);
    V_VT(&m_var) = VT_ILLEGAL;
    V_UI4(&m_var) = static_cast<ULONG>(kGarbage);
}

HRESULT OutSlot::Check(HRESULT hr) {
    bool bUnset = false;
    const wchar_t* pszKind = L"";
    switch (m_kind) {
    case Out::None: break;
    case Out::Bstr:
        bUnset = m_bstr == reinterpret_cast<BSTR>(kGarbage);
        pszKind = L"BSTR";
        break;
    case Out::Dispatch:
        bUnset = m_disp == reinterpret_cast<IDispatch*>(kGarbage);
        pszKind = L"IDispatch";
        break;
    case Out::Bool:
        bUnset = m_b == kGarbageBool;
        pszKind = L"VARIANT_BOOL";
        break;
    case Out::Uint:
        bUnset = m_u == static_cast<UINT>(kGarbage);
        pszKind = L"UINT";
        break;
    case Out::Variant:
        bUnset = V_VT(&m_var) == VT_ILLEGAL;
        pszKind = L"VARIANT";
        break;
    }
    if (m_bGiven && bUnset) g_unset = pszKind;
    return hr;
}

std::wstring OutSlot::TakeUnset() {
    std::wstring unset;
    unset.swap(g_unset);
    return unset;
}

OutSlot::~OutSlot() {
    // Whatever the member left here is the caller's to free; garbage is not.
    if (m_bstr != reinterpret_cast<BSTR>(kGarbage)) SysFreeString(m_bstr);
    if (m_disp && m_disp != reinterpret_cast<IDispatch*>(kGarbage)) m_disp->Release();
    if (m_kind == Out::Variant && V_VT(&m_var) != VT_ILLEGAL) VariantClear(&m_var);
}

void SweepChecker::Begin() { m_before = m_boxes ? m_boxes->count() : 0; }

void SweepChecker::End(const CallCheck& c, const std::vector<HRESULT>& results, const std::vector<BoxRule>& rules) {
    ++m_calls;
    bool bDocumented = std::find(results.begin(), results.end(), c.hr) != results.end() ||
                       (FAILED(c.hr) && std::find(results.begin(), results.end(), kAnyFailure) != results.end()) ||
                       (c.bByDispatch && IsDispatchRefusal(c.hr)) ||
                       (c.bNullOut && (c.hr == E_POINTER || c.hr == E_INVALIDARG));
    if (!bDocumented) Fault(c.key, c.where + L": undocumented result " + HrText(c.hr));
    if (!m_boxes) return;
    std::vector<testsupport::DialogRecord> records = m_boxes->records();
    for (size_t i = m_before; i < records.size(); ++i) {
        bool bAllowed = false;
        for (const BoxRule& rule : rules) bAllowed = bAllowed || MatchesRule(records[i], rule);
        if (!bAllowed) Fault(c.key, c.where + L": undocumented " + Describe(records[i]));
    }
}

void SweepUnknownDispids(IDispatch* disp, const std::vector<DISPID>& dispids, const std::wstring& state,
                         testsupport::DialogWatcher* boxes) {
    SweepChecker check(boxes);
    for (DISPID id : dispids) {
        for (WORD flags : {static_cast<WORD>(DISPATCH_METHOD), static_cast<WORD>(DISPATCH_PROPERTYGET)}) {
            std::wstring where = state + L" Invoke of unassigned DISPID " + std::to_wstring(id);
            SetStep(where);
            DISPPARAMS dp = {nullptr, nullptr, 0, 0};
            VARIANT result;
            VariantInit(&result);
            check.Begin();
            HRESULT hr = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &dp, &result, nullptr, nullptr);
            VariantClear(&result);
            check.End({where, state + L" unassigned DISPIDs", hr, false, false}, {DISP_E_MEMBERNOTFOUND}, {});
        }
    }
    std::wstring where = state + L" Invoke with an interface id other than IID_NULL";
    SetStep(where);
    DISPPARAMS dp = {nullptr, nullptr, 0, 0};
    check.Begin();
    HRESULT hr = disp->Invoke(1, IID_IDispatch, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr);
    check.End({where, state + L" unassigned DISPIDs", hr, false, false}, {DISP_E_UNKNOWNINTERFACE}, {});
}

}  // namespace hardening
