// Persistence: the text in a stream of the document's storage, in a compound
// file of its own, or in a plain text file.
#include <string>

#include "PadDocument.h"
#include "PadStrings.h"
#include "PadTestHooks.h"

namespace {

const unsigned char kUtf8Bom[] = {0xEF, 0xBB, 0xBF};
const unsigned char kUtf16LeBom[] = {0xFF, 0xFE};

bool StartsWith(const std::string& bytes, const unsigned char* prefix, size_t n) {
    return bytes.size() >= n && memcmp(bytes.data(), prefix, n) == 0;
}

std::wstring FromCodePage(const char* p, int cb, UINT cp, DWORD dwFlags, bool* pbOk) {
    *pbOk = true;
    if (cb == 0) return std::wstring();
    int cch = MultiByteToWideChar(cp, dwFlags, p, cb, nullptr, 0);
    if (cch <= 0) {
        *pbOk = false;
        return std::wstring();
    }
    std::wstring s(cch, L'\0');
    MultiByteToWideChar(cp, dwFlags, p, cb, &s[0], cch);
    return s;
}

// Plain text as other editors write it: UTF-16 or UTF-8 with a byte order
// mark, UTF-8 without one, or else the ANSI code page.
std::wstring DecodePlainText(const std::string& bytes) {
    if (StartsWith(bytes, kUtf16LeBom, sizeof(kUtf16LeBom)))
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    bool bOk = false;
    if (StartsWith(bytes, kUtf8Bom, sizeof(kUtf8Bom)))
        return FromCodePage(bytes.data() + 3, static_cast<int>(bytes.size() - 3), CP_UTF8, 0, &bOk);
    std::wstring s = FromCodePage(bytes.data(), static_cast<int>(bytes.size()), CP_UTF8, MB_ERR_INVALID_CHARS, &bOk);
    if (bOk) return s;
    return FromCodePage(bytes.data(), static_cast<int>(bytes.size()), CP_ACP, 0, &bOk);
}

std::string EncodePlainText(const std::wstring& text) {
    std::string bytes(reinterpret_cast<const char*>(kUtf8Bom), sizeof(kUtf8Bom));
    if (text.empty()) return bytes;
    int cb = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string body(cb, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &body[0], cb, nullptr, nullptr);
    return bytes + body;
}

HRESULT ReadWholeStream(IStream* pstm, std::string* pBytes) {
    STATSTG st = {};
    HRESULT hr = pstm->Stat(&st, STATFLAG_NONAME);
    if (FAILED(hr)) return hr;
    if (st.cbSize.HighPart) return STG_E_MEDIUMFULL;
    pBytes->assign(st.cbSize.LowPart, '\0');
    ULONG got = 0;
    if (st.cbSize.LowPart) {
        hr = pstm->Read(&(*pBytes)[0], st.cbSize.LowPart, &got);
        if (FAILED(hr)) return hr;
    }
    pBytes->resize(got);
    return S_OK;
}

HRESULT ReadAllFromUnsizedStream(IStream* pstm, std::string* pBytes) {
    pBytes->clear();
    char buf[4096];
    for (;;) {
        ULONG got = 0;
        HRESULT hr = pstm->Read(buf, sizeof(buf), &got);
        if (FAILED(hr)) return hr;
        pBytes->append(buf, got);
        if (hr == S_FALSE || got == 0) return S_OK;
    }
}

HRESULT ReadTextStream(IStorage* pstg, std::wstring* pText) {
    fw::com_ptr<IStream> stm;
    HRESULT hr = pstg->OpenStream(padtext::kTextStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stm.put());
    if (FAILED(hr)) return hr;
    std::string bytes;
    hr = ReadWholeStream(stm.get(), &bytes);
    if (FAILED(hr)) return hr;
    pText->assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    return S_OK;
}

HRESULT ReadFileBytes(const wchar_t* pszFileName, std::string* pBytes) {
    fw::unique_hfile file(CreateFileW(pszFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return HRESULT_FROM_WIN32(GetLastError());
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size)) return HRESULT_FROM_WIN32(GetLastError());
    if (size.HighPart) return STG_E_MEDIUMFULL;
    pBytes->assign(size.LowPart, '\0');
    DWORD got = 0;
    if (size.LowPart && !ReadFile(file.get(), &(*pBytes)[0], size.LowPart, &got, nullptr))
        return HRESULT_FROM_WIN32(GetLastError());
    pBytes->resize(got);
    return S_OK;
}

HRESULT WriteFileBytes(const wchar_t* pszFileName, const std::string& bytes) {
    fw::unique_hfile file(
        CreateFileW(pszFileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return HRESULT_FROM_WIN32(GetLastError());
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return HRESULT_FROM_WIN32(GetLastError());
    return written == bytes.size() ? S_OK : STG_E_WRITEFAULT;
}

// The file a file moniker names; S_FALSE for any other kind of moniker.
HRESULT MonikerFileName(IMoniker* pmk, IBindCtx* pbc, std::wstring* pPath) {
    DWORD dwKind = 0;
    if (pmk->IsSystemMoniker(&dwKind) != S_OK || dwKind != MKSYS_FILEMONIKER) return S_FALSE;
    fw::com_ptr<IBindCtx> spbc(pbc);
    if (!spbc) {
        HRESULT hr = CreateBindCtx(0, spbc.put());
        if (FAILED(hr)) return hr;
    }
    fw::unique_cotaskmem name;
    HRESULT hr = pmk->GetDisplayName(spbc.get(), nullptr, reinterpret_cast<LPOLESTR*>(name.put()));
    if (FAILED(hr)) return hr;
    pPath->assign(static_cast<const wchar_t*>(name.get()));
    return S_OK;
}

const wchar_t kCompObjStream[] = L"\1CompObj";  // written by WriteFmtUserTypeStg

// Everything in the source storage but our text stream.
HRESULT CopyAllButText(IStorage* pstgSource, IStorage* pstgDest) {
    OLECHAR* exclude[] = {const_cast<OLECHAR*>(padtext::kTextStream), nullptr};
    return pstgSource->CopyTo(0, nullptr, exclude, pstgDest);
}

HRESULT CopyToTaskMem(const wchar_t* psz, LPOLESTR* ppsz) {
    size_t cb = (lstrlenW(psz) + 1) * sizeof(wchar_t);
    *ppsz = static_cast<LPOLESTR>(CoTaskMemAlloc(cb));
    if (!*ppsz) return E_OUTOFMEMORY;
    memcpy(*ppsz, psz, cb);
    return S_OK;
}

}  // namespace

// ---- helpers ------------------------------------------------------------------

HRESULT CPadDocument::BeginLoad() {
    if (m_persistState != PersistState::Uninitialized) return CO_E_ALREADYINITIALIZED;
    padtrace::Set(vellixpad::kTraceSiteBeforeInit, m_spClientSite ? 1 : 0);
    return S_OK;
}

HRESULT CPadDocument::LoadFromFile(const wchar_t* pszFileName) {
    if (!pszFileName || !*pszFileName) return E_INVALIDARG;
    std::wstring text;
    FileFormat format = FileFormat::Compound;
    if (StgIsStorageFile(pszFileName) == S_OK) {
        fw::com_ptr<IStorage> stg;
        HRESULT hr = StgOpenStorage(pszFileName, nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, stg.put());
        // Another party (a container copying the file) may hold it open for writing.
        if (FAILED(hr))
            hr = StgOpenStorage(pszFileName, nullptr, STGM_READ | STGM_TRANSACTED | STGM_SHARE_DENY_NONE, nullptr, 0,
                                stg.put());
        if (FAILED(hr)) return hr;
        hr = ReadTextStream(stg.get(), &text);
        if (FAILED(hr)) return hr;
        hr = KeepForeignElements(stg.get());
        if (FAILED(hr)) return hr;
    } else {
        std::string bytes;
        HRESULT hr = ReadFileBytes(pszFileName, &bytes);
        if (FAILED(hr)) return hr;
        text = DecodePlainText(bytes);
        format = FileFormat::PlainText;
    }
    SetText(text);
    SetModified(false);
    m_strFileName = pszFileName;
    m_fileFormat = format;
    m_persistState = PersistState::Normal;
    return S_OK;
}

// A document's storage may hold more than our text: streams and storages
// that a container, an add-in or a newer version wrote. They are not ours to
// drop, so whatever we write elsewhere carries them along.
HRESULT CPadDocument::KeepForeignElements(IStorage* pstgFile) {
    fw::com_ptr<IEnumSTATSTG> elements;
    HRESULT hr = pstgFile->EnumElements(0, nullptr, 0, elements.put());
    if (FAILED(hr)) return hr;
    bool bForeign = false;
    STATSTG st = {};
    while (!bForeign && elements->Next(1, &st, nullptr) == S_OK) {
        bForeign = lstrcmpW(st.pwcsName, padtext::kTextStream) != 0 && lstrcmpW(st.pwcsName, kCompObjStream) != 0;
        CoTaskMemFree(st.pwcsName);
    }
    m_spForeign.reset();
    if (!bForeign) return S_OK;
    hr = StgCreateDocfile(nullptr, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DELETEONRELEASE, 0,
                          m_spForeign.put());
    if (FAILED(hr)) return hr;
    return CopyAllButText(pstgFile, m_spForeign.get());
}

HRESULT CPadDocument::CopyForeignElements(IStorage* pstgDest) {
    IStorage* pSource = m_spStorage ? m_spStorage.get() : m_spForeign.get();
    if (!pSource || pSource == pstgDest) return S_OK;
    return CopyAllButText(pSource, pstgDest);
}

HRESULT CPadDocument::WriteStorage(IStorage* pstg) {
    // First, so that our own text replaces any copy of it.
    HRESULT hr = CopyForeignElements(pstg);
    if (FAILED(hr)) return hr;
    fw::com_ptr<IStream> stm;
    hr = pstg->CreateStream(padtext::kTextStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stm.put());
    if (FAILED(hr)) return hr;
    std::wstring text = GetText();
    ULONG cb = static_cast<ULONG>(text.size() * sizeof(wchar_t));
    ULONG written = 0;
    if (cb) {
        hr = stm->Write(text.data(), cb, &written);
        if (FAILED(hr)) return hr;
        if (written != cb) return STG_E_WRITEFAULT;
    }
    hr = WriteClassStg(pstg, m_clsid);
    if (FAILED(hr)) return hr;
    return WriteFmtUserTypeStg(pstg, static_cast<CLIPFORMAT>(RegisterClipboardFormatW(padtext::kClipboardFormat)),
                               const_cast<LPOLESTR>(padtext::kUserTypeFull));
}

HRESULT CPadDocument::SaveToFile(const wchar_t* pszFileName, FileFormat format) {
    if (format == FileFormat::PlainText) return WriteFileBytes(pszFileName, EncodePlainText(GetText()));
    fw::com_ptr<IStorage> stg;
    HRESULT hr = StgCreateDocfile(pszFileName, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, stg.put());
    if (FAILED(hr)) return hr;
    hr = WriteStorage(stg.get());
    if (FAILED(hr)) return hr;
    return stg->Commit(STGC_DEFAULT);
}

// ".txt" files stay plain text, the current file keeps its format, anything
// else becomes a compound file that names our class.
CPadDocument::FileFormat CPadDocument::FormatForTarget(const wchar_t* pszFileName) const {
    const wchar_t* pszExt = wcsrchr(pszFileName, L'.');
    const wchar_t* pszSlash = wcsrchr(pszFileName, L'\\');
    if (pszExt && (!pszSlash || pszExt > pszSlash) && lstrcmpiW(pszExt, padtext::kPlainTextExtension) == 0)
        return FileFormat::PlainText;
    if (!m_strFileName.empty() && lstrcmpiW(pszFileName, m_strFileName.c_str()) == 0) return m_fileFormat;
    return FileFormat::Compound;
}

HRESULT CPadDocument::SaveAsFile(const wchar_t* pszFileName, BOOL fRemember) {
    std::wstring target = pszFileName ? pszFileName : m_strFileName;
    if (target.empty()) return STG_E_INVALIDNAME;
    FileFormat format = FormatForTarget(target.c_str());
    HRESULT hr = SaveToFile(target.c_str(), format);
    if (FAILED(hr)) return hr;
    if (fRemember || !pszFileName) {
        m_strFileName = target;
        m_fileFormat = format;
        SetModified(false);
    }
    return S_OK;
}

// ---- IPersist -----------------------------------------------------------------

STDMETHODIMP CPadDocument::GetClassID(CLSID* pClassID) {
    if (!pClassID) return E_POINTER;
    *pClassID = m_clsid;
    return S_OK;
}

STDMETHODIMP CPadDocument::IsDirty() { return IsModified() ? S_OK : S_FALSE; }

// ---- IPersistStorage ----------------------------------------------------------

STDMETHODIMP CPadDocument::InitNew(IStorage* pStg) {
    if (!pStg) return E_POINTER;
    HRESULT hr = BeginLoad();
    if (FAILED(hr)) return hr;
    padtrace::Count(vellixpad::kTraceInitNew);
    m_spStorage = pStg;
    SetText(std::wstring());
    // A new document has never been written anywhere: it is dirty until its
    // container saves it the first time.
    SetModified(true);
    m_persistState = PersistState::Normal;
    return S_OK;
}

STDMETHODIMP CPadDocument::Load(IStorage* pStg) {
    if (!pStg) return E_POINTER;
    HRESULT hr = BeginLoad();
    if (FAILED(hr)) return hr;
    padtrace::Count(vellixpad::kTraceLoadStorage);
    std::wstring text;
    hr = ReadTextStream(pStg, &text);
    if (FAILED(hr)) return hr;
    m_spStorage = pStg;
    SetText(text);
    SetModified(false);
    m_persistState = PersistState::Normal;
    return S_OK;
}

STDMETHODIMP CPadDocument::Save(IStorage* pStgSave, BOOL fSameAsLoad) {
    if (!pStgSave) return E_POINTER;
    if (m_persistState == PersistState::Uninitialized || m_persistState == PersistState::HandsOff)
        return E_UNEXPECTED;
    padtrace::Count(vellixpad::kTraceSaveStorage);
    if (FAILED(m_switches.hrFailStorageSave)) return m_switches.hrFailStorageSave;
    HRESULT hr = WriteStorage(pStgSave);
    if (FAILED(hr)) return hr;
    m_bSavedSameAsLoad = fSameAsLoad || pStgSave == m_spStorage.get();
    m_persistState = PersistState::NoScribble;
    return S_OK;
}

STDMETHODIMP CPadDocument::SaveCompleted(IStorage* pStgNew) {
    if (m_persistState != PersistState::NoScribble && m_persistState != PersistState::HandsOff)
        return E_UNEXPECTED;
    if (m_persistState == PersistState::HandsOff && !pStgNew) return E_INVALIDARG;
    if (pStgNew) m_spStorage = pStgNew;
    if (pStgNew || m_bSavedSameAsLoad) {
        SetModified(false);
        m_spAdviseHolder->SendOnSave();
    }
    m_bSavedSameAsLoad = false;
    m_persistState = PersistState::Normal;
    return S_OK;
}

STDMETHODIMP CPadDocument::HandsOffStorage() {
    if (m_persistState == PersistState::Uninitialized) return E_UNEXPECTED;
    m_spStorage.reset();
    m_persistState = PersistState::HandsOff;
    return S_OK;
}

// ---- IPersistFile -------------------------------------------------------------

STDMETHODIMP CPadDocument::Load(LPCOLESTR pszFileName, DWORD) {
    HRESULT hr = BeginLoad();
    if (FAILED(hr)) return hr;
    padtrace::Count(vellixpad::kTraceLoadFile);
    return LoadFromFile(pszFileName);
}

STDMETHODIMP CPadDocument::Save(LPCOLESTR pszFileName, BOOL fRemember) {
    padtrace::Count(vellixpad::kTraceSaveFile);
    if (FAILED(m_switches.hrFailFileSave)) return m_switches.hrFailFileSave;
    return SaveAsFile(pszFileName, fRemember);
}

STDMETHODIMP CPadDocument::SaveCompleted(LPCOLESTR) {
    m_spAdviseHolder->SendOnSave();
    return S_OK;
}

STDMETHODIMP CPadDocument::GetCurFile(LPOLESTR* ppszFileName) {
    if (!ppszFileName) return E_POINTER;
    *ppszFileName = nullptr;
    if (m_strFileName.empty()) {
        HRESULT hr = CopyToTaskMem(padtext::kDefaultFileName, ppszFileName);
        return FAILED(hr) ? hr : S_FALSE;
    }
    return CopyToTaskMem(m_strFileName.c_str(), ppszFileName);
}

// ---- IPersistMoniker ----------------------------------------------------------

STDMETHODIMP CPadDocument::Load(BOOL, IMoniker* pimkName, LPBC pibc, DWORD) {
    if (!pimkName) return E_INVALIDARG;
    HRESULT hr = BeginLoad();
    if (FAILED(hr)) return hr;
    padtrace::Count(vellixpad::kTraceLoadMoniker);
    std::wstring path;
    hr = MonikerFileName(pimkName, pibc, &path);
    if (FAILED(hr)) return hr;
    if (hr == S_OK) return LoadFromFile(path.c_str());

    // Any other moniker (a URL) is read as plain text through a stream.
    fw::com_ptr<IBindCtx> spbc(pibc);
    if (!spbc) {
        hr = CreateBindCtx(0, spbc.put());
        if (FAILED(hr)) return hr;
    }
    fw::com_ptr<IStream> stm;
    hr = pimkName->BindToStorage(spbc.get(), nullptr, IID_IStream, stm.put_void());
    if (FAILED(hr)) return hr;
    std::string bytes;
    hr = ReadAllFromUnsizedStream(stm.get(), &bytes);
    if (FAILED(hr)) return hr;
    SetText(DecodePlainText(bytes));
    SetModified(false);
    m_fileFormat = FileFormat::PlainText;
    m_persistState = PersistState::Normal;
    return S_OK;
}

STDMETHODIMP CPadDocument::Save(IMoniker* pimkName, LPBC pbc, BOOL fRemember) {
    padtrace::Count(vellixpad::kTraceSaveMoniker);
    if (FAILED(m_switches.hrFailMonikerSave)) return m_switches.hrFailMonikerSave;
    if (!pimkName) return SaveAsFile(nullptr, TRUE);
    std::wstring path;
    HRESULT hr = MonikerFileName(pimkName, pbc, &path);
    if (FAILED(hr)) return hr;
    if (hr != S_OK) return E_INVALIDARG;  // only files can be written
    return SaveAsFile(path.c_str(), fRemember);
}

STDMETHODIMP CPadDocument::SaveCompleted(IMoniker*, LPBC) {
    m_spAdviseHolder->SendOnSave();
    return S_OK;
}

STDMETHODIMP CPadDocument::GetCurMoniker(IMoniker** ppimkName) {
    if (!ppimkName) return E_POINTER;
    *ppimkName = nullptr;
    if (m_strFileName.empty()) return E_UNEXPECTED;
    return CreateFileMoniker(m_strFileName.c_str(), ppimkName);
}
