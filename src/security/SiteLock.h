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

    // No zone: the host did not say, urlmon maps the URL.
    static const DWORD kNoZone = 0xFFFFFFFF;

    // The URL of the page hosting a control at pSite (a client site or the
    // site of IObjectWithSite), or empty when the container is no page (a
    // desktop program, a script host). Asks, in this order: the container
    // document's URL, the browser's location, the container's moniker.
    static std::wstring FindPageUrl(IUnknown* pSite);
    // The zone the host's own security manager gives the page at pSite, or
    // kNoZone. It knows the context of about:blank, javascript: and data:
    // documents, which their URL does not tell.
    static DWORD FindHostZone(IUnknown* pSite);

    // Looks the page up again through either site, so that navigation is
    // seen. Sites that name no page (or none at all) keep the page found
    // last: a control taken out of a page keeps that page's rule.
    void Update(IUnknown* pClientSite, IUnknown* pObjectSite);
    // A site changed: the next check decides afresh.
    void Reset() { m_bDecided = false; }

    // S_OK when the current page may use the gated members (or there is no
    // page), E_ACCESSDENIED when it may not. Decided once per page.
    HRESULT Check();

    // Whether a transfer of a page-hosted control may go to pszUrl, reached
    // from pszFrom (null for the first request): S_OK or E_ACCESSDENIED.
    // An Internet page let in by the allow-list reaches its own origin and
    // the listed hosts; other allowed pages and desktop hosts any http(s)
    // URL; a page never follows https to http.
    HRESULT CheckTransfer(LPCWSTR pszUrl, LPCWSTR pszFrom);

    const std::wstring& PageUrl() const { return m_url; }

    // The decision for one page under the machine's policy now; *pZone
    // gets the zone it was decided by.
    static HRESULT Decide(LPCWSTR pszUrl, DWORD dwHostZone, DWORD* pZone = nullptr);

private:
    bool HasPage() const { return !m_url.empty() || m_hostZone != kNoZone; }

    std::wstring m_url;
    DWORD m_hostZone = kNoZone;
    bool m_bDecided = false;
    HRESULT m_hrDecided = S_OK;
    DWORD m_zoneDecided = kNoZone;
    bool m_bLockOff = false;
};

// Whether two paths name the same file: full, long paths compared ordinally
// without regard to case. Characters a linguistic comparison would skip
// (zero-width ones) make a different name.
bool IsSameFilePath(LPCWSTR pszA, LPCWSTR pszB);
