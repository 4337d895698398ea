// The site lock: which web page hosts the control, and whether that page may
// use the members that reach the user's files, programs and registry.
#pragma once

#include <ole2.h>

#include <string>

class CSiteLock {
public:
    // The machine's policy. Read from HKEY_LOCAL_MACHINE only: a page must
    // never be able to allow itself.
    static const wchar_t kPolicyKey[];        // Software\Vellix
    static const wchar_t kSwitchValue[];      // DWORD "SiteLock": 0 turns the lock off
    static const wchar_t kAllowedSitesKey[];  // Software\Vellix\AllowedSites: one value per entry

    // The URL of the page hosting a control at pSite, or empty when the
    // container is no page (a desktop program, a script host). Asks, in
    // this order: the container document's URL, the browser's location,
    // the container's moniker.
    static std::wstring FindPageUrl(IOleClientSite* pSite);

    // Looks the page up again at pSite, so that navigation is seen. A site
    // that names no page (or none at all) keeps the page found last: a
    // control taken out of a page keeps that page's rule.
    void Update(IOleClientSite* pSite);

    // S_OK when the current page may use the gated members (or there is no
    // page), E_ACCESSDENIED when it may not. Decided once per page URL.
    HRESULT Check();

    const std::wstring& PageUrl() const { return m_url; }

    // The decision for one page URL under the machine's policy now.
    static HRESULT Decide(LPCWSTR pszUrl);

private:
    std::wstring m_url;
    std::wstring m_decidedUrl;
    HRESULT m_hrDecided = S_OK;
};
