// Damaged copies of a valid document opened through the control: cut short,
// with bytes flipped, with whole sectors zeroed or filled. Whatever a copy
// holds, the control must answer with a documented result, stay usable, and
// leave the file on disk exactly as it was.
#include <gtest/gtest.h>

#include <random>

#include "Boxes.h"
#include "Child.h"
#include "Fixtures.h"
#include "PadTestHooks.h"

using fw::com_ptr;
using fw::unique_bstr;
using namespace hardening;

namespace {

const size_t kSector = 512;
const int kVariants = 525;
const int kBatches = 5;
// How often the control must still open and save a sound document.
const int kUsableCheckEvery = 50;

// The document the damage starts from: a text long enough for ordinary
// sectors, and the small streams a server writes beside it.
std::string BaseDocument(const std::wstring& path) {
    std::wstring text;
    while (text.size() < 6000) text += Sandbox::kText;
    WritePadDocument(path, text);
    {
        com_ptr<IStorage> stg;
        if (SUCCEEDED(StgOpenStorage(path.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                     stg.put()))) {
            WriteFmtUserTypeStg(stg.get(), static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"VellixPad.Document")),
                                const_cast<LPOLESTR>(L"VellixPad Document"));
            stg->Commit(STGC_DEFAULT);
        }
    }
    std::string bytes;
    testsupport::ReadFileBytes(path, &bytes);
    return bytes;
}

void PutDword(std::string& b, size_t at, DWORD v) {
    if (at + 4 <= b.size()) memcpy(&b[at], &v, 4);
}
void PutWord(std::string& b, size_t at, WORD v) {
    if (at + 2 <= b.size()) memcpy(&b[at], &v, 2);
}

// Variant i of the base: the same i always gives the same bytes.
std::string Damage(const std::string& base, int i, std::wstring* pLabel) {
    std::string b = base;
    const size_t sectors = (base.size() + kSector - 1) / kSector;
    std::mt19937 rng(static_cast<unsigned>(0x5EED0000u + i));
    auto pos = [&](size_t limit) { return static_cast<size_t>(rng() % (limit ? limit : 1)); };

    // Header fields whose nonsense a reader must not trust.
    struct Field {
        const wchar_t* label;
        size_t at;
        int size;
        DWORD value;
    };
    static const Field kFields[] = {
        {L"sector shift 0", 0x1E, 2, 0},          {L"sector shift 31", 0x1E, 2, 31},
        {L"sector shift 0xFFFF", 0x1E, 2, 0xFFFF}, {L"mini sector shift 0", 0x20, 2, 0},
        {L"mini sector shift 30", 0x20, 2, 30},   {L"FAT sector count huge", 0x2C, 4, 0x7FFFFFFF},
        {L"FAT sector count 0", 0x2C, 4, 0},      {L"directory start at end of chain", 0x30, 4, 0xFFFFFFFE},
        {L"directory start far away", 0x30, 4, 0x00FFFFFF}, {L"directory start 0", 0x30, 4, 0},
        {L"mini stream cutoff 0", 0x38, 4, 0},    {L"mini stream cutoff huge", 0x38, 4, 0xFFFFFFFF},
        {L"mini FAT start far away", 0x3C, 4, 0x00FFFFFF}, {L"mini FAT count huge", 0x40, 4, 0x7FFFFFFF},
        {L"DIFAT start 0", 0x44, 4, 0},           {L"DIFAT count huge", 0x48, 4, 0x7FFFFFFF},
        {L"first FAT sector far away", 0x4C, 4, 0x00FFFFFF}, {L"first FAT sector free", 0x4C, 4, 0xFFFFFFFF},
        {L"byte order mark swapped", 0x1C, 2, 0xFEFF}, {L"major version 7", 0x1A, 2, 7},
    };
    const int nFields = static_cast<int>(sizeof(kFields) / sizeof(kFields[0]));

    int k = i;
    // Cut at every sector boundary and around it, then at random lengths.
    const int nCuts = static_cast<int>(sectors) * 3 + 60;
    if (k < nCuts) {
        size_t len;
        if (k < static_cast<int>(sectors) * 3)
            len = (k / 3) * kSector + (k % 3 == 0 ? 0 : k % 3 == 1 ? 1 : kSector - 1);
        else
            len = pos(base.size());
        len = std::min(len, base.size() - 1);
        b.resize(len);
        *pLabel = L"cut to " + std::to_wstring(len) + L" bytes";
        return b;
    }
    k -= nCuts;
    if (k < nFields) {
        const Field& f = kFields[k];
        if (f.size == 2) PutWord(b, f.at, static_cast<WORD>(f.value));
        else PutDword(b, f.at, f.value);
        *pLabel = std::wstring(L"header: ") + f.label;
        return b;
    }
    k -= nFields;
    // Each sector zeroed, then each filled with 0xFF.
    if (k < static_cast<int>(sectors) * 2) {
        const size_t s = k % sectors;
        const char fill = k < static_cast<int>(sectors) ? '\0' : '\xFF';
        const size_t at = s * kSector;
        for (size_t j = at; j < std::min(at + kSector, b.size()); ++j) b[j] = fill;
        *pLabel = std::wstring(fill ? L"sector filled with 0xFF: " : L"sector zeroed: ") + std::to_wstring(s);
        return b;
    }
    k -= static_cast<int>(sectors) * 2;
    // Flips: single bytes in the header, then anywhere, then bursts.
    const int flips = 1 + (k % 3 == 2 ? static_cast<int>(rng() % 16) : 0);
    const bool bHeaderOnly = k % 3 == 0;
    std::wstring label = L"bytes flipped at";
    for (int f = 0; f < flips; ++f) {
        const size_t at = bHeaderOnly ? pos(kSector) : pos(b.size());
        b[at] = static_cast<char>(b[at] ^ static_cast<char>(1 + rng() % 255));
        label += L" " + std::to_wstring(at);
    }
    *pLabel = label;
    return b;
}

std::vector<BoxRule> OpenBoxes() { return {boxes::kOfficeOnly, boxes::kSiteFailed, boxes::kExtFailed}; }

bool Documented(HRESULT hr) {
    // Open gives S_OK, or the failure the platform or the server gave.
    return hr == S_OK || FAILED(hr);
}

// Wine 8's 64-bit structured storage never returns from StgOpenStorage on
// a file whose first sector after the header (its allocation table here)
// is zeroed; its 32-bit half refuses the file. No caller can recover a
// thread stuck inside the platform, so that copy is left out there, and
// said so.
bool PlatformHangsOn(const std::wstring& label) {
    const bool bWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return bWine && sizeof(void*) == 8 && label == L"sector zeroed: 1";
}

}  // namespace

VX_CHILD(damaged_docs) {
    const int batch = _wtoi(arg.c_str());
    Sandbox sandbox;
    testsupport::DialogWatcher boxes(IDCANCEL, kBoxPollMs);
    const std::string base = BaseDocument(sandbox.file(L"base.vxp"));
    if (base.size() < 4 * kSector) {
        Fault(L"the base document is too small to damage: " + std::to_wstring(base.size()));
        return ChildExitCode();
    }
    OfficeUnderTest office(OfficeState::NoDocument, sandbox);
    if (!office.get()) {
        Fault(L"no control");
        return ChildExitCode();
    }

    const int first = batch * kVariants / kBatches, last = (batch + 1) * kVariants / kBatches;
    int opened = 0;
    const bool bVerbose = GetEnvironmentVariableW(L"VX_HARDEN_VERBOSE", nullptr, 0) != 0;
    for (int i = first; i < last; ++i) {
        std::wstring label;
        const std::string bytes = Damage(base, i, &label);
        if (PlatformHangsOn(label)) {
            Report("NOTE", L"SKIPPED variant " + std::to_wstring(i) + L" (" + label +
                               L"): Wine's 64-bit StgOpenStorage does not return on it");
            continue;
        }
        const std::wstring path = sandbox.file(L"damaged" + std::to_wstring(i) + L".vxp");
        testsupport::WriteFileBytes(path, bytes);
        const std::wstring where = L"variant " + std::to_wstring(i) + L" (" + label + L")";

        SetStep(where + L": Open");
        const size_t boxesBefore = boxes.count();
        unique_bstr name(path.c_str());
        // Every other copy is opened read-only: the storage is opened in
        // the other mode then.
        VARIANT readOnly;
        VariantInit(&readOnly);
        readOnly.vt = VT_BOOL;
        readOnly.boolVal = VARIANT_TRUE;
        HRESULT hr = office.get()->Open(StringVariant(name.get()), i % 2 ? readOnly : Missing());
        testsupport::TestContainer::Pump();
        if (!Documented(hr)) Fault(where + L": Open gave the undocumented result " + HrText(hr));
        if (hr == S_OK) ++opened;
        if (bVerbose) Report("NOTE", where + L": " + HrText(hr));
        SetStep(where + L": Close");
        hr = office.get()->Close();
        if (hr != S_OK) Fault(where + L": Close gave " + HrText(hr));
        testsupport::TestContainer::Pump();

        std::vector<testsupport::DialogRecord> records = boxes.records();
        for (size_t j = boxesBefore; j < records.size(); ++j) {
            bool bAllowed = false;
            for (const BoxRule& rule : OpenBoxes()) bAllowed = bAllowed || MatchesRule(records[j], rule);
            if (!bAllowed) Fault(where + L": undocumented " + Describe(records[j]));
        }
        if (!FileBytesEqual(path, bytes)) Fault(where + L": the damaged file was changed on disk");
        DeleteFileW(path.c_str());

        if ((i - first + 1) % kUsableCheckEvery == 0 || i + 1 == last) {
            SetStep(where + L": the control afterwards");
            std::wstring fault = office.CheckOpensAndSaves(std::to_wstring(i));
            if (!fault.empty()) Fault(where + L": afterwards " + fault);
            office.get()->Close();
        }
    }
    Report("NOTE", L"variants " + std::to_wstring(first) + L" to " + std::to_wstring(last - 1) + L": " +
                       std::to_wstring(opened) + L" opened");
    return ChildExitCode();
}

// The variants run in kBatches children: a crash costs one batch's report,
// not the suite, and names the variant it happened in.
TEST(DamagedDocuments, CutFlippedAndZeroedCopiesOpenSafelyAndStayUnchangedOnDisk) {
    for (int batch = 0; batch < kBatches; ++batch) {
        ChildResult r = RunChild("damaged_docs", std::to_wstring(batch));
        EXPECT_EQ("", ChildVerdict(r)) << "batch " << batch;
    }
}
