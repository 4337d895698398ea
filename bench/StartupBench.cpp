// Start-up: a frame window, the control created and activated in it, New of
// a VellixPad document and the first frame painted, against the bare
// container doing the same (a new document of the same server in the same
// frame). Pairs alternate ABBA; the ratio is the median of the pairs'.
//
//   bench_startup [--dll PATH [--label NAME]] [--reps N] [--quick]
//     --dll    takes the control from that build of Vellix.DLL (its own
//              Plinth.dll beside it) instead of the registered one, so that
//              two builds can be measured in one run, one process each
//     --label  the row is then "startup-NAME"
#include <windows.h>
#include <ole2.h>

#include <cwchar>
#include <string>
#include <vector>

#include "BareContainer.h"
#include "BenchSupport.h"
#include "PadTestHooks.h"
#include "TestContainer.h"
#include "TestSupport.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"

using namespace bench;

namespace {

const int kWidth = 800;
const int kHeight = 600;
const int kReps = 15;
const int kQuickReps = 2;

void Check(HRESULT hr, const char* pszWhat) {
    if (SUCCEEDED(hr)) return;
    Progress("FAILED: %s: hr=0x%08lX", pszWhat, static_cast<unsigned long>(hr));
    ExitProcess(2);
}

std::wstring Argument(const wchar_t* pszName) {
    std::wstring value;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; argv && i + 1 < argc; ++i)
        if (wcscmp(argv[i], pszName) == 0) value = argv[i + 1];
    LocalFree(argv);
    return value;
}

// Where the control comes from: the registered class, or a given DLL.
class ControlSource {
public:
    explicit ControlSource(const std::wstring& dll) {
        if (dll.empty()) return;
        // The DLL's own folder first for its imports: its own Plinth.dll.
        m_module = LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!m_module) Check(HRESULT_FROM_WIN32(GetLastError()), "loading the given Vellix.DLL");
        auto get = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "DllGetClassObject")));
        if (!get) Check(E_NOINTERFACE, "DllGetClassObject");
        Check(get(CLSID_Office, IID_IClassFactory, m_factory.put_void()), "the control's class object");
    }
    ~ControlSource() {
        m_factory.reset();
        // Left loaded: the runtime may still hold objects of it until
        // OleUninitialize; the process ends soon after.
    }
    HRESULT Create(IUnknown** ppUnk) {
        if (m_factory) return m_factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(ppUnk));
        return CoCreateInstance(CLSID_Office, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(ppUnk));
    }

private:
    HMODULE m_module = nullptr;
    fw::com_ptr<IClassFactory> m_factory;
};

void PaintNow(HWND hwnd) {
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// Where the time of each side goes, step by step (the details log).
StepClock g_controlSteps, g_bareSteps;

// pSteps: null for the untimed round.
double ControlStartup(ControlSource& source, StepClock* pSteps) {
    StepClock unused;
    StepClock& steps = pSteps ? *pSteps : unused;
    Stopwatch watch;
    steps.Begin();
    testsupport::TestContainer host(kWidth, kHeight, L"Vellix start-up bench");
    steps.Mark("frame window");
    fw::com_ptr<IUnknown> unk;
    Check(source.Create(unk.put()), "creating the control");
    steps.Mark("control created");
    Check(host.Host(unk.get()), "activating the control");
    steps.Mark("control activated in place");
    fw::com_ptr<IOffice> office;
    Check(unk->QueryInterface(IID_IOffice, office.put_void()), "IOffice");
    Check(office->New(fw::unique_bstr(L"VellixPad.Document").get()), "New");
    steps.Mark("New");
    PaintNow(host.frame());
    steps.Mark("first frame painted");
    const double ms = watch.ms();
    office.reset();
    unk.reset();
    host.Release();
    PumpPending();
    return ms;
}

double BareStartup(StepClock* pSteps) {
    StepClock unused;
    StepClock& steps = pSteps ? *pSteps : unused;
    Stopwatch watch;
    steps.Begin();
    testsupport::TestContainer frame(kWidth, kHeight, L"Vellix start-up bench");
    steps.Mark("frame window");
    const RECT rc = {0, 0, kWidth, kHeight};
    fw::com_ptr<CBareContainer> bare = CBareContainer::Create(frame.frame(), rc);
    if (!bare) Check(E_FAIL, "the bare container's window");
    steps.Mark("container window");
    Check(bare->CreateNew(vellixpad::CLSID_Document), "bare new document");
    steps.Mark("new document shown in place");
    PaintNow(frame.frame());
    steps.Mark("first frame painted");
    const double ms = watch.ms();
    bare->Close();
    bare.reset();
    PumpPending();
    return ms;
}

}  // namespace

int main() {
    Options options = ParseOptions();
    const std::wstring label = Argument(L"--label");
    static std::string figure = "startup";
    if (!label.empty()) figure += "-" + testsupport::Narrow(label);
    testsupport::OleSession ole;
    testsupport::DialogWatcher boxes;
    ControlSource source(Argument(L"--dll"));
    // Untimed: the DLLs, classes and fonts loaded for both.
    ControlStartup(source, nullptr);
    BareStartup(nullptr);
    const int nReps = options.nReps ? options.nReps : options.bQuick ? kQuickReps : kReps;
    std::vector<double> tControl, tBare;
    for (int i = 0; i < nReps; ++i) {
        for (int side = 0; side < 2; ++side) {
            if ((side == 0) == (i % 2 == 0))
                tControl.push_back(ControlStartup(source, &g_controlSteps));
            else
                tBare.push_back(BareStartup(&g_bareSteps));
        }
    }
    EmitRow(TimedRow(figure.c_str(), 0, tControl, tBare));
    g_controlSteps.Report((figure + ": control").c_str());
    g_bareSteps.Report((figure + ": bare container").c_str());
    for (const testsupport::DialogRecord& box : boxes.records())
        Progress("unexpected message box: %ls / %ls", box.caption.c_str(), box.text.c_str());
    return boxes.count() ? 1 : 0;
}
