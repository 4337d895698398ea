// Open then Close, and Save, of VellixPad compound documents of 1, 16 and
// 128 MB: the registered control in a container window against the bare
// container of support/BareContainer.h, alternating run by run. Each row is
// the median of the repetitions, in milliseconds.
//
// --breakdown also drives the document site directly through IDocObject
// and prints, with the bare container's own steps, where the time goes;
// --size <mb> runs one of the sizes only.
#include <windows.h>
#include <ole2.h>

#include <cwchar>
#include <string>
#include <vector>

#include "BareContainer.h"
#include "BenchSupport.h"
#include "Documents.h"
#include "TestContainer.h"
#include "TestSupport.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"

using namespace bench;

namespace {

struct SizeRun {
    int nMegabytes;
    int nReps;       // full run
    int nQuickReps;  // --quick
};
// 128 MB documents take seconds per run: fewer repetitions there.
const SizeRun kSizes[] = {{1, 15, 3}, {16, 15, 3}, {128, 5, 1}};

const wchar_t kFrameTitle[] = L"Vellix bench";
const int kFrameWidth = 800;
const int kFrameHeight = 600;

VARIANT Missing() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

// Fails the whole program: a figure measured on a failing path means nothing.
void Check(HRESULT hr, const char* pszWhat) {
    if (SUCCEEDED(hr)) return;
    Progress("FAILED: %s: hr=0x%08lX", pszWhat, static_cast<unsigned long>(hr));
    ExitProcess(2);
}

class ControlUnderTest {
public:
    ControlUnderTest() : m_host(kFrameWidth, kFrameHeight, kFrameTitle) {
        Check(m_host.Create(CLSID_Office), "creating the registered control");
        Check(m_host.control()->QueryInterface(IID_IOffice, m_office.put_void()), "IOffice");
    }
    ~ControlUnderTest() {
        m_office.reset();
        m_host.Release();
    }

    HRESULT Open(const std::wstring& path) {
        fw::unique_variant file;
        file->vt = VT_BSTR;
        file->bstrVal = SysAllocString(path.c_str());
        HRESULT hr = m_office->Open(*file.get(), Missing());
        PumpPending();
        return hr;
    }
    HRESULT Save(const std::wstring& path) {
        fw::unique_variant file;
        file->vt = VT_BSTR;
        file->bstrVal = SysAllocString(path.c_str());
        HRESULT hr = m_office->Save(*file.get(), Missing());
        PumpPending();
        return hr;
    }
    HRESULT Close() {
        HRESULT hr = m_office->Close();
        PumpPending();
        return hr;
    }
    bool HasDocument() {
        fw::com_ptr<IDispatch> doc;
        return SUCCEEDED(m_office->get_OleObject(doc.put())) && doc;
    }
    HWND Frame() const { return m_host.frame(); }

private:
    testsupport::TestContainer m_host;
    fw::com_ptr<IOffice> m_office;
};

class BaselineContainer {
public:
    BaselineContainer() : m_frame(kFrameWidth, kFrameHeight, kFrameTitle) {
        RECT rc = {0, 0, kFrameWidth, kFrameHeight};
        m_bare = CBareContainer::Create(m_frame.frame(), rc);
        if (!m_bare) Check(E_FAIL, "creating the bare container");
    }
    ~BaselineContainer() { m_bare.reset(); }
    CBareContainer* operator->() const { return m_bare.get(); }

private:
    testsupport::TestContainer m_frame;  // only its frame window
    fw::com_ptr<CBareContainer> m_bare;
};

ULONGLONG PayloadBytes(const std::wstring& path) {
    fw::com_ptr<IStorage> stg;
    if (FAILED(StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, stg.put())))
        return 0;
    STATSTG st = {};
    fw::com_ptr<IStream> stm;
    if (FAILED(stg->OpenStream(kPayloadStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stm.put())) ||
        FAILED(stm->Stat(&st, STATFLAG_NONAME)))
        return 0;
    return st.cbSize.QuadPart;
}

void Summarise(const char* pszWhat, int nMegabytes, const std::vector<double>& control,
               const std::vector<double>& baseline) {
    auto range = [](const std::vector<double>& v) {
        double lo = v.empty() ? 0 : v[0], hi = lo;
        for (double d : v) lo = d < lo ? d : lo, hi = d > hi ? d : hi;
        return std::make_pair(lo, hi);
    };
    std::vector<double> ratios;
    for (size_t i = 0; i < control.size() && i < baseline.size(); ++i) ratios.push_back(control[i] / baseline[i]);
    auto c = range(control), b = range(baseline), r = range(ratios);
    Progress("%s %3d MB: control %.1f ms [%.1f..%.1f], baseline %.1f ms [%.1f..%.1f], pair ratios %.3f "
             "[%.3f..%.3f], %zu runs",
             pszWhat, nMegabytes, Median(control), c.first, c.second, Median(baseline), b.first, b.second,
             Median(ratios), r.first, r.second, control.size());
}

void BenchOpen(ControlUnderTest& control, BaselineContainer& bare, const std::wstring& path, int nMegabytes,
               int nReps, bool bWarmUp) {
    // Untimed first runs: libraries, classes and caches warm for both.
    if (bWarmUp) {
        Check(control.Open(path), "control Open");
        Check(control.Close(), "control Close");
        Check(bare->Open(path.c_str()), "bare Open");
        bare->Close();
    }

    std::vector<double> tControl, tBare;
    for (int i = 0; i < nReps; ++i) {
        for (int side = 0; side < 2; ++side) {
            // ABBA order, so that drift during a pair falls on both sides.
            bool bControl = (side == 0) == (i % 2 == 0);
            Stopwatch watch;
            if (bControl) {
                Check(control.Open(path), "control Open");
                double msOpen = watch.ms();
                // A control that answers S_OK without a document would win.
                if (!control.HasDocument()) Check(E_FAIL, "control Open left no document");
                watch.restart();
                Check(control.Close(), "control Close");
                tControl.push_back(msOpen + watch.ms());
            } else {
                Check(bare->Open(path.c_str()), "bare Open");
                bare->Close();
                PumpPending();
                tBare.push_back(watch.ms());
            }
        }
    }
    Summarise("open", nMegabytes, tControl, tBare);
    EmitRow(TimedRow("open", nMegabytes, tControl, tBare));
}

void BenchSave(ControlUnderTest& control, BaselineContainer& bare, const std::wstring& path, int nMegabytes,
               int nReps, bool bWarmUp, const std::wstring& dataDir) {
    const std::wstring controlTarget = dataDir + L"\\saved-by-control.vxp";
    const std::wstring bareTarget = dataDir + L"\\saved-by-bare.vxp";
    Check(control.Open(path), "control Open");
    Check(bare->Open(path.c_str()), "bare Open");
    if (bWarmUp) {
        DeleteFileW(controlTarget.c_str());
        Check(control.Save(controlTarget), "control Save");
        DeleteFileW(bareTarget.c_str());
        Check(bare->SaveCopyAs(bareTarget.c_str()), "bare save");
    }

    std::vector<double> tControl, tBare;
    for (int i = 0; i < nReps; ++i) {
        for (int side = 0; side < 2; ++side) {
            bool bControl = (side == 0) == (i % 2 == 0);
            // A new file each time: saving over one adds a backup rename.
            DeleteFileW((bControl ? controlTarget : bareTarget).c_str());
            Stopwatch watch;
            if (bControl) {
                Check(control.Save(controlTarget), "control Save");
                tControl.push_back(watch.ms());
            } else {
                Check(bare->SaveCopyAs(bareTarget.c_str()), "bare save");
                PumpPending();
                tBare.push_back(watch.ms());
            }
        }
    }
    // Both must have written the whole document, or the race means nothing.
    const ULONGLONG cb = static_cast<ULONGLONG>(nMegabytes) << 20;
    if (PayloadBytes(controlTarget) != cb) Check(E_FAIL, "the control's saved file lacks the payload");
    if (PayloadBytes(bareTarget) != cb) Check(E_FAIL, "the bare container's saved file lacks the payload");
    Check(control.Close(), "control Close");
    bare->Close();
    DeleteFileW(controlTarget.c_str());
    DeleteFileW(bareTarget.c_str());
    Summarise("save", nMegabytes, tControl, tBare);
    EmitRow(TimedRow("save", nMegabytes, tControl, tBare));
}

// A site opened on path as the control opens one, each step marked on pClock
// (when given).
fw::com_ptr<IDocObject> OpenSite(HWND hwndParent, const std::wstring& path, StepClock* pClock) {
    auto mark = [pClock](const char* psz) {
        if (pClock) pClock->Mark(psz);
    };
    fw::com_ptr<IDocObject> doc;
    Check(doc.create(CLSID_DocObject, CLSCTX_INPROC_SERVER), "CoCreateInstance of the site");
    mark("site created");
    RECT rc = {0, 0, kFrameWidth, kFrameHeight};
    VARIANT vrc;
    VariantInit(&vrc);
    vrc.vt = VT_BYREF | VT_UI1;
    vrc.pbVal = reinterpret_cast<BYTE*>(&rc);
    fw::unique_bstr host(L"Vellix bench");
    Check(doc->InitializeNewInstance(static_cast<UINT>(reinterpret_cast<UINT_PTR>(hwndParent)), vrc, host.get(),
                                     nullptr),
          "InitializeNewInstance");
    mark("InitializeNewInstance");
    fw::unique_bstr name(path.c_str());
    Check(doc->LoadStorageFromFile(name.get(), VARIANT_FALSE), "LoadStorageFromFile");
    mark("LoadStorageFromFile");
    Check(doc->IPActivateView(), "IPActivateView");
    PumpPending();
    mark("IPActivateView, posted work");
    return doc;
}

// The site's own steps, driven as the control drives them, beside the
// control's two calls and the bare container's steps. What the control's
// Open adds to the site's steps is the control's own work.
void OpenBreakdown(ControlUnderTest& control, BaselineContainer& bare, const std::wstring& path, int nReps) {
    StepClock whole, site, baseline;
    for (int i = 0; i < nReps + 1; ++i) {
        const bool bTimed = i > 0;  // the first round only warms up
        if (bTimed) whole.Begin();
        Check(control.Open(path), "control Open");
        if (bTimed) whole.Mark("Open, posted work");
        Check(control.Close(), "control Close");
        if (bTimed) whole.Mark("Close, posted work");

        StepClock* pSite = bTimed ? &site : nullptr;
        if (pSite) pSite->Begin();
        fw::com_ptr<IDocObject> doc = OpenSite(control.Frame(), path, pSite);
        doc->Close();
        PumpPending();
        if (pSite) pSite->Mark("Close, posted work");
        doc.reset();
        if (pSite) pSite->Mark("site released");

        bare->SetStepClock(bTimed ? &baseline : nullptr);
        if (bTimed) baseline.Begin();
        Check(bare->Open(path.c_str()), "bare Open");
        bare->Close();
        bare->SetStepClock(nullptr);
    }
    whole.Report("open: control through IOffice");
    site.Report("open: document site through IDocObject");
    baseline.Report("open: bare container");
}

// Save: the control's Save, the site's two steps (the object flushed into
// its storage, then the file written by the first way that works) and the
// bare container's copy.
void SaveBreakdown(ControlUnderTest& control, BaselineContainer& bare, const std::wstring& path, int nReps,
                   const std::wstring& dataDir) {
    const std::wstring target = dataDir + L"\\breakdown.vxp";
    StepClock whole, site, baseline;
    Check(control.Open(path), "control Open");
    Check(bare->Open(path.c_str()), "bare Open");
    fw::com_ptr<IDocObject> doc = OpenSite(control.Frame(), path, nullptr);
    fw::unique_bstr name(target.c_str());
    for (int i = 0; i < nReps + 1; ++i) {
        const bool bTimed = i > 0;
        DeleteFileW(target.c_str());
        if (bTimed) whole.Begin();
        Check(control.Save(target), "control Save");
        if (bTimed) whole.Mark("Save, posted work");

        DeleteFileW(target.c_str());
        if (bTimed) site.Begin();
        Check(doc->SaveObjectStorage(), "SaveObjectStorage");
        if (bTimed) site.Mark("SaveObjectStorage");
        Check(doc->SaveStorageToFile(name.get()), "SaveStorageToFile");
        PumpPending();
        if (bTimed) site.Mark("SaveStorageToFile, posted work");

        DeleteFileW(target.c_str());
        bare->SetStepClock(bTimed ? &baseline : nullptr);
        if (bTimed) baseline.Begin();
        Check(bare->SaveCopyAs(target.c_str()), "bare save");
        bare->SetStepClock(nullptr);
    }
    doc->Close();
    doc.reset();
    Check(control.Close(), "control Close");
    bare->Close();
    DeleteFileW(target.c_str());
    whole.Report("save: control through IOffice");
    site.Report("save: document site through IDocObject (SaveStorageToFile flushes the object again)");
    baseline.Report("save: bare container");
}

}  // namespace

int main() {
    Options options = ParseOptions();
    testsupport::OleSession ole;
    testsupport::DialogWatcher boxes;  // answered and reported, never waited for
    if (!EnsureFolder(options.dataDir)) Check(E_FAIL, "creating the data folder");

    bool bBreakdown = wcsstr(GetCommandLineW(), L"--breakdown") != nullptr;
    const wchar_t* pszSize = wcsstr(GetCommandLineW(), L"--size ");
    const int nOnlySize = pszSize ? _wtoi(pszSize + wcslen(L"--size ")) : 0;
    ControlUnderTest control;
    BaselineContainer bare;
    for (const SizeRun& size : kSizes) {
        if (nOnlySize && size.nMegabytes != nOnlySize) continue;
        std::wstring path;
        Check(EnsureDocument(options.dataDir, size.nMegabytes, &path), "writing the document");
        int nReps = options.nReps ? options.nReps : options.bQuick ? size.nQuickReps : size.nReps;
        // The smallest size warms up for all: a warm-up at 128 MB costs a minute.
        bool bWarmUp = &size == &kSizes[0] || nOnlySize;
        BenchOpen(control, bare, path, size.nMegabytes, nReps, bWarmUp);
        BenchSave(control, bare, path, size.nMegabytes, nReps, bWarmUp, options.dataDir);
        if (bBreakdown) {
            OpenBreakdown(control, bare, path, nReps);
            SaveBreakdown(control, bare, path, nReps, options.dataDir);
        }
    }
    for (const testsupport::DialogRecord& box : boxes.records())
        Progress("unexpected message box: %ls / %ls", box.caption.c_str(), box.text.c_str());
    return boxes.count() ? 1 : 0;
}
