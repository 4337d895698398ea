#include "Documents.h"

#include <ole2.h>

#include <vector>

#include "PadStrings.h"
#include "PadTestHooks.h"
#include "fw/Raii.h"

namespace bench {

namespace {

const wchar_t kText[] = L"Vellix benchmark document.\r\n基准测试文档。";
const ULONG kChunk = 1 << 20;

ULONGLONG PayloadSize(const std::wstring& path) {
    fw::com_ptr<IStorage> stg;
    if (FAILED(StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, stg.put())))
        return 0;
    fw::com_ptr<IStream> stm;
    if (FAILED(stg->OpenStream(kPayloadStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stm.put()))) return 0;
    STATSTG st = {};
    if (FAILED(stm->Stat(&st, STATFLAG_NONAME))) return 0;
    return st.cbSize.QuadPart;
}

HRESULT WriteStream(IStorage* stg, const wchar_t* pszName, const void* pv, ULONG cb) {
    fw::com_ptr<IStream> stm;
    HRESULT hr = stg->CreateStream(pszName, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stm.put());
    if (FAILED(hr)) return hr;
    return stm->Write(pv, cb, nullptr);
}

// Bytes that do not repeat within a sector, so no layer can share them.
HRESULT WritePayload(IStorage* stg, ULONGLONG cb) {
    fw::com_ptr<IStream> stm;
    HRESULT hr = stg->CreateStream(kPayloadStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stm.put());
    if (FAILED(hr)) return hr;
    ULARGE_INTEGER size;
    size.QuadPart = cb;
    hr = stm->SetSize(size);
    if (FAILED(hr)) return hr;
    std::vector<DWORD> chunk(kChunk / sizeof(DWORD));
    DWORD x = 2463534242u;
    for (ULONGLONG done = 0; done < cb; done += kChunk) {
        for (DWORD& d : chunk) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            d = x;
        }
        ULONG n = static_cast<ULONG>(cb - done < kChunk ? cb - done : kChunk);
        hr = stm->Write(chunk.data(), n, nullptr);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

}  // namespace

HRESULT EnsureDocument(const std::wstring& folder, int nMegabytes, std::wstring* pPath) {
    const ULONGLONG cb = static_cast<ULONGLONG>(nMegabytes) << 20;
    *pPath = folder + L"\\doc" + std::to_wstring(nMegabytes) + L"mb.vxp";
    if (PayloadSize(*pPath) == cb) return S_OK;

    fw::com_ptr<IStorage> stg;
    HRESULT hr = StgCreateDocfile(pPath->c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, stg.put());
    if (FAILED(hr)) return hr;
    hr = WriteStream(stg.get(), padtext::kTextStream, kText, static_cast<ULONG>(wcslen(kText) * sizeof(wchar_t)));
    if (FAILED(hr)) return hr;
    hr = WritePayload(stg.get(), cb);
    if (FAILED(hr)) return hr;
    hr = WriteClassStg(stg.get(), vellixpad::CLSID_Document);
    if (FAILED(hr)) return hr;
    return stg->Commit(STGC_DEFAULT);
}

}  // namespace bench
