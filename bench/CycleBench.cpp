// 2,000 cycles each of New/Close and Open/Close through the registered
// control: what the process holds afterwards beyond what it held before
// (memory, kernel handles, GDI and USER objects, files in the temporary and
// document folders, live VellixPad documents), and whether Vellix.DLL may
// unload at the end. Growth rows carry the growth as `control`.
#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "BenchSupport.h"
#include "Counters.h"
#include "Documents.h"
#include "TestContainer.h"
#include "TestSupport.h"
#include "VellixPadFixture.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"

using namespace bench;

namespace {

const int kCycles = 2000;
const int kQuickCycles = 100;
const int kWarmUpCycles = 20;  // one-time set-up (classes, libraries, caches) is not growth
const int kDocumentMegabytes = 1;
const wchar_t kProgId[] = L"VellixPad.Document";

void Check(HRESULT hr, const char* pszWhat) {
    if (SUCCEEDED(hr)) return;
    Progress("FAILED: %s: hr=0x%08lX", pszWhat, static_cast<unsigned long>(hr));
    ExitProcess(2);
}

VARIANT Missing() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

// The counters must see what they claim to count: make known objects, look,
// free them, look again.
void CheckCounters(const std::vector<std::wstring>& folders, const std::wstring& dataDir) {
    ResourceSnapshot before = TakeSnapshot(folders);
    std::vector<HANDLE> events;
    std::vector<HBRUSH> brushes;
    std::vector<HWND> windows;
    std::vector<HMENU> menus;
    for (int i = 0; i < 5; ++i) {
        events.push_back(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        brushes.push_back(CreateSolidBrush(RGB(i, 0, 0)));
        windows.push_back(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
        menus.push_back(CreatePopupMenu());
    }
    // Small heap blocks, as a leak would leave them, not one large region.
    std::vector<void*> blocks;
    for (int i = 0; i < 4096; ++i) blocks.push_back(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 1024));
    const std::wstring file = dataDir + L"\\counter-check.tmp";
    fw::unique_hfile hfile(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ResourceSnapshot during = TakeSnapshot(folders);
    hfile.reset();
    DeleteFileW(file.c_str());
    for (void* p : blocks) HeapFree(GetProcessHeap(), 0, p);
    for (HANDLE h : events) CloseHandle(h);
    for (HBRUSH h : brushes) DeleteObject(h);
    for (HWND h : windows) DestroyWindow(h);
    for (HMENU h : menus) DestroyMenu(h);
    ResourceSnapshot after = TakeSnapshot(folders);

    Progress("counter check, made 5 events, 5 brushes, 5 windows, 5 menus, 4 MB in 1 KB heap blocks, 1 file (an open handle):");
    Progress("  seen:  handles %+ld, gdi %+ld, windows %+ld, menus %+ld, memory %+.2f MB, files %+ld",
             during.handles - before.handles, during.gdi - before.gdi, during.windows - before.windows,
             during.menus - before.menus, during.privateMb - before.privateMb, during.files - before.files);
    Progress("  freed: handles %+ld, gdi %+ld, windows %+ld, menus %+ld, memory %+.2f MB, files %+ld",
             after.handles - before.handles, after.gdi - before.gdi, after.windows - before.windows,
             after.menus - before.menus, after.privateMb - before.privateMb, after.files - before.files);
    bool bSeen = during.handles - before.handles >= 6 && during.gdi - before.gdi >= 5 &&
                 during.windows - before.windows >= 5 && during.menus - before.menus >= 5 &&
                 during.privateMb - before.privateMb >= 3.9 && during.files - before.files >= 1;
    if (!bSeen) Check(E_FAIL, "a counter does not see what it counts");
}

struct Phase {
    const char* name;
    double sizeMb;
    ResourceSnapshot start, middle, end;
    LONG liveObjects = 0;
};

void Report(const Phase& p) {
    Progress("%s: memory %+.2f MB (first half %+.2f, second %+.2f), handles %+ld, gdi %+ld, windows %+ld, "
             "menus %+ld, files %+ld, live documents %ld",
             p.name, p.end.privateMb - p.start.privateMb, p.middle.privateMb - p.start.privateMb,
             p.end.privateMb - p.middle.privateMb, p.end.handles - p.start.handles, p.end.gdi - p.start.gdi,
             p.end.windows - p.start.windows, p.end.menus - p.start.menus, p.end.files - p.start.files,
             static_cast<long>(p.liveObjects));
    EmitRow(GrowthRow("growth-memory", p.sizeMb, p.end.privateMb - p.start.privateMb));
    EmitRow(GrowthRow("growth-handles", p.sizeMb, static_cast<double>(p.end.handles - p.start.handles)));
    EmitRow(GrowthRow("growth-gdi", p.sizeMb, static_cast<double>(p.end.gdi - p.start.gdi)));
    EmitRow(GrowthRow("growth-user", p.sizeMb, static_cast<double>(p.end.user() - p.start.user())));
    EmitRow(GrowthRow("files-left", p.sizeMb, static_cast<double>(p.end.files - p.start.files)));
    EmitRow(GrowthRow("live-objects", p.sizeMb, static_cast<double>(p.liveObjects)));
}

template <class Cycle>
void RunPhase(Phase& phase, int nCycles, const std::vector<std::wstring>& folders, Cycle cycle) {
    for (int i = 0; i < kWarmUpCycles; ++i) cycle();
    phase.start = TakeSnapshot(folders);
    Stopwatch watch;
    for (int i = 0; i < nCycles; ++i) {
        if (i == nCycles / 2) phase.middle = TakeSnapshot(folders);
        cycle();
    }
    double ms = watch.ms();
    phase.end = TakeSnapshot(folders);
    phase.liveObjects = vellixpad::fixture::LiveObjects();
    Progress("%s: %d cycles in %.1f s", phase.name, nCycles, ms / 1000);
}

}  // namespace

int main() {
    Options options = ParseOptions();
    testsupport::OleSession ole;
    testsupport::DialogWatcher boxes;
    if (!EnsureFolder(options.dataDir)) Check(E_FAIL, "creating the data folder");
    const std::vector<std::wstring> folders = {TempFolder(), options.dataDir};
    CheckCounters(folders, options.dataDir);

    // Loaded here too, so that its DllCanUnloadNow can be asked at the end.
    HMODULE hVellix = LoadLibraryW((ExeFolder() + L"\\Vellix.DLL").c_str());
    auto canUnload =
        hVellix ? reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(hVellix, "DllCanUnloadNow")))
                : nullptr;
    if (!canUnload) Check(E_FAIL, "Vellix.DLL beside the bench");

    std::wstring path;
    Check(EnsureDocument(options.dataDir, kDocumentMegabytes, &path), "writing the document");
    const int nCycles = options.nReps ? options.nReps : options.bQuick ? kQuickCycles : kCycles;

    Phase newClose{"new/close", 0};
    Phase openClose{"open/close", static_cast<double>(kDocumentMegabytes)};
    {
        testsupport::TestContainer host(800, 600, L"Vellix bench");
        Check(host.Create(CLSID_Office), "creating the registered control");
        fw::com_ptr<IOffice> office;
        Check(host.control()->QueryInterface(IID_IOffice, office.put_void()), "IOffice");
        fw::unique_bstr progId(kProgId);
        fw::unique_variant file;
        file->vt = VT_BSTR;
        file->bstrVal = SysAllocString(path.c_str());

        RunPhase(newClose, nCycles, folders, [&] {
            Check(office->New(progId.get()), "New");
            PumpPending();
            Check(office->Close(), "Close");
            PumpPending();
        });
        RunPhase(openClose, nCycles, folders, [&] {
            Check(office->Open(*file.get(), Missing()), "Open");
            PumpPending();
            Check(office->Close(), "Close");
            PumpPending();
        });
        office.reset();
        host.Release();
    }
    PumpPending();
    CoFreeUnusedLibraries();
    HRESULT hrUnload = canUnload();

    Report(newClose);
    Report(openClose);
    Progress("DllCanUnloadNow of Vellix.DLL at the end: 0x%08lX (%s)", static_cast<unsigned long>(hrUnload),
             hrUnload == S_OK ? "S_OK" : "still in use");
    // For the run script's table.
    printf("#unload\t%s\n", hrUnload == S_OK ? "S_OK" : "S_FALSE");
    for (const testsupport::DialogRecord& box : boxes.records())
        Progress("unexpected message box: %ls / %ls", box.caption.c_str(), box.text.c_str());
    FreeLibrary(hVellix);
    return boxes.count() ? 1 : 0;
}
