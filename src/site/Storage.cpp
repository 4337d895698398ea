// Files in and out of the document's sub-storage: loading, the three ways of
// saving with their backup, flushing the object, and the state queries.
#include <string>

#include "diag/Notifier.h"
#include "diag/Trace.h"
#include "site/DocObject.h"
#include "site/SiteHelpers.h"
#include "site/SiteTexts.h"

using fw::com_ptr;

namespace {

constexpr DWORD kOpenReadWrite = STGM_TRANSACTED | STGM_SHARE_DENY_WRITE | STGM_READWRITE;
constexpr DWORD kOpenReadOnly = STGM_TRANSACTED | STGM_SHARE_DENY_WRITE | STGM_READ;
constexpr DWORD kCreateTarget = STGM_TRANSACTED | STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE;
constexpr DWORD kMonikerSaveMode = STGM_TRANSACTED | STGM_SHARE_DENY_WRITE | STGM_READWRITE;
constexpr DWORD kMonikerSaveDeadlineMs = 10000;

// The file that was at a save target, moved aside to "<target>.tmp" while
// one way of saving runs, then dropped or put back. Only a backup this object
// made is ever touched: a "<target>.tmp" that was there before stays as it
// is, and the target then has no backup. A folder of the target's name is
// not a file to protect, and is not moved.
class CSaveBackup {
public:
    explicit CSaveBackup(const wchar_t* pszTarget) : m_target(pszTarget) {
        if (!FileExists(pszTarget) || (GetFileAttributesW(pszTarget) & FILE_ATTRIBUTE_DIRECTORY)) return;
        std::wstring backup = m_target + site_text::kBackupSuffix;
        if (MoveFileW(pszTarget, backup.c_str())) m_backup = std::move(backup);
    }
    // Not finished: the way did not complete, so the previous file returns.
    ~CSaveBackup() { Finish(E_ABORT); }
    CSaveBackup(const CSaveBackup&) = delete;
    CSaveBackup& operator=(const CSaveBackup&) = delete;

    // A success drops the backup; a failure puts it back over whatever the
    // failed way left at the target.
    HRESULT Finish(HRESULT hr) {
        if (m_backup.empty()) return hr;
        if (SUCCEEDED(hr))
            DeleteFileW(m_backup.c_str());
        else
            MoveFileExW(m_backup.c_str(), m_target.c_str(), MOVEFILE_REPLACE_EXISTING);
        m_backup.clear();
        return hr;
    }

private:
    std::wstring m_target;
    std::wstring m_backup;  // empty: no backup was made
};

// Every way is refused on a read-only file, as the copy's own create is; but
// the file system does not hold every user to the attribute (an
// administrator on some systems), and the backup rename never is: the
// attribute is checked here, before any way can replace the file.
bool IsReadOnlyFile(const wchar_t* pszFileName) {
    const DWORD dwAttributes = GetFileAttributesW(pszFileName);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (dwAttributes & FILE_ATTRIBUTE_READONLY);
}

}  // namespace

STDMETHODIMP CDocObject::LoadStorageFromFile(BSTR bstrFileName, VARIANT_BOOL bReadOnly) {
    VX_TRACE_CALL(L"CDocObject::LoadStorageFromFile", bstrFileName, bReadOnly);
    VX_TRACE_RETURN(LoadFileAs(bstrFileName, bReadOnly, GUID_NULL));
}

STDMETHODIMP CDocObject::LoadFileAs(BSTR bstrFileName, VARIANT_BOOL bReadOnly, REFCLSID clsidHint) {
    // A second load would give the open document's storage away under it.
    if (m_pole) return E_UNEXPECTED;
    if (!bstrFileName || !bstrFileName[0]) return E_INVALIDARG;
    const bool bCompound = StgIsStorageFile(bstrFileName) == S_OK;
    CLSID clsid = GUID_NULL;
    HRESULT hr = GetClassFile(bstrFileName, &clsid);
    // The caller's class wins for a file that does not name its own.
    if (!IsEqualCLSID(clsidHint, GUID_NULL) && (FAILED(hr) || !bCompound)) {
        clsid = clsidHint;
        hr = S_OK;
    }
    if (FAILED(hr)) return hr;

    VARIANT vclsid = site_detail::ByRefVariant(&clsid);
    hr = CreateObjectStorage(vclsid);
    if (FAILED(hr)) return hr;

    const DWORD grfMode = bReadOnly ? kOpenReadOnly : kOpenReadWrite;
    com_ptr<IStorage> pstgFile;
    if (bCompound && SUCCEEDED(StgOpenStorage(bstrFileName, nullptr, grfMode, nullptr, 0, pstgFile.put()))) {
        hr = pstgFile->CopyTo(0, nullptr, nullptr, m_pstgObject.get());
        if (SUCCEEDED(hr)) hr = m_pstgObject->Commit(STGC_OVERWRITE);
        pstgFile.reset();
    } else {
        // Not a compound file: its own server loads it and saves it into
        // the sub-storage.
        hr = ImportFile(bstrFileName, clsid);
    }
    // A file that did not load is no document: the server is never handed
    // an empty storage in its place.
    if (FAILED(hr)) return hr;

    hr = CreateDocObject(vclsid);
    if (FAILED(hr)) return hr;
    m_fReadOnly = bReadOnly & 1;
    m_bstrFileName = site_detail::CopyOf(bstrFileName);
    return hr;
}

HRESULT CDocObject::ImportFile(const wchar_t* pszFileName, REFCLSID clsid) {
    com_ptr<IPersistFile> ppf;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                                  IID_IPersistFile, ppf.put_void());
    if (FAILED(hr)) return hr;
    hr = ppf->Load(pszFileName, STGM_READ | STGM_SHARE_DENY_WRITE);
    if (FAILED(hr)) return hr;
    com_ptr<IPersistStorage> pps;
    hr = ppf->QueryInterface(IID_IPersistStorage, pps.put_void());
    if (FAILED(hr)) return hr;
    hr = pps->Save(m_pstgObject.get(), FALSE);
    if (SUCCEEDED(hr)) hr = pps->SaveCompleted(nullptr);
    if (SUCCEEDED(hr)) hr = m_pstgObject->Commit(STGC_DEFAULT);
    return hr;
}

STDMETHODIMP CDocObject::SaveStorageToFile(BSTR bstrFileName) {
    VX_TRACE_CALL(L"CDocObject::SaveStorageToFile", bstrFileName);
    if (FAILED(SaveObjectStorage())) {
        diag::Notify(::GetActiveWindow(), site_text::kTextSaveFailed, site_text::kCaptionSaveFailed);
        VX_TRACE_RETURN(E_FAIL);
    }
    m_fReadOnly = 0;

    const wchar_t* pszFileName = bstrFileName ? bstrFileName : L"";
    HRESULT hr = STG_E_ACCESSDENIED;
    if (!IsReadOnlyFile(pszFileName)) {
        hr = SaveThroughMoniker(pszFileName);
        if (FAILED(hr)) hr = SaveThroughPersistFile(pszFileName);
        if (FAILED(hr)) hr = SaveByCopy(pszFileName);
    }

    m_bstrFileName = site_detail::CopyOf(bstrFileName);

    // The server's frame lost and regained activation while it saved.
    OnNotifyAppActivate(VARIANT_FALSE);
    OnNotifyAppActivate(VARIANT_TRUE);
    VX_TRACE_RETURN(hr);
}

STDMETHODIMP CDocObject::SaveCopyToFile(BSTR bstrFileName) {
    if (!m_pole) return E_UNEXPECTED;
    if (!bstrFileName || !bstrFileName[0]) return E_INVALIDARG;
    // The file is the caller's: the server writes it without adopting it
    // (a server that remembered it would keep it open, or save there later).
    com_ptr<IPersistFile> ppf;
    HRESULT hr = m_pole.query(ppf.put());
    if (SUCCEEDED(hr)) {
        hr = ppf->Save(bstrFileName, FALSE);
        if (SUCCEEDED(hr)) ppf->SaveCompleted(bstrFileName);
    }
    if (FAILED(hr)) {
        // A save of a copy into a storage of the file's own: the object
        // keeps its storage and its unsaved state.
        com_ptr<IPersistStorage> pps;
        hr = m_pole.query(pps.put());
        com_ptr<IStorage> pstgFile;
        if (SUCCEEDED(hr)) hr = StgCreateDocfile(bstrFileName, kCreateTarget, 0, pstgFile.put());
        if (SUCCEEDED(hr)) {
            WriteClassStg(pstgFile.get(), m_clsid);
            hr = pps->Save(pstgFile.get(), FALSE);
            pps->SaveCompleted(nullptr);
        }
        if (SUCCEEDED(hr)) hr = pstgFile->Commit(STGC_OVERWRITE);
    }
    return hr;
}

HRESULT CDocObject::SaveThroughMoniker(const wchar_t* pszFileName) {
    auto ppm = m_pole.query<IPersistMoniker>();
    if (!ppm) return E_FAIL;

    com_ptr<IMoniker> pmk;
    com_ptr<IBindCtx> pbc;
    if (SUCCEEDED(CreateFileMoniker(pszFileName, pmk.put())) && SUCCEEDED(CreateBindCtx(0, pbc.put()))) {
        BIND_OPTS bo = {sizeof(BIND_OPTS), BIND_MAYBOTHERUSER, kMonikerSaveMode, kMonikerSaveDeadlineMs};
        pbc->SetBindOptions(&bo);
    }

    CSaveBackup backup(pszFileName);
    return backup.Finish(ppm->Save(pmk.get(), pbc.get(), FALSE));
}

HRESULT CDocObject::SaveThroughPersistFile(const wchar_t* pszFileName) {
    com_ptr<IPersistFile> ppf;
    HRESULT hr = m_pole.query(ppf.put());
    if (FAILED(hr)) return hr;

    CSaveBackup backup(pszFileName);
    fw::unique_bstr bstrName(pszFileName);
    hr = ppf->Save(bstrName.get(), TRUE);
    if (FAILED(hr)) return backup.Finish(hr);

    // A server that saved somewhere else of its own: copy that file over.
    LPOLESTR pszCurFile = nullptr;
    hr = ppf->GetCurFile(&pszCurFile);
    fw::unique_cotaskmem curFile(pszCurFile);
    if (SUCCEEDED(hr) && pszCurFile && FileExists(pszCurFile) && !FileExists(pszFileName) &&
        !CopyFileW(pszCurFile, pszFileName, FALSE))
        hr = E_ACCESSDENIED;
    return backup.Finish(hr);
}

HRESULT CDocObject::SaveByCopy(const wchar_t* pszFileName) {
    // Creating the new file truncates the old one: keep it aside until the
    // copy is committed.
    CSaveBackup backup(pszFileName);
    com_ptr<IStorage> pstgFile;
    HRESULT hr = StgCreateDocfile(pszFileName, kCreateTarget, 0, pstgFile.put());
    if (FAILED(hr)) return backup.Finish(hr);
    WriteClassStg(pstgFile.get(), m_clsid);
    hr = m_pstgObject ? m_pstgObject->CopyTo(0, nullptr, nullptr, pstgFile.get()) : E_UNEXPECTED;
    if (SUCCEEDED(hr)) hr = pstgFile->Commit(STGC_OVERWRITE);
    // Released before the backup is put back over it.
    pstgFile.reset();
    return backup.Finish(hr);
}

STDMETHODIMP CDocObject::SaveObjectStorage() {
    VX_TRACE_CALL(L"CDocObject::SaveObjectStorage");
    if (!m_pole) VX_TRACE_RETURN(E_UNEXPECTED);
    HRESULT hr = S_FALSE;
    if (m_pstgObject) {
        com_ptr<IPersistStorage> pps;
        hr = m_pole.query(pps.put());
        if (SUCCEEDED(hr)) hr = pps->Save(m_pstgObject.get(), TRUE);
        if (SUCCEEDED(hr)) hr = pps->SaveCompleted(nullptr);
        // Committed as the object left it either way; but a save that failed
        // stays a failure, or a copy of stale storage would pass for the
        // document.
        const HRESULT hrCommit = m_pstgObject->Commit(STGC_DEFAULT);
        if (SUCCEEDED(hr)) hr = hrCommit;
    }
    if (m_pdocv && m_pstmView) {
        m_pdocv->SaveViewState(m_pstmView.get());
        m_pstmView->Commit(STGC_DEFAULT);
    }
    VX_TRACE_RETURN(hr);
}

STDMETHODIMP CDocObject::IsStorageDirty(VARIANT_BOOL* pbDirty) {
    VX_TRACE_CALL(L"CDocObject::IsStorageDirty", pbDirty);
    if (!pbDirty) VX_TRACE_RETURN(E_POINTER);
    // No document has nothing unsaved.
    *pbDirty = VARIANT_FALSE;
    if (!m_pole) VX_TRACE_RETURN(S_OK);
    bool bDirty = true;
    com_ptr<IPersistStorage> pps;
    com_ptr<IPersistFile> ppf;
    if (m_pstgObject && SUCCEEDED(m_pole.query(pps.put())))
        bDirty = pps->IsDirty() != S_FALSE;
    else if (SUCCEEDED(m_pole.query(ppf.put())))
        bDirty = ppf->IsDirty() != S_FALSE;
    *pbDirty = bDirty ? VARIANT_TRUE : VARIANT_FALSE;
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CDocObject::IsReadOnly(VARIANT_BOOL* bReadOnly) {
    VX_TRACE_CALL(L"CDocObject::IsReadOnly", bReadOnly);
    if (!bReadOnly) VX_TRACE_RETURN(E_POINTER);
    *bReadOnly = m_fReadOnly ? VARIANT_TRUE : VARIANT_FALSE;
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CDocObject::get_FileName(BSTR* pVal) {
    VX_TRACE_CALL(L"CDocObject::get_FileName", pVal);
    if (!pVal) VX_TRACE_RETURN(E_POINTER);
    *pVal = site_detail::CopyOrEmpty(m_bstrFileName);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CDocObject::put_FileName(BSTR newVal) {
    VX_TRACE_CALL(L"CDocObject::put_FileName", newVal);
    m_bstrFileName = site_detail::CopyOf(newVal);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CDocObject::get_ExtFileName(BSTR* pVal) {
    VX_TRACE_CALL(L"CDocObject::get_ExtFileName", pVal);
    if (!pVal) VX_TRACE_RETURN(E_POINTER);
    *pVal = site_detail::CopyOrEmpty(m_bstrExtFileName);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP CDocObject::put_ExtFileName(BSTR newVal) {
    VX_TRACE_CALL(L"CDocObject::put_ExtFileName", newVal);
    m_bstrExtFileName = site_detail::CopyOf(newVal);
    VX_TRACE_RETURN(S_OK);
}
