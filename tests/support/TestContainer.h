// A small ActiveX container for tests: a top-level frame window and one
// site object that is the control's client, in-place, control and frame
// site, with counters of what the control asked of it.
#pragma once

#include <ocidl.h>
#include <ole2.h>
#include <windows.h>

#include <string>

namespace testsupport {

class CTestSite;

// How the container names the page it shows, as a browser's HTML host does:
// the container document's URL property, the browser's LocationURL through
// IServiceProvider, or a URL moniker as the container's moniker.
enum class PageSource { None, Document, Browser, Moniker };
const DWORD kNoZone = 0xFFFFFFFF;

struct SiteCounters {
    int canInPlaceActivate = 0;
    int onInPlaceActivate = 0;
    int onInPlaceDeactivate = 0;
    int onUIActivate = 0;
    int onUIDeactivate = 0;
    int showObject = 0;
    int setActiveObject = 0;
    int onFocus = 0;
};

class TestContainer {
public:
    // A visible top-level window with a client area of w × h pixels.
    TestContainer(int w = 400, int h = 300, const wchar_t* pszTitle = L"Vellix test container");
    ~TestContainer();
    TestContainer(const TestContainer&) = delete;
    TestContainer& operator=(const TestContainer&) = delete;

    HWND frame() const { return m_hwndFrame; }

    // Creates the control by CLSID and sets the client site (SETCLIENTSITEFIRST
    // order), initialises it (InitNew, or a property bag of the given
    // "name=value;..." pairs), sets the extent to the placement and, when
    // bActivate, activates it in place at (x, y, x + cx, y + cy).
    HRESULT Create(REFCLSID clsid, bool bActivate = true, const wchar_t* pszBag = nullptr);
    // The same for an object made elsewhere.
    HRESULT Host(IUnknown* pControl, bool bActivate = true, const wchar_t* pszBag = nullptr);
    HRESULT Activate(LONG iVerb = OLEIVERB_INPLACEACTIVATE);
    // Moves and resizes the control (extent in HIMETRIC, then object rects).
    HRESULT Place(int x, int y, int cx, int cy);
    // Deactivates, closes and lets go of the control; bClearClientSite
    // false: as a container that never calls SetClientSite(NULL).
    void Release(bool bClearClientSite = true);

    IUnknown* control() const { return m_pControl; }
    template <class I>
    HRESULT query(I** pp) const {
        *pp = nullptr;
        return m_pControl ? m_pControl->QueryInterface(__uuidof(I), reinterpret_cast<void**>(pp)) : E_POINTER;
    }
    const SiteCounters& counters() const;
    // The page the container presents from now on (None: no page at all), and
    // the zone of its host security manager (kNoZone: none).
    void SetPage(PageSource source, const std::wstring& url = std::wstring(), DWORD dwHostZone = kNoZone);
    // The site object, as a browser hands it to IObjectWithSite::SetSite.
    IUnknown* site() const;
    RECT placement() const { return m_rcPos; }

    // Dispatches the messages of this thread until none is left (posted
    // commands, layout, painting): a state, not a time.
    static void Pump();

private:
    HWND m_hwndFrame = nullptr;
    CTestSite* m_pSite = nullptr;
    IUnknown* m_pControl = nullptr;
    RECT m_rcPos = {};
};

// Pixels <-> HIMETRIC on the screen, as controls convert them.
SIZEL PixelsToHiMetric(int cx, int cy);

}  // namespace testsupport
