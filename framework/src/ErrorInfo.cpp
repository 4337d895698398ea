#include "fw/ErrorInfo.h"

#include "fw/Raii.h"

namespace fw {

HRESULT ReportError(HRESULT hr, REFCLSID clsid, REFIID iid, LPCWSTR pszDescription) {
    if (SUCCEEDED(hr)) return hr;
    com_ptr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.put()))) return hr;
    unique_cotaskmem progId;
    if (SUCCEEDED(ProgIDFromCLSID(clsid, reinterpret_cast<LPOLESTR*>(progId.put()))))
        create->SetSource(static_cast<LPOLESTR>(progId.get()));
    create->SetGUID(iid);
    create->SetDescription(const_cast<LPOLESTR>(pszDescription ? pszDescription : L""));
    com_ptr<IErrorInfo> info;
    if (SUCCEEDED(create.query(info.put()))) SetErrorInfo(0, info.get());
    return hr;
}

void ClearError() { SetErrorInfo(0, nullptr); }

}  // namespace fw
