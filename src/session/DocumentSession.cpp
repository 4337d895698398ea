// The document commands: New, Open, Save, Close and the questions about the
// open document.
#include "session/DocumentSession.h"

#include <cstdarg>
#include <string>

#include "diag/Format.h"
#include "fw/HandleUint.h"
#include "platform/ByRefVariant.h"
#include "site/SiteFiles.h"

namespace session {
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

HRESULT CDocumentSession::Fail(HRESULT hr, LPCWSTR pszFormat, ...) {
    if (SUCCEEDED(hr)) return hr;
    va_list args;
    va_start(args, pszFormat);
    const std::wstring text = diag::FormatV(pszFormat, args);
    va_end(args);
    return m_host.ReportFailure(hr, text.c_str());
}

int CDocumentSession::ShowBox(LPCWSTR pszText, LPCWSTR pszCaption) {
    return m_host.Notifier().Show(GetActiveWindow(), pszText, pszCaption, MB_OK);
}

void CDocumentSession::Repaint() {
    if (HWND hwnd = m_host.HostWindow()) InvalidateRect(hwnd, nullptr, TRUE);
}

void CDocumentSession::QueueEvent(DISPID dispid, const std::wstring& name) {
    m_events.Queue(dispid, web::IsHttpUrl(name.c_str()) ? name : m_host.PathForPage(name));
}

// The first steps of preparing a new site: activation and the site object,
// handed to the caller; it becomes the control's when the caller says so.
HRESULT CDocumentSession::CreateSite(fw::com_ptr<IDocObject>& site) {
    m_host.ActivateControl();
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
void CDocumentSession::DiscardSite(IDocObject* pSite) {
    try {
        pSite->Close();
    } catch (HRESULT) {
    }
}

// Then the wait cursor, the document rectangle and the control's identity.
HRESULT CDocumentSession::PrepareSite(RECT* prc) {
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    m_host.GetDocRect(prc);
    return m_host.HostIdentity() ? S_OK : E_NOINTERFACE;
}

HRESULT CDocumentSession::InitializeSite(IDocObject* pSite, RECT* prc) {
    VARIANT rc = ByRefVariant(prc);
    fw::unique_bstr host(kHostName);
    IOleCommandTarget* pTarget = m_host.SiteCommandTarget();
    if (!pTarget) return E_OUTOFMEMORY;
    return pSite->InitializeNewInstance(fw::HandleToUint(m_host.HostWindow()), rc, host.get(), pTarget);
}

// A read-only document ignores the name and asks the user; saving back to
// the document's own file (in any letter case) writes where the user chose.
// Only the same full path counts: a look-alike name is another file.
bool CDocumentSession::ScriptChoosesSaveTarget(const VARIANT& vFile) {
    if (!IsNonEmptyString(vFile)) return false;
    if (!m_spDocObject) return true;
    VARIANT_BOOL bReadOnly = VARIANT_FALSE;
    m_spDocObject->IsReadOnly(&bReadOnly);
    if (bReadOnly) return false;
    fw::unique_bstr current;
    m_spDocObject->get_FileName(current.put());
    return !IsSameFilePath(current.c_str(), vFile.bstrVal);
}

HRESULT CDocumentSession::NewDocument(BSTR ProgIdOrTemplate) {
    CCommandScope scope(m_events, m_host.Notifier());
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
    hr = PrepareSite(&rc);
    if (FAILED(hr)) {
        Log().Write(kLogNewNoIdentity, hr);
        return Fail(hr, kErrNewNoIdentity);
    }
    hr = InitializeSite(site.get(), &rc);
    if (FAILED(hr)) {
        Repaint();
        // Say what is missing when it is the window: a script host's control.
        return Fail(hr, m_host.HostWindow() ? kErrNewInitSite : kErrNewNoWindow);
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
        Log().Write(kLogCreateFailed, hr);
        return Fail(hr, kErrNewCreate, ProgIdOrTemplate);
    }
    hr = site->IPActivateView();
    if (FAILED(hr)) {
        Close();
        Log().Write(kLogActivateFailed, hr);
        return Fail(hr, kErrNewActivate, ProgIdOrTemplate);
    }
    m_host.ShowDocumentMenus(site.get());
    hr = m_host.CreateExtObject(ProgIdOrTemplate, m_pExtObject, site.get());
    if (FAILED(hr)) ShowBox(kTextNoExtension, kCaptionNoExtension);
    Repaint();
    hr = Fail(hr, kErrExtObject, ProgIdOrTemplate);
    if (SUCCEEDED(hr)) QueueEvent(DISPID_DOCUMENTOPENED, std::wstring());
    return hr;
}

HRESULT CDocumentSession::OpenDocument(VARIANT vFile, VARIANT vReadOnly) {
    CCommandScope scope(m_events, m_host.Notifier());
    std::wstring name;
    HRESULT hr = LoadDocument(vFile, vReadOnly, &name);
    if (SUCCEEDED(hr) && hr != S_FALSE) QueueEvent(DISPID_DOCUMENTOPENED, name);
    return hr;
}

HRESULT CDocumentSession::LoadDocument(VARIANT vFile, VARIANT vReadOnly, std::wstring* pName, REFCLSID clsid) {
    std::wstring& name = *pName;
    if (IsNonEmptyString(vFile)) {
        name = vFile.bstrVal;
        if (!FileExists(name.c_str())) {
            Log().Write(kLogOpenMissing, 0, name.c_str());
            return Fail(E_FAIL, kErrOpenMissing, name.c_str());
        }
    } else {
        if (m_host.AskFileName(TRUE, &name) != S_OK) return S_FALSE;
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
        Log().Write(kLogSingleDocument, hr, name.c_str());
        hr = Close();
        if (FAILED(hr)) {
            Log().Write(kLogCloseFailed, hr);
            return Fail(hr, kErrOpenClose);
        }
        hr = LoadIntoNewSite(name, bReadOnly, clsid, site);
    }
    if (FAILED(hr)) return hr;

    if (m_spDocObject) {
        hr = Close();
        if (FAILED(hr)) {
            Log().Write(kLogCloseFailed, hr);
            DiscardSite(site.get());
            return Fail(hr, kErrOpenClose);
        }
    }
    m_spDocObject = site;
    hr = site->IPActivateView();
    if (FAILED(hr)) {
        Log().Write(kLogSiteActivateFailed, hr);
        Close();
        return Fail(hr, kErrOpenActivate, name.c_str());
    }
    m_host.ShowDocumentMenus(site.get());

    VARIANT vClsid;
    VariantInit(&vClsid);
    LPOLESTR pszProgId = nullptr;
    const CLSID* pclsid = SUCCEEDED(site->GetClsid(&vClsid)) ? ByRefStruct<CLSID>(&vClsid) : nullptr;
    if (pclsid) ProgIDFromCLSID(*pclsid, &pszProgId);
    const std::wstring progId = pszProgId ? pszProgId : L"";
    hr = m_host.CreateExtObject(pszProgId, m_pExtObject, site.get());
    CoTaskMemFree(pszProgId);
    if (FAILED(hr)) {
        Log().Write(kLogExtFailed, hr);
        return Fail(hr, kErrExtObject, progId.c_str());
    }
    PutExtSaved(m_pExtObject.get(), -1, nullptr);
    fw::unique_bstr bstrName(name.c_str());
    site->put_FileName(bstrName.get());
    Repaint();
    return hr;
}

// A new site, prepared, with the file loaded into it; on failure the site is
// discarded and the error object says why.
HRESULT CDocumentSession::LoadIntoNewSite(const std::wstring& name, VARIANT_BOOL bReadOnly, REFCLSID clsid,
                                 fw::com_ptr<IDocObject>& site) {
    site.reset();
    fw::com_ptr<IDocObject> created;
    HRESULT hr = CreateSite(created);
    if (FAILED(hr)) return hr;
    RECT rc;
    hr = PrepareSite(&rc);
    if (FAILED(hr)) {
        Log().Write(kLogOpenNoIdentity, hr);
        return Fail(hr, kErrOpenNoIdentity);
    }
    hr = InitializeSite(created.get(), &rc);
    if (FAILED(hr)) {
        DiscardSite(created.get());
        Repaint();
        return Fail(hr, m_host.HostWindow() ? kErrOpenInitSite : kErrOpenNoWindow, name.c_str());
    }
    fw::unique_bstr bstrName(name.c_str());
    fw::com_ptr<ISiteFiles> files;
    if (SUCCEEDED(created->QueryInterface(__uuidof(ISiteFiles), files.put_void())) && files)
        hr = files->LoadFileAs(bstrName.get(), bReadOnly, clsid);
    else
        hr = created->LoadStorageFromFile(bstrName.get(), bReadOnly);
    if (FAILED(hr)) {
        Log().Write(kLogLoadFailed, hr, name.c_str());
        DiscardSite(created.get());
        Repaint();
        return Fail(hr, kErrOpenLoad, name.c_str());
    }
    site = created;
    return S_OK;
}

// Failures that say the server could not make a second document while one
// is open, as opposed to a file it could not read.
bool CDocumentSession::IsSingleDocumentFailure(HRESULT hr) {
    return hr == CO_E_SERVER_EXEC_FAILURE || hr == RPC_E_CALL_REJECTED || hr == CO_E_SERVER_STOPPING;
}

// The save dialog, from which the document may be gone when it returns:
// the dialog pumps messages, and a script or posted command may close or
// replace the document meanwhile. S_OK with the chosen name; S_FALSE when
// cancelled; E_POINTER, as for no document, when pSite is no longer the
// control's.
HRESULT CDocumentSession::AskSaveName(IDocObject* pSite, std::wstring* pName) {
    std::wstring name;
    if (m_host.AskFileName(FALSE, &name) != S_OK) return S_FALSE;
    if (m_spDocObject.get() != pSite) {
        Log().Write(kLogNoSite);
        return E_POINTER;
    }
    *pName = name;
    return S_OK;
}

HRESULT CDocumentSession::SaveDocument(VARIANT vFile, VARIANT vAppendExtFileName) {
    CCommandScope scope(m_events, m_host.Notifier());
    std::wstring name;
    HRESULT hr = WriteDocument(vFile, vAppendExtFileName, &name);
    if (hr == S_OK) QueueEvent(DISPID_DOCUMENTSAVED, name);
    return hr;
}

HRESULT CDocumentSession::WriteDocument(VARIANT vFile, VARIANT vAppendExtFileName, std::wstring* pSaved) {
    // The site this save began with, held to the end.
    fw::com_ptr<IDocObject> site = m_spDocObject;
    if (!site) {
        Log().Write(kLogNoSite);
        return Fail(E_POINTER, kErrSaveNoDocument);
    }
    VARIANT_BOOL bSaved = VARIANT_FALSE;
    GetSaved(&bSaved);
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
        Log().Write(kLogSaveFailed, hr, name.c_str());
        return Fail(hr, kErrSaveWrite, name.c_str());
    }
    if (!bSaved) {
        fw::com_ptr<IDispatch> doc;
        hr = site->GetOleObject(doc.put());
        if (FAILED(hr) || !doc) {
            Log().Write(kLogNoOleObject, hr);
            return Fail(hr, kErrSaveNoOleObject, name.c_str());
        }
        fw::unique_variant result;
        HRESULT hrExt = PutExtSaved(m_pExtObject.get(), 0, result.get());
        if (FAILED(hrExt)) Log().Write(kLogExtSavedFailed, hrExt);
    }
    *pSaved = name;
    return S_OK;
}

HRESULT CDocumentSession::Close() {
    CCommandScope scope(m_events, m_host.Notifier());
    m_pExtObject.reset();
    if (!m_spDocObject) return S_OK;
    m_strDocumentURL.clear();
    QueueEvent(DISPID_DOCUMENTCLOSED, std::wstring());
    HRESULT hr = S_OK;
    try {
        m_spDocObject->Close();
    } catch (HRESULT thrown) {
        hr = thrown;
    }
    m_spDocObject.reset();
    m_host.RemoveDocumentMenus();
    return Fail(hr, kErrCloseFailed);
}

HRESULT CDocumentSession::GetFileName(BSTR* bstrFileName) {
    if (!m_spDocObject || !bstrFileName) {
        if (bstrFileName) *bstrFileName = nullptr;
        return S_FALSE;
    }
    *bstrFileName = nullptr;
    fw::unique_bstr name;
    m_spDocObject->get_FileName(name.put());
    *bstrFileName = SysAllocString(m_host.PathForPage(name.c_str()).c_str());
    return *bstrFileName ? S_OK : E_OUTOFMEMORY;
}

HRESULT CDocumentSession::GetOleObject(IDispatch** pVal) {
    if (!pVal) return Fail(E_POINTER, services::kErrNullResult);
    *pVal = nullptr;
    if (!m_spDocObject) return Fail(E_POINTER, kErrNoDocument);
    m_spDocObject->GetOleObject(pVal);
    return S_OK;
}

HRESULT CDocumentSession::GetActiveDocument(IDispatch** pVal) {
    if (!pVal) return Fail(E_POINTER, services::kErrNullResult);
    *pVal = nullptr;
    if (!m_spDocObject) return Fail(E_NO_DOCUMENT, kErrNoDocument);
    fw::com_ptr<IDispatch> doc;
    HRESULT hr = m_spDocObject->GetActiveObject(doc.put());
    if (FAILED(hr)) hr = m_spDocObject->GetOleObject(doc.put());
    if (SUCCEEDED(hr)) *pVal = doc.detach();
    return Fail(hr, kErrNoActiveObject);
}

HRESULT CDocumentSession::GetSaved(VARIANT_BOOL* pVal) {
    if (pVal) *pVal = VARIANT_FALSE;
    if (!m_spDocObject) {
        Log().Write(kLogNoSite);
        return Fail(E_POINTER, kErrNoDocument);
    }
    if (!pVal) return Fail(E_POINTER, services::kErrNullResult);
    fw::com_ptr<IDispatch> doc;
    HRESULT hr = m_spDocObject->GetOleObject(doc.put());
    if (FAILED(hr) || !doc) {
        if (SUCCEEDED(hr)) hr = E_POINTER;
        Log().Write(kLogNoOleObject, hr);
        return Fail(hr, kErrNoOleObject);
    }
    fw::unique_variant result;
    hr = DispatchInvoke(doc.get(), L"Saved", 0, DISPATCH_PROPERTYGET, 0, nullptr, result.get());
    if (FAILED(hr)) {
        Log().Write(kLogSavedFailed, hr);
        return S_OK;
    }
    *pVal = result->iVal;
    return S_OK;
}

}  // namespace session
