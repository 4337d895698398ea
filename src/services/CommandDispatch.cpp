// The dispatcher of posted document commands (and of the File menu), and the
// print preview with its version checks.
#include "services/CommandDispatch.h"

#include <commdlg.h>
#include <docobj.h>

#include <string>
#include <vector>

#include "services/Dialogs.h"

namespace services {

namespace {

const HRESULT E_COMMAND_NOT_SUPPORTED = static_cast<HRESULT>(0x80041104);
const DWORD kInsertObjectFlags = 0xD02;  // create new, no link, no icon choices

const wchar_t kTextNoVersion[] = L"获取OLE版本失败，不能支持打印预览";
const wchar_t kCaptionNoVersion[] = L"未知版本号";
const wchar_t kTextOfficeXp[] = L"控件不支持Microsoft Office XP版本的打印预览功能";
const wchar_t kCaptionOfficeXp[] = L"Microsoft office xp OLE error!";
const wchar_t kTextNeedSp3[] = L"打印预览需要安装Office 2003 service pack 3";
const wchar_t kCaptionNeedSp3[] = L"未安装补丁";
const wchar_t kTextNoPreview[] = L"OLE对象目前不支持打印预览";
const wchar_t kCaptionNoPreview[] = L"不支持的命令";

const wchar_t kProductsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products";
const wchar_t kSp3DisplayName[] = L"Office 2003 Service Pack 3 (SP3): MAINSP3";

VARIANT MissingArg() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

VARIANT StringArg(BSTR b) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = b;
    return v;
}

VARIANT TrueI2() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I2;
    v.iVal = -1;
    return v;
}

}  // namespace

// The user's own commands: they go to the document commands directly, past
// the site lock, which guards only what a script names.
void CCommandDispatcher::Dispatch(WPARAM wParam, IDocObject* pSite, IDispatch* pExtObject) {
    // Held: a command may close the document it runs on.
    fw::com_ptr<IDocObject> site(pSite);
    diag::CNotifier::CScope notices(&m_context.Notifier());
    switch (wParam) {
    case OLECMDID_OPEN:
        m_commands.OpenDocument(MissingArg(), MissingArg());
        break;
    case OLECMDID_NEW: {
        fw::unique_bstr name;
        int kind = 0;
        if (GetOleInsertObjectFromUser(m_context.OwnerWindow(), nullptr, kInsertObjectFlags, 1, 0, name.put(), &kind) == S_OK) {
            if (kind == PLINTH_INSERT_FILE)
                m_commands.OpenDocument(StringArg(name.get()), MissingArg());
            else if (kind == PLINTH_INSERT_NEW)
                m_commands.NewDocument(name.get());
        }
        break;
    }
    case OLECMDID_SAVE:
        if (site) m_commands.SaveDocument(MissingArg(), TrueI2());
        break;
    case OLECMDID_SAVEAS:
        if (site) {
            std::vector<std::wstring> names;
            if (RunFileDialog(names, FALSE, nullptr, nullptr, kFileDialogFlags, kAllFilesFilter) == S_OK && !names.empty()) {
                fw::unique_bstr name(names.front().c_str());
                m_commands.SaveDocument(StringArg(name.get()), TrueI2());
            }
        }
        break;
    case OLECMDID_PRINT:
    case OLECMDID_PAGESETUP:
    case OLECMDID_PROPERTIES:
        if (site) site->DoOleCommand(static_cast<UINT>(wParam), OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr);
        break;
    case OLECMDID_PRINTPREVIEW:
        RunPrintPreview(pExtObject, site.get());
        break;
    default:
        break;
    }
}

void CCommandDispatcher::RunPrintPreview(IDispatch* pExtObject, IDocObject* pSite) {
    fw::unique_variant version;
    HRESULT hr = DispatchInvoke(pExtObject, L"Version", 0, DISPATCH_PROPERTYGET, 0, nullptr, version.get());
    if (FAILED(hr)) {
        ShowBox(kTextNoVersion, kCaptionNoVersion);
        return;
    }
    VariantChangeType(version.get(), version.get(), 0, VT_I4);
    SHORT value = static_cast<SHORT>(version->lVal & 0xFFFF);
    if (value == 10) {
        ShowBox(kTextOfficeXp, kCaptionOfficeXp);
        return;
    }
    if (value == 11 && !IsOffice2003Sp3Installed()) {
        ShowBox(kTextNeedSp3, kCaptionNeedSp3);
        return;
    }
    if (pSite && pSite->PrintPreview() == E_COMMAND_NOT_SUPPORTED)
        ShowBox(kTextNoPreview, kCaptionNoPreview);
}

// Looks for the Office 2003 SP3 patch among the installer's patches of the
// local system account.
BOOL CCommandDispatcher::IsOffice2003Sp3Installed() {
    fw::unique_hkey products;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductsKey, 0, KEY_READ, products.put()) != ERROR_SUCCESS) return FALSE;
    wchar_t szProduct[MAX_PATH];
    for (DWORD i = 0; RegEnumKeyW(products.get(), i, szProduct, MAX_PATH) == ERROR_SUCCESS; ++i) {
        std::wstring patchesPath = std::wstring(szProduct) + L"\\Patches";
        fw::unique_hkey patches;
        if (RegOpenKeyExW(products.get(), patchesPath.c_str(), 0, KEY_READ, patches.put()) != ERROR_SUCCESS) continue;
        wchar_t szPatch[MAX_PATH];
        for (DWORD j = 0; RegEnumKeyW(patches.get(), j, szPatch, MAX_PATH) == ERROR_SUCCESS; ++j) {
            fw::unique_hkey patch;
            if (RegOpenKeyExW(patches.get(), szPatch, 0, KEY_READ, patch.put()) != ERROR_SUCCESS) continue;
            // 260 bytes, as the installer's names fit; a longer value is no match.
            wchar_t szName[130];
            ZeroMemory(szName, sizeof(szName));
            DWORD type = REG_SZ, cb = 260;
            if (RegQueryValueExW(patch.get(), L"DisplayName", nullptr, &type, reinterpret_cast<BYTE*>(szName), &cb) ==
                    ERROR_SUCCESS &&
                (type == REG_SZ || type == REG_EXPAND_SZ)) {
                szName[129] = L'\0';
                if (lstrcmpiW(szName, kSp3DisplayName) == 0) return TRUE;
            }
        }
    }
    return FALSE;
}

}  // namespace services
