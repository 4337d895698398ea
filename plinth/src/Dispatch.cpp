#include "Plinth.h"

#include <algorithm>
#include <vector>

namespace {

// Invoke hands back error details in BSTRs the caller owns.
void FreeExcepInfo(EXCEPINFO* pInfo)
{
    if (pInfo->pfnDeferredFillIn)
        pInfo->pfnDeferredFillIn(pInfo);
    SysFreeString(pInfo->bstrSource);
    SysFreeString(pInfo->bstrDescription);
    SysFreeString(pInfo->bstrHelpFile);
}

}  // namespace

HRESULT DispatchInvoke(IDispatch* pDisp, const wchar_t* pszName, long /*lReserved*/, WORD wFlags,
                       int cArgs, VARIANT* pArgs, VARIANT* pResult)
{
    if (!pDisp || !pszName)
        return E_POINTER;
    if (cArgs < 0 || (cArgs > 0 && !pArgs))
        return E_INVALIDARG;

    LPOLESTR name = const_cast<LPOLESTR>(pszName);
    DISPID dispid = DISPID_UNKNOWN;
    HRESULT hr = pDisp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr))
        return hr;

    // IDispatch takes the last argument first. The copies are shallow: the
    // caller keeps owning the values, and by-reference arguments must still
    // point at the caller's variables.
    std::vector<VARIANTARG> reversed(pArgs, pArgs + cArgs);
    std::reverse(reversed.begin(), reversed.end());

    DISPID dispidPut = DISPID_PROPERTYPUT;
    DISPPARAMS params = {};
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = static_cast<UINT>(reversed.size());
    const bool isPut = (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    if (isPut) {
        // The named argument is the last one given; there must be one.
        if (reversed.empty())
            return DISP_E_BADPARAMCOUNT;
        params.rgdispidNamedArgs = &dispidPut;
        params.cNamedArgs = 1;
    }

    EXCEPINFO excepInfo = {};
    UINT argErr = 0;
    hr = pDisp->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, wFlags, &params,
                       isPut ? nullptr : pResult, &excepInfo, &argErr);
    FreeExcepInfo(&excepInfo);
    return hr;
}
