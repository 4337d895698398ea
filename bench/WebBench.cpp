// OpenFromURL + Close and SaveToURL (PUT) of 16 and 128 MB VellixPad
// documents against the private Apache, over http and over https, compared
// with curl moving the same bytes plus the control's local Open + Close and
// Save of them. Control and baseline alternate pair by pair (ABBA), and each
// row's ratio is the median of the pairs' ratios.
//
//   bench_web --prepare   writes the documents into Apache's WebDAV folder
//   bench_web             the run. curl is no Windows program: for each of
//                         its runs this program writes a request line
//                         "curl <open|save> <http|https> <mb>" on stdout
//                         and reads curl's milliseconds from stdin; the run
//                         script (scripts/bench.sh) answers it.
// The server comes from VX_DAV_ROOT, VX_DAV_HTTP_PORT and VX_DAV_HTTPS_PORT.
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

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
    int nReps;
    int nQuickReps;
};
const SizeRun kSizes[] = {{16, 7, 1}, {128, 3, 1}};

struct Transport {
    const char* scheme;  // as the run script names it
    const wchar_t* base;
    const wchar_t* portVar;
    const char* openFigure;
    const char* saveFigure;
};
const Transport kTransports[] = {
    {"http", L"http://127.0.0.1:", L"VX_DAV_HTTP_PORT", "url-open", "url-save"},
    // The test CA's certificate names localhost, not the address.
    {"https", L"https://localhost:", L"VX_DAV_HTTPS_PORT", "url-open-tls", "url-save-tls"},
};

VARIANT Missing() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

VARIANT Text(const fw::unique_bstr& b) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = b.get();
    return v;
}

void Check(HRESULT hr, const char* pszWhat) {
    if (SUCCEEDED(hr)) return;
    Progress("FAILED: %s: hr=0x%08lX", pszWhat, static_cast<unsigned long>(hr));
    ExitProcess(2);
}

std::wstring Env(const wchar_t* name) {
    wchar_t sz[1024] = {};
    DWORD n = GetEnvironmentVariableW(name, sz, ARRAYSIZE(sz));
    return n && n < ARRAYSIZE(sz) ? sz : L"";
}

// Apache tags a file changed within the last second with a weak ETag, which
// the control settles with the server before a conditional save. The
// documents the opens time are older than that, so no open row carries it.
void WaitUntilSettled(const std::wstring& path) {
    const ULONGLONG kAge = 2 * 10000000ull;  // 2 s in FILETIME units
    WIN32_FILE_ATTRIBUTE_DATA fad;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &fad)) return;
    const ULONGLONG written = (static_cast<ULONGLONG>(fad.ftLastWriteTime.dwHighDateTime) << 32) |
                              fad.ftLastWriteTime.dwLowDateTime;
    FILETIME ftNow;
    GetSystemTimeAsFileTime(&ftNow);
    const ULONGLONG now = (static_cast<ULONGLONG>(ftNow.dwHighDateTime) << 32) | ftNow.dwLowDateTime;
    if (now < written + kAge) Sleep(static_cast<DWORD>((written + kAge - now) / 10000));
}

// One curl run, done and timed by the run script.
double CurlMs(const char* pszOp, const Transport& t, int nMegabytes) {
    printf("curl %s %s %d\n", pszOp, t.scheme, nMegabytes);
    fflush(stdout);
    char sz[64] = {};
    if (!fgets(sz, sizeof(sz), stdin)) Check(E_FAIL, "no answer from the run script for curl");
    const double ms = atof(sz);
    if (ms <= 0) Check(E_FAIL, "curl failed");
    return ms;
}

class Control {
public:
    Control() : m_host(800, 600, L"Vellix web bench") {
        Check(m_host.Create(CLSID_Office), "creating the registered control");
        Check(m_host.control()->QueryInterface(IID_IOffice2, m_office.put_void()), "IOffice2");
    }
    ~Control() {
        m_office.reset();
        m_host.Release();
    }
    IOffice2* operator->() { return m_office.get(); }

private:
    testsupport::TestContainer m_host;
    fw::com_ptr<IOffice2> m_office;
};

// ABBA: in even pairs the control goes first, in odd ones the baseline.
bool ControlFirst(int nPair, int nSide) { return (nSide == 0) == (nPair % 2 == 0); }

void BenchOpen(Control& control, const Transport& t, int nMegabytes, int nReps, const fw::unique_bstr& url,
               const fw::unique_bstr& local) {
    auto controlRun = [&] {
        Stopwatch watch;
        Check(control->OpenFromURL(url.get(), Missing(), Missing()), "OpenFromURL");
        Check(control->Close(), "Close");
        PumpPending();
        return watch.ms();
    };
    auto baselineRun = [&] {
        const double curl = CurlMs("open", t, nMegabytes);
        Stopwatch watch;
        Check(control->Open(Text(local), Missing()), "Open");
        Check(control->Close(), "Close");
        PumpPending();
        return curl + watch.ms();
    };
    // Untimed: the connection set-up, the certificate's revocation list and
    // the caches warm for both sides.
    controlRun();
    baselineRun();
    std::vector<double> tUrl, tBase;
    for (int i = 0; i < nReps; ++i) {
        for (int side = 0; side < 2; ++side) {
            if (ControlFirst(i, side))
                tUrl.push_back(controlRun());
            else
                tBase.push_back(baselineRun());
        }
    }
    EmitRow(TimedRow(t.openFigure, nMegabytes, tUrl, tBase));
}

void BenchSave(Control& control, const Transport& t, int nMegabytes, int nReps, const fw::unique_bstr& url,
               const fw::unique_bstr& local, const std::wstring& saved) {
    fw::unique_bstr target(saved.c_str());
    auto controlRun = [&] {
        fw::unique_bstr response;
        Stopwatch watch;
        Check(control->SaveToURL(url.get(), Missing(), Missing(), Missing(), Text(fw::unique_bstr(L"PUT")),
                                 response.put()),
              "SaveToURL");
        return watch.ms();
    };
    auto baselineRun = [&] {
        const double curl = CurlMs("save", t, nMegabytes);
        DeleteFileW(saved.c_str());
        Stopwatch watch;
        Check(control->Save(Text(target), Missing()), "Save");
        const double ms = curl + watch.ms();
        // Back to the file the next round saves from.
        Check(control->Close(), "Close");
        Check(control->Open(Text(local), Missing()), "Open");
        return ms;
    };
    Check(control->Open(Text(local), Missing()), "Open");
    controlRun();
    baselineRun();
    std::vector<double> tUrl, tBase;
    for (int i = 0; i < nReps; ++i) {
        for (int side = 0; side < 2; ++side) {
            if (ControlFirst(i, side))
                tUrl.push_back(controlRun());
            else
                tBase.push_back(baselineRun());
        }
    }
    Check(control->Close(), "Close");
    DeleteFileW(saved.c_str());
    EmitRow(TimedRow(t.saveFigure, nMegabytes, tUrl, tBase));
}

}  // namespace

int main() {
    Options options = ParseOptions();
    const std::wstring root = Env(L"VX_DAV_ROOT");
    if (root.empty()) Check(E_FAIL, "VX_DAV_ROOT (run through scripts/bench.sh)");
    const std::wstring folder = root + L"\\dav";
    if (wcsstr(GetCommandLineW(), L"--prepare")) {
        std::wstring path;
        for (const SizeRun& size : kSizes) Check(EnsureDocument(folder, size.nMegabytes, &path), "writing a document");
        return 0;
    }
    testsupport::OleSession ole;
    testsupport::DialogWatcher boxes;
    Control control;
    const std::wstring saved = options.dataDir + L"\\saved-locally.vxp";
    EnsureFolder(options.dataDir);
    for (const Transport& t : kTransports) {
        const std::wstring base = t.base + Env(t.portVar) + L"/dav/";
        for (const SizeRun& size : kSizes) {
            std::wstring onServer, path;
            Check(EnsureDocument(folder, size.nMegabytes, &onServer), "writing the server's document");
            WaitUntilSettled(onServer);
            Check(EnsureDocument(options.dataDir, size.nMegabytes, &path), "writing the local document");
            const std::wstring name = L"doc" + std::to_wstring(size.nMegabytes) + L"mb.vxp";
            fw::unique_bstr getUrl((base + name).c_str()), putUrl((base + L"bench-" + name).c_str()),
                local(path.c_str());
            const int nReps = options.nReps ? options.nReps : options.bQuick ? size.nQuickReps : size.nReps;
            BenchOpen(control, t, size.nMegabytes, nReps, getUrl, local);
            BenchSave(control, t, size.nMegabytes, nReps, putUrl, local, saved);
            DeleteFileW((folder + L"\\bench-" + name).c_str());
        }
    }
    for (const testsupport::DialogRecord& box : boxes.records())
        Progress("unexpected message box: %ls / %ls", box.caption.c_str(), box.text.c_str());
    return boxes.count() ? 1 : 0;
}
