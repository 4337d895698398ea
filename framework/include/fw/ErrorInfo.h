// Error objects: the description and source a caller reads after a failure
// (a script's Err.Description or e.message, EXCEPINFO, GetErrorInfo).
#pragma once

#include <windows.h>
#include <oleauto.h>

namespace fw {

// For a failure code: creates an error object for interface iid of class
// clsid (source: the class's ProgID, as registered) with the description,
// and makes it the thread's. Success codes, S_FALSE included, set nothing.
// Returns hr, so that a member can end with `return ReportError(...)`.
HRESULT ReportError(HRESULT hr, REFCLSID clsid, REFIID iid, LPCWSTR pszDescription);

// Drops the thread's error object, so that no earlier failure's
// description is read for a later call.
void ClearError();

// ISupportErrorInfo answering S_OK for the interfaces in
// T::kErrorInfoInterfaces, a table that ends with nullptr.
template <class T>
class ISupportErrorInfoImpl : public ISupportErrorInfo {
public:
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        for (const IID* const* piid = T::kErrorInfoInterfaces; *piid; ++piid)
            if (IsEqualIID(**piid, riid)) return S_OK;
        return S_FALSE;
    }
};

}  // namespace fw
