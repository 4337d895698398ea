#include "DialogDriver.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <shellapi.h>
#include <shlobj.h>

namespace testsupport {

namespace {

const DWORD kSendTimeoutMs = 5000;
const DWORD kSettleTimeoutMs = 10000;
// A dialog still open this long after it was handled is cancelled, so that
// a test fails instead of hanging in a modal loop.
const DWORD kOverdueMs = 30000;
const int kPickerTitleId = 0x3742;

class Lock {
public:
    explicit Lock(CRITICAL_SECTION& cs) : m_cs(cs) { EnterCriticalSection(&m_cs); }
    ~Lock() { LeaveCriticalSection(&m_cs); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    CRITICAL_SECTION& m_cs;
};

BOOL CALLBACK CollectDialogs(HWND hwnd, LPARAM lp) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd)) return TRUE;
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    if (lstrcmpW(cls, L"#32770") == 0) reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

struct FindClassCtx {
    const wchar_t* pszClass;
    HWND found;
};

BOOL CALLBACK FindClass(HWND hwnd, LPARAM lp) {
    auto* ctx = reinterpret_cast<FindClassCtx*>(lp);
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (lstrcmpiW(cls, ctx->pszClass) != 0) return TRUE;
    ctx->found = hwnd;
    return FALSE;
}

// The first descendant of the class, or null.
HWND FindDescendant(HWND hParent, const wchar_t* pszClass) {
    FindClassCtx ctx = {pszClass, nullptr};
    EnumChildWindows(hParent, FindClass, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

DialogKind KindOf(HWND hDlg) {
    if (FindDescendant(hDlg, L"SysTreeView32")) return DialogKind::FolderPicker;
    if (GetDlgItem(hDlg, cmb1) || FindDescendant(hDlg, L"SHELLDLL_DefView")) return DialogKind::FileDialog;
    return DialogKind::MessageBox;
}

bool Send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR* pResult = nullptr) {
    DWORD_PTR result = 0;
    const bool ok = SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_NORMAL, kSendTimeoutMs, &result) != 0;
    if (pResult) *pResult = result;
    return ok;
}

// The file-name field: an edit (Wine) or a combo box (Windows).
HWND FileNameField(HWND hDlg) {
    if (HWND h = GetDlgItem(hDlg, edt1)) return h;
    return GetDlgItem(hDlg, cmb13);
}

std::wstring CurrentFolder(HWND hDlg) {
    std::vector<wchar_t> buf(32768);
    DWORD_PTR cch = 0;
    if (!Send(hDlg, CDM_GETFOLDERPATH, buf.size(), reinterpret_cast<LPARAM>(buf.data()), &cch)) return L"";
    std::wstring folder(buf.data());
    if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    return folder;
}

bool SameFolder(std::wstring a, std::wstring b) {
    while (a.size() > 3 && a.back() == L'\\') a.pop_back();
    while (b.size() > 3 && b.back() == L'\\') b.pop_back();
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

std::vector<std::wstring> ComboItems(HWND hCombo) {
    std::vector<std::wstring> items;
    DWORD_PTR count = 0;
    if (!hCombo || !Send(hCombo, CB_GETCOUNT, 0, 0, &count)) return items;
    for (DWORD_PTR i = 0; i < count && static_cast<LRESULT>(count) != CB_ERR; ++i) {
        DWORD_PTR cch = 0;
        Send(hCombo, CB_GETLBTEXTLEN, i, 0, &cch);
        std::wstring item(cch + 1, L'\0');
        Send(hCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0]));
        item.resize(lstrlenW(item.c_str()));
        items.push_back(item);
    }
    return items;
}

// Waits, within the bound, for the condition.
template <class F>
bool WaitUntil(F condition) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > kSettleTimeoutMs) return false;
        Sleep(20);
    }
    return true;
}

std::wstring TreeItemText(HWND hTree, DWORD_PTR item) {
    wchar_t text[MAX_PATH] = {};
    TVITEMW tvi = {};
    tvi.mask = TVIF_TEXT;
    tvi.hItem = reinterpret_cast<HTREEITEM>(item);
    tvi.pszText = text;
    tvi.cchTextMax = MAX_PATH;
    return item && Send(hTree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tvi)) ? text : L"";
}

// The name the shell shows for a folder.
std::wstring DisplayName(const std::wstring& path) {
    SHFILEINFOW info = {};
    if (SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), SHGFI_DISPLAYNAME)) return info.szDisplayName;
    return path.substr(path.find_last_of(L'\\') + 1);
}

// The tree's selected item is the folder: its text and its parent's are the
// names of the folder and of the folder above it.
bool TreeShowsSelected(HWND hTree, std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    DWORD_PTR item = 0, parent = 0;
    if (!Send(hTree, TVM_GETNEXTITEM, TVGN_CARET, 0, &item) || !item) return false;
    if (lstrcmpiW(TreeItemText(hTree, item).c_str(), DisplayName(path).c_str()) != 0) return false;
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash < 3) return true;
    Send(hTree, TVM_GETNEXTITEM, TVGN_PARENT, item, &parent);
    return lstrcmpiW(TreeItemText(hTree, parent).c_str(), DisplayName(path.substr(0, slash)).c_str()) == 0;
}

void Click(HWND hDlg, int id) { PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

bool Type(HWND hDlg, const std::wstring& text) {
    HWND hField = FileNameField(hDlg);
    return hField && Send(hField, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// A file dialog as it opened, once its file list is there.
void ReadFileDialog(HWND hDlg, DrivenDialog& d) {
    HWND hList = nullptr;
    WaitUntil([&] {
        HWND hView = FindDescendant(hDlg, L"SHELLDLL_DefView");
        hList = hView ? FindDescendant(hView, L"SysListView32") : nullptr;
        return hList != nullptr;
    });
    d.multiSelect = hList && !(GetWindowLongW(hList, GWL_STYLE) & LVS_SINGLESEL);
    d.fileName = WindowText(FileNameField(hDlg));
    d.filters = ComboItems(GetDlgItem(hDlg, cmb1));
    d.folder = CurrentFolder(hDlg);
}

std::wstring QuotedList(const std::vector<std::wstring>& names) {
    if (names.size() == 1) return names[0];
    std::wstring list;
    for (const std::wstring& name : names) list += (list.empty() ? L"\"" : L" \"") + name + L"\"";
    return list;
}

}  // namespace

DialogDriver::DialogDriver(int nMessageBoxAnswer) : m_nAnswer(nMessageBoxAnswer) {
    InitializeCriticalSection(&m_cs);
    m_hStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
}

DialogDriver::~DialogDriver() {
    SetEvent(m_hStop);
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    CloseHandle(m_hStop);
    DeleteCriticalSection(&m_cs);
}

void DialogDriver::SelectFiles(const std::wstring& folder, const std::vector<std::wstring>& names) {
    Lock lock(m_cs);
    m_plans.push_back({DialogKind::FileDialog, false, folder, names});
}

void DialogDriver::CancelFileDialog() {
    Lock lock(m_cs);
    m_plans.push_back({DialogKind::FileDialog, true, L"", {}});
}

void DialogDriver::ChooseFolder(const std::wstring& path) {
    Lock lock(m_cs);
    m_plans.push_back({DialogKind::FolderPicker, false, path, {}});
}

void DialogDriver::CancelFolderPicker() {
    Lock lock(m_cs);
    m_plans.push_back({DialogKind::FolderPicker, true, L"", {}});
}

void DialogDriver::AnswerMessageBoxes(int nButton) {
    Lock lock(m_cs);
    m_nAnswer = nButton;
}

DWORD WINAPI DialogDriver::ThreadProc(void* p) {
    auto* self = static_cast<DialogDriver*>(p);
    while (WaitForSingleObject(self->m_hStop, 20) == WAIT_TIMEOUT) self->Poll();
    return 0;
}

bool DialogDriver::TakePlan(DialogKind kind, Plan* pPlan) {
    Lock lock(m_cs);
    for (auto it = m_plans.begin(); it != m_plans.end(); ++it) {
        if (it->kind != kind) continue;
        *pPlan = *it;
        m_plans.erase(it);
        return true;
    }
    return false;
}

void DialogDriver::Poll() {
    std::vector<HWND> dialogs;
    EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&dialogs));
    for (HWND hDlg : dialogs) {
        {
            Lock lock(m_cs);
            bool seen = false;
            for (const Handled& h : m_handled) seen = seen || h.hwnd == hDlg;
            if (seen) continue;
            // Noted before it is driven: the dialog may end at once.
            m_handled.push_back({hDlg, GetTickCount(), m_records.size(), false});
        }
        DrivenDialog d;
        const int nButton = Drive(hDlg, d);
        {
            // Recorded before the button ends the dialog and its caller reads.
            Lock lock(m_cs);
            m_records.push_back(d);
        }
        Click(hDlg, nButton);
    }
    CloseOverdue();
}

int DialogDriver::Drive(HWND hDlg, DrivenDialog& d) {
    d.kind = KindOf(hDlg);
    d.box = ReadDialogBox(hDlg);
    if (d.kind == DialogKind::MessageBox) {
        Lock lock(m_cs);
        return m_nAnswer;
    }

    Plan plan;
    const bool bPlanned = TakePlan(d.kind, &plan);
    if (d.kind == DialogKind::FolderPicker) {
        d.box.text = WindowText(GetDlgItem(hDlg, kPickerTitleId));
        if (!bPlanned) d.error = L"unplanned folder picker";
        if (!bPlanned || plan.bCancel) return IDCANCEL;
        // The message a picker's callback uses to preselect a folder; the
        // picker is answered only once its tree shows that folder selected.
        HWND hTree = FindDescendant(hDlg, L"SysTreeView32");
        DWORD_PTR root = 0;
        if (!WaitUntil([&] { return Send(hTree, TVM_GETNEXTITEM, TVGN_ROOT, 0, &root) && root; })) {
            d.error = L"the picker's tree stayed empty";
            return IDCANCEL;
        }
        if (!WaitUntil([&] {
                return Send(hDlg, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(plan.folder.c_str())) &&
                       TreeShowsSelected(hTree, plan.folder);
            })) {
            d.error = L"the picker did not select " + plan.folder;
            return IDCANCEL;
        }
        return IDOK;
    }

    ReadFileDialog(hDlg, d);
    if (!bPlanned) d.error = L"unplanned file dialog";
    if (!bPlanned || plan.bCancel) return IDCANCEL;
    if (!SameFolder(d.folder, plan.folder)) {
        // Typing a folder and confirming goes there.
        if (!Type(hDlg, plan.folder)) {
            d.error = L"no file-name field";
            return IDCANCEL;
        }
        Click(hDlg, IDOK);
        if (!WaitUntil([&] { return SameFolder(CurrentFolder(hDlg), plan.folder); })) {
            d.error = L"could not go to " + plan.folder;
            return IDCANCEL;
        }
    }
    if (!Type(hDlg, QuotedList(plan.names))) {
        d.error = L"no file-name field";
        return IDCANCEL;
    }
    return IDOK;
}

void DialogDriver::CloseOverdue() {
    Lock lock(m_cs);
    // Closed dialogs are forgotten, so that a reused handle is a new dialog.
    for (auto it = m_handled.begin(); it != m_handled.end();)
        it = IsWindow(it->hwnd) ? it + 1 : m_handled.erase(it);
    for (Handled& h : m_handled) {
        if (h.bWatchdog || GetTickCount() - h.dwTick < kOverdueMs || !IsWindowVisible(h.hwnd)) continue;
        h.bWatchdog = true;
        m_records[h.nRecord].error += L"still open, cancelled";
        Click(h.hwnd, IDCANCEL);
    }
}

std::vector<DrivenDialog> DialogDriver::records() {
    Lock lock(m_cs);
    return m_records;
}

size_t DialogDriver::count() {
    Lock lock(m_cs);
    return m_records.size();
}

bool DialogDriver::waitFor(size_t n, DWORD dwTimeoutMs) {
    const DWORD start = GetTickCount();
    while (count() < n) {
        if (GetTickCount() - start > dwTimeoutMs) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
    return true;
}

}  // namespace testsupport
