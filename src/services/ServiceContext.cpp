#include "services/ServiceContext.h"
#include "diag/Format.h"

#include <cwchar>
#include <string>

namespace services {

const wchar_t kErrNullResult[] = L"参数无效: 结果指针为空";
const wchar_t kErrNoMemory[] = L"内存不足";

HRESULT CService::Fail(HRESULT hr, LPCWSTR pszFormat, ...) {
    if (SUCCEEDED(hr)) return hr;
    va_list args;
    va_start(args, pszFormat);
    const std::wstring text = diag::FormatV(pszFormat, args);
    va_end(args);
    return m_context.ReportFailure(hr, text.c_str());
}

int CService::ShowBox(LPCWSTR pszText, LPCWSTR pszCaption) {
    return m_context.Notifier().Show(GetActiveWindow(), pszText, pszCaption, MB_OK);
}

}  // namespace services
