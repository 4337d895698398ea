#include "Fixtures.h"

#include <cwchar>

#include "PadTestHooks.h"

using fw::com_ptr;
using fw::unique_bstr;

namespace hardening {

namespace {

const wchar_t kTextStream[] = L"Text";

HRESULT ReadStreamText(IStorage* pstg, std::wstring* pText) {
    com_ptr<IStream> stm;
    HRESULT hr = pstg->OpenStream(kTextStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stm.put());
    if (FAILED(hr)) return hr;
    STATSTG st = {};
    hr = stm->Stat(&st, STATFLAG_NONAME);
    if (FAILED(hr)) return hr;
    if (st.cbSize.HighPart || st.cbSize.LowPart > 64 * 1024 * 1024) return E_UNEXPECTED;
    std::wstring text(st.cbSize.LowPart / sizeof(wchar_t), L'\0');
    ULONG got = 0;
    if (!text.empty()) {
        hr = stm->Read(&text[0], static_cast<ULONG>(text.size() * sizeof(wchar_t)), &got);
        if (FAILED(hr)) return hr;
    }
    text.resize(got / sizeof(wchar_t));
    *pText = text;
    return S_OK;
}

}  // namespace

// ---- documents ------------------------------------------------------------

bool WritePadDocument(const std::wstring& path, const std::wstring& text, const CLSID& clsid) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    com_ptr<IStorage> stg;
    if (FAILED(StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, stg.put())))
        return false;
    const CLSID& cls = IsEqualCLSID(clsid, GUID_NULL) ? vellixpad::CLSID_Document : clsid;
    if (FAILED(WriteClassStg(stg.get(), cls))) return false;
    com_ptr<IStream> stm;
    if (FAILED(stg->CreateStream(kTextStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stm.put())))
        return false;
    ULONG written = 0;
    if (FAILED(stm->Write(text.data(), static_cast<ULONG>(text.size() * sizeof(wchar_t)), &written))) return false;
    stm.reset();
    return SUCCEEDED(stg->Commit(STGC_DEFAULT));
}

bool ReadPadDocument(const std::wstring& path, std::wstring* pText) {
    com_ptr<IStorage> stg;
    if (FAILED(StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, stg.put())))
        return false;
    CLSID clsid = CLSID_NULL;
    if (FAILED(ReadClassStg(stg.get(), &clsid)) || !IsEqualCLSID(clsid, vellixpad::CLSID_Document)) return false;
    return SUCCEEDED(ReadStreamText(stg.get(), pText));
}

bool ReadSavedText(const std::wstring& path, std::wstring* pText) {
    if (ReadPadDocument(path, pText)) return true;
    std::string bytes;
    if (!testsupport::ReadFileBytes(path, &bytes) || bytes.compare(0, 3, "\xEF\xBB\xBF") != 0) return false;
    *pText = testsupport::Widen(bytes.substr(3));
    return true;
}

bool FileBytesEqual(const std::wstring& path, const std::string& bytes) {
    std::string now;
    return testsupport::ReadFileBytes(path, &now) && now == bytes;
}

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> FilesEndingWith(const std::wstring& folder, const wchar_t* pszSuffix) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    const size_t n = wcslen(pszSuffix);
    do {
        std::wstring name = fd.cFileName;
        if (name.size() >= n && _wcsicmp(name.c_str() + name.size() - n, pszSuffix) == 0) names.push_back(name);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
}

// ---- the sandbox ------------------------------------------------------------

const wchar_t Sandbox::kText[] = L"Vellix hardening: 文档内容 survives.";

std::wstring PathOfLength(const std::wstring& folder, size_t cch) {
    std::wstring path = folder + L"\\";
    const std::wstring ext = L".vxp";
    if (cch > path.size() + ext.size()) path.append(cch - path.size() - ext.size(), L'a');
    return path + ext;
}

Sandbox::Sandbox() : m_dir(L"vxsand") {
    validDoc = file(L"valid.vxp");
    readOnlyDoc = file(L"readonly.vxp");
    lockedDoc = file(L"locked.vxp");
    plainText = file(L"plain.txt");
    folder = file(L"folder");
    missing = file(L"missing\\absent.vxp");
    // Folders nested until the path is well past MAX_PATH, with a document
    // at the end where the file system allows it.
    std::wstring deep = dir();
    while (deep.size() < 300) {
        deep += L"\\" + std::wstring(40, L'd');
        CreateDirectoryW(deep.c_str(), nullptr);
    }
    overLong = deep + L"\\overlong.vxp";
    CreateDirectoryW(folder.c_str(), nullptr);
    Refresh();
}

Sandbox::~Sandbox() {
    if (m_hLock != INVALID_HANDLE_VALUE) CloseHandle(m_hLock);
    // A file dialog that confirmed a name here made this the current
    // folder, which cannot be removed while it is.
    wchar_t szCurrent[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, szCurrent);
    if (_wcsnicmp(szCurrent, dir().c_str(), dir().size()) == 0) {
        wchar_t szTemp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, szTemp);
        SetCurrentDirectoryW(szTemp);
    }
    SetFileAttributesW(readOnlyDoc.c_str(), FILE_ATTRIBUTE_NORMAL);
}

bool Sandbox::Unchanged(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA now = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &now)) return false;
    for (const auto& known : m_known)
        if (known.first == path)
            return memcmp(&known.second, &now, sizeof(now)) == 0;
    return false;
}

void Sandbox::Remember(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA now = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &now);
    for (auto& known : m_known)
        if (known.first == path) {
            known.second = now;
            return;
        }
    m_known.push_back({path, now});
}

void Sandbox::Refresh() {
    std::wstring text;
    for (const std::wstring* doc : {&validDoc, &readOnlyDoc, &overLong}) {
        if (Unchanged(*doc)) continue;
        SetFileAttributesW(doc->c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!ReadPadDocument(*doc, &text) || text != kText) WritePadDocument(*doc, kText);
        if (doc == &readOnlyDoc) SetFileAttributesW(doc->c_str(), FILE_ATTRIBUTE_READONLY);
        Remember(*doc);
    }
    if (m_hLock == INVALID_HANDLE_VALUE) {
        WritePadDocument(lockedDoc, kText);
        // Held open with no sharing, as another program holding the file.
        m_hLock = CreateFileW(lockedDoc.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    if (!Unchanged(plainText)) {
        testsupport::WriteFileBytes(plainText, "plain text, no compound file\r\n");
        Remember(plainText);
    }
    if (!Unchanged(folder)) {
        CreateDirectoryW(folder.c_str(), nullptr);
        Remember(folder);
    }
}

// ---- argument values ----------------------------------------------------------

STDMETHODIMP CInertDispatch::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}
STDMETHODIMP_(ULONG) CInertDispatch::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }
STDMETHODIMP_(ULONG) CInertDispatch::Release() {
    LONG c = InterlockedDecrement(&m_cRef);
    // Never deleted: a release below the pool's own reference is the fault
    // CheckReferences reports, not a crash here.
    return static_cast<ULONG>(c < 0 ? 0 : c);
}
STDMETHODIMP CInertDispatch::GetTypeInfoCount(UINT* p) {
    if (p) *p = 0;
    return S_OK;
}
STDMETHODIMP CInertDispatch::GetTypeInfo(UINT, LCID, ITypeInfo**) { return DISP_E_BADINDEX; }
STDMETHODIMP CInertDispatch::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return DISP_E_UNKNOWNNAME; }
STDMETHODIMP CInertDispatch::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return DISP_E_MEMBERNOTFOUND;
}

BSTR ValuePool::Own(const std::wstring& s) {
    BSTR b = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    m_owned.push_back(b);
    return b;
}

void ValuePool::AddVariant(const std::wstring& label, const VARIANT& v, bool bNonEmptyString) {
    VariantValue value;
    value.label = label;
    value.v = v;
    value.bNonEmptyString = bNonEmptyString;
    m_variants.push_back(value);
}

ValuePool::ValuePool(const Sandbox& sandbox) {
    m_bstrs = {
        {L"null BSTR", nullptr},
        {L"empty BSTR", Own(L"")},
        {L"259-character path", Own(PathOfLength(sandbox.dir(), 259))},
        {L"260-character path", Own(PathOfLength(sandbox.dir(), 260))},
        {L"261-character path", Own(PathOfLength(sandbox.dir(), 261))},
        {L"32767-character path", Own(PathOfLength(sandbox.dir(), 32767))},
        {L"missing file", Own(sandbox.missing)},
        {L"folder", Own(sandbox.folder)},
        {L"read-only document", Own(sandbox.readOnlyDoc)},
        {L"locked document", Own(sandbox.lockedDoc)},
        {L"over-long path", Own(sandbox.overLong)},
        {L"plain text file", Own(sandbox.plainText)},
        {L"valid document", Own(sandbox.validDoc)},
        {L"relative name", Own(L"relative.vxp")},
        {L"invalid characters", Own(L"\x01<>|?*\"")},
        {L"embedded NUL", Own(std::wstring(L"ab\0cd.vxp", 9))},
    };

    m_clsid = vellixpad::CLSID_Document;
    m_byrefBstr = Own(sandbox.missing);
    VariantInit(&m_byrefVariant);
    m_byrefVariant.vt = VT_BSTR;
    m_byrefVariant.bstrVal = Own(sandbox.missing);

    VARIANT v;
    VariantInit(&v);
    AddVariant(L"VT_EMPTY", v);
    v.vt = VT_NULL;
    AddVariant(L"VT_NULL", v);
    for (SHORT n : {0, -1, 1}) {
        VariantInit(&v);
        v.vt = VT_I2;
        v.iVal = n;
        AddVariant(L"VT_I2 " + std::to_wstring(n), v);
    }
    for (LONG n : {0L, 0x200L, -1L, 0x7FFFFFFFL}) {
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = n;
        AddVariant(L"VT_I4 " + std::to_wstring(n), v);
    }
    for (VARIANT_BOOL b : {VARIANT_TRUE, VARIANT_FALSE}) {
        VariantInit(&v);
        v.vt = VT_BOOL;
        v.boolVal = b;
        AddVariant(b ? L"VT_BOOL true" : L"VT_BOOL false", v);
    }
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = 1.5;
    AddVariant(L"VT_R8 1.5", v);
    for (const BstrValue& b : m_bstrs) {
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = b.bstr;
        AddVariant(L"VT_BSTR " + b.label, v, b.bstr && SysStringLen(b.bstr) && b.bstr[0]);
    }
    for (SCODE sc : {DISP_E_PARAMNOTFOUND, E_FAIL}) {
        VariantInit(&v);
        v.vt = VT_ERROR;
        v.scode = sc;
        AddVariant(sc == E_FAIL ? L"VT_ERROR E_FAIL" : L"VT_ERROR DISP_E_PARAMNOTFOUND", v);
    }
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    AddVariant(L"VT_DISPATCH null", v);
    v.pdispVal = &m_dispatch;
    AddVariant(L"VT_DISPATCH object", v);
    VariantInit(&v);
    v.vt = VT_UNKNOWN;
    AddVariant(L"VT_UNKNOWN null", v);
    v.punkVal = &m_dispatch;
    AddVariant(L"VT_UNKNOWN object", v);

    SAFEARRAYBOUND bound = {2, 0};
    SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, 1, &bound);
    VARIANT* pElems = nullptr;
    if (psa && SUCCEEDED(SafeArrayAccessData(psa, reinterpret_cast<void**>(&pElems)))) {
        pElems[0].vt = VT_BSTR;
        pElems[0].bstrVal = SysAllocString(sandbox.validDoc.c_str());
        pElems[1].vt = VT_I4;
        pElems[1].lVal = 1;
        SafeArrayUnaccessData(psa);
    }
    m_arrays.push_back(psa);
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = psa;
    AddVariant(L"VT_ARRAY|VT_VARIANT of two", v);
    bound.cElements = 0;
    psa = SafeArrayCreate(VT_VARIANT, 1, &bound);
    m_arrays.push_back(psa);
    v.parray = psa;
    AddVariant(L"VT_ARRAY|VT_VARIANT empty", v);

    VariantInit(&v);
    v.vt = VT_BYREF | VT_BSTR;
    v.pbstrVal = &m_byrefBstr;
    AddVariant(L"VT_BYREF|VT_BSTR", v);
    VariantInit(&v);
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = &m_byrefVariant;
    AddVariant(L"VT_BYREF|VT_VARIANT", v);
    VariantInit(&v);
    v.vt = VT_BYREF | VT_I4;
    v.plVal = &m_byrefLong;
    AddVariant(L"VT_BYREF|VT_I4", v);
    VariantInit(&v);
    v.vt = VT_BYREF | VT_UI1;
    v.pbVal = reinterpret_cast<BYTE*>(&m_rect);
    AddVariant(L"VT_BYREF|VT_UI1 to a RECT", v);
    v.pbVal = reinterpret_cast<BYTE*>(&m_clsid);
    AddVariant(L"VT_BYREF|VT_UI1 to a CLSID", v);
}

ValuePool::~ValuePool() {
    for (SAFEARRAY* psa : m_arrays)
        if (psa) SafeArrayDestroy(psa);
    for (BSTR b : m_owned) SysFreeString(b);
}

std::wstring ValuePool::CheckReferences() const {
    if (m_dispatch.refs() < 1)
        return L"an object passed as an argument was released " + std::to_wstring(1 - m_dispatch.refs()) +
               L" time(s) more than it was given (use after release)";
    return std::wstring();
}

// ---- message boxes ----------------------------------------------------------------

const BoxRule kAnyDialog = {L"\x1F(dialog)", nullptr};

namespace {

// Glob with "%s" as the only wildcard.
bool MatchText(const wchar_t* pszPattern, const std::wstring& text) {
    std::wstring pattern = pszPattern;
    size_t star = pattern.find(L"%s");
    if (star == std::wstring::npos) return pattern == text;
    std::wstring head = pattern.substr(0, star), tail = pattern.substr(star + 2);
    return text.size() >= head.size() + tail.size() && text.compare(0, head.size(), head) == 0 &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool MatchesRule(const testsupport::DialogRecord& box, const BoxRule& rule) {
    if (rule.caption == kAnyDialog.caption) return box.text.empty();
    if (rule.caption && box.caption != rule.caption) return false;
    if (rule.text && !MatchText(rule.text, box.text)) return false;
    return true;
}

std::wstring Describe(const testsupport::DialogRecord& box) {
    return L"box \"" + box.caption + L"\" / \"" + box.text.substr(0, 120) + L"\"";
}

// ---- the control in its states ------------------------------------------------------

const wchar_t* Name(OfficeState state) {
    switch (state) {
    case OfficeState::NoClientSite: return L"before-client-site";
    case OfficeState::NoDocument: return L"before-document";
    case OfficeState::DocumentOpen: return L"document-open";
    case OfficeState::AfterClose: return L"after-close";
    }
    return L"?";
}

bool ParseOfficeState(const std::wstring& s, OfficeState* pState) {
    for (OfficeState st : {OfficeState::NoClientSite, OfficeState::NoDocument, OfficeState::DocumentOpen,
                           OfficeState::AfterClose})
        if (s == Name(st)) {
            *pState = st;
            return true;
        }
    return false;
}

VARIANT StringVariant(BSTR b) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = b;
    return v;
}

std::wstring HrText(HRESULT hr) {
    wchar_t sz[16];
    swprintf(sz, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return sz;
}

std::wstring OpensAndSaves(IOffice* office, Sandbox& sandbox, const std::wstring& tag) {
    office->EnableWindow(VARIANT_TRUE);
    sandbox.Refresh();
    unique_bstr name(sandbox.validDoc.c_str());
    HRESULT hr = office->Open(StringVariant(name.get()), Missing());
    if (hr != S_OK) return L"Open of a valid document returned " + HrText(hr);
    unique_bstr opened;
    if (office->GetFileName(opened.put()) != S_OK || lstrcmpiW(opened.c_str(), sandbox.validDoc.c_str()) != 0)
        return L"Open returned S_OK but the control holds no document of that name";
    const std::wstring target = sandbox.file(L"saved-" + tag + L".vxp");
    DeleteFileW(target.c_str());
    unique_bstr targetName(target.c_str());
    hr = office->Save(StringVariant(targetName.get()), Missing());
    if (hr != S_OK) return L"Save to a new file returned " + HrText(hr);
    std::wstring text;
    if (!ReadPadDocument(target, &text)) return L"Save returned S_OK but wrote no document";
    if (text != Sandbox::kText) return L"the saved document lost its text";
    return std::wstring();
}

OfficeUnderTest::OfficeUnderTest(OfficeState state, Sandbox& sandbox) : m_state(state), m_sandbox(sandbox) {
    if (state == OfficeState::NoClientSite) {
        m_office.create(CLSID_Office);
    } else {
        m_container = std::make_unique<testsupport::TestContainer>(500, 400);
        if (SUCCEEDED(m_container->Create(CLSID_Office, true))) m_container->query(m_office.put());
    }
    Restore();
    if (state == OfficeState::AfterClose && m_office) {
        unique_bstr name(sandbox.validDoc.c_str());
        m_office->Open(StringVariant(name.get()), Missing());
        m_office->Close();
    }
}

OfficeUnderTest::~OfficeUnderTest() {
    if (m_office && m_state == OfficeState::NoClientSite && !m_container) m_office->Close();
    m_office.reset();
    m_container.reset();
}

bool OfficeUnderTest::Restore() {
    if (!m_office) return false;
    m_office->EnableWindow(VARIANT_TRUE);
    unique_bstr current;
    const bool bHasDocument = m_office->GetFileName(current.put()) == S_OK;
    if (m_state != OfficeState::DocumentOpen) return !bHasDocument || SUCCEEDED(m_office->Close());
    if (bHasDocument && lstrcmpiW(current.c_str(), m_sandbox.validDoc.c_str()) == 0) return true;
    m_sandbox.Refresh();
    unique_bstr name(m_sandbox.validDoc.c_str());
    return m_office->Open(StringVariant(name.get()), Missing()) == S_OK;
}

std::wstring OfficeUnderTest::CheckOpensAndSaves(const std::wstring& tag) {
    if (!m_office) return L"no control";
    if (!m_container) {
        m_container = std::make_unique<testsupport::TestContainer>(500, 400);
        HRESULT hr = m_container->Host(m_office.get(), true);
        if (FAILED(hr)) return L"hosting the control failed: " + HrText(hr);
    }
    return OpensAndSaves(m_office.get(), m_sandbox, tag);
}

}  // namespace hardening
