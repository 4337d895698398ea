// The bad-input sweep: every member of a dual interface called with every
// argument value, once through IDispatch::Invoke by DISPID and once through
// the vtable, each result and each message box checked against what the
// member documents.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "Child.h"
#include "Fixtures.h"

namespace hardening {

// Kinds of [in] parameters.
enum class Param { Bstr, Variant, Bool, Uint, Dispatch, Unknown, VariantPtr };
// Kinds of [out, retval] parameters.
enum class Out { None, Bstr, Dispatch, Bool, Uint, Variant };

// One argument as the vtable receives it.
struct Arg {
    std::wstring label;
    BSTR bstr = nullptr;
    VARIANT var = {};
    VARIANT_BOOL b = VARIANT_FALSE;
    UINT u = 0;
    IUnknown* punk = nullptr;
    VARIANT* pvar = nullptr;
    bool bNonEmptyString = false;  // a Variant that is a VT_BSTR with text
    bool bRaw = false;             // var goes to Invoke as it is, whatever the kind
};

struct CallArgs {
    std::vector<Arg> in;
    bool bNullOut = false;
};

// Results every member may give for a call that the dispatch layer refuses
// (wrong count, a type it cannot coerce, an unknown DISPID).
bool IsDispatchRefusal(HRESULT hr);
// Marks "every failure code" in a list of documented results: members that
// return what the platform or the document server returned.
const HRESULT kAnyFailure = static_cast<HRESULT>(0x8FFFFFFF);

template <class I>
struct Member {
    const wchar_t* name;
    DISPID dispid;
    WORD flags;  // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
    std::vector<Param> params;
    Out out;
    std::vector<HRESULT> results;
    std::vector<BoxRule> boxes;
    std::function<HRESULT(I*, CallArgs&)> call;
    // Shows a modal dialog for most arguments: swept in full once only.
    bool bModal = false;
    // Argument labels never handed to this member (what would start
    // programs on this machine).
    std::function<bool(const std::wstring& label)> skip;
    // A check after a call that reported success: empty, or the fault.
    std::function<std::wstring(I*, const CallArgs&, HRESULT)> verify;
};

// What a sweep is told about its surroundings.
template <class I>
struct SweepHost {
    I* target = nullptr;
    IDispatch* dispatch = nullptr;
    testsupport::DialogWatcher* boxes = nullptr;
    // Puts the object back into the state the sweep runs in; returns the
    // (possibly new) object, or null when that failed.
    std::function<I*()> restore;
    // Message pumping after each call (posted commands run there).
    std::function<void()> pump;
    std::wstring state;
    bool bFullModal = false;  // sweep modal members in full here
};

// Value lists per parameter kind.
std::vector<Arg> BstrArgs(const ValuePool& pool);
std::vector<Arg> VariantArgs(const ValuePool& pool, bool bWithMalformed);
std::vector<Arg> BoolArgs();
std::vector<Arg> UintArgs(HWND hwndValid);
std::vector<Arg> UnknownArgs(ValuePool& pool);
std::vector<Arg> VariantPtrArgs(const ValuePool& pool);
// A VARIANT carrying a vtable argument of the kind, for Invoke.
VARIANT ToVariant(Param kind, const Arg& a);

// The out-parameter storage of one vtable call, released afterwards. It
// starts as recognisable garbage, so that a member that forgets to set its
// out-parameter is caught: pass the result through Check.
class OutSlot {
public:
    explicit OutSlot(Out kind);
    ~OutSlot();
    BSTR* bstr(bool bNull) { return Given(bNull, &m_bstr); }
    IDispatch** dispatch(bool bNull) { return Given(bNull, &m_disp); }
    VARIANT_BOOL* boolean(bool bNull) { return Given(bNull, &m_b); }
    UINT* uint(bool bNull) { return Given(bNull, &m_u); }
    VARIANT* variant(bool bNull) { return Given(bNull, &m_var); }
    // Notes a slot the call left as it was: every out-parameter is set
    // (null, empty, zero on failure), whatever the result.
    HRESULT Check(HRESULT hr);
    // What the last checked call left unset, once, or empty.
    static std::wstring TakeUnset();

private:
    template <class T>
    T* Given(bool bNull, T* p) {
        m_bGiven = !bNull;
        return bNull ? nullptr : p;
    }
    Out m_kind;
    bool m_bGiven = false;
    BSTR m_bstr;
    IDispatch* m_disp;
    VARIANT_BOOL m_b;
    UINT m_u;
    VARIANT m_var;
};

// The checks of one call.
struct CallCheck {
    std::wstring where;  // member, path, argument
    std::wstring key;    // the member, for grouping faults
    HRESULT hr;
    bool bByDispatch;
    bool bNullOut;
};

class SweepChecker {
public:
    explicit SweepChecker(testsupport::DialogWatcher* boxes) : m_boxes(boxes) {}
    void Begin();
    // Faults for an undocumented result or box.
    void End(const CallCheck& c, const std::vector<HRESULT>& results, const std::vector<BoxRule>& rules);
    size_t calls() const { return m_calls; }

private:
    testsupport::DialogWatcher* m_boxes;
    size_t m_before = 0;
    size_t m_calls = 0;
};

template <class I>
class Sweeper {
public:
    Sweeper(SweepHost<I> host, ValuePool& pool, HWND hwndValid)
        : m_host(host), m_pool(pool), m_check(host.boxes), m_hwndValid(hwndValid) {}

    void Run(const std::vector<Member<I>>& members) {
        for (const Member<I>& m : members) {
            const DWORD start = GetTickCount();
            RunMember(m);
            const DWORD elapsed = GetTickCount() - start;
            if (elapsed > 2000)
                Report("NOTE", m_host.state + L" " + m.name + L" took " + std::to_wstring(elapsed) + L" ms");
        }
        Report("NOTE", m_host.state + L": " + std::to_wstring(m_check.calls()) + L" calls");
    }

private:
    std::vector<Arg> ArgsFor(Param kind, bool bVtable) {
        switch (kind) {
        case Param::Bstr: return BstrArgs(m_pool);
        case Param::Variant: return VariantArgs(m_pool, bVtable);
        case Param::Bool: return BoolArgs();
        case Param::Uint: return UintArgs(m_hwndValid);
        case Param::Dispatch:
        case Param::Unknown: return UnknownArgs(m_pool);
        case Param::VariantPtr: return VariantPtrArgs(m_pool);
        }
        return {};
    }

    bool Skipped(const Member<I>& m, const Arg& a) {
        if (!m.skip) return false;
        std::wstring label = a.label;
        // Variants carry the BSTR's label after their type.
        if (label.compare(0, 8, L"VT_BSTR ") == 0) label = label.substr(8);
        return m.skip(label);
    }

    // Argument sets: the baseline, then one parameter varied at a time.
    std::vector<CallArgs> ArgSets(const Member<I>& m, const CallArgs& baseline, bool bVtable, bool bFull) {
        std::vector<CallArgs> sets{baseline};
        if (!bFull) return sets;
        for (size_t i = 0; i < m.params.size(); ++i) {
            // Through Invoke every position gets every VARIANT type; the
            // dispatch layer coerces or refuses them.
            for (const Arg& a : bVtable ? ArgsFor(m.params[i], true) : VariantArgs(m_pool, false)) {
                if (Skipped(m, a)) continue;
                CallArgs set = baseline;
                set.in[i] = a;
                sets.push_back(set);
            }
        }
        return sets;
    }

    void RunMember(const Member<I>& m) {
        const bool bFull = !m.bModal || m_host.bFullModal;
        CallArgs baseline = m_baseline(m);
        for (const CallArgs& set : ArgSets(m, baseline, true, bFull)) CallVtable(m, set, false);
        if (m.out != Out::None) CallVtable(m, baseline, true);
        for (const CallArgs& set : ArgSets(m, baseline, false, bFull)) CallDispatch(m, set);
        if (bFull) CallDispatchMisshapen(m, baseline);
    }

    std::wstring Where(const Member<I>& m, const wchar_t* pszPath, const CallArgs& set, const std::wstring& extra) {
        std::wstring where = m_host.state + L" " + m.name + L" " + pszPath + L"(";
        for (size_t i = 0; i < set.in.size(); ++i) where += (i ? L", " : L"") + set.in[i].label;
        return where + L")" + extra;
    }

    I* Target() {
        I* p = m_host.restore ? m_host.restore() : m_host.target;
        if (!p) Fault(m_host.state + L": the object could not be brought back into its state");
        return p;
    }

    void Verify(const Member<I>& m, I* p, const CallArgs& set, HRESULT hr, const std::wstring& where) {
        if (!m.verify || FAILED(hr)) return;
        std::wstring fault = m.verify(p, set, hr);
        if (!fault.empty()) Fault(m_host.state + L" " + m.name, where + L": " + fault);
    }

    void CallVtable(const Member<I>& m, const CallArgs& set, bool bNullOut) {
        I* p = Target();
        if (!p) return;
        CallArgs args = set;
        args.bNullOut = bNullOut;
        std::wstring where = Where(m, L"vtable", set, bNullOut ? L" with a null out-pointer" : L"");
        SetStep(where);
        m_check.Begin();
        HRESULT hr = m.call(p, args);
        const std::wstring unset = OutSlot::TakeUnset();
        if (m_host.pump) m_host.pump();
        m_check.End({where, m_host.state + L" " + m.name, hr, false, bNullOut}, m.results, m.boxes);
        if (!unset.empty())
            Fault(m_host.state + L" " + m.name, where + L": left its " + unset + L" out-parameter unset");
        if (!bNullOut) Verify(m, p, set, hr, where);
    }

    HRESULT Invoke(const Member<I>& m, DISPID dispid, WORD flags, std::vector<VARIANT> args, bool bNamedPut,
                   bool bResult, bool bNullParams = false) {
        // rgvarg runs from the last argument to the first.
        std::vector<VARIANT> rgvarg(args.rbegin(), args.rend());
        DISPID putId = DISPID_PROPERTYPUT;
        DISPPARAMS dp = {rgvarg.empty() ? nullptr : rgvarg.data(), bNamedPut ? &putId : nullptr,
                         static_cast<UINT>(rgvarg.size()), bNamedPut ? 1u : 0u};
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO ei = {};
        UINT argErr = 0;
        IDispatch* disp = m_dispatchOf();
        HRESULT hr = disp ? disp->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, bNullParams ? nullptr : &dp,
                                         bResult ? &result : nullptr, &ei, &argErr)
                          : E_POINTER;
        (void)m;
        // A member's failure comes back as an exception carrying its code.
        if (hr == DISP_E_EXCEPTION && ei.scode) hr = ei.scode;
        VariantClear(&result);
        SysFreeString(ei.bstrSource);
        SysFreeString(ei.bstrDescription);
        SysFreeString(ei.bstrHelpFile);
        return hr;
    }

    std::vector<VARIANT> Variants(const Member<I>& m, const CallArgs& set) {
        std::vector<VARIANT> v;
        for (size_t i = 0; i < m.params.size(); ++i) v.push_back(ToVariant(m.params[i], set.in[i]));
        return v;
    }

    void CallDispatch(const Member<I>& m, const CallArgs& set) {
        I* p = Target();
        if (!p) return;
        std::wstring where = Where(m, L"Invoke", set, L"");
        SetStep(where);
        m_check.Begin();
        HRESULT hr = Invoke(m, m.dispid, m.flags, Variants(m, set), m.flags == DISPATCH_PROPERTYPUT, true);
        if (m_host.pump) m_host.pump();
        m_check.End({where, m_host.state + L" " + m.name, hr, true, false}, m.results, m.boxes);
        if (!IsDispatchRefusal(hr)) Verify(m, p, set, hr, where);
    }

    // Calls the dispatch layer must refuse or survive: no arguments, one too
    // many, the wrong kind of call, no result variable.
    void CallDispatchMisshapen(const Member<I>& m, const CallArgs& baseline) {
        std::vector<VARIANT> args = Variants(m, baseline);
        struct Shape {
            const wchar_t* label;
            std::vector<VARIANT> args;
            WORD flags;
            bool bNamedPut;
            bool bResult;
            bool bNullParams;
        };
        VARIANT extra;
        VariantInit(&extra);
        extra.vt = VT_I4;
        extra.lVal = 5;
        std::vector<VARIANT> more = args;
        more.push_back(extra);
        const WORD wrongKind = m.flags == DISPATCH_METHOD ? static_cast<WORD>(DISPATCH_PROPERTYPUT)
                                                          : static_cast<WORD>(DISPATCH_METHOD);
        std::vector<Shape> shapes = {
            {L"no arguments", {}, m.flags, m.flags == DISPATCH_PROPERTYPUT, true, false},
            {L"one argument too many", more, m.flags, m.flags == DISPATCH_PROPERTYPUT, true, false},
            {L"the wrong kind of call", args, wrongKind, wrongKind == DISPATCH_PROPERTYPUT, true, false},
            {L"no result variable", args, m.flags, m.flags == DISPATCH_PROPERTYPUT, false, false},
            {L"method and property get", args, DISPATCH_METHOD | DISPATCH_PROPERTYGET, false, true, false},
            {L"no DISPPARAMS", {}, m.flags, false, true, true},
        };
        for (const Shape& s : shapes) {
            I* p = Target();
            if (!p) return;
            std::wstring where = m_host.state + L" " + m.name + L" Invoke with " + s.label;
            SetStep(where);
            m_check.Begin();
            HRESULT hr = Invoke(m, m.dispid, s.flags, s.args, s.bNamedPut, s.bResult, s.bNullParams);
            if (m_host.pump) m_host.pump();
            m_check.End({where, m_host.state + L" " + m.name, hr, true, false}, m.results, m.boxes);
        }
    }

public:
    // How the sweep finds the baseline arguments of a member and the
    // IDispatch to invoke (the restored object may be a new one).
    std::function<CallArgs(const Member<I>&)> m_baseline;
    std::function<IDispatch*()> m_dispatchOf;

private:
    SweepHost<I> m_host;
    ValuePool& m_pool;
    SweepChecker m_check;
    HWND m_hwndValid;
};

// Invoke with DISPIDs that no member has, and with an interface id that is
// not IID_NULL: each must be refused without running anything.
void SweepUnknownDispids(IDispatch* disp, const std::vector<DISPID>& dispids, const std::wstring& state,
                         testsupport::DialogWatcher* boxes);

}  // namespace hardening
