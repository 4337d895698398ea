#include "diag/Trace.h"

#include <cstdarg>
#include <cwchar>

#include "diag/Format.h"
#include "diag/Settings.h"

namespace diag {

namespace {

const wchar_t kEnvironmentSwitch[] = L"VELLIX_TRACE";
const wchar_t kValueTrace[] = L"Trace";
const wchar_t kLinePrefix[] = L"%04lx:trace:vellix:";
// Long strings (a document's text, a form body) are cut: a trace line is
// for reading.
const size_t kMaxStringChars = 200;

void Emit(const std::wstring& body) {
    wchar_t szPrefix[32] = {};
    swprintf(szPrefix, ARRAYSIZE(szPrefix), kLinePrefix, GetCurrentThreadId());
    std::wstring line = szPrefix;
    line += body;
    line += L'\n';
    OutputDebugStringW(line.c_str());
}

}  // namespace

volatile LONG g_lTraceState = -1;

bool ReadTraceSwitch() {
    wchar_t szValue[8] = {};
    const DWORD cch = GetEnvironmentVariableW(kEnvironmentSwitch, szValue, ARRAYSIZE(szValue));
    bool bOn = cch > 0 && cch < ARRAYSIZE(szValue) && wcscmp(szValue, L"1") == 0;
    if (!bOn) bOn = UserSettingDword(kValueTrace, 0) == 1;
    InterlockedExchange(&g_lTraceState, bOn ? 1 : 0);
    return bOn;
}

void TraceLine(const wchar_t* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    const std::wstring text = FormatV(pszFormat, args);
    va_end(args);
    if (!text.empty()) Emit(text);
}

namespace trace_detail {

void Append(std::wstring& out, const wchar_t* psz) {
    if (!psz) {
        out += L"(null)";
        return;
    }
    const size_t cch = wcslen(psz);
    out += L'"';
    out.append(psz, cch < kMaxStringChars ? cch : kMaxStringChars);
    if (cch > kMaxStringChars) out += L"...";
    out += L'"';
}

void Append(std::wstring& out, const VARIANT& v) {
    wchar_t szType[24] = {};
    swprintf(szType, ARRAYSIZE(szType), L"{vt %u:", static_cast<unsigned>(v.vt));
    out += szType;
    switch (v.vt) {
        case VT_BSTR:
            Append(out, v.bstrVal);
            break;
        case VT_I2:
            AppendNumber(out, v.iVal);
            break;
        case VT_I4:
            AppendNumber(out, v.lVal);
            break;
        case VT_BOOL:
            AppendNumber(out, v.boolVal);
            break;
        case VT_ERROR:
            AppendNumber(out, v.scode);
            break;
        default:
            out += L"...";
            break;
    }
    out += L'}';
}

void AppendNumber(std::wstring& out, long long value) { out += std::to_wstring(value); }

void AppendPointer(std::wstring& out, const void* p) {
    wchar_t szPointer[24] = {};
    swprintf(szPointer, ARRAYSIZE(szPointer), L"%p", p);
    out += szPointer;
}

}  // namespace trace_detail

CTraceCall::~CTraceCall() {
    if (!m_bOn) return;
    LARGE_INTEGER end = {}, frequency = {};
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    const double ms = frequency.QuadPart ? (end.QuadPart - m_start.QuadPart) * 1000.0 / frequency.QuadPart : 0.0;
    wchar_t szTail[48] = {};
    swprintf(szTail, ARRAYSIZE(szTail), L" -> 0x%08lx (%.3f ms)", static_cast<unsigned long>(m_hr), ms);
    m_line += szTail;
    Emit(m_line);
}

}  // namespace diag
