// Documents from and to a web server: the registered control in a container
// window against the project's local HTTP server (tests/support/web_server.py,
// started by scripts/setup.sh, which exports VX_WEB_PORT and VX_WEB_ROOT),
// with an event sink on the control's events.
#include <gtest/gtest.h>

#include <docobj.h>
#include <olectl.h>
#include <wininet.h>

#include <functional>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "EventSink.h"
#include "PadStrings.h"
#include "PadTestHooks.h"
#include "TestContainer.h"
#include "TestSupport.h"
#include "control/Messages.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"
#include "platform/HelperLibrary.h"

using namespace testsupport;
using fw::com_ptr;
using fw::unique_bstr;
using fw::unique_variant;

namespace {

const HRESULT E_NOT_FOUND = static_cast<HRESULT>(0x800C0005);
const HRESULT E_STATUS = static_cast<HRESULT>(0x800C0008);
const HRESULT E_REDIRECT_LOOP = static_cast<HRESULT>(0x800C0014);
const HRESULT E_CUT = HRESULT_FROM_WIN32(ERROR_INTERNET_CONNECTION_RESET);
const HRESULT E_TIMEOUT = HRESULT_FROM_WIN32(ERROR_INTERNET_TIMEOUT);
const wchar_t kWebKey[] = L"Software\\Quorvane\\Tollan3.0\\Web";

std::wstring Env(const wchar_t* name) {
    wchar_t sz[1024] = {};
    DWORD n = GetEnvironmentVariableW(name, sz, ARRAYSIZE(sz));
    return n && n < ARRAYSIZE(sz) ? sz : L"";
}


// A VellixPad document of about nMegabytes, with its text.
HRESULT WriteDocument(const std::wstring& path, const std::wstring& text, int nMegabytes) {
    com_ptr<IStorage> stg;
    HRESULT hr = StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, stg.put());
    if (FAILED(hr)) return hr;
    com_ptr<IStream> stm;
    hr = stg->CreateStream(padtext::kTextStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stm.put());
    if (SUCCEEDED(hr)) hr = stm->Write(text.data(), static_cast<ULONG>(text.size() * sizeof(wchar_t)), nullptr);
    if (SUCCEEDED(hr) && nMegabytes > 0) {
        hr = stg->CreateStream(L"Payload", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stm.put());
        std::vector<DWORD> chunk(1 << 18);
        DWORD x = 2463534242u;
        for (int i = 0; SUCCEEDED(hr) && i < nMegabytes; ++i) {
            for (DWORD& d : chunk) d = (x ^= x << 13, x ^= x >> 17, x ^= x << 5);
            hr = stm->Write(chunk.data(), 1 << 20, nullptr);
        }
    }
    stm.reset();
    if (SUCCEEDED(hr)) hr = WriteClassStg(stg.get(), vellixpad::CLSID_Document);
    if (SUCCEEDED(hr)) hr = stg->Commit(STGC_DEFAULT);
    return hr;
}

std::wstring TransferFolder() {
    wchar_t sz[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, sz);
    std::wstring folder = sz;
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder + L"VellixWeb";
}

// Files the transfers left behind.
int StrayFiles() {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((TransferFolder() + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int n = 0;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++n;
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return n;
}

std::string FileText(const std::wstring& path) {
    std::string s;
    ReadFileBytes(path, &s);
    return s;
}

class WebTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_port = Env(L"VX_WEB_PORT");
        m_root = Env(L"VX_WEB_ROOT");
        ASSERT_FALSE(m_port.empty() || m_root.empty()) << "run through scripts/test.sh: it starts the local web server";
        m_strayBefore = StrayFiles();  // left by a run that was killed
        ASSERT_EQ(S_OK, m_host.Create(CLSID_Office));
        ASSERT_EQ(S_OK, m_host.query(m_office.put()));
        com_ptr<IConnectionPointContainer> cpc;
        ASSERT_EQ(S_OK, m_host.query(cpc.put()));
        ASSERT_EQ(S_OK, cpc->FindConnectionPoint(DIID__IOfficeEvents, m_cp.put()));
        ASSERT_EQ(S_OK, m_cp->Advise(&m_sink, &m_cookie));
    }
    void TearDown() override {
        if (m_cp) m_cp->Unadvise(m_cookie);
        m_cp.reset();
        m_office.reset();
        m_host.Release();
        RegDeleteKeyW(HKEY_CURRENT_USER, kWebKey);
        EXPECT_EQ(1u, m_sink.m_cRef) << "the control let go of the sink";
    }

    std::wstring Url(const std::wstring& path) const { return L"http://127.0.0.1:" + m_port + L"/" + path; }
    std::wstring ServerFile(const std::wstring& name) const { return m_root + L"\\" + name; }

    std::wstring Text() {
        com_ptr<IDispatch> doc;
        if (FAILED(m_office->get_OleObject(doc.put())) || !doc) return L"<no document>";
        unique_variant v;
        if (FAILED(DispatchInvoke(doc.get(), L"Text", 0, DISPATCH_PROPERTYGET, 0, nullptr, v.get()))) return L"<no text>";
        return v->vt == VT_BSTR && v->bstrVal ? v->bstrVal : L"";
    }
    HRESULT SetText(const std::wstring& text) {
        com_ptr<IDispatch> doc;
        if (FAILED(m_office->get_OleObject(doc.put())) || !doc) return E_FAIL;
        StringArg arg(text);
        VARIANT v = arg;
        return DispatchInvoke(doc.get(), L"Text", 0, DISPATCH_PROPERTYPUT, 1, &v, nullptr);
    }
    // The description of the thread's error object names the path: read
    // right after the failing call.
    static bool DescriptionNames(const wchar_t* pszPath) {
        com_ptr<IErrorInfo> info;
        unique_bstr text;
        if (GetErrorInfo(0, info.put()) != S_OK || !info || FAILED(info->GetDescription(text.put()))) return false;
        return std::wstring(text.c_str()).find(pszPath) != std::wstring::npos;
    }
    HRESULT OpenUrl(const std::wstring& path) {
        return m_office->OpenFromURL(unique_bstr(Url(path).c_str()).get(), Missing(), Missing());
    }
    HRESULT SaveUrl(const std::wstring& path, const VARIANT& fields, const wchar_t* pszMethod, std::wstring* pResponse) {
        unique_bstr response;
        StringArg method(pszMethod);
        HRESULT hr = m_office->SaveToURL(unique_bstr(Url(path).c_str()).get(), Missing(), Missing(), fields, method,
                                         response.put());
        if (pResponse) *pResponse = response.c_str();
        return hr;
    }
    long Status() {
        long n = -1;
        m_office->get_LastHTTPStatus(&n);
        return n;
    }
    bool Saved() {
        VARIANT_BOOL b = VARIANT_TRUE;
        m_office->get_Saved(&b);
        return b != VARIANT_FALSE;
    }
    void SetTimeoutMs(DWORD ms) { SetWebValue(L"TimeoutMs", ms); }
    void SetWebValue(const wchar_t* pszName, DWORD value) {
        fw::unique_hkey key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kWebKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                                 key.put(), nullptr));
        RegSetValueExW(key.get(), pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }

    OleSession m_ole;
    TempDir m_dir;
    std::wstring m_port, m_root;
    TestContainer m_host;
    com_ptr<IOffice2> m_office;
    EventSink m_sink;
    com_ptr<IConnectionPoint> m_cp;
    DWORD m_cookie = 0;
    int m_strayBefore = 0;
};

TEST_F(WebTest, TheNewMembersAndTheEventSourceAreVisibleToEveryKindOfClient) {
    com_ptr<IProvideClassInfo2> pci;
    ASSERT_EQ(S_OK, m_host.query(pci.put()));
    GUID g = GUID_NULL;
    EXPECT_EQ(S_OK, pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &g));
    EXPECT_TRUE(IsEqualIID(DIID__IOfficeEvents, g));

    // Late-bound script reaches old and new members through one IDispatch.
    com_ptr<IDispatch> disp;
    ASSERT_EQ(S_OK, m_host.query(disp.put()));
    struct { const wchar_t* name; DISPID id; } names[] = {{L"Open", 4}, {L"ActiveDocument", 32}, {L"OpenFromURL", 101},
                                                           {L"SaveToURL", 102}, {L"DocumentURL", 103}, {L"LastHTTPStatus", 104}};
    for (auto& n : names) {
        DISPID id = 0;
        LPOLESTR p = const_cast<LPOLESTR>(n.name);
        EXPECT_EQ(S_OK, disp->GetIDsOfNames(IID_NULL, &p, 1, LOCALE_USER_DEFAULT, &id)) << n.name;
        EXPECT_EQ(n.id, id) << n.name;
    }
    unique_variant status;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(S_OK, disp->Invoke(104, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, status.get(), nullptr, nullptr));
    EXPECT_EQ(VT_I4, status->vt);

    com_ptr<IConnectionPointContainer> cpc;
    ASSERT_EQ(S_OK, m_host.query(cpc.put()));
    com_ptr<IConnectionPoint> other;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, cpc->FindConnectionPoint(IID_IPropertyNotifySink, other.put()));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, m_cp->Unadvise(m_cookie + 100));
    com_ptr<IEnumConnections> conns;
    ASSERT_EQ(S_OK, m_cp->EnumConnections(conns.put()));
    CONNECTDATA cd[2] = {};
    ULONG n = 0;
    EXPECT_EQ(S_FALSE, conns->Next(2, cd, &n));
    ASSERT_EQ(1u, n);
    EXPECT_EQ(m_cookie, cd[0].dwCookie);
    cd[0].pUnk->Release();

    // Bad input is refused before anything is asked of the network.
    VARIANT none2 = Missing();
    EXPECT_EQ(E_INVALIDARG, m_office->OpenFromURL(unique_bstr(L"ftp://127.0.0.1/x.vxp").get(), none2, none2));
    EXPECT_EQ(E_INVALIDARG, m_office->OpenFromURL(nullptr, none2, none2));
    EXPECT_EQ(E_POINTER, m_office->SaveToURL(unique_bstr(Url(L"upload/x").c_str()).get(), none2, none2, none2, none2, nullptr));
    unique_bstr r;
    EXPECT_EQ(E_POINTER, m_office->SaveToURL(unique_bstr(Url(L"upload/x").c_str()).get(), none2, none2, none2, none2, r.put()))
        << "no document";
    // A control character in any text of the request (URL, field name, file
    // name, form fields) is refused before a request is made.
    const std::string requests = FileText(ServerFile(L"requests.log"));
    const std::wstring bad[][4] = {
        {Url(L"x\r\nX-Injected: 1"), L"", L"", L""}, {Url(std::wstring(L"a\0b", 3)), L"", L"", L""},
        {Url(L"upload/c"), L"file\r\nX: 1", L"", L""}, {Url(L"upload/c"), L"", L"c\"\r\n", L""},
        {Url(L"upload/c"), L"", L"", L"a=%0D%0AX"},      {Url(L"upload/c"), L"", L"", L"a\tb=1"}};
    for (const auto& b : bad) {
        unique_bstr url(b[0].data(), static_cast<UINT>(b[0].size()));
        StringArg field(b[1]), name(b[2]), form(b[3]);
        auto arg = [](const std::wstring& s, const StringArg& a) { return s.empty() ? Missing() : VARIANT(a); };
        if (b[1].empty() && b[2].empty() && b[3].empty()) {
            EXPECT_EQ(E_INVALIDARG, m_office->OpenFromURL(url.get(), none2, none2)) << Narrow(b[0]);
        }
        EXPECT_EQ(E_INVALIDARG, m_office->SaveToURL(url.get(), arg(b[1], field), arg(b[2], name), arg(b[3], form),
                                                    none2, r.put()));
    }
    EXPECT_TRUE(requests == FileText(ServerFile(L"requests.log"))) << "no request reached the server";
}

TEST_F(WebTest, ADocumentMakesTheRoundTripByteExactWithItsEventsFormFieldsAndCookie) {
    DialogWatcher boxes;
    ASSERT_EQ(S_OK, WriteDocument(ServerFile(L"rt.vxp"), L"from the server", 0));
    ASSERT_TRUE(InternetSetCookieW(Url(L"").c_str(), L"session", L"vx42"));

    ASSERT_EQ(S_OK, OpenUrl(L"redirect/rt.vxp"));
    EXPECT_EQ(L"from the server", Text());
    EXPECT_EQ(200, Status());
    unique_bstr url;
    ASSERT_EQ(S_OK, m_office->get_DocumentURL(url.put()));
    EXPECT_EQ(Url(L"redirect/rt.vxp"), url.c_str());
    EXPECT_EQ(m_strayBefore, StrayFiles());

    ASSERT_EQ(S_OK, SetText(L"edited, 已编辑"));
    EXPECT_FALSE(Saved());
    std::wstring response;
    ASSERT_EQ(S_OK, SaveUrl(L"upload/post.vxp", StringArg(L"a=1&b=x%20y&c=%E6%96%87"), L"POST", &response));
    EXPECT_EQ(200, Status());
    EXPECT_TRUE(Saved());
    ASSERT_EQ(S_OK, SaveUrl(L"upload/put.vxp", Missing(), L"PUT", &response));
    EXPECT_EQ(201, Status());
    EXPECT_EQ(0, response.find(L"stored ")) << response;
    EXPECT_EQ(m_strayBefore, StrayFiles());

    const std::wstring local = m_dir.file(L"local.vxp");
    ASSERT_EQ(S_OK, m_office->Save(StringArg(local), Missing()));
    // Copies as the server writes them, not a local save's bytes (streams in
    // another order): both uploads the same.
    EXPECT_TRUE(FileText(ServerFile(L"put.vxp")) == FileText(ServerFile(L"post.vxp"))) << "PUT holds the same";
    EXPECT_EQ("a=1\nb=x y\nc=文\n[file] file=post.vxp\n", FileText(ServerFile(L"post.vxp.fields")));
    EXPECT_NE(std::string::npos, FileText(ServerFile(L"requests.log")).find("GET /files/rt.vxp cookie=session=vx42"));

    // The File menu's save goes through the same command and is told alike.
    UINT hwnd = 0;
    ASSERT_EQ(S_OK, m_office->get_HWnd(&hwnd));
    PostMessageW(reinterpret_cast<HWND>(static_cast<UINT_PTR>(hwnd)), WM_DOCCOMMAND, OLECMDID_SAVE, 0);
    for (int i = 0; i < 500 && m_sink.events.size() < 5; ++i) {
        TestContainer::Pump();
        Sleep(10);
    }
    ASSERT_EQ(S_OK, m_office->Close());
    std::vector<std::wstring> expected = {L"DocumentOpened(" + Url(L"redirect/rt.vxp") + L")",
                                          L"DocumentSaved(" + Url(L"upload/post.vxp") + L")",
                                          L"DocumentSaved(" + Url(L"upload/put.vxp") + L")",
                                          L"DocumentSaved(" + local + L")",
                                          L"DocumentSaved(" + local + L")",
                                          L"DocumentClosed()"};
    EXPECT_EQ(expected, m_sink.events);
    EXPECT_GE(m_sink.progressCount, 3);
    const std::wstring last = m_sink.lastProgress;
    EXPECT_EQ(last.substr(last.find(L'(') + 1, last.find(L',') - last.find(L'(') - 1),
              last.substr(last.find(L',') + 1, last.find(L')') - last.find(L',') - 1))
        << "progress reaches the total: " << last;
    EXPECT_EQ(0u, boxes.count());
}

TEST_F(WebTest, AFailedTransferKeepsTheDocumentLeavesNoFilesAndTheControlUsable) {
    DialogWatcher boxes;
    SetTimeoutMs(1500);
    ASSERT_EQ(S_OK, WriteDocument(ServerFile(L"half.vxp"), L"cut me", 1));
    const std::wstring keep = m_dir.file(L"keep.vxp");
    ASSERT_EQ(S_OK, WriteDocument(keep, L"kept", 0));
    ASSERT_EQ(S_OK, m_office->Open(StringArg(keep), Missing()));
    ASSERT_EQ(S_OK, SetText(L"kept, edited"));
    m_sink.events.clear();

    struct {
        const wchar_t* path;
        HRESULT hr;
        long status;
        const wchar_t* setting;  // from this row on
        DWORD value;
        bool bEsc;  // pressed at the first progress, while the wait cursor shows
    } opens[] = {
        {L"files/missing.vxp", E_NOT_FOUND, 404}, {L"status/500", E_STATUS, 500}, {L"loop", E_REDIRECT_LOOP, 302},
        {L"cut/half.vxp", E_CUT, 200},           {L"silent", E_TIMEOUT, 0},
        // The overall deadline ends a server that trickles under the timeout.
        {L"trickle", E_TIMEOUT, 200, L"DeadlineMs", 1500},
        {L"trickle", E_ABORT, 200, L"DeadlineMs", 600000, true},
        {L"files/half.vxp", HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE), 200, L"MaxDocumentBytes", 1000},
    };
    bool bEsc = false;
    m_sink.onEvent = [&](DISPID id) {
        if (id == 4 && bEsc) PostMessageW(m_host.frame(), WM_KEYDOWN, VK_ESCAPE, 0);
    };
    for (const auto& c : opens) {
        if (c.setting) SetWebValue(c.setting, c.value);
        bEsc = c.bEsc;
        const DWORD start = GetTickCount();
        EXPECT_EQ(c.hr, OpenUrl(c.path)) << c.path;
        EXPECT_TRUE(DescriptionNames(c.path)) << c.path << ": the error object names the URL";
        EXPECT_LT(GetTickCount() - start, 20000u) << c.path;
        EXPECT_EQ(c.status, Status()) << c.path;
        EXPECT_EQ(L"kept, edited", Text()) << c.path;
        EXPECT_EQ(m_strayBefore, StrayFiles()) << c.path;
    }
    m_sink.onEvent = nullptr;
    struct {
        const wchar_t* path;
        const wchar_t* method;
        HRESULT hr;
    } saves[] = {
        {L"status/500", L"POST", E_STATUS}, {L"status/403", L"PUT", E_STATUS}, {L"silent", L"PUT", E_TIMEOUT},
        {L"upload/x.vxp", L"GET", E_INVALIDARG},
    };
    for (const auto& c : saves) {
        EXPECT_EQ(c.hr, SaveUrl(c.path, Missing(), c.method, nullptr)) << c.path;
        EXPECT_TRUE(DescriptionNames(c.path)) << c.path << ": the error object names the URL";
        EXPECT_FALSE(Saved()) << c.path << ": still unsaved";
        EXPECT_EQ(L"kept, edited", Text()) << c.path;
        EXPECT_EQ(m_strayBefore, StrayFiles()) << c.path;
    }
    EXPECT_TRUE(m_sink.events.empty()) << "no failure is told as an open, save or close";
    unique_bstr name;
    m_office->GetFileName(name.put());
    EXPECT_EQ(keep, name.c_str()) << "the document keeps its own name";

    std::wstring response;
    EXPECT_EQ(S_OK, SaveUrl(L"upload/after.vxp", Missing(), L"POST", &response)) << "usable afterwards";
    EXPECT_EQ(L"received", response.substr(0, 8));
    EXPECT_EQ(0u, boxes.count());
}

// An open that does not load, from the server or from disk, fails and
// leaves the open document exactly as it was, edits, name and URL included.
TEST_F(WebTest, AnOpenThatDoesNotLoadKeepsTheOpenDocumentWhole) {
    DialogWatcher boxes;
    const std::string damaged = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + std::string(1500, 'Z');
    const std::wstring localDamaged = m_dir.file(L"damaged.vxp");
    ASSERT_TRUE(WriteFileBytes(ServerFile(L"expired"), "<html><body>Please log in</body></html>"));
    ASSERT_TRUE(WriteFileBytes(ServerFile(L"empty.vxp"), ""));
    ASSERT_TRUE(WriteFileBytes(ServerFile(L"damaged.vxp"), damaged));
    ASSERT_TRUE(WriteFileBytes(localDamaged, damaged));
    ASSERT_EQ(S_OK, WriteDocument(ServerFile(L"kept.vxp"), L"kept", 0));
    ASSERT_EQ(S_OK, OpenUrl(L"files/kept.vxp"));
    ASSERT_EQ(S_OK, SetText(L"kept, edited"));
    m_sink.events.clear();
    // A login page, an empty body, a damaged compound file; the damaged file on disk.
    for (const wchar_t* path : {L"files/expired", L"files/empty.vxp", L"files/damaged.vxp", L""}) {
        SCOPED_TRACE(Narrow(path));
        const HRESULT hr = *path ? OpenUrl(path) : m_office->Open(StringArg(localDamaged), Missing());
        EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
        EXPECT_TRUE(!*path || DescriptionNames(Url(path).c_str())) << "the error object names the URL";
        EXPECT_EQ(L"kept, edited", Text());
        EXPECT_FALSE(Saved());
        unique_bstr url, name;
        m_office->get_DocumentURL(url.put());
        EXPECT_EQ(Url(L"files/kept.vxp"), url.c_str());
        EXPECT_EQ(S_OK, m_office->GetFileName(name.put()));
        EXPECT_STREQ(L"", name.c_str());
        EXPECT_EQ(m_strayBefore, StrayFiles());
    }
    // Only a document server is ever made: not for the progId, nor for the
    // class a downloaded compound file names.
    CLSID dictionary = {};
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"Scripting.Dictionary", &dictionary));
    {
        com_ptr<IStorage> stg;
        ASSERT_EQ(S_OK, StgCreateDocfile(ServerFile(L"other.vxp").c_str(),
                                         STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, stg.put()));
        ASSERT_EQ(S_OK, WriteClassStg(stg.get(), dictionary));
    }
    StringArg notAServer(L"Scripting.Dictionary");
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              m_office->OpenFromURL(unique_bstr(Url(L"files/kept.vxp").c_str()).get(), Missing(), notAServer));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, OpenUrl(L"files/other.vxp"));
    EXPECT_TRUE(DescriptionNames(Url(L"files/other.vxp").c_str()));
    EXPECT_EQ(L"kept, edited", Text());
    EXPECT_TRUE(m_sink.events.empty()) << "nothing was closed or opened";
    EXPECT_EQ(0u, boxes.count());
}

// An upload saves a copy that changes nothing about the document; a download
// keeps the URL's name, so the class the caller names loads a plain-text
// file; results name what the caller knows.
TEST_F(WebTest, UploadsLeaveTheDocumentAsItWasAndDownloadsKeepTheirType) {
    const std::wstring local = m_dir.file(L"ro.vxp");
    ASSERT_EQ(S_OK, WriteDocument(local, L"read only", 0));
    const std::string before = FileText(local);
    VARIANT readOnly = {};
    V_VT(&readOnly) = VT_BOOL;
    V_BOOL(&readOnly) = VARIANT_TRUE;
    ASSERT_EQ(S_OK, m_office->Open(StringArg(local), readOnly));
    ASSERT_EQ(S_OK, SetText(L"read only, edited"));
    ASSERT_EQ(S_OK, SaveUrl(L"upload/ro-copy.vxp", Missing(), L"PUT", nullptr));
    unique_bstr name;
    m_office->GetFileName(name.put());
    EXPECT_EQ(local, name.c_str()) << "the copy's name was not adopted";
    DialogWatcher dialogs(IDCANCEL);
    EXPECT_EQ(S_FALSE, m_office->Save(Missing(), Missing())) << "still read-only: the user chooses a name";
    EXPECT_EQ(1u, dialogs.count());
    EXPECT_TRUE(before == FileText(local)) << "the read-only file is untouched";
    // A .txt as the sample server's document; one progress event says all has arrived.
    DialogWatcher boxes;
    ASSERT_TRUE(WriteFileBytes(ServerFile(L"note.txt"), "plain note"));
    m_sink.wholeCount = 0;
    StringArg progId(L"VellixPad.Document");
    ASSERT_EQ(S_OK, m_office->OpenFromURL(unique_bstr(Url(L"files/note.txt").c_str()).get(), Missing(), progId));
    EXPECT_EQ(L"plain note", Text());
    EXPECT_EQ(1, m_sink.wholeCount);
    EXPECT_EQ(S_OK, m_office->GetFileName(name.put()));
    EXPECT_STREQ(L"", name.c_str()) << "a downloaded document has no local file";
    // An argument error quotes no earlier request's status.
    EXPECT_EQ(E_NOT_FOUND, OpenUrl(L"files/missing.vxp"));
    EXPECT_EQ(E_INVALIDARG, SaveUrl(L"upload/x.vxp", Missing(), L"GET", nullptr));
    EXPECT_TRUE(DescriptionNames(Url(L"upload/x.vxp").c_str()));
    EXPECT_FALSE(DescriptionNames(L"HTTP状态"));
    EXPECT_EQ(0u, boxes.count());
}

TEST_F(WebTest, A64MegabyteDocumentStreamsBothWaysWithThrottledProgress) {
    DialogWatcher boxes;
    ASSERT_EQ(S_OK, WriteDocument(ServerFile(L"big.vxp"), L"big", 64));
    ULONGLONG size = 0;
    {
        WIN32_FILE_ATTRIBUTE_DATA fad;
        ASSERT_TRUE(GetFileAttributesExW(ServerFile(L"big.vxp").c_str(), GetFileExInfoStandard, &fad));
        size = (static_cast<ULONGLONG>(fad.nFileSizeHigh) << 32) | fad.nFileSizeLow;
    }
    const DWORD start = GetTickCount();
    ASSERT_EQ(S_OK, OpenUrl(L"files/big.vxp"));
    const DWORD seconds = (GetTickCount() - start) / 1000;
    EXPECT_EQ(L"big", Text());
    EXPECT_EQ(L"TransferProgress(" + std::to_wstring(size) + L"," + std::to_wstring(size) + L")", m_sink.lastProgress);
    EXPECT_LE(m_sink.progressCount, static_cast<int>(seconds * 10 + 3)) << "about ten a second";

    ASSERT_EQ(S_OK, SaveUrl(L"upload/big-put.vxp", Missing(), L"PUT", nullptr));
    WIN32_FILE_ATTRIBUTE_DATA fad;
    ASSERT_TRUE(GetFileAttributesExW(ServerFile(L"big-put.vxp").c_str(), GetFileExInfoStandard, &fad));
    EXPECT_GE(fad.nFileSizeLow, 64u << 20);
    EXPECT_EQ(m_strayBefore, StrayFiles());
    EXPECT_EQ(0u, boxes.count());
    DeleteFileW(ServerFile(L"big.vxp").c_str());
    DeleteFileW(ServerFile(L"big-put.vxp").c_str());
}

TEST_F(WebTest, ARefusedPageCanNeitherOpenFromNorSaveToAURL) {
    ASSERT_EQ(S_OK, WriteDocument(ServerFile(L"gate.vxp"), L"gate", 0));
    const std::string requests = FileText(ServerFile(L"requests.log"));
    // An Internet page: the site lock refuses it by default.
    m_cp->Unadvise(m_cookie);
    m_cp.reset();
    m_office.reset();
    m_host.SetPage(PageSource::Document, L"http://www.vx.test/page.html");
    ASSERT_EQ(S_OK, m_host.Create(CLSID_Office));
    ASSERT_EQ(S_OK, m_host.query(m_office.put()));

    unique_bstr response;
    EXPECT_EQ(E_ACCESSDENIED, OpenUrl(L"files/gate.vxp"));
    EXPECT_EQ(E_ACCESSDENIED, SaveUrl(L"upload/gate-post.vxp", Missing(), L"POST", nullptr));
    EXPECT_EQ(E_ACCESSDENIED, SaveUrl(L"upload/gate-put.vxp", Missing(), L"PUT", nullptr));
    EXPECT_EQ(0, Status());
    EXPECT_TRUE(requests == FileText(ServerFile(L"requests.log"))) << "no request reached the server";
}

TEST_F(WebTest, AHandlerMayUnadviseOrCloseTheDocumentFromInsideAnEvent) {
    ASSERT_EQ(S_OK, WriteDocument(ServerFile(L"ev.vxp"), L"events", 0));
    m_sink.onEvent = [&](DISPID id) {
        if (id == 1) m_office->Close();  // runs after the open has finished
    };
    ASSERT_EQ(S_OK, OpenUrl(L"files/ev.vxp"));
    std::vector<std::wstring> expected = {L"DocumentOpened(" + Url(L"files/ev.vxp") + L")", L"DocumentClosed()"};
    EXPECT_EQ(expected, m_sink.events);
    com_ptr<IDispatch> doc;
    EXPECT_NE(S_OK, m_office->get_ActiveDocument(doc.put()));

    m_sink.onEvent = [&](DISPID) { m_cp->Unadvise(m_cookie); };
    ASSERT_EQ(S_OK, OpenUrl(L"files/ev.vxp"));
    ASSERT_EQ(S_OK, m_office->Close());
    EXPECT_EQ(CONNECT_E_NOCONNECTION, m_cp->Unadvise(m_cookie)) << "gone after its first event";

    // The page lets go of the control from inside the transfer's progress.
    SetWebValue(L"DeadlineMs", 1000);
    EventSink sink;
    TestContainer other;  // outlives the control, which holds its site
    com_ptr<IConnectionPointContainer> cpc;
    com_ptr<IConnectionPoint> cp;
    com_ptr<IOffice2> last;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Office, nullptr, CLSCTX_INPROC_SERVER, IID_IOffice2, last.put_void()));
    ASSERT_EQ(S_OK, last.query(cpc.put()));
    ASSERT_EQ(S_OK, cpc->FindConnectionPoint(DIID__IOfficeEvents, cp.put()));
    ASSERT_EQ(S_OK, cp->Advise(&sink, &cookie));
    {
        // A site, so that it has the window a document needs.
        com_ptr<IOleObject> ole;
        com_ptr<IOleClientSite> site;
        ASSERT_EQ(S_OK, last.query(ole.put()));
        ASSERT_EQ(S_OK, other.site()->QueryInterface(IID_IOleClientSite, site.put_void()));
        ASSERT_EQ(S_OK, ole->SetClientSite(site.get()));
    }
    IOffice2* pCall = last.get();
    sink.onEvent = [&](DISPID id) { if (id == 4) cp.reset(), cpc.reset(), last.reset(); };
    EXPECT_EQ(E_TIMEOUT, pCall->OpenFromURL(unique_bstr(Url(L"trickle").c_str()).get(), Missing(), Missing()));
    EXPECT_EQ(1u, sink.m_cRef) << "gone, and let go of its sink";
}

}  // namespace
