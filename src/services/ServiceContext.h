// What a script service is given instead of the control: the window its
// dialogs belong to, the shared log, the notifier for its message boxes,
// what the page may learn of a path and the sink for its error
// descriptions. The control implements it; services never see the control
// itself. The site lock is passed before a service is called.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstdarg>
#include <string>

#include "diag/Notifier.h"
#include "platform/HelperLibrary.h"

namespace services {

class IServiceContext {
public:
    // The control's window; null before it has one.
    virtual HWND OwnerWindow() = 0;
    virtual CLoger& ServiceLog() = 0;
    // Opens the shared log if it is not open yet.
    virtual HRESULT OpenLog() = 0;
    virtual diag::CNotifier& Notifier() = 0;
    // What the hosting page may learn of a local path: the path, or only its
    // leaf when the site lock refuses the page.
    virtual std::wstring PathForPage(const std::wstring& path) = 0;
    // Gives the caller an error object described by pszText; returns hr.
    virtual HRESULT ReportFailure(HRESULT hr, LPCWSTR pszText) = 0;

protected:
    ~IServiceContext() = default;
};

// Base of the services: their context and the helpers every one uses.
class CService {
public:
    explicit CService(IServiceContext& context) : m_context(context) {}
    CService(const CService&) = delete;
    CService& operator=(const CService&) = delete;

protected:
    ~CService() = default;

    // pszFormat filled in as by swprintf as the failure's description.
    // Success codes pass through and report nothing.
    HRESULT Fail(HRESULT hr, LPCWSTR pszFormat, ...);
    // A box owned by the active window, through the notifier.
    int ShowBox(LPCWSTR pszText, LPCWSTR pszCaption);
    CLoger& Log() { return m_context.ServiceLog(); }

    IServiceContext& m_context;
};

// Error descriptions every member may give: called without a place for its
// result, and out of memory.
extern const wchar_t kErrNullResult[];
extern const wchar_t kErrNoMemory[];

// A NULL BSTR is the empty string; "%s" must never see a null pointer.
inline const wchar_t* Text(BSTR b) { return b ? b : L""; }

// The string of an optional argument, or null when it is not a VT_BSTR.
inline const wchar_t* OptionalString(const VARIANT& v) { return v.vt == VT_BSTR ? v.bstrVal : nullptr; }

}  // namespace services
