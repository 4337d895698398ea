#include "diag/Notifier.h"

#include "diag/Log.h"
#include "diag/Settings.h"
#include "diag/Trace.h"

namespace diag {

namespace {

const wchar_t kValueSilent[] = L"Silent";
const wchar_t kLogKeptBack[] = L"提示(未显示)\t%s\t%s";
const wchar_t kKeptBackSeparator[] = L": ";

thread_local CNotifier* t_pCurrent = nullptr;

}  // namespace

bool SilentBySetting() { return UserSettingDword(kValueSilent, 0) == 1; }

bool CNotifier::IsSilent() const {
    if (m_choice == SilentChoice::Setting) return SilentBySetting();
    return m_choice == SilentChoice::On;
}

int CNotifier::Show(HWND hwndOwner, const wchar_t* pszText, const wchar_t* pszCaption, UINT uType) {
    const wchar_t* pszSafeText = pszText ? pszText : L"";
    const wchar_t* pszSafeCaption = pszCaption ? pszCaption : L"";
    if (!IsSilent()) return MessageBoxW(hwndOwner, pszSafeText, pszSafeCaption, uType);
    if (m_pLog && m_pLog->Write(kLogKeptBack, pszSafeCaption, pszSafeText) == 0 && m_hLogModule &&
        !m_bOpeningLog) {
        m_bOpeningLog = true;
        const bool bOpened = SUCCEEDED(OpenLogFile(*m_pLog, m_hLogModule));
        m_bOpeningLog = false;
        if (bOpened) m_pLog->Write(kLogKeptBack, pszSafeCaption, pszSafeText);
    }
    VX_TRACE(L"box kept back: %ls: %ls", pszSafeCaption, pszSafeText);
    m_keptBack = std::wstring(pszSafeCaption) + kKeptBackSeparator + pszSafeText;
    return IDOK;
}

std::wstring CNotifier::TakeKeptBack() {
    std::wstring text;
    text.swap(m_keptBack);
    return text;
}

CNotifier::CScope::CScope(CNotifier* pNotifier) : m_pPrevious(t_pCurrent) { t_pCurrent = pNotifier; }

CNotifier::CScope::~CScope() { t_pCurrent = m_pPrevious; }

CNotifier* CNotifier::Current() { return t_pCurrent; }

int Notify(HWND hwndOwner, const wchar_t* pszText, const wchar_t* pszCaption, UINT uType) {
    if (CNotifier* pCurrent = CNotifier::Current()) return pCurrent->Show(hwndOwner, pszText, pszCaption, uType);
    CNotifier standalone;
    return standalone.Show(hwndOwner, pszText, pszCaption, uType);
}

}  // namespace diag
