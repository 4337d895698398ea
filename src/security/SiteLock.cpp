#include "security/SiteLock.h"

#include <servprov.h>
#include <shlwapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <vector>

#include "fw/Raii.h"
#include "platform/HelperLibrary.h"

const wchar_t CSiteLock::kPolicyKey[] = L"Software\\Vellix";
const wchar_t CSiteLock::kSwitchValue[] = L"SiteLock";
const wchar_t CSiteLock::kAllowedSitesKey[] = L"Software\\Vellix\\AllowedSites";

namespace {

// Interfaces of the browser's HTML host. Both are dual, so their URL
// properties are read by name through IDispatch; the browser's own
// declarations are not needed for that.
const IID kIID_IHTMLDocument2 = {0x332c4425, 0x26cb, 0x11d0, {0xb4, 0x83, 0x00, 0xc0, 0x4f, 0xd9, 0x01, 0x19}};
const IID kIID_IWebBrowser2 = {0xd30c1661, 0xcdaf, 0x11d0, {0x8a, 0x3e, 0x00, 0xc0, 0x4f, 0xc9, 0xe2, 0x6e}};
// SID_SWebBrowserApp is the IID of IWebBrowserApp.
const GUID kSID_SWebBrowserApp = {0x0002df05, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// 64-bit and 32-bit builds read the one native key an administrator sets.
const REGSAM kPolicyAccess = KEY_READ | KEY_WOW64_64KEY;

std::wstring StringProperty(IDispatch* pDisp, const wchar_t* pszName) {
    fw::unique_variant value;
    if (FAILED(DispatchInvoke(pDisp, pszName, 0, DISPATCH_PROPERTYGET, 0, nullptr, value.get())) ||
        value->vt != VT_BSTR || !value->bstrVal)
        return std::wstring();
    return value->bstrVal;
}

std::wstring UrlOfContainerDocument(IUnknown* pSite) {
    fw::com_ptr<IOleClientSite> client;
    if (FAILED(pSite->QueryInterface(IID_IOleClientSite, client.put_void())) || !client) return std::wstring();
    fw::com_ptr<IOleContainer> container;
    if (FAILED(client->GetContainer(container.put())) || !container) return std::wstring();
    fw::com_ptr<IDispatch> document;
    if (FAILED(container->QueryInterface(kIID_IHTMLDocument2, document.put_void())) || !document)
        return std::wstring();
    return StringProperty(document.get(), L"URL");
}

std::wstring UrlOfBrowser(IUnknown* pSite) {
    fw::com_ptr<IServiceProvider> services;
    if (FAILED(pSite->QueryInterface(IID_IServiceProvider, services.put_void())) || !services)
        return std::wstring();
    fw::com_ptr<IDispatch> browser;
    if (FAILED(services->QueryService(kSID_SWebBrowserApp, kIID_IWebBrowser2, browser.put_void())) || !browser)
        return std::wstring();
    return StringProperty(browser.get(), L"LocationURL");
}

std::wstring UrlOfContainerMoniker(IUnknown* pSite) {
    fw::com_ptr<IOleClientSite> client;
    if (FAILED(pSite->QueryInterface(IID_IOleClientSite, client.put_void())) || !client) return std::wstring();
    fw::com_ptr<IMoniker> moniker;
    if (FAILED(client->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, moniker.put())) || !moniker)
        return std::wstring();
    fw::com_ptr<IBindCtx> context;
    if (FAILED(CreateBindCtx(0, context.put()))) return std::wstring();
    fw::unique_cotaskmem name;
    if (FAILED(moniker->GetDisplayName(context.get(), nullptr, reinterpret_cast<LPOLESTR*>(name.put()))) ||
        !name)
        return std::wstring();
    return static_cast<const wchar_t*>(name.get());
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// One part of the page URL, as the system's URL cracker reads it.
std::wstring UrlPart(LPCWSTR pszUrl, DWORD dwPart) {
    std::vector<wchar_t> buffer(lstrlenW(pszUrl) + 1);
    DWORD cch = static_cast<DWORD>(buffer.size());
    if (FAILED(UrlGetPartW(pszUrl, buffer.data(), &cch, dwPart, 0))) return std::wstring();
    return std::wstring(buffer.data());
}

// An allow-list entry: "[scheme://]host" or "[scheme://]*.domain". Without a
// scheme it stands for http and https; with one, for that scheme alone.
bool EntryMatches(std::wstring entry, const std::wstring& scheme, const std::wstring& host) {
    const size_t sep = entry.find(L"://");
    if (sep != std::wstring::npos) {
        if (!EqualNoCase(entry.substr(0, sep), scheme)) return false;
        entry.erase(0, sep + 3);
    } else if (!EqualNoCase(scheme, L"http") && !EqualNoCase(scheme, L"https")) {
        return false;
    }
    while (!entry.empty() && entry.back() == L'/') entry.pop_back();
    if (entry.empty() || host.empty()) return false;
    if (entry.compare(0, 2, L"*.") == 0) {
        // "*.example.com": hosts under example.com, not example.com itself
        // nor a host that merely ends in the same letters.
        const std::wstring suffix = entry.substr(1);
        return suffix.size() > 1 && host.size() > suffix.size() &&
               EqualNoCase(host.substr(host.size() - suffix.size()), suffix);
    }
    return EqualNoCase(entry, host);
}

bool IsListed(LPCWSTR pszUrl) {
    const std::wstring scheme = UrlPart(pszUrl, URL_PART_SCHEME);
    const std::wstring host = UrlPart(pszUrl, URL_PART_HOSTNAME);
    if (scheme.empty() || host.empty()) return false;

    fw::unique_hkey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, CSiteLock::kAllowedSitesKey, 0, kPolicyAccess, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD cchMaxName = 0, cbMaxData = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &cchMaxName,
                         &cbMaxData, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    std::vector<wchar_t> name(cchMaxName + 1);
    std::vector<wchar_t> data(cbMaxData / sizeof(wchar_t) + 1);
    for (DWORD i = 0;; ++i) {
        DWORD cchName = static_cast<DWORD>(name.size());
        DWORD cbData = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
        DWORD type = REG_NONE;
        LONG r = RegEnumValueW(key.get(), i, name.data(), &cchName, nullptr, &type,
                               reinterpret_cast<BYTE*>(data.data()), &cbData);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || type != REG_SZ) continue;
        // The data need not end in a NUL.
        const std::wstring entry(data.data(), wcsnlen(data.data(), cbData / sizeof(wchar_t)));
        if (EntryMatches(entry, scheme, host)) return true;
    }
    return false;
}

bool IsLockSwitchedOff() {
    DWORD value = 1, cb = sizeof(value), type = REG_NONE;
    fw::unique_hkey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, CSiteLock::kPolicyKey, 0, kPolicyAccess, key.put()) != ERROR_SUCCESS)
        return false;
    return RegQueryValueExW(key.get(), CSiteLock::kSwitchValue, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                            &cb) == ERROR_SUCCESS &&
           type == REG_DWORD && value == 0;
}

// The origin of an http(s) URL: scheme, host and port, as cracked.
bool CrackOrigin(LPCWSTR pszUrl, std::wstring* pOrigin) {
    URL_COMPONENTSW uc = {};
    uc.dwStructSize = sizeof(uc);
    uc.dwSchemeLength = 1;
    uc.dwHostNameLength = 1;
    if (!pszUrl || !InternetCrackUrlW(pszUrl, 0, 0, &uc) || !uc.lpszHostName || !uc.dwHostNameLength ||
        (uc.nScheme != INTERNET_SCHEME_HTTP && uc.nScheme != INTERNET_SCHEME_HTTPS))
        return false;
    std::wstring origin(uc.nScheme == INTERNET_SCHEME_HTTPS ? L"https://" : L"http://");
    origin.append(uc.lpszHostName, uc.dwHostNameLength);
    CharLowerBuffW(&origin[0], static_cast<DWORD>(origin.size()));
    *pOrigin = origin + L":" + std::to_wstring(uc.nPort);
    return true;
}

bool IsSchemeOf(LPCWSTR pszUrl, const wchar_t* pszScheme) {
    const std::wstring scheme = UrlPart(pszUrl, URL_PART_SCHEME);
    return !scheme.empty() && EqualNoCase(scheme, pszScheme);
}

}  // namespace

std::wstring CSiteLock::FindPageUrl(IUnknown* pSite) {
    if (!pSite) return std::wstring();
    std::wstring url = UrlOfContainerDocument(pSite);
    if (url.empty()) url = UrlOfBrowser(pSite);
    if (url.empty()) url = UrlOfContainerMoniker(pSite);
    return url;
}

DWORD CSiteLock::FindHostZone(IUnknown* pSite) {
    fw::com_ptr<IServiceProvider> services;
    if (!pSite || FAILED(pSite->QueryInterface(IID_IServiceProvider, services.put_void())) || !services)
        return kNoZone;
    fw::com_ptr<IInternetHostSecurityManager> host;
    if (FAILED(services->QueryService(__uuidof(IInternetHostSecurityManager), __uuidof(IInternetHostSecurityManager),
                                      host.put_void())) ||
        !host)
        return kNoZone;
    // The identity ends in the zone, as a little-endian DWORD.
    BYTE id[MAX_SIZE_SECURITY_ID] = {};
    DWORD cb = sizeof(id);
    // A host that serves the manager but cannot say: the least trusted.
    if (FAILED(host->GetSecurityId(id, &cb, 0)) || cb < sizeof(DWORD) || cb > sizeof(id)) return URLZONE_UNTRUSTED;
    DWORD zone = 0;
    CopyMemory(&zone, id + cb - sizeof(DWORD), sizeof(DWORD));
    return zone == kNoZone ? static_cast<DWORD>(URLZONE_UNTRUSTED) : zone;
}

void CSiteLock::Update(IUnknown* pClientSite, IUnknown* pObjectSite) {
    std::wstring url = FindPageUrl(pClientSite);
    DWORD zone = FindHostZone(pClientSite);
    if (url.empty()) url = FindPageUrl(pObjectSite);
    if (zone == kNoZone) zone = FindHostZone(pObjectSite);
    if (url.empty() && zone == kNoZone) return;
    if (url != m_url || zone != m_hostZone) m_bDecided = false;
    m_url.swap(url);
    m_hostZone = zone;
}

HRESULT CSiteLock::Check() {
    if (!HasPage()) return S_OK;
    if (!m_bDecided) {
        m_bLockOff = IsLockSwitchedOff();
        m_hrDecided = Decide(m_url.c_str(), m_hostZone, &m_zoneDecided);
        m_bDecided = true;
    }
    return m_hrDecided;
}

HRESULT CSiteLock::CheckTransfer(LPCWSTR pszUrl, LPCWSTR pszFrom) {
    if (!pszUrl || (!IsSchemeOf(pszUrl, L"http") && !IsSchemeOf(pszUrl, L"https"))) return E_ACCESSDENIED;
    if (!HasPage()) return S_OK;
    if (FAILED(Check())) return m_hrDecided;
    if (pszFrom && IsSchemeOf(pszFrom, L"https") && !IsSchemeOf(pszUrl, L"https")) return E_ACCESSDENIED;
    if (m_bLockOff || m_zoneDecided != URLZONE_INTERNET) return S_OK;
    std::wstring page, target;
    if (CrackOrigin(m_url.c_str(), &page) && CrackOrigin(pszUrl, &target) && page == target) return S_OK;
    return IsListed(pszUrl) ? S_OK : E_ACCESSDENIED;
}

HRESULT CSiteLock::Decide(LPCWSTR pszUrl, DWORD dwHostZone, DWORD* pZone) {
    if (pZone) *pZone = kNoZone;
    if (IsLockSwitchedOff()) return S_OK;
    DWORD zone = dwHostZone;
    if (zone == kNoZone) {
        // A scheme other than these names no place urlmon can vouch for
        // (about:, javascript:, data: take their maker's context).
        if (!pszUrl || (!IsSchemeOf(pszUrl, L"http") && !IsSchemeOf(pszUrl, L"https") && !IsSchemeOf(pszUrl, L"file")))
            return E_ACCESSDENIED;
        fw::com_ptr<IInternetSecurityManager> manager;
        // A page whose zone cannot be told is treated as the least trusted.
        if (FAILED(CoInternetCreateSecurityManager(nullptr, manager.put(), 0)) || !manager ||
            FAILED(manager->MapUrlToZone(pszUrl, &zone, 0)))
            return E_ACCESSDENIED;
    }
    if (pZone) *pZone = zone;
    switch (zone) {
    case URLZONE_LOCAL_MACHINE:
    case URLZONE_INTRANET:
    case URLZONE_TRUSTED:
        return S_OK;
    case URLZONE_INTERNET:
        return pszUrl && *pszUrl && IsListed(pszUrl) ? S_OK : E_ACCESSDENIED;
    default:  // Restricted and any custom zone, listed or not
        return E_ACCESSDENIED;
    }
}

namespace {

std::wstring NormalPath(LPCWSTR pszPath) {
    std::vector<wchar_t> full(MAX_PATH);
    DWORD n = GetFullPathNameW(pszPath, static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.resize(n + 1);
        n = GetFullPathNameW(pszPath, static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (n == 0 || n >= full.size()) return std::wstring();
    // Short names exist only within MAX_PATH, and some systems' long-name
    // lookup never ends on a giant name: such a path is left as it is (it
    // then counts as another file, the safe side). A file that does not
    // exist keeps its full name too.
    if (n >= MAX_PATH || GetFileAttributesW(full.data()) == INVALID_FILE_ATTRIBUTES) return std::wstring(full.data(), n);
    wchar_t szLong[MAX_PATH] = {};
    const DWORD m = GetLongPathNameW(full.data(), szLong, MAX_PATH);
    return m != 0 && m < MAX_PATH ? std::wstring(szLong, m) : std::wstring(full.data(), n);
}

}  // namespace

bool IsSameFilePath(LPCWSTR pszA, LPCWSTR pszB) {
    if (!pszA || !pszB || !*pszA || !*pszB) return false;
    const std::wstring a = NormalPath(pszA), b = NormalPath(pszB);
    return !a.empty() && EqualNoCase(a, b);
}
