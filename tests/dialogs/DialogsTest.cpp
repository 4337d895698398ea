// The control's file dialogs, folder picker and shell operations, called on
// the registered control in a container window while a second thread plays
// the user: it fills in or cancels each dialog and answers message boxes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DialogDriver.h"
#include "TestContainer.h"
#include "TestSupport.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"

using namespace testsupport;

namespace {

const wchar_t kCaptionUnknownFile[] = L"未知文件";
const wchar_t kTitleBrowseFolder[] = L"选择文件保存路径";
// Wine's own captions of the two dialogs.
const wchar_t kOpenCaption[] = L"Open";
const wchar_t kSaveCaption[] = L"Save As";

std::string Narrow(const std::wstring& s) { return testsupport::Narrow(s); }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Touch(const std::wstring& path) { ASSERT_TRUE(WriteFileBytes(path, "x")) << Narrow(path); }

// Optional arguments as a script passes them.
void Missing(fw::unique_variant& v) {
    v.reset();
    v->vt = VT_ERROR;
    v->scode = DISP_E_PARAMNOTFOUND;
}
void String(fw::unique_variant& v, const std::wstring& s) {
    v.reset();
    v->vt = VT_BSTR;
    v->bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}
void I4(fw::unique_variant& v, LONG n) {
    v.reset();
    v->vt = VT_I4;
    v->lVal = n;
}
void I2(fw::unique_variant& v, SHORT n) {
    v.reset();
    v->vt = VT_I2;
    v->iVal = n;
}

// A script's string literal of the path: what the array literal must hold.
std::wstring Doubled(const std::wstring& path) {
    std::wstring s;
    for (wchar_t ch : path) s += ch == L'\\' ? std::wstring(L"\\\\") : std::wstring(1, ch);
    return s;
}

struct DialogArgs {
    DialogArgs() {
        Missing(defExt);
        Missing(fileName);
        Missing(flags);
        Missing(filter);
    }
    fw::unique_variant defExt, fileName, flags, filter;
};

// What a call gave back: the result code and the string, or "<null>".
struct Result {
    HRESULT hr;
    std::wstring value;
};

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, m_host.Create(CLSID_Office));
        ASSERT_EQ(S_OK, m_host.query(m_office.put()));
        m_hwndActive = GetActiveWindow();
        ASSERT_EQ(m_host.frame(), m_hwndActive);
    }
    void TearDown() override {
        for (const DrivenDialog& d : m_dialogs.records())
            EXPECT_TRUE(d.error.empty()) << Narrow(d.box.caption) << ": " << Narrow(d.error);
    }

    Result ShowFileDialog(bool bOpen, DialogArgs& args) {
        return Call([&](BSTR* pOut) {
            return m_office->ShowFileDialog(bOpen ? VARIANT_TRUE : VARIANT_FALSE, *args.defExt.get(),
                                            *args.fileName.get(), *args.flags.get(), *args.filter.get(), pOut);
        });
    }
    Result BrowserForFolder() {
        return Call([&](BSTR* pOut) { return m_office->BrowserForFolder(pOut); });
    }
    // The out string starts as garbage: a method must set it, to null too.
    template <class F>
    static Result Call(F method) {
        BSTR out = reinterpret_cast<BSTR>(static_cast<UINT_PTR>(0xBAADF00D));
        Result r;
        r.hr = method(&out);
        fw::unique_bstr owned;
        owned.attach(out);
        r.value = owned.get() ? owned.get() : L"<null>";
        return r;
    }

    // The one dialog seen since the last call, of the kind expected.
    DrivenDialog Next(DialogKind kind) {
        std::vector<DrivenDialog> records = m_dialogs.records();
        EXPECT_LT(m_nSeen, records.size()) << "no dialog appeared";
        if (m_nSeen >= records.size()) return DrivenDialog();
        DrivenDialog d = records[m_nSeen++];
        EXPECT_EQ(static_cast<int>(kind), static_cast<int>(d.kind)) << Narrow(d.box.caption);
        return d;
    }
    void ExpectNoMoreDialogs() {
        std::vector<DrivenDialog> records = m_dialogs.records();
        EXPECT_EQ(m_nSeen, records.size()) << "unexpected: " << Narrow(records.back().box.caption) << " / "
                                           << Narrow(records.back().box.text);
    }

    OleSession m_ole;
    DialogDriver m_dialogs{IDOK};
    TempDir m_dir{L"vxdlg"};
    TestContainer m_host;
    fw::com_ptr<IOffice> m_office;
    HWND m_hwndActive = nullptr;
    size_t m_nSeen = 0;
};

// ---- ShowFileDialog ------------------------------------------------------

TEST_F(DialogsTest, OpenDialogWithoutArgumentsGivesTheChosenPathUnchanged) {
    Touch(m_dir.file(L"report.doc"));
    m_dialogs.SelectFiles(m_dir.path(), {L"report.doc"});
    DialogArgs args;
    Result r = ShowFileDialog(true, args);
    EXPECT_EQ(S_OK, r.hr);
    EXPECT_EQ(m_dir.file(L"report.doc"), r.value);

    DrivenDialog d = Next(DialogKind::FileDialog);
    EXPECT_EQ(kOpenCaption, d.box.caption);
    EXPECT_EQ(m_hwndActive, d.box.owner);
    EXPECT_FALSE(d.multiSelect);
    EXPECT_EQ(L"", d.fileName);
    EXPECT_TRUE(d.filters.empty());
    ExpectNoMoreDialogs();
}

TEST_F(DialogsTest, SaveDialogTakesTheDefaultExtensionInitialNameAndFilter) {
    m_dialogs.SelectFiles(m_dir.path(), {L"notes"});
    DialogArgs args;
    String(args.defExt, L"txt");
    String(args.fileName, L"draft");
    // No NUL after the last pattern, as a script may well pass it.
    String(args.filter, std::wstring(L"Text (*.txt)\0*.txt\0Everything\0*.*", 34));
    Result r = ShowFileDialog(false, args);
    EXPECT_EQ(S_OK, r.hr);
    EXPECT_EQ(m_dir.file(L"notes.txt"), r.value);

    DrivenDialog d = Next(DialogKind::FileDialog);
    EXPECT_EQ(kSaveCaption, d.box.caption);
    EXPECT_EQ(m_hwndActive, d.box.owner);
    EXPECT_EQ(L"draft", d.fileName);
    EXPECT_EQ(std::vector<std::wstring>({L"Text (*.txt)", L"Everything"}), d.filters);
    ExpectNoMoreDialogs();
}

TEST_F(DialogsTest, SaveDialogAlwaysAsksBeforeReplacingAFile) {
    Touch(m_dir.file(L"old.doc"));
    m_dialogs.AnswerMessageBoxes(IDYES);
    m_dialogs.SelectFiles(m_dir.path(), {L"old.doc"});
    DialogArgs args;
    I4(args.flags, 0);  // the caller's flags never drop the prompt
    Result r = ShowFileDialog(false, args);
    EXPECT_EQ(S_OK, r.hr);
    EXPECT_EQ(m_dir.file(L"old.doc"), r.value);
    Next(DialogKind::FileDialog);
    DrivenDialog prompt = Next(DialogKind::MessageBox);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO), prompt.box.style & MB_TYPEMASK) << Narrow(prompt.box.text);
    ExpectNoMoreDialogs();
}

TEST_F(DialogsTest, CancelledDialogsGiveNullAndSFalse) {
    DialogArgs args;
    m_dialogs.CancelFileDialog();
    Result r = ShowFileDialog(true, args);
    EXPECT_EQ(S_FALSE, r.hr);
    EXPECT_EQ(L"<null>", r.value);
    Next(DialogKind::FileDialog);

    // The initial name is cut to what the 260-character buffer holds.
    const std::wstring longName(300, L'n');
    String(args.fileName, longName);
    I4(args.flags, 0x200);
    m_dialogs.CancelFileDialog();
    r = ShowFileDialog(false, args);
    EXPECT_EQ(S_FALSE, r.hr);
    EXPECT_EQ(L"<null>", r.value);
    DrivenDialog d = Next(DialogKind::FileDialog);
    EXPECT_EQ(kSaveCaption, d.box.caption);
    EXPECT_EQ(longName.substr(0, 259), d.fileName);
    ExpectNoMoreDialogs();
}

TEST_F(DialogsTest, MultipleSelectionGivesAnArrayLiteralWithDoubledBackslashes) {
    Touch(m_dir.file(L"x.doc"));
    Touch(m_dir.file(L"y.doc"));
    ASSERT_TRUE(CreateDirectoryW(m_dir.file(L"sub").c_str(), nullptr));
    const std::wstring x = Doubled(m_dir.file(L"x.doc")), y = Doubled(m_dir.file(L"y.doc"));
    DialogArgs args;
    I4(args.flags, 0x200);

    m_dialogs.SelectFiles(m_dir.path(), {L"x.doc", L"y.doc"});
    Result r = ShowFileDialog(true, args);
    EXPECT_EQ(S_OK, r.hr);
    EXPECT_EQ(L"['" + x + L"','" + y + L"']", r.value);
    EXPECT_TRUE(Next(DialogKind::FileDialog).multiSelect);

    m_dialogs.SelectFiles(m_dir.path(), {L"x.doc"});
    r = ShowFileDialog(true, args);
    EXPECT_EQ(S_OK, r.hr);
    EXPECT_EQ(L"['" + x + L"']", r.value);
    Next(DialogKind::FileDialog);

    // A folder among the names is left out.
    m_dialogs.SelectFiles(m_dir.path(), {L"y.doc", L"sub", L"x.doc"});
    r = ShowFileDialog(true, args);
    EXPECT_EQ(S_OK, r.hr);
    EXPECT_EQ(L"['" + y + L"','" + x + L"']", r.value);
    Next(DialogKind::FileDialog);
    ExpectNoMoreDialogs();
}

TEST_F(DialogsTest, NoFileNameCanEndAStringOfTheArrayLiteral) {
    const std::wstring folder = m_dir.file(L"it's");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring quote = L"o'brien.doc", separator = L"a\u2028b.doc";
    Touch(folder + L"\\" + quote);
    Touch(folder + L"\\" + separator);
    m_dialogs.SelectFiles(folder, {quote, separator});
    DialogArgs args;
    I4(args.flags, 0x200);
    Result r = ShowFileDialog(true, args);
    EXPECT_EQ(S_OK, r.hr);
    const std::wstring escapedFolder = Doubled(m_dir.path()) + L"\\\\it\\'s\\\\";
    EXPECT_EQ(L"['" + escapedFolder + L"o\\'brien.doc','" + escapedFolder + L"a\\u2028b.doc']", r.value);
    Next(DialogKind::FileDialog);
}

TEST_F(DialogsTest, OnlyFlags0x200AloneAllowSeveralFilesButTheBitAloneMakesTheLiteral) {
    Touch(m_dir.file(L"x.doc"));
    const std::wstring path = m_dir.file(L"x.doc");
    DialogArgs args;

    // Another bit with it: a single-selection dialog, the result still a literal.
    I4(args.flags, 0x1200);
    m_dialogs.SelectFiles(m_dir.path(), {L"x.doc"});
    Result r = ShowFileDialog(true, args);
    EXPECT_EQ(S_OK, r.hr);
    EXPECT_EQ(L"['" + Doubled(path) + L"']", r.value);
    EXPECT_FALSE(Next(DialogKind::FileDialog).multiSelect);

    // 512 as a VT_I2 counts as no flags: a plain path.
    I2(args.flags, 0x200);
    m_dialogs.SelectFiles(m_dir.path(), {L"x.doc"});
    r = ShowFileDialog(true, args);
    EXPECT_EQ(S_OK, r.hr);
    EXPECT_EQ(path, r.value);
    EXPECT_FALSE(Next(DialogKind::FileDialog).multiSelect);

    // Any other flags: single selection, plain path.
    I4(args.flags, 0x4);
    m_dialogs.SelectFiles(m_dir.path(), {L"x.doc"});
    r = ShowFileDialog(true, args);
    EXPECT_EQ(S_OK, r.hr);
    EXPECT_EQ(path, r.value);
    EXPECT_FALSE(Next(DialogKind::FileDialog).multiSelect);
    ExpectNoMoreDialogs();
}

TEST_F(DialogsTest, AMultipleSelectionLongerThanMaxPathComesBackWhole) {
    std::vector<std::wstring> names;
    std::wstring expected = L"[";
    for (int i = 0; i < 12; ++i) {
        names.push_back(L"a-rather-long-document-name-" + std::to_wstring(i) + L".doc");
        Touch(m_dir.file(names.back()));
        expected += (i ? L",'" : L"'") + Doubled(m_dir.file(names.back())) + L"'";
    }
    expected += L"]";
    ASSERT_GT(expected.size(), static_cast<size_t>(MAX_PATH));
    m_dialogs.SelectFiles(m_dir.path(), names);
    DialogArgs args;
    I4(args.flags, 0x200);
    Result r = ShowFileDialog(true, args);
    EXPECT_EQ(S_OK, r.hr);
    EXPECT_EQ(expected, r.value);
    Next(DialogKind::FileDialog);
}

// ---- BrowserForFolder ----------------------------------------------------

TEST_F(DialogsTest, FolderPickerCancelledGivesNullAndSFalse) {
    m_dialogs.CancelFolderPicker();
    Result r = BrowserForFolder();
    EXPECT_EQ(S_FALSE, r.hr);
    EXPECT_EQ(L"<null>", r.value);
    DrivenDialog d = Next(DialogKind::FolderPicker);
    EXPECT_EQ(kTitleBrowseFolder, d.box.text);
    // Owned by the control's window, that is by its top-level frame.
    EXPECT_EQ(m_host.frame(), d.box.owner);
    ExpectNoMoreDialogs();
}

TEST_F(DialogsTest, FolderPickerGivesTheChosenFolder) {
    m_dialogs.ChooseFolder(m_dir.path());
    Result r = BrowserForFolder();
    EXPECT_EQ(S_OK, r.hr);
    EXPECT_EQ(m_dir.path(), r.value);
    Next(DialogKind::FolderPicker);
    ExpectNoMoreDialogs();
}

// ---- ShellExecute and DeleteFile -----------------------------------------

// What the shell probe wrote when it started: arguments, working folder and
// show command; empty if it did not start within a generous bound.
std::vector<std::wstring> WaitForProbe(const std::wstring& path) {
    std::string bytes;
    const DWORD start = GetTickCount();
    while (!ReadFileBytes(path, &bytes) && GetTickCount() - start < 30000) Sleep(50);
    std::vector<std::wstring> lines;
    size_t pos = 0, end;
    while ((end = bytes.find('\n', pos)) != std::string::npos) {
        lines.push_back(Widen(bytes.substr(pos, end - pos)));
        pos = end + 1;
    }
    return lines;
}

class ShellTest : public DialogsTest {
protected:
    void SetUp() override {
        DialogsTest::SetUp();
        SetEnvironmentVariableW(L"VX_PROBE_OUT", m_dir.file(L"probe.txt").c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"VX_PROBE_OUT", nullptr);
        DialogsTest::TearDown();
    }
    static std::wstring Probe() { return ExeDir() + L"\\ShellProbe.exe"; }
    HRESULT Execute(const std::wstring& file, VARIANT args) {
        return m_office->ShellExecute(fw::unique_bstr(file.c_str()).get(), args);
    }
};

TEST_F(ShellTest, AMissingFileShowsTheUnknownFileBoxAndGivesSFalse) {
    fw::unique_variant none;
    Missing(none);
    const std::wstring missing = m_dir.file(L"missing.txt");
    EXPECT_EQ(S_FALSE, Execute(missing, *none.get()));
    ASSERT_TRUE(m_dialogs.waitFor(1));
    DrivenDialog box = Next(DialogKind::MessageBox);
    EXPECT_EQ(kCaptionUnknownFile, box.box.caption);
    EXPECT_EQ(L"打开文件{" + missing + L"}出错,文件可能不存在", box.box.text);
    EXPECT_EQ(m_hwndActive, box.box.owner);
    EXPECT_EQ(static_cast<UINT>(MB_OK), box.box.style);
    ExpectNoMoreDialogs();
}

TEST_F(ShellTest, AnyOtherFileIsStartedShownWithTheArgumentsAsParameters) {
    fw::unique_variant args;
    String(args, L"one two");
    EXPECT_EQ(S_OK, Execute(Probe(), *args.get()));
    std::vector<std::wstring> seen = WaitForProbe(m_dir.file(L"probe.txt"));
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ(L"one two", seen[0]);
    EXPECT_EQ(L"5", seen[2]);  // SW_SHOW
    ExpectNoMoreDialogs();
}

TEST_F(ShellTest, WebFilesGoToTheBrowserMaximisedWithTheArgumentsAsWorkingFolder) {
    // The browser the shell finds first is a probe in the working folder.
    const std::wstring folder = m_dir.file(L"browser");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(Probe().c_str(), (folder + L"\\Iexplore.exe").c_str(), FALSE));
    fw::unique_variant args;
    String(args, folder);
    const std::wstring page = m_dir.file(L"report.HTML");
    Touch(page);
    EXPECT_EQ(S_OK, Execute(page, *args.get()));
    std::vector<std::wstring> seen = WaitForProbe(m_dir.file(L"probe.txt"));
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ(page, seen[0]);
    EXPECT_EQ(folder, seen[1]);
    EXPECT_EQ(L"3", seen[2]);  // SW_SHOWMAXIMIZED
    ExpectNoMoreDialogs();
}

TEST_F(DialogsTest, DeleteFileRemovesAFileAndNeverReportsAFailure) {
    const std::wstring file = m_dir.file(L"old.txt");
    Touch(file);
    EXPECT_EQ(S_OK, m_office->DeleteFile(fw::unique_bstr(file.c_str()).get()));
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(S_OK, m_office->DeleteFile(fw::unique_bstr(file.c_str()).get()));
    EXPECT_EQ(S_OK, m_office->DeleteFile(nullptr));
    ExpectNoMoreDialogs();
}

}  // namespace
