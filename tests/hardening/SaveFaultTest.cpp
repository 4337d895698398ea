// Saving over an existing file when the save cannot succeed, or succeeds
// only by a later way: the previous file survives byte for byte, no backup
// is left behind, and the open document can still be saved elsewhere.
#include <gtest/gtest.h>

#include <iostream>

#include "Boxes.h"
#include "Child.h"
#include "Fixtures.h"
#include "VellixPadFixture.h"

using fw::unique_bstr;
using namespace hardening;
using vellixpad::fixture::ScopedSwitches;

namespace {

const wchar_t kPreviousText[] = L"previous version of the file";
// Drives that scripts/setup.sh maps where it may mount volumes.
const wchar_t kFullVolume[] = L"V:\\";
const wchar_t kReadOnlyVolumeFile[] = L"W:\\previous.vxp";

enum class Expect { Saved, Refused };

struct Scenario {
    std::wstring target;
    Expect expect = Expect::Refused;
    std::vector<BoxRule> boxes;
    bool bSaveElsewhere = true;  // the document can still be saved elsewhere
    HANDLE hLock = INVALID_HANDLE_VALUE;
    std::wstring cleanup;  // a file to delete afterwards (filler of a full volume)
};

bool DriveMapped(const wchar_t* pszRoot) { return GetFileAttributesW(pszRoot) != INVALID_FILE_ATTRIBUTES; }

// Fills the volume of the folder until nothing more fits.
std::wstring FillVolume(const std::wstring& folder) {
    const std::wstring filler = folder + L"filler.bin";
    HANDLE h = CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return filler;
    std::string block(4096, 'f');
    for (int i = 0; i < 4096; ++i) {
        DWORD written = 0;
        if (!WriteFile(h, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) || !written) break;
    }
    // The last bytes that still fit.
    for (DWORD cb = 1024; cb; cb /= 2) {
        DWORD written = 0;
        while (WriteFile(h, block.data(), cb, &written, nullptr) && written) {
        }
    }
    CloseHandle(h);
    return filler;
}

// A document with more text than a full volume has room for.
std::wstring LargeText() {
    std::wstring text;
    while (text.size() < 64 * 1024) text += Sandbox::kText;
    return text;
}

int RunScenario(const std::wstring& name) {
    ScopedSwitches switches;
    vellixpad::fixture::ResetTrace();
    Sandbox sandbox;
    testsupport::DialogWatcher boxes(IDCANCEL);

    Scenario s;
    s.target = sandbox.file(L"target.vxp");
    std::wstring documentText = Sandbox::kText;
    if (name == L"moniker-save-fails") {
        switches.On(vellixpad::kFailMonikerSave);
        s.expect = Expect::Saved;
    } else if (name == L"moniker-and-file-saves-fail") {
        switches.On(vellixpad::kFailMonikerSave).On(vellixpad::kFailFileSave);
        s.expect = Expect::Saved;
    } else if (name == L"storage-save-fails") {
        switches.On(vellixpad::kFailStorageSave);
        s.boxes = {boxes::kSaveFailed};
        // The server fails every flush of this document, wherever it goes.
        s.bSaveElsewhere = false;
    } else if (name == L"every-way-fails") {
        switches.On(vellixpad::kFailMonikerSave).On(vellixpad::kFailFileSave);
    } else if (name == L"read-only-target" || name == L"locked-target" || name == L"stale-backup-present") {
        if (name == L"stale-backup-present") s.expect = Expect::Saved;
    } else if (name == L"unwritable-folder") {
        if (!DriveMapped(kReadOnlyVolumeFile)) {
            Report("SKIP", L"no read-only volume is mapped as W: (mounting is not allowed here)");
            return 0;
        }
        s.target = kReadOnlyVolumeFile;
    } else if (name == L"full-volume") {
        if (!DriveMapped(kFullVolume)) {
            Report("SKIP", L"no small volume is mapped as V: (mounting is not allowed here)");
            return 0;
        }
        testsupport::RemoveTree(std::wstring(kFullVolume) + L"vx");
        CreateDirectoryW((std::wstring(kFullVolume) + L"vx").c_str(), nullptr);
        s.target = std::wstring(kFullVolume) + L"vx\\target.vxp";
        documentText = LargeText();
    } else {
        Fault(L"unknown scenario " + name);
        return 2;
    }

    SetStep(name + L": preparing the previous file");
    if (name != L"unwritable-folder" && !WritePadDocument(s.target, kPreviousText)) {
        Fault(L"the previous file could not be written: " + s.target);
        return ChildExitCode();
    }
    const std::wstring folder = s.target.substr(0, s.target.find_last_of(L'\\'));
    const std::wstring staleBackup = s.target + L".tmp";
    if (name == L"stale-backup-present") testsupport::WriteFileBytes(staleBackup, "a backup someone else left");
    if (name == L"full-volume") s.cleanup = FillVolume(folder + L"\\");
    std::string previous, staleBytes;
    testsupport::ReadFileBytes(s.target, &previous);
    testsupport::ReadFileBytes(staleBackup, &staleBytes);
    const std::vector<std::wstring> tmpBefore = FilesEndingWith(folder, L".tmp");

    SetStep(name + L": opening the document");
    const std::wstring source = sandbox.file(L"source.vxp");
    WritePadDocument(source, documentText);
    OfficeUnderTest office(OfficeState::NoDocument, sandbox);
    unique_bstr sourceName(source.c_str());
    HRESULT hr = office.get() ? office.get()->Open(StringVariant(sourceName.get()), Missing()) : E_POINTER;
    if (hr != S_OK) {
        Fault(L"the document did not open: " + HrText(hr));
        return ChildExitCode();
    }

    if (name == L"read-only-target" || name == L"every-way-fails")
        SetFileAttributesW(s.target.c_str(), FILE_ATTRIBUTE_READONLY);
    if (name == L"locked-target")
        s.hLock = CreateFileW(s.target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);

    SetStep(name + L": saving over the previous file");
    unique_bstr targetName(s.target.c_str());
    hr = office.get()->Save(StringVariant(targetName.get()), Missing());
    testsupport::TestContainer::Pump();

    if (s.hLock != INVALID_HANDLE_VALUE) CloseHandle(s.hLock);
    SetFileAttributesW(s.target.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!s.cleanup.empty()) DeleteFileW(s.cleanup.c_str());

    if (s.expect == Expect::Saved) {
        std::wstring text;
        if (hr != S_OK) Fault(name + L": Save returned " + HrText(hr) + L" where a later way should have saved");
        else if (!ReadSavedText(s.target, &text) || text != documentText)
            Fault(name + L": Save returned S_OK but the file does not hold the document");
    } else {
        if (SUCCEEDED(hr)) Fault(name + L": Save reported " + HrText(hr) + L" for a save that cannot succeed");
        if (!FileBytesEqual(s.target, previous)) Fault(name + L": the previous file was not kept byte for byte");
    }
    if (!staleBytes.empty() && !FileBytesEqual(staleBackup, staleBytes))
        Fault(name + L": a .tmp file that was there before was changed or removed");
    std::vector<std::wstring> tmpAfter = FilesEndingWith(folder, L".tmp");
    if (tmpAfter.size() != tmpBefore.size())
        Fault(name + L": a backup was left behind: " + (tmpAfter.empty() ? L"" : tmpAfter.back()));
    for (const testsupport::DialogRecord& box : boxes.records()) {
        bool bAllowed = false;
        for (const BoxRule& rule : s.boxes) bAllowed = bAllowed || MatchesRule(box, rule);
        if (!bAllowed) Fault(name + L": undocumented " + Describe(box));
    }
    if (s.bSaveElsewhere) {
        SetStep(name + L": saving elsewhere");
        const std::wstring elsewhere = sandbox.file(L"elsewhere.vxp");
        unique_bstr elsewhereName(elsewhere.c_str());
        hr = office.get()->Save(StringVariant(elsewhereName.get()), Missing());
        std::wstring text;
        if (hr != S_OK || !ReadSavedText(elsewhere, &text) || text != documentText)
            Fault(name + L": the document could not be saved elsewhere afterwards (" + HrText(hr) + L")");
    }
    if (name == L"full-volume") testsupport::RemoveTree(folder);
    return ChildExitCode();
}

}  // namespace

VX_CHILD(save_fault) { return RunScenario(arg); }

namespace {

void ExpectScenario(const wchar_t* pszScenario) {
    ChildResult r = RunChild("save_fault", pszScenario);
    ASSERT_EQ("", ChildVerdict(r));
    const size_t skip = r.output.find("SKIP:");
    if (skip != std::string::npos) GTEST_SKIP() << r.output.substr(skip, r.output.find('\n', skip) - skip);
}

}  // namespace

TEST(SaveFaults, AFailingMonikerSaveFallsBackToTheFileWay) { ExpectScenario(L"moniker-save-fails"); }
TEST(SaveFaults, FailingMonikerAndFileSavesFallBackToTheCopy) { ExpectScenario(L"moniker-and-file-saves-fail"); }
TEST(SaveFaults, AFailingFlushKeepsThePreviousFileAndShowsItsBox) { ExpectScenario(L"storage-save-fails"); }
TEST(SaveFaults, EveryWayFailingKeepsThePreviousFile) { ExpectScenario(L"every-way-fails"); }
TEST(SaveFaults, AReadOnlyTargetIsNotOverwritten) { ExpectScenario(L"read-only-target"); }
TEST(SaveFaults, ATargetLockedByAnotherHandleIsKept) { ExpectScenario(L"locked-target"); }
TEST(SaveFaults, ABackupSomeoneElseLeftIsNotTouched) { ExpectScenario(L"stale-backup-present"); }
TEST(SaveFaults, ATargetInAnUnwritableFolderIsKept) { ExpectScenario(L"unwritable-folder"); }
TEST(SaveFaults, AFullVolumeKeepsThePreviousFile) { ExpectScenario(L"full-volume"); }
