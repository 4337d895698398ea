// The developer trace: with VELLIX_TRACE=1 in the environment (or the DWORD
// Trace=1 under HKCU\Software\Vellix), each call into a traced COM
// interface writes one line through OutputDebugStringW, in the manner of
// Wine's debug channels:
//
//   0024:trace:vellix:CDocObject::Close() -> 0x00000000 (0.214 ms)
//
// Apart from the user's log, which never sees it. Off, a traced call costs
// one test of a flag read once per process.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string>
#include <type_traits>

namespace diag {

// -1 until first asked, then 0 or 1.
extern volatile LONG g_lTraceState;
bool ReadTraceSwitch();
inline bool TraceEnabled() {
    const LONG state = g_lTraceState;
    return state >= 0 ? state != 0 : ReadTraceSwitch();
}

// One free-form trace line (printf-style, %ls for wide strings).
void TraceLine(const wchar_t* pszFormat, ...);

namespace trace_detail {

void Append(std::wstring& out, const wchar_t* psz);
void Append(std::wstring& out, const VARIANT& v);
void AppendNumber(std::wstring& out, long long value);
void AppendPointer(std::wstring& out, const void* p);

template <class T>
void AppendArg(std::wstring& out, const T& value) {
    if constexpr (std::is_same_v<T, wchar_t*> || std::is_same_v<T, const wchar_t*>)
        Append(out, value);
    else if constexpr (std::is_same_v<T, VARIANT>)
        Append(out, value);
    else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>)
        AppendNumber(out, static_cast<long long>(value));
    else if constexpr (std::is_pointer_v<T>)
        AppendPointer(out, reinterpret_cast<const void*>(value));
    else
        out += L"{...}";
}

}  // namespace trace_detail

// One traced call: names the member and its arguments on entry, writes the
// line with the result and the elapsed time when it goes out of scope.
class CTraceCall {
public:
    template <class... Args>
    explicit CTraceCall(const wchar_t* pszMember, const Args&... args) {
        if (!TraceEnabled()) return;
        m_bOn = true;
        m_line = pszMember;
        m_line += L'(';
        bool bFirst = true;
        ((bFirst ? void(bFirst = false) : void(m_line += L", "), trace_detail::AppendArg(m_line, args)), ...);
        m_line += L')';
        QueryPerformanceCounter(&m_start);
    }
    ~CTraceCall();
    CTraceCall(const CTraceCall&) = delete;
    CTraceCall& operator=(const CTraceCall&) = delete;

    // The member's result, passed through.
    HRESULT Result(HRESULT hr) {
        m_hr = hr;
        return hr;
    }

private:
    bool m_bOn = false;
    HRESULT m_hr = S_OK;
    LARGE_INTEGER m_start = {};
    std::wstring m_line;
};

}  // namespace diag

// A traced COM member: VX_TRACE_CALL(L"Class::Member", arg, ...) first,
// then each return as VX_TRACE_RETURN(hr).
#define VX_TRACE_CALL(member, ...) ::diag::CTraceCall vxTraceCall_(member, ##__VA_ARGS__)
#define VX_TRACE_RETURN(hr) return vxTraceCall_.Result(hr)
// A free-form line, for events inside a call.
#define VX_TRACE(...)                                               \
    do {                                                            \
        if (::diag::TraceEnabled()) ::diag::TraceLine(__VA_ARGS__); \
    } while (0)
