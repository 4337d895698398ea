// The document commands: New, Open, Save, Close and the questions about the
// open document.
#include <new>
#include <string>
#include <vector>

#include "control/Office.h"
#include "diag/Trace.h"
#include "fw/HandleUint.h"
#include "platform/ByRefVariant.h"
#include "services/Dialogs.h"
#include "site/SiteFiles.h"

#include <commdlg.h>

namespace {

const wchar_t kHostName[] = L"Vellix控件";
const DWORD kSiteContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
const HRESULT E_READONLY_OVERWRITE = static_cast<HRESULT>(0x80041105);
const HRESULT E_NO_DOCUMENT = static_cast<HRESULT>(0x80041107);


// Message boxes: text, caption.
const wchar_t kTextSiteNotRegistered[] = L"站点组件可能未注册";
const wchar_t kCaptionSiteFailed[] = L"创建OLE站点对象失败";
const wchar_t kTextBadProgId[] = L"ProgIDOrTemplate = NULL";
const wchar_t kCaptionBadArgument[] = L"非法参数";
const wchar_t kTextForcedClose[] = L"OLE对象运行错误，被强制关闭";
const wchar_t kCaptionCloseFailed[] = L"关闭对象失败";
const wchar_t kTextNoClsid[] = L"转换clsid失败,Microsoft office可能未安装";
const wchar_t kCaptionNoClsid[] = L"未知clsid";
const wchar_t kTextNoExtension[] = L"确定系统是否已经安装相应的软件";
const wchar_t kCaptionNoExtension[] = L"Office扩展对象不存在";
const wchar_t kTextOfficeOnly[] = L"当前控件仅支持Office文档";
const wchar_t kTextNoOverwrite[] = L"不能覆盖原文档";
const wchar_t kCaptionReadOnly[] = L"只读文档";
const wchar_t kTextNoFolder[] = L"创建路径失败";
const wchar_t kCaptionBadPath[] = L"文件路径非法";

// Log formats.
const wchar_t kLogNewNoIdentity[] = L"查询控件IUnknown接口失败,错误码hr=%d";
const wchar_t kLogCreateFailed[] = L"创建站点对象失败\thr=%d";
const wchar_t kLogActivateFailed[] = L"激活站点对象失败\thr=%d";
const wchar_t kLogNoSite[] = L"DocObject为空";
const wchar_t kLogSaveFailed[] = L"保存文档失败\thr=%d\t文件名:%s";
const wchar_t kLogNoOleObject[] = L"OLE对象未创建\thr=%d";
const wchar_t kLogExtSavedFailed[] = L"设置m_pExtObject Saved属性失败,属性不存在\thr=%d";
const wchar_t kLogSavedFailed[] = L"调用OLE Saved属性失败,属性不存在\thr=%d";
const wchar_t kLogOpenMissing[] = L"打开文档失败\thr=%d\t文件名:%s";
const wchar_t kLogCloseFailed[] = L"关闭站点对象失败\thr=%d";
const wchar_t kLogOpenNoIdentity[] = L"查询控件IUnknown接口失败\thr=%d";
const wchar_t kLogLoadFailed[] = L"载入文件失败\thr=%d\t文件名:%s";
const wchar_t kLogSiteActivateFailed[] = L"文档站点激活失败\thr=%d";
const wchar_t kLogExtFailed[] = L"创建扩展对象\thr=%d";
const wchar_t kLogSingleDocument[] = L"文档服务器不能同时打开两个文档, 先关闭当前文档\thr=%d\t文件名:%s";

// Error descriptions: what the caller reads after a failure.
const wchar_t kErrBadProgId[] = L"新建文档失败: ProgID无效 \"%s\"";
const wchar_t kErrNewClose[] = L"新建文档失败: 关闭当前文档时出错";
const wchar_t kErrSiteNotRegistered[] = L"创建文档站点失败: Vellix.DocObject 可能未注册";
const wchar_t kErrNewNoIdentity[] = L"新建文档失败: 无法取得控件的IUnknown接口";
const wchar_t kErrNewInitSite[] = L"新建文档失败: 文档站点初始化失败";
const wchar_t kErrNewNoWindow[] = L"新建文档失败: 控件没有窗口 (文档只能显示在网页或ActiveX容器中的控件里)";
const wchar_t kErrOpenNoWindow[] = L"打开文档失败: 控件没有窗口 (文档只能显示在网页或ActiveX容器中的控件里) %s";
const wchar_t kErrUnknownProgId[] = L"新建文档失败: 未知的ProgID %s";
const wchar_t kErrNewCreate[] = L"新建文档失败: 无法创建 %s 的文档对象";
const wchar_t kErrNewActivate[] = L"新建文档失败: 无法激活 %s 的文档";
const wchar_t kErrExtObject[] = L"创建扩展对象失败: 文档类型 %s";
const wchar_t kErrOpenMissing[] = L"打开文档失败: 文件不存在 %s";
const wchar_t kErrOpenUnreadable[] = L"打开文档失败: 无法读取文件 %s";
const wchar_t kErrOpenClose[] = L"打开文档失败: 关闭当前文档时出错";
const wchar_t kErrOpenNoIdentity[] = L"打开文档失败: 无法取得控件的IUnknown接口";
const wchar_t kErrOpenInitSite[] = L"打开文档失败: 文档站点初始化失败 %s";
const wchar_t kErrOpenLoad[] = L"打开文档失败: 无法载入文件 %s";
const wchar_t kErrOpenActivate[] = L"打开文档失败: 无法激活文档 %s";
const wchar_t kErrSaveNoDocument[] = L"保存文档失败: 没有打开的文档";
const wchar_t kErrSaveReadOnly[] = L"保存文档失败: 只读文档不能覆盖原文件 %s";
const wchar_t kErrSaveFolder[] = L"保存文档失败: 无法创建文件夹 %s";
const wchar_t kErrSaveWrite[] = L"保存文档失败: 无法写入文件 %s";
const wchar_t kErrSaveNoOleObject[] = L"保存文档失败: 文档对象不存在 (文件已写入 %s)";
const wchar_t kErrCloseFailed[] = L"关闭文档失败: 文档服务器出错";
const wchar_t kErrNoDocument[] = L"没有打开的文档";
const wchar_t kErrNoOleObject[] = L"文档对象不存在";
const wchar_t kErrNoActiveObject[] = L"文档服务器没有提供自动化对象";

// A VARIANT that holds a non-empty string.
bool IsNonEmptyString(const VARIANT& v) { return v.vt == VT_BSTR && v.bstrVal && v.bstrVal[0]; }

// Puts a VT_I2 into the extension object's "Saved"; a missing object or
// property is the extension's matter.
HRESULT PutExtSaved(IDispatch* pExt, SHORT value, VARIANT* pResult) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I2;
    arg.iVal = value;
    return DispatchInvoke(pExt, L"Saved", 0, DISPATCH_PROPERTYPUT, 1, &arg, pResult);
}

}  // namespace

// The first steps of preparing a new site: activation and the site object,
// handed to the caller; it becomes the control's when the caller says so.
HRESULT COffice::CreateSite(fw::com_ptr<IDocObject>& site) {
    ActivateControl();
    HRESULT hr = site.create(CLSID_DocObject, kSiteContext);
    if (FAILED(hr) || !site) {
        site.reset();
        ShowBox(kTextSiteNotRegistered, kCaptionSiteFailed);
        return Fail(E_OUTOFMEMORY, kErrSiteNotRegistered);
    }
    return S_OK;
}

// A site that never became the control's: its window and whatever it
// loaded go, the control's own document is not touched.
void COffice::DiscardSite(IDocObject* pSite) {
    try {
        pSite->Close();
    } catch (HRESULT) {
    }
}

// Then the wait cursor, the document rectangle and the control's identity.
HRESULT COffice::PrepareSite(RECT* prc, fw::com_ptr<IUnknown>& identity) {
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    GetDocRect(prc);
    HRESULT hr = ControllingUnknown()->QueryInterface(IID_IUnknown, identity.put_void());
    if (SUCCEEDED(hr) && !identity) hr = E_NOINTERFACE;
    return hr;
}

HRESULT COffice::InitializeSite(IDocObject* pSite, RECT* prc) {
    VARIANT rc = ByRefVariant(prc);
    fw::unique_bstr host(kHostName);
    if (!m_spRelay) {
        m_spRelay.attach(new (std::nothrow) CCommandRelay(static_cast<IOleCommandTarget*>(this)));
        if (!m_spRelay) return E_OUTOFMEMORY;
    }
    return pSite->InitializeNewInstance(fw::HandleToUint(m_hWnd), rc, host.get(),
                                        static_cast<IOleCommandTarget*>(m_spRelay.get()));
}

void COffice::ShowServerMenus(IDocObject* pSite) {
    UINT hMenu = 0;
    pSite->GetActiveMenu(&hMenu);
    m_menuBar.AddMenu(fw::UintToHandle<HMENU>(hMenu));
}

// The script's New, Open and Save: a class or path the script names is the
// site lock's to allow; dialogs and the document's own file are the user's.
STDMETHODIMP COffice::New(BSTR ProgIdOrTemplate) {
    VX_TRACE_CALL(L"COffice::New", ProgIdOrTemplate);
    if (HRESULT hr = PassSiteLock(security::DISPID_OFFICE_NEW); FAILED(hr)) VX_TRACE_RETURN(hr);
    VX_TRACE_RETURN(NewDocument(ProgIdOrTemplate));
}

STDMETHODIMP COffice::Open(VARIANT vFile, VARIANT vReadOnly) {
    VX_TRACE_CALL(L"COffice::Open", vFile, vReadOnly);
    if (HRESULT hr = PassSiteLock(security::DISPID_OFFICE_OPEN, &vFile); FAILED(hr)) VX_TRACE_RETURN(hr);
    VX_TRACE_RETURN(OpenDocument(vFile, vReadOnly));
}

STDMETHODIMP COffice::Save(VARIANT vFile, VARIANT vAppendExtFileName) {
    VX_TRACE_CALL(L"COffice::Save", vFile, vAppendExtFileName);
    if (HRESULT hr = PassSiteLock(security::DISPID_OFFICE_SAVE, &vFile); FAILED(hr)) VX_TRACE_RETURN(hr);
    VX_TRACE_RETURN(SaveDocument(vFile, vAppendExtFileName));
}

// A read-only document ignores the name and asks the user; saving back to
// the document's own file (in any letter case) writes where the user chose.
// Only the same full path counts: a look-alike name is another file.
bool COffice::ScriptChoosesSaveTarget(const VARIANT& vFile) {
    if (!IsNonEmptyString(vFile)) return false;
    if (!m_spDocObject) return true;
    VARIANT_BOOL bReadOnly = VARIANT_FALSE;
    m_spDocObject->IsReadOnly(&bReadOnly);
    if (bReadOnly) return false;
    fw::unique_bstr current;
    m_spDocObject->get_FileName(current.put());
    return !IsSameFilePath(current.c_str(), vFile.bstrVal);
}

HRESULT COffice::NewDocument(BSTR ProgIdOrTemplate) {
    CEventScope events(this);
    if (!ProgIdOrTemplate || SysStringLen(ProgIdOrTemplate) < 4 || lstrlenW(ProgIdOrTemplate) < 4) {
        ShowBox(kTextBadProgId, kCaptionBadArgument);
        return Fail(E_INVALIDARG, kErrBadProgId, ProgIdOrTemplate ? ProgIdOrTemplate : L"");
    }
    if (m_spDocObject) {
        HRESULT hr = Close();
        if (FAILED(hr)) {
            ShowBox(kTextForcedClose, kCaptionCloseFailed);
            return Fail(hr, kErrNewClose);
        }
    }
    // Held to the end: calls into the document server or the extension may
    // run posted commands that close or replace the document meanwhile.
    fw::com_ptr<IDocObject> site;
    HRESULT hr = CreateSite(site);
    if (FAILED(hr)) return hr;
    m_spDocObject = site;
    RECT rc;
    fw::com_ptr<IUnknown> identity;
    hr = PrepareSite(&rc, identity);
    if (FAILED(hr)) {
        m_log.Write(kLogNewNoIdentity, hr);
        return Fail(hr, kErrNewNoIdentity);
    }
    hr = InitializeSite(site.get(), &rc);
    if (FAILED(hr)) {
        InvalidateRect(m_hWnd, nullptr, TRUE);
        // Say what is missing when it is the window: a script host's control.
        return Fail(hr, m_hWnd ? kErrNewInitSite : kErrNewNoWindow);
    }
    CLSID clsid;
    hr = CLSIDFromProgID(ProgIdOrTemplate, &clsid);
    if (FAILED(hr)) {
        Close();
        ShowBox(kTextNoClsid, kCaptionNoClsid);
        return Fail(hr, kErrUnknownProgId, ProgIdOrTemplate);
    }
    hr = site->CreateDocObject(ByRefVariant(&clsid));
    if (FAILED(hr)) {
        Close();
        m_log.Write(kLogCreateFailed, hr);
        return Fail(hr, kErrNewCreate, ProgIdOrTemplate);
    }
    hr = site->IPActivateView();
    if (FAILED(hr)) {
        Close();
        m_log.Write(kLogActivateFailed, hr);
        return Fail(hr, kErrNewActivate, ProgIdOrTemplate);
    }
    ShowServerMenus(site.get());
    hr = CreateExtObject(ProgIdOrTemplate);
    if (FAILED(hr)) ShowBox(kTextNoExtension, kCaptionNoExtension);
    InvalidateRect(m_hWnd, nullptr, TRUE);
    hr = Fail(hr, kErrExtObject, ProgIdOrTemplate);
    if (SUCCEEDED(hr)) QueueEvent(DISPID_DOCUMENTOPENED, std::wstring());
    return hr;
}

HRESULT COffice::OpenDocument(VARIANT vFile, VARIANT vReadOnly) {
    CEventScope events(this);
    std::wstring name;
    HRESULT hr = LoadDocument(vFile, vReadOnly, &name);
    if (SUCCEEDED(hr) && hr != S_FALSE) QueueEvent(DISPID_DOCUMENTOPENED, name);
    return hr;
}

HRESULT COffice::LoadDocument(VARIANT vFile, VARIANT vReadOnly, std::wstring* pName, REFCLSID clsid) {
    std::wstring& name = *pName;
    if (IsNonEmptyString(vFile)) {
        name = vFile.bstrVal;
        if (!FileExists(name.c_str())) {
            m_log.Write(kLogOpenMissing, 0, name.c_str());
            return Fail(E_FAIL, kErrOpenMissing, name.c_str());
        }
    } else {
        std::vector<std::wstring> names;
        if (RunFileDialog(names, TRUE, nullptr, nullptr, kFileDialogFlags, kAllFilesFilter) != S_OK || names.empty())
            return S_FALSE;
        name = names.front();
    }

    HRESULT hr = StgIsStorageFile(name.c_str());
    if (FAILED(hr)) {
        ShowBox(kTextOfficeOnly, name.c_str());
        return Fail(hr, kErrOpenUnreadable, name.c_str());
    }
    VARIANT_BOOL bReadOnly;
    if (vReadOnly.vt == VT_BOOL)
        bReadOnly = vReadOnly.boolVal;
    else
        bReadOnly = (GetFileAttributesW(name.c_str()) & FILE_ATTRIBUTE_READONLY) ? VARIANT_TRUE : VARIANT_FALSE;

    // The new document loads into a site of its own while the open one
    // stays as it is: only a document that has loaded replaces it, so a file
    // that does not load costs the user nothing. Held to the end, as in New:
    // the extension object in particular may call back and close the
    // document while it takes the control in.
    fw::com_ptr<IDocObject> site;
    hr = LoadIntoNewSite(name, bReadOnly, clsid, site);
    if (FAILED(hr) && m_spDocObject && IsSingleDocumentFailure(hr)) {
        // A server that holds one document at a time: the old order, the
        // open document closed first.
        m_log.Write(kLogSingleDocument, hr, name.c_str());
        hr = Close();
        if (FAILED(hr)) {
            m_log.Write(kLogCloseFailed, hr);
            return Fail(hr, kErrOpenClose);
        }
        hr = LoadIntoNewSite(name, bReadOnly, clsid, site);
    }
    if (FAILED(hr)) return hr;

    if (m_spDocObject) {
        hr = Close();
        if (FAILED(hr)) {
            m_log.Write(kLogCloseFailed, hr);
            DiscardSite(site.get());
            return Fail(hr, kErrOpenClose);
        }
    }
    m_spDocObject = site;
    hr = site->IPActivateView();
    if (FAILED(hr)) {
        m_log.Write(kLogSiteActivateFailed, hr);
        Close();
        return Fail(hr, kErrOpenActivate, name.c_str());
    }
    ShowServerMenus(site.get());

    VARIANT vClsid;
    VariantInit(&vClsid);
    LPOLESTR pszProgId = nullptr;
    const CLSID* pclsid = SUCCEEDED(site->GetClsid(&vClsid)) ? ByRefStruct<CLSID>(&vClsid) : nullptr;
    if (pclsid) ProgIDFromCLSID(*pclsid, &pszProgId);
    const std::wstring progId = pszProgId ? pszProgId : L"";
    hr = CreateExtObject(pszProgId);
    CoTaskMemFree(pszProgId);
    if (FAILED(hr)) {
        m_log.Write(kLogExtFailed, hr);
        return Fail(hr, kErrExtObject, progId.c_str());
    }
    PutExtSaved(m_pExtObject.get(), -1, nullptr);
    fw::unique_bstr bstrName(name.c_str());
    site->put_FileName(bstrName.get());
    InvalidateRect(m_hWnd, nullptr, TRUE);
    return hr;
}

// A new site, prepared, with the file loaded into it; on failure the site is
// discarded and the error object says why.
HRESULT COffice::LoadIntoNewSite(const std::wstring& name, VARIANT_BOOL bReadOnly, REFCLSID clsid,
                                 fw::com_ptr<IDocObject>& site) {
    site.reset();
    fw::com_ptr<IDocObject> created;
    HRESULT hr = CreateSite(created);
    if (FAILED(hr)) return hr;
    RECT rc;
    fw::com_ptr<IUnknown> identity;
    hr = PrepareSite(&rc, identity);
    if (FAILED(hr)) {
        m_log.Write(kLogOpenNoIdentity, hr);
        return Fail(hr, kErrOpenNoIdentity);
    }
    hr = InitializeSite(created.get(), &rc);
    if (FAILED(hr)) {
        DiscardSite(created.get());
        InvalidateRect(m_hWnd, nullptr, TRUE);
        return Fail(hr, m_hWnd ? kErrOpenInitSite : kErrOpenNoWindow, name.c_str());
    }
    fw::unique_bstr bstrName(name.c_str());
    fw::com_ptr<ISiteFiles> files;
    if (SUCCEEDED(created->QueryInterface(__uuidof(ISiteFiles), files.put_void())) && files)
        hr = files->LoadFileAs(bstrName.get(), bReadOnly, clsid);
    else
        hr = created->LoadStorageFromFile(bstrName.get(), bReadOnly);
    if (FAILED(hr)) {
        m_log.Write(kLogLoadFailed, hr, name.c_str());
        DiscardSite(created.get());
        InvalidateRect(m_hWnd, nullptr, TRUE);
        return Fail(hr, kErrOpenLoad, name.c_str());
    }
    site = created;
    return S_OK;
}

// Failures that say the server could not make a second document while one
// is open, as opposed to a file it could not read.
bool COffice::IsSingleDocumentFailure(HRESULT hr) {
    return hr == CO_E_SERVER_EXEC_FAILURE || hr == RPC_E_CALL_REJECTED || hr == CO_E_SERVER_STOPPING;
}

// The save dialog, from which the document may be gone when it returns:
// the dialog pumps messages, and a script or posted command may close or
// replace the document meanwhile. S_OK with the chosen name; S_FALSE when
// cancelled; E_POINTER, as for no document, when pSite is no longer the
// control's.
HRESULT COffice::AskSaveName(IDocObject* pSite, std::wstring* pName) {
    std::vector<std::wstring> names;
    if (RunFileDialog(names, FALSE, nullptr, nullptr, kFileDialogFlags, kAllFilesFilter) != S_OK || names.empty())
        return S_FALSE;
    if (m_spDocObject.get() != pSite) {
        m_log.Write(kLogNoSite);
        return E_POINTER;
    }
    *pName = names.front();
    return S_OK;
}

HRESULT COffice::SaveDocument(VARIANT vFile, VARIANT vAppendExtFileName) {
    CEventScope events(this);
    std::wstring name;
    HRESULT hr = WriteDocument(vFile, vAppendExtFileName, &name);
    if (hr == S_OK) QueueEvent(DISPID_DOCUMENTSAVED, name);
    return hr;
}

HRESULT COffice::WriteDocument(VARIANT vFile, VARIANT vAppendExtFileName, std::wstring* pSaved) {
    // The site this save began with, held to the end.
    fw::com_ptr<IDocObject> site = m_spDocObject;
    if (!site) {
        m_log.Write(kLogNoSite);
        return Fail(E_POINTER, kErrSaveNoDocument);
    }
    VARIANT_BOOL bSaved = VARIANT_FALSE;
    get_Saved(&bSaved);
    fw::unique_bstr current;
    site->get_FileName(current.put());
    std::wstring name = current.c_str();

    VARIANT_BOOL bReadOnly = VARIANT_FALSE;
    site->IsReadOnly(&bReadOnly);
    if (bReadOnly) {
        std::wstring chosen;
        HRESULT hr = AskSaveName(site.get(), &chosen);
        if (hr != S_OK) return Fail(hr, kErrSaveNoDocument);
        if (lstrcmpiW(chosen.c_str(), name.c_str()) == 0) {
            ShowBox(kTextNoOverwrite, kCaptionReadOnly);
            return Fail(E_READONLY_OVERWRITE, kErrSaveReadOnly, chosen.c_str());
        }
        name = chosen;
    } else if (IsNonEmptyString(vFile)) {
        name = vFile.bstrVal;
    } else if (name.empty()) {
        HRESULT hr = AskSaveName(site.get(), &name);
        if (hr != S_OK) return Fail(hr, kErrSaveNoDocument);
    }

    bool bAppend = (vAppendExtFileName.vt == VT_I2 && vAppendExtFileName.iVal != 0) ||
                   (vAppendExtFileName.vt == VT_BOOL && vAppendExtFileName.boolVal != 0);
    if (bAppend) {
        int n = static_cast<int>(name.size()) - 4;
        if (n > 0 && name[n] == L'.') {
            fw::unique_bstr ext(name.c_str() + n);
            site->put_ExtFileName(ext.get());
        } else {
            fw::unique_bstr ext;
            site->get_ExtFileName(ext.put());
            name += ext.c_str();
        }
    }

    wchar_t szFolder[MAX_PATH];
    ZeroMemory(szFolder, sizeof(szFolder));
    GetFilePath(name.c_str(), szFolder, MAX_PATH);
    if (!FileExists(szFolder) && !SHCreateDirectory(szFolder)) {
        ShowBox(kTextNoFolder, kCaptionBadPath);
        return Fail(E_FAIL, kErrSaveFolder, szFolder);
    }
    fw::unique_bstr bstrName(name.c_str());
    HRESULT hr = site->SaveStorageToFile(bstrName.get());
    if (FAILED(hr)) {
        m_log.Write(kLogSaveFailed, hr, name.c_str());
        return Fail(hr, kErrSaveWrite, name.c_str());
    }
    if (!bSaved) {
        fw::com_ptr<IDispatch> doc;
        hr = site->GetOleObject(doc.put());
        if (FAILED(hr) || !doc) {
            m_log.Write(kLogNoOleObject, hr);
            return Fail(hr, kErrSaveNoOleObject, name.c_str());
        }
        fw::unique_variant result;
        HRESULT hrExt = PutExtSaved(m_pExtObject.get(), 0, result.get());
        if (FAILED(hrExt)) m_log.Write(kLogExtSavedFailed, hrExt);
    }
    *pSaved = name;
    return S_OK;
}

STDMETHODIMP COffice::Close() {
    VX_TRACE_CALL(L"COffice::Close");
    CEventScope events(this);
    m_pExtObject.reset();
    if (!m_spDocObject) VX_TRACE_RETURN(S_OK);
    m_strDocumentURL.clear();
    QueueEvent(DISPID_DOCUMENTCLOSED, std::wstring());
    HRESULT hr = S_OK;
    try {
        m_spDocObject->Close();
    } catch (HRESULT thrown) {
        hr = thrown;
    }
    m_spDocObject.reset();
    m_menuBar.RemoveDocumentMenus();
    m_menuBar.Invalidate();
    VX_TRACE_RETURN(Fail(hr, kErrCloseFailed));
}

STDMETHODIMP COffice::GetFileName(BSTR* bstrFileName) {
    VX_TRACE_CALL(L"COffice::GetFileName", bstrFileName);
    if (!m_spDocObject || !bstrFileName) {
        if (bstrFileName) *bstrFileName = nullptr;
        VX_TRACE_RETURN(S_FALSE);
    }
    *bstrFileName = nullptr;
    fw::unique_bstr name;
    m_spDocObject->get_FileName(name.put());
    *bstrFileName = SysAllocString(PathForPage(name.c_str()).c_str());
    VX_TRACE_RETURN(*bstrFileName ? S_OK : E_OUTOFMEMORY);
}

STDMETHODIMP COffice::get_OleObject(IDispatch** pVal) {
    VX_TRACE_CALL(L"COffice::get_OleObject", pVal);
    if (!pVal) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
    *pVal = nullptr;
    if (!m_spDocObject) VX_TRACE_RETURN(Fail(E_POINTER, kErrNoDocument));
    m_spDocObject->GetOleObject(pVal);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP COffice::get_ActiveDocument(IDispatch** pVal) {
    VX_TRACE_CALL(L"COffice::get_ActiveDocument", pVal);
    if (!pVal) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
    *pVal = nullptr;
    if (!m_spDocObject) VX_TRACE_RETURN(Fail(E_NO_DOCUMENT, kErrNoDocument));
    fw::com_ptr<IDispatch> doc;
    HRESULT hr = m_spDocObject->GetActiveObject(doc.put());
    if (FAILED(hr)) hr = m_spDocObject->GetOleObject(doc.put());
    if (SUCCEEDED(hr)) *pVal = doc.detach();
    VX_TRACE_RETURN(Fail(hr, kErrNoActiveObject));
}

STDMETHODIMP COffice::get_Saved(VARIANT_BOOL* pVal) {
    VX_TRACE_CALL(L"COffice::get_Saved", pVal);
    if (pVal) *pVal = VARIANT_FALSE;
    if (!m_spDocObject) {
        m_log.Write(kLogNoSite);
        VX_TRACE_RETURN(Fail(E_POINTER, kErrNoDocument));
    }
    if (!pVal) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
    fw::com_ptr<IDispatch> doc;
    HRESULT hr = m_spDocObject->GetOleObject(doc.put());
    if (FAILED(hr) || !doc) {
        if (SUCCEEDED(hr)) hr = E_POINTER;
        m_log.Write(kLogNoOleObject, hr);
        VX_TRACE_RETURN(Fail(hr, kErrNoOleObject));
    }
    fw::unique_variant result;
    hr = DispatchInvoke(doc.get(), L"Saved", 0, DISPATCH_PROPERTYGET, 0, nullptr, result.get());
    if (FAILED(hr)) {
        m_log.Write(kLogSavedFailed, hr);
        VX_TRACE_RETURN(S_OK);
    }
    *pVal = result->iVal;
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP COffice::get_HWnd(UINT* pVal) {
    VX_TRACE_CALL(L"COffice::get_HWnd", pVal);
    if (!pVal) VX_TRACE_RETURN(Fail(E_POINTER, kErrNullResult));
    *pVal = fw::HandleToUint(m_hWnd);
    VX_TRACE_RETURN(S_OK);
}

STDMETHODIMP COffice::Print() {
    VX_TRACE_CALL(L"COffice::Print");
    VX_TRACE_RETURN(Exec(&GUID_NULL, OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr));
}
