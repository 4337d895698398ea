// A watcher that answers message boxes and also drives the common open/save
// dialogs and the folder picker of this process, as a user would: it goes
// to a folder, types names and confirms, picks a folder, or cancels. It
// takes the place of DialogWatcher: two watchers would answer the same box.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace testsupport {

enum class DialogKind { MessageBox, FileDialog, FolderPicker };

// A top-level dialog box as it appeared, and how driving it went.
struct DrivenDialog {
    DialogKind kind = DialogKind::MessageBox;
    DialogRecord box;  // caption, owner, style; text: the message, or the picker's title
    // File dialogs only.
    std::wstring fileName;              // the file-name field
    std::vector<std::wstring> filters;  // the display texts of the file-type list
    std::wstring folder;                // the folder shown
    bool multiSelect = false;           // the file list allows several items
    // Empty when the dialog was handled as planned; else what went wrong.
    std::wstring error;
};

class DialogDriver {
public:
    // Message boxes are answered with nMessageBoxAnswer (a button id).
    explicit DialogDriver(int nMessageBoxAnswer = IDOK);
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Plans, taken in order by the next file dialog or folder picker. A
    // dialog without a plan is cancelled and recorded with an error.
    //
    // Goes to folder and confirms the names there (one name as typed,
    // several as a quoted list).
    void SelectFiles(const std::wstring& folder, const std::vector<std::wstring>& names);
    void CancelFileDialog();
    // Selects the folder in the picker's tree and confirms it.
    void ChooseFolder(const std::wstring& path);
    void CancelFolderPicker();

    void AnswerMessageBoxes(int nButton);

    std::vector<DrivenDialog> records();
    size_t count();
    // Waits (pumping this thread's messages) until n dialogs were seen.
    bool waitFor(size_t n, DWORD dwTimeoutMs = 10000);

private:
    struct Plan {
        DialogKind kind;
        bool bCancel;
        std::wstring folder;
        std::vector<std::wstring> names;
    };
    struct Handled {
        HWND hwnd;
        DWORD dwTick;
        size_t nRecord;
        bool bWatchdog;
    };

    static DWORD WINAPI ThreadProc(void* p);
    void Poll();
    // Reads the dialog, does what the plan says short of the button that
    // ends it, and returns that button.
    int Drive(HWND hDlg, DrivenDialog& d);
    bool TakePlan(DialogKind kind, Plan* pPlan);
    void CloseOverdue();

    HANDLE m_hThread = nullptr;
    HANDLE m_hStop = nullptr;
    CRITICAL_SECTION m_cs;
    int m_nAnswer;
    std::deque<Plan> m_plans;
    std::vector<DrivenDialog> m_records;
    std::vector<Handled> m_handled;
};

}  // namespace testsupport
