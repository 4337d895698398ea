// OpenFromURL + Close and SaveToURL of 16 and 128 MB VellixPad documents
// against the local web server, compared with curl moving the same bytes
// plus the control's local Open + Close and Save of them.
//
//   bench_web --prepare          writes the documents into the server's folder
//   bench_web --curl F:MB:MS ... the run; F is url-open or url-save, MS the
//                                median of curl's own runs, measured by the
//                                run script (curl is no Windows program)
// The server comes from VX_WEB_PORT and VX_WEB_ROOT (scripts/setup.sh).
#include <windows.h>
#include <ole2.h>

#include <cwchar>
#include <map>
#include <string>
#include <utility>
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

// "url-open:16:123.4" arguments: curl's median per figure and size.
std::map<std::pair<std::string, int>, double> CurlTimes() {
    std::map<std::pair<std::string, int>, double> times;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; argv && i + 1 < argc; ++i) {
        if (wcscmp(argv[i], L"--curl") != 0) continue;
        std::string arg = testsupport::Narrow(argv[++i]);
        size_t a = arg.find(':'), b = arg.rfind(':');
        if (a == std::string::npos || a == b) continue;
        times[{arg.substr(0, a), atoi(arg.c_str() + a + 1)}] = atof(arg.c_str() + b + 1);
    }
    LocalFree(argv);
    return times;
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

}  // namespace

int main() {
    Options options = ParseOptions();
    const std::wstring port = Env(L"VX_WEB_PORT"), root = Env(L"VX_WEB_ROOT");
    if (port.empty() || root.empty()) Check(E_FAIL, "VX_WEB_PORT and VX_WEB_ROOT (run through scripts/bench.sh)");
    const std::wstring base = L"http://127.0.0.1:" + port;
    if (wcsstr(GetCommandLineW(), L"--prepare")) {
        std::wstring path;
        for (const SizeRun& size : kSizes) Check(EnsureDocument(root, size.nMegabytes, &path), "writing a document");
        return 0;
    }
    const auto curl = CurlTimes();
    testsupport::OleSession ole;
    testsupport::DialogWatcher boxes;
    Control control;
    const std::wstring saved = options.dataDir + L"\\saved-locally.vxp";
    EnsureFolder(options.dataDir);
    for (const SizeRun& size : kSizes) {
        std::wstring path;
        Check(EnsureDocument(root, size.nMegabytes, &path), "writing the document");
        const std::wstring name = L"doc" + std::to_wstring(size.nMegabytes) + L"mb.vxp";
        fw::unique_bstr getUrl((base + L"/files/" + name).c_str()), postUrl((base + L"/upload/bench-" + name).c_str()),
            local(path.c_str()), target(saved.c_str());
        const int nReps = options.nReps ? options.nReps : options.bQuick ? size.nQuickReps : size.nReps;
        const auto open = curl.find({"url-open", size.nMegabytes});
        const auto save = curl.find({"url-save", size.nMegabytes});
        if (open == curl.end() || save == curl.end()) Check(E_INVALIDARG, "curl's times for this size");

        std::vector<double> tUrl, tLocal;
        for (int i = 0; i < nReps; ++i) {
            Stopwatch watch;
            Check(control->OpenFromURL(getUrl.get(), Missing(), Missing()), "OpenFromURL");
            Check(control->Close(), "Close");
            PumpPending();
            tUrl.push_back(watch.ms());
            watch.restart();
            Check(control->Open(Text(local), Missing()), "Open");
            Check(control->Close(), "Close");
            PumpPending();
            tLocal.push_back(watch.ms() + open->second);
        }
        EmitRow(TimedRow("url-open", size.nMegabytes, tUrl, tLocal));

        tUrl.clear();
        tLocal.clear();
        Check(control->Open(Text(local), Missing()), "Open");
        for (int i = 0; i < nReps; ++i) {
            fw::unique_bstr response;
            Stopwatch watch;
            Check(control->SaveToURL(postUrl.get(), Missing(), Missing(), Missing(), Missing(), response.put()),
                  "SaveToURL");
            tUrl.push_back(watch.ms());
            DeleteFileW(saved.c_str());
            watch.restart();
            Check(control->Save(Text(target), Missing()), "Save");
            tLocal.push_back(watch.ms() + save->second);
            // Back to the file the next round saves from.
            Check(control->Close(), "Close");
            Check(control->Open(Text(local), Missing()), "Open");
        }
        Check(control->Close(), "Close");
        DeleteFileW(saved.c_str());
        DeleteFileW((root + L"\\bench-" + name).c_str());
        EmitRow(TimedRow("url-save", size.nMegabytes, tUrl, tLocal));
    }
    for (const testsupport::DialogRecord& box : boxes.records())
        Progress("unexpected message box: %ls / %ls", box.caption.c_str(), box.text.c_str());
    return boxes.count() ? 1 : 0;
}
